// The clock the library reads: local time with milliseconds for the log's
// time stamps and the events a host queues, UTC seconds for the sample time
// stamps of the sensors.
//
// The installed platform owns its clock (CPlatform::Clock()); a host reads it
// there to stamp its own lines with the same time as the library's, which on
// a simulated platform is the simulated time, not the machine's. A platform
// of a host's own may bring its own clock by deriving from CClock.
#pragma once

#include <cstdint>

#include "zivorivizo/Export.h"

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
class ZIVO_EXPORT CClock {
 public:
  virtual ~CClock() = default;
  virtual _tagSLocalTime LocalNow() = 0;
  // Seconds since 1970-01-01 00:00 UTC.
  virtual uint64_t UtcSeconds() = 0;
};
