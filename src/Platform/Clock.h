// Clock stand-in: local time for log time stamps, UTC seconds for samples.
#pragma once

#include <cstdint>

struct _tagSLocalTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int milliseconds = 0;
};

// Implementations are thread-safe.
class CClock {
 public:
  virtual ~CClock() = default;
  virtual _tagSLocalTime LocalNow() = 0;
  // Seconds since 1970-01-01 00:00 UTC.
  virtual uint64_t UtcSeconds() = 0;
};
