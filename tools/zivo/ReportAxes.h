// The axes of a report's charts: where the ticks go and what they say. Time
// ticks fall on round clock times (every 10 s ... every day) and read as
// "HH:MM" (with seconds when the step is under a minute, with the date when
// the chart spans more than a day); temperature ticks fall on round degrees.
#pragma once

#include <string>
#include <vector>

struct AxisTick {
  double at = 0;  // seconds since the record's origin, or degrees Celsius
  std::string label;
};

// At most about `most` ticks between `t0` and `t1` (seconds since the
// record's origin, which is `origin` seconds since 1970).
std::vector<AxisTick> TimeTicks(double origin, double t0, double t1, int most = 10);
// At most about `most` ticks between `low` and `high` degrees Celsius.
std::vector<AxisTick> CelsiusTicks(double low, double high, int most = 8);
// "2 d 03 h 04 min", "3 h 02 min", "4 min 05 s", "12 s".
std::string DurationText(double seconds);
