#include "RecordFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

CRecordFile::~CRecordFile() {
  if (mFd >= 0) {
    close(mFd);
  }
}

bool CRecordFile::Open(const std::string& path, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  if (mFd >= 0) {
    close(mFd);
  }
  mFd = fd;
  mPath = path;
  mError.clear();
  return true;
}

bool CRecordFile::Append(const std::string& line) {
  if (mFd < 0 || !mError.empty()) {
    return false;
  }
  const std::string whole = line + "\n";
  std::size_t done = 0;
  while (done < whole.size()) {
    const ssize_t n = write(mFd, whole.data() + done, whole.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      mError = mPath + ": " + std::strerror(n < 0 ? errno : EIO);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}
