#include <cstdio>
#include <cwchar>

#include "Platform/Text.h"
#include "zivorivizo/Log.h"

CFileLogger::CFileLogger(const wchar_t* path) {
  const std::string narrow = path == nullptr ? std::string() : ToUtf8(path);
  // Append, created if absent, never truncated; other processes may read and
  // write the file meanwhile.
  mStream = narrow.empty() ? nullptr : std::fopen(narrow.c_str(), "a+");
  if (mStream == nullptr) {
    std::fprintf(stderr, "file open failed\n");
    throw 254;
  }
}

CFileLogger::~CFileLogger() {
  if (mStream != nullptr) {
    std::fclose(mStream);
  }
}

void CFileLogger::Write(char* text) {
  if (mStream == nullptr) {
    return;
  }
  std::fputs(text, mStream);
  std::fflush(mStream);
}
