// How the sysfs drivers write an attribute value: decimal text and a newline,
// to a regular file that has a write permission bit (see CSysfsAttribute).
// The kernel may refuse a value when it is written (EINVAL for a trip point
// out of the zone's range) where a plain file in a test tree never does;
// tests hand the device I/O a forwarding writer that refuses, to reach what
// the drivers do then. Thread-safe.
#pragma once

#include <cstdint>
#include <string>

class CSysfsValueWriter {
 public:
  virtual ~CSysfsValueWriter() = default;
  // Writes `value` to attribute `name` of the folder `dirFd`; false with a
  // device error number when the file is missing, read-only or refuses.
  virtual bool Write(int dirFd, const std::string& name, int64_t value, uint32_t& error);
};
