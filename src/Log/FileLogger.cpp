#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cwchar>

#include "Platform/Text.h"
#include "zivorivizo/Log.h"

namespace {

// Appending, created if absent and never truncated; other processes may read
// and write the file meanwhile. The fallback path usually lives in a folder
// every user can write, so a symbolic link planted there must not send the
// log elsewhere.
FILE* OpenForAppend(const std::string& path) {
  if (path.empty()) {
    return nullptr;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0640);
  if (fd < 0) {
    return nullptr;
  }
  FILE* stream = ::fdopen(fd, "a+");
  if (stream == nullptr) {
    ::close(fd);
  }
  return stream;
}

}  // namespace

CFileLogger::CFileLogger(const wchar_t* path) {
  mStream = OpenForAppend(path == nullptr ? std::string() : ToUtf8(path));
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
