// One attribute file of a sysfs folder (a thermal zone or a cooling device),
// read and written the way sysfs expects: a whole decimal value per access.
//
// Reads go through one descriptor kept open for the attribute's lifetime and
// pread at offset 0, so each read shows the current value without an open or
// an allocation. Writes open the file afresh for writing; nothing is ever
// created or truncated. Every open is non-blocking and accepts a regular file
// only (sysfs attributes are regular files), so a FIFO or a device node put
// in a copied tree fails the access instead of blocking it for ever. A file with no write
// permission bit is read-only even for root, as sysfs treats it, so a write to it fails with
// DEVICE_ERROR_ACCESS_DENIED instead of changing a fake tree behind the test's
// back.
//
// Failures are Windows error numbers (Platform/DeviceIo.h). Not thread-safe:
// an attribute belongs to one device handle, used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "Platform/Linux/SysfsDecimal.h"

// Owns a file descriptor; -1 when empty.
class CUniqueFd {
 public:
  CUniqueFd() = default;
  explicit CUniqueFd(int fd) : mFd(fd) {}
  ~CUniqueFd();
  CUniqueFd(CUniqueFd&& other) noexcept : mFd(other.Release()) {}
  CUniqueFd& operator=(CUniqueFd&& other) noexcept;
  CUniqueFd(const CUniqueFd&) = delete;
  CUniqueFd& operator=(const CUniqueFd&) = delete;

  int Get() const { return mFd; }
  bool Valid() const { return mFd >= 0; }
  int Release();

 private:
  int mFd = -1;
};

// The Windows error number that stands for an errno value.
uint32_t DeviceErrorFromErrno(int err);

class CSysfsAttribute {
 public:
  // `dirFd` is the folder's descriptor, owned by the caller and kept open for
  // as long as the attribute lives.
  CSysfsAttribute(int dirFd, std::string name);

  // Opens the read descriptor now; false (with `error`) when the file cannot
  // be opened for reading.
  bool OpenForReading(uint32_t& error) { return mReadFd.Valid() || OpenReadFd(error); }
  // Inline: the hot path of every temperature read.
  [[gnu::always_inline]] bool ReadNumber(int64_t& value, uint32_t& error) {
    return OpenForReading(error) && ReadSysfsDecimal(mReadFd.Get(), mName.c_str(), value, error);
  }
  bool WriteNumber(int64_t value, uint32_t& error);
  const std::string& Name() const { return mName; }
  // Whether the file is present and may be written (a permission bit set).
  bool CheckWritable(uint32_t& error) const;

 private:
  bool OpenReadFd(uint32_t& error);

  // A read touches only the descriptor and the name's pointer (passed on
  // for a failure's note): both come first, in one cache line.
  int mDirFd;
  CUniqueFd mReadFd;
  std::string mName;
};

// The latest access of this thread that failed, for a person to read: the
// attribute (its name in its folder) and errno, 0 when the file was there but
// held no decimal value or was no regular file. The device error numbers
// above keep only the kind of failure; this keeps the file and the reason.
struct SysfsFailureNote {
  std::string file;
  int error = 0;
};
// Returns this thread's note and clears it; an empty `file` when no access
// failed since the last call.
SysfsFailureNote TakeSysfsFailureNote();
// Whether this thread holds a note not yet taken. A flag of its own, plain and
// constant-initialised, so that the clear below is one store: no string is
// touched, no thread-exit hook checked, no call made (the static TLS model
// keeps it a store in the shared library too).
[[gnu::tls_model("initial-exec")]] extern constinit thread_local bool gSysfsFailureNoted;
// Clears this thread's note without handing it out (no allocation, no free):
// for the start of every request.
inline void ClearSysfsFailureNote() {
  gSysfsFailureNoted = false;
}

// Opens attribute `name` of the folder `dirFd` (O_RDONLY or O_WRONLY) without
// blocking and without following a link; fails unless it is a regular file.
CUniqueFd OpenSysfsFile(int dirFd, const char* name, int access, uint32_t& error);
// Reads the whole (short) text of an attribute, without the trailing newline.
bool ReadSysfsText(int dirFd, const char* name, std::string& text, uint32_t& error);
// Reads one decimal value, opening the file for this read only.
bool ReadSysfsNumber(int dirFd, const char* name, int64_t& value, uint32_t& error);
bool SysfsFileExists(int dirFd, const char* name);
