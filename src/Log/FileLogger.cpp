#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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
  // Straight to the file with one write, past the stream's buffer: the piece
  // is on the file when Write returns, and a line reaches an appending file
  // whole even when other processes append to it too.
  const int fd = ::fileno(mStream);
  const char* at = text;
  std::size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t n = ::write(fd, at, left);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return;  // the piece is lost; logging never fails its caller
    }
    at += n;
    left -= static_cast<std::size_t>(n);
  }
}
