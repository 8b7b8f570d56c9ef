// One sysfs folder of a Linux participant (a thermal zone, a cooling device,
// an hwmon chip), opened for a host to read the attributes the library does
// not report itself: a zone's governor and trip points, a fan's tachometer.
// Reads go the way the library's own go: each attribute is opened afresh,
// without blocking and without following a link, and must be a regular file,
// so a FIFO or a device node in a copied tree fails the read instead of
// hanging it. Nothing is ever written.
//
// The folder owns its descriptor and closes it when it goes. Not thread-safe:
// one thread uses a folder at a time.
#pragma once

#include <cstdint>
#include <string>

#include "zivorivizo/Export.h"

class ZIVO_EXPORT CLinuxSysfsFolder {
 public:
  // Opens `path` (a folder, links followed); IsOpen() tells whether it did.
  explicit CLinuxSysfsFolder(const std::string& path);
  ~CLinuxSysfsFolder();
  CLinuxSysfsFolder(const CLinuxSysfsFolder&) = delete;
  CLinuxSysfsFolder& operator=(const CLinuxSysfsFolder&) = delete;

  bool IsOpen() const { return mFd >= 0; }
  // The whole (short) text of attribute `name`, without its trailing newline.
  // False when the folder is not open or the file cannot be read.
  bool ReadText(const std::string& name, std::string& text) const;
  // One decimal value that is the whole line of attribute `name`. False when
  // the file cannot be read or holds anything else.
  bool ReadNumber(const std::string& name, int64_t& value) const;
  // Whether attribute `name` is there (a link is not followed).
  bool Exists(const std::string& name) const;
  // Whether attribute `name` is a regular file that has a write permission
  // bit: the library writes no other (sysfs refuses the write even to root).
  bool Writable(const std::string& name) const;

 private:
  int mFd = -1;
};
