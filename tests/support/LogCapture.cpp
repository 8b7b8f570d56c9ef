#include "support/LogCapture.h"

#include <algorithm>
#include <mutex>
#include <sstream>

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
  std::istringstream text(Text());
  for (std::string line; std::getline(text, line);) {
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> CLogCapture::Messages() const {
  std::vector<std::string> messages;
  for (const std::string& line : Lines()) {
    const std::size_t at = line.find("] ");
    messages.push_back(at == std::string::npos ? line : line.substr(at + 2));
  }
  return messages;
}

int CLogCapture::CountMessage(std::string_view message) const {
  const std::vector<std::string> messages = Messages();
  return static_cast<int>(std::count(messages.begin(), messages.end(), message));
}

std::string CLogCapture::LevelOf(std::string_view message) const {
  const std::vector<std::string> lines = Lines();
  const std::vector<std::string> messages = Messages();
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (messages[k] == message) {
      // "YYYY:MM:DD hh:mm:ss:mmm LEVEL : [..."
      const std::string& line = lines[k];
      const std::size_t start = line.find(' ', line.find(' ') + 1) + 1;
      return line.substr(start, line.find(" : ", start) - start);
    }
  }
  return "";
}

void CLogCapture::Clear() {
  Capture().Clear();
}
