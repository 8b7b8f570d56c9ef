#include "Platform/Linux/LinuxClock.h"

#include <ctime>

_tagSLocalTime CLinuxClock::LocalNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  // localtime_r, unlike localtime, does not re-read the zone file on each call.
  tm local{};
  localtime_r(&now.tv_sec, &local);
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
