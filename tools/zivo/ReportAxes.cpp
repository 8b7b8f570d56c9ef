#include "ReportAxes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kTimeSteps[] = {1,   2,    5,    10,   15,    30,    60,    120,   300,    600,
                                 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800};
constexpr double kDegreeSteps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 50, 100, 200};

// The first of `steps` that cuts `span` in at most `most` parts; past the
// last, a power of ten that does (a damaged record may span ages).
template <std::size_t N>
double StepFor(double span, int most, const double (&steps)[N]) {
  for (const double candidate : steps) {
    if (span / candidate <= most) {
      return candidate;
    }
  }
  return std::pow(10.0, std::ceil(std::log10(span / most)));
}

std::string ClockText(double seconds, bool withSeconds, bool withDate) {
  const auto whole = static_cast<long long>(std::floor(seconds));
  long long days = whole >= 0 ? whole / 86400 : (whole - 86399) / 86400;
  const long long rest = whole - days * 86400;
  char text[96];
  if (!withDate) {
    std::snprintf(text, sizeof text, withSeconds ? "%02lld:%02lld:%02lld" : "%02lld:%02lld",
                  rest / 3600, rest / 60 % 60, rest % 60);
    return text;
  }
  // Civil date from days since 1970 (proleptic Gregorian).
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const long long doe = days - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long d = doy - (153 * mp + 2) / 5 + 1;
  const long long m = mp < 10 ? mp + 3 : mp - 9;
  std::snprintf(text, sizeof text, "%02lld-%02lld %02lld:%02lld", m, d, rest / 3600,
                rest / 60 % 60);
  return text;
}

}  // namespace

std::vector<AxisTick> TimeTicks(double origin, double t0, double t1, int most) {
  std::vector<AxisTick> ticks;
  if (!(t1 > t0) || most < 1) {
    return ticks;
  }
  const double step = StepFor(t1 - t0, most, kTimeSteps);
  const bool withDate = t1 - t0 > 86400;
  for (double at = std::ceil((origin + t0) / step) * step; at <= origin + t1 + 1e-9; at += step) {
    ticks.push_back({at - origin, ClockText(at, step < 60, withDate)});
  }
  return ticks;
}

std::vector<AxisTick> CelsiusTicks(double low, double high, int most) {
  std::vector<AxisTick> ticks;
  if (!(high > low) || most < 1) {
    return ticks;
  }
  const double step = StepFor(high - low, most, kDegreeSteps);
  for (long i = std::lround(std::ceil(low / step - 1e-9)); i * step <= high + 1e-9; ++i) {
    char text[32];
    std::snprintf(text, sizeof text, step < 1 ? "%.1f °C" : "%.0f °C", i * step);
    ticks.push_back({i * step, text});
  }
  return ticks;
}

std::string DurationText(double seconds) {
  const auto s = static_cast<long long>(std::llround(std::max(0.0, seconds)));
  char text[48];
  if (s >= 86400) {
    std::snprintf(text, sizeof text, "%lld d %02lld h %02lld min", s / 86400, s / 3600 % 24,
                  s / 60 % 60);
  } else if (s >= 3600) {
    std::snprintf(text, sizeof text, "%lld h %02lld min", s / 3600, s / 60 % 60);
  } else if (s >= 60) {
    std::snprintf(text, sizeof text, "%lld min %02lld s", s / 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld s", s);
  }
  return text;
}
