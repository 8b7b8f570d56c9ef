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
// Whether tLastFailure holds a note not yet taken. A flag of its own, plain
// and constant-initialised, so the clear at the start of every request is a
// single store: no string is touched and no thread-exit hook is checked.
thread_local bool tNoted = false;

// Notes the failure and gives its device error number.
uint32_t Failed(const char* name, int err) {
  tLastFailure.file = name;
  tLastFailure.error = err;
  tNoted = true;
  return err == 0 ? DEVICE_ERROR_GEN_FAILURE : DeviceErrorFromErrno(err);
}

}  // namespace

void ClearSysfsFailureNote() {
  tNoted = false;
}

SysfsFailureNote TakeSysfsFailureNote() {
  if (!tNoted) {
    return {};
  }
  tNoted = false;
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
    error = Failed(name, errno);
    return fd;
  }
  struct stat info {};
  if (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    error = Failed(name, 0);
    return CUniqueFd();
  }
  return fd;
}

bool CSysfsAttribute::OpenForReading(uint32_t& error) {
  if (mReadFd.Valid()) {
    return true;
  }
  CUniqueFd fd = OpenSysfsFile(mDirFd, mName.c_str(), O_RDONLY, error);
  if (!fd.Valid()) {
    return false;
  }
  mReadFd = std::move(fd);
  return true;
}

namespace {

// Bytes of a text that may be read past its end: ParseDecimal reads a whole
// word at a time, and the bytes after the text are zero.
constexpr std::size_t kWordBytes = 8;
static_assert(std::endian::native == std::endian::little, "the first byte is the lowest lane");

// A value of fewer than eight digits (every temperature, state and trip a
// driver reports) read as one word: the digits' count in `count` and their
// value, or false when eight or more digits follow.
inline bool ParseShortDecimal(const unsigned char* at, uint64_t& magnitude, unsigned& count) {
  uint64_t word = 0;
  std::memcpy(&word, at, sizeof(word));
  // A byte is a digit when its high nibble is 3 and its low nibble at most 9;
  // each other byte leaves a bit set in its own lane of `other`.
  const uint64_t low = word & 0x0F0F0F0F0F0F0F0FULL;
  const uint64_t other = ((word & 0xF0F0F0F0F0F0F0F0ULL) ^ 0x3030303030303030ULL) |
                         ((low + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL);
  if (other == 0) {
    return false;
  }
  count = static_cast<unsigned>(__builtin_ctzll(other)) / 8;  // the first lane is the first byte
  if (count == 0) {
    magnitude = 0;
    return true;
  }
  // The digits moved to the top lanes behind leading zeros, then paired,
  // quadrupled and joined by multiplication.
  uint64_t v = low << (64 - 8 * count);
  v = v * 10 + (v >> 8);
  constexpr uint64_t kLanes = 0x000000FF000000FFULL;
  constexpr uint64_t kHundredAndMillion = 100 + (1000000ULL << 32);
  constexpr uint64_t kOneAndTenThousand = 1 + (10000ULL << 32);
  magnitude = ((v & kLanes) * kHundredAndMillion + ((v >> 16) & kLanes) * kOneAndTenThousand) >> 32;
  return true;
}

// The digits at `at` of a value of eight digits or more, checked against the
// int64_t range: null when out of range, otherwise the first character after
// the digits. Eighteen digits never overflow; only a longer number is checked
// digit by digit against the limit, 2^63 for the most negative value. The byte
// is tested before the count: the terminator stops the walk inside the text.
[[gnu::noinline]] const char* ParseLongDecimal(const unsigned char* at, bool negative,
                                               int64_t& value) {
  const unsigned char* const unchecked = at + 18;
  uint64_t magnitude = 0;
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
  value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return reinterpret_cast<const char*>(at);
}

// A decimal with an optional '-' at `first`, as std::from_chars reads it into
// an int64_t, in a text that a byte other than a digit ends (a terminator at
// the latest) and that kWordBytes readable bytes follow: null when there is
// no digit or the value is out of range; otherwise the first character after
// the digits. Written out, and inline, because it runs on every temperature
// read and the general parser costs twice as much.
inline const char* ParseDecimal(const char* first, int64_t& value) {
  const bool negative = *first == '-';
  const auto* at = reinterpret_cast<const unsigned char*>(first + (negative ? 1 : 0));
  uint64_t magnitude = 0;
  unsigned count = 0;
  if (!ParseShortDecimal(at, magnitude, count)) {
    return ParseLongDecimal(at, negative, value);
  }
  if (count == 0) {
    return nullptr;
  }
  value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return reinterpret_cast<const char*>(at + count);
}

// Inline: with the read it is the whole of a temperature request's own work.
inline bool ParseNumber(int fd, const char* name, int64_t& value, uint32_t& error) {
  constexpr std::size_t kRead = 32;
  // Zero before the read, not after: the bytes past what the read gives end
  // the parse whatever the file holds and are the word reads' readable bytes,
  // and a store of ours just before the first word read would stall that
  // load (it could not be forwarded from two writers).
  char text[kRead + kWordBytes] = {};
  const ssize_t got = pread(fd, text, kRead, 0);
  if (got < 0) {
    error = Failed(name, errno);
    return false;
  }
  const char* first = text;
  while (*first == ' ' || *first == '\t') {
    ++first;
  }
  int64_t parsed = 0;
  const char* const end = ParseDecimal(first, parsed);
  // A value must be the whole line: "45000\n", not "45000 mC" or a number cut
  // off by the buffer.
  if (end == nullptr || (end != text + got && *end != '\n')) {
    error = Failed(name, 0);
    return false;
  }
  value = parsed;
  return true;
}

}  // namespace

bool CSysfsAttribute::ReadNumber(int64_t& value, uint32_t& error) {
  return OpenForReading(error) && ParseNumber(mReadFd.Get(), mName.c_str(), value, error);
}

bool ReadSysfsNumber(int dirFd, const char* name, int64_t& value, uint32_t& error) {
  CUniqueFd fd = OpenSysfsFile(dirFd, name, O_RDONLY, error);
  return fd.Valid() && ParseNumber(fd.Get(), name, value, error);
}

bool CSysfsAttribute::CheckWritable(uint32_t& error) const {
  struct stat info {};
  if (fstatat(mDirFd, mName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    error = Failed(mName.c_str(), errno);
    return false;
  }
  if (!S_ISREG(info.st_mode) || (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    error = Failed(mName.c_str(), EACCES);  // as sysfs answers a read-only file
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
    error = Failed(mName.c_str(), put < 0 ? errno : EIO);
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
    error = Failed(name, errno);
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
