#include "Platform/Linux/SysfsAttribute.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "Platform/DeviceIo.h"

CUniqueFd::~CUniqueFd() {
  if (mFd >= 0) {
    close(mFd);
  }
}

CUniqueFd& CUniqueFd::operator=(CUniqueFd&& other) noexcept {
  if (this != &other) {
    if (mFd >= 0) {
      close(mFd);
    }
    mFd = other.Release();
  }
  return *this;
}

int CUniqueFd::Release() {
  const int fd = mFd;
  mFd = -1;
  return fd;
}

namespace {

thread_local SysfsFailureNote tLastFailure;

}  // namespace

constinit thread_local bool gSysfsFailureNoted = false;

uint32_t NoteSysfsFailure(const char* name, int err) {
  tLastFailure.file = name;
  tLastFailure.error = err;
  gSysfsFailureNoted = true;
  return err == 0 ? DEVICE_ERROR_GEN_FAILURE : DeviceErrorFromErrno(err);
}

SysfsFailureNote TakeSysfsFailureNote() {
  if (!gSysfsFailureNoted) {
    return {};
  }
  gSysfsFailureNoted = false;
  SysfsFailureNote note = std::move(tLastFailure);
  tLastFailure = {};
  return note;
}

uint32_t DeviceErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
      return DEVICE_ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return DEVICE_ERROR_ACCESS_DENIED;
    default:
      return DEVICE_ERROR_GEN_FAILURE;
  }
}

CSysfsAttribute::CSysfsAttribute(int dirFd, std::string name)
    : mDirFd(dirFd), mName(std::move(name)) {}

CUniqueFd OpenSysfsFile(int dirFd, const char* name, int access, uint32_t& error) {
  CUniqueFd fd(openat(dirFd, name, access | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!fd.Valid()) {
    error = NoteSysfsFailure(name, errno);
    return fd;
  }
  struct stat info {};
  if (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    error = NoteSysfsFailure(name, 0);
    return CUniqueFd();
  }
  return fd;
}

bool CSysfsAttribute::OpenReadFd(uint32_t& error) {
  CUniqueFd fd = OpenSysfsFile(mDirFd, mName.c_str(), O_RDONLY, error);
  if (!fd.Valid()) {
    return false;
  }
  mReadFd = std::move(fd);
  return true;
}

// Out of line: a value of eight digits or more is rare (no temperature).
const unsigned char* sysfs_detail::ParseLongDecimal(const unsigned char* at, bool negative,
                                                    uint64_t& magnitude) {
  const unsigned char* const unchecked = at + 18;
  magnitude = 0;
  unsigned digit = 0;
  while ((digit = *at - unsigned{'0'}) <= 9 && at < unchecked) {
    magnitude = magnitude * 10 + digit;
    ++at;
  }
  if (digit <= 9) {
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    for (; (digit = *at - unsigned{'0'}) <= 9; ++at) {
      if (magnitude > (limit - digit) / 10) {
        return nullptr;
      }
      magnitude = magnitude * 10 + digit;
    }
  }
  return at;
}

bool ReadSysfsNumber(int dirFd, const char* name, int64_t& value, uint32_t& error) {
  CUniqueFd fd = OpenSysfsFile(dirFd, name, O_RDONLY, error);
  return fd.Valid() && ReadSysfsDecimal(fd.Get(), name, value, error);
}

bool CSysfsAttribute::CheckWritable(uint32_t& error) const {
  struct stat info {};
  if (fstatat(mDirFd, mName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    error = NoteSysfsFailure(mName.c_str(), errno);
    return false;
  }
  if (!S_ISREG(info.st_mode) || (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    error = NoteSysfsFailure(mName.c_str(), EACCES);  // as sysfs answers a read-only file
    return false;
  }
  return true;
}

bool CSysfsAttribute::WriteNumber(int64_t value, uint32_t& error) {
  if (!CheckWritable(error)) {
    return false;
  }
  CUniqueFd fd = OpenSysfsFile(mDirFd, mName.c_str(), O_WRONLY, error);
  if (!fd.Valid()) {
    return false;
  }
  // The newline ends the value, so a shorter number written over a longer one
  // in a plain file still reads back as itself.
  char text[24];
  const int length = std::snprintf(text, sizeof(text), "%lld\n", static_cast<long long>(value));
  const ssize_t put = pwrite(fd.Get(), text, static_cast<size_t>(length), 0);
  if (put != length) {
    error = NoteSysfsFailure(mName.c_str(), put < 0 ? errno : EIO);
    return false;
  }
  return true;
}

bool ReadSysfsText(int dirFd, const char* name, std::string& text, uint32_t& error) {
  CUniqueFd fd = OpenSysfsFile(dirFd, name, O_RDONLY, error);
  if (!fd.Valid()) {
    return false;
  }
  char buffer[256];
  const ssize_t got = pread(fd.Get(), buffer, sizeof(buffer), 0);
  if (got < 0) {
    error = NoteSysfsFailure(name, errno);
    return false;
  }
  text.assign(buffer, static_cast<size_t>(got));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return true;
}

bool SysfsFileExists(int dirFd, const char* name) {
  struct stat info {};
  return fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0;
}
