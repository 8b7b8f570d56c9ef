#include "support/LogCapture.h"

#include <algorithm>
#include <memory>
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

// Registered once for the process; when the logger table is full the capture
// stays empty rather than leak.
CCaptureLogger& Capture() {
  static CCaptureLogger unused;
  static CCaptureLogger* logger = [] {
    auto created = std::make_unique<CCaptureLogger>();
    return myPrint.AddLogger(created.get()) == 0 ? created.release() : &unused;
  }();
  return *logger;
}

// The message part of a log line (after "] ").
std::string MessageOf(const std::string& line) {
  const std::size_t at = line.find("] ");
  return at == std::string::npos ? line : line.substr(at + 2);
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
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> CLogCapture::Messages() const {
  std::vector<std::string> messages = Lines();
  std::transform(messages.begin(), messages.end(), messages.begin(), MessageOf);
  return messages;
}

int CLogCapture::CountMessage(std::string_view message) const {
  const std::vector<std::string> messages = Messages();
  return static_cast<int>(std::count(messages.begin(), messages.end(), message));
}

std::string CLogCapture::LevelOf(std::string_view message) const {
  for (const std::string& line : Lines()) {
    if (MessageOf(line) == message) {
      // "YYYY:MM:DD hh:mm:ss:mmm LEVEL : [..."
      const std::size_t start = line.find(' ', line.find(' ') + 1) + 1;
      return line.substr(start, line.find(" : ", start) - start);
    }
  }
  return "";
}

void CLogCapture::Clear() {
  Capture().Clear();
}
