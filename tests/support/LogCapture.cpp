#include "support/LogCapture.h"

#include <mutex>

#include "zivorivizo/Log.h"

namespace {

class CCaptureLogger : public CLogger {
 public:
  void Write(char* text) override {
    std::lock_guard<std::mutex> hold(mLock);
    mText += text;
  }
  std::string Text() {
    std::lock_guard<std::mutex> hold(mLock);
    return mText;
  }
  void Clear() {
    std::lock_guard<std::mutex> hold(mLock);
    mText.clear();
  }

 private:
  std::mutex mLock;
  std::string mText;
};

CCaptureLogger& Capture() {
  static CCaptureLogger* logger = [] {
    auto* created = new CCaptureLogger;
    if (myPrint.AddLogger(created) != 0) {
      // The table is full; the capture stays empty rather than leak.
      static CCaptureLogger unused;
      delete created;
      return &unused;
    }
    return created;
  }();
  return *logger;
}

}  // namespace

CLogCapture::CLogCapture() {
  Capture().Clear();
  CPrint::pPrint = &myPrint;
  myPrint.SetLogLevel(LEVEL_ALL);
}

CLogCapture::~CLogCapture() {
  Capture().Clear();
}

std::string CLogCapture::Text() const {
  return Capture().Text();
}

std::vector<std::string> CLogCapture::Lines() const {
  std::vector<std::string> lines;
  const std::string text = Text();
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

namespace {

std::string_view MessageOf(std::string_view line) {
  const std::size_t at = line.find("] ");
  return at == std::string_view::npos ? line : line.substr(at + 2);
}

}  // namespace

std::vector<std::string> CLogCapture::Messages() const {
  std::vector<std::string> messages;
  for (const std::string& line : Lines()) {
    messages.emplace_back(MessageOf(line));
  }
  return messages;
}

int CLogCapture::CountMessage(std::string_view message) const {
  int count = 0;
  for (const std::string& line : Lines()) {
    if (MessageOf(line) == message) {
      ++count;
    }
  }
  return count;
}

std::string CLogCapture::LevelOf(std::string_view message) const {
  for (const std::string& line : Lines()) {
    if (MessageOf(line) == message) {
      // "YYYY:MM:DD hh:mm:ss:mmm LEVEL : [..."
      const std::size_t start = line.find(' ', line.find(' ') + 1) + 1;
      const std::size_t end = line.find(" : ", start);
      return line.substr(start, end - start);
    }
  }
  return "";
}

void CLogCapture::Clear() {
  Capture().Clear();
}
