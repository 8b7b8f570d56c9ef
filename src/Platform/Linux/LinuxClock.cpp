#include "Platform/Linux/LinuxClock.h"

#include <ctime>

_tagSLocalTime CLinuxClock::LocalNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  // localtime_r, unlike localtime, does not re-read the zone file on each call,
  // and an offset from UTC changes only on a whole second: the conversion is
  // kept for the second it was made for, one per thread.
  thread_local time_t convertedSecond = -1;
  thread_local tm local{};
  if (now.tv_sec != convertedSecond) {
    localtime_r(&now.tv_sec, &local);
    convertedSecond = now.tv_sec;
  }
  _tagSLocalTime out;
  out.year = local.tm_year + 1900;
  out.month = local.tm_mon + 1;
  out.day = local.tm_mday;
  out.hour = local.tm_hour;
  out.minute = local.tm_min;
  out.second = local.tm_sec;
  out.milliseconds = static_cast<int>(now.tv_nsec / 1000000);
  return out;
}

uint64_t CLinuxClock::UtcSeconds() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<uint64_t>(now.tv_sec);
}
