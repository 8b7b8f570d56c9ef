#include <memory>

#include "zivorivizo/Log.h"

namespace {

// A logger refused because the table is full stays with us and is destroyed.
void Register(std::unique_ptr<CLogger> logger) {
  if (myPrint.AddLogger(logger.get()) == 0) {
    logger.release();
  }
}

}  // namespace

void InitLog(const wchar_t* primaryPath, const wchar_t* fallbackPath) {
  CPrint::pPrint = &myPrint;
  myPrint.SetLogLevel(LEVEL_ALL);
  bool primaryFailed = false;
  try {
    Register(std::make_unique<CFileLogger>(primaryPath));
  } catch (int) {
    primaryFailed = true;
  }
  if (primaryFailed) {
    try {
      Register(std::make_unique<CFileLogger>(fallbackPath));
    } catch (int) {
      // No file logger: statements reach only the system logger.
    }
  }
  try {
    Register(std::make_unique<CSystemLogger>());
  } catch (int) {
  }
}

void InitJournalLog() {
  CPrint::pPrint = &myPrint;
  myPrint.SetLogLevel(LEVEL_ALL);
  Register(std::make_unique<CJournalLogger>());
}
