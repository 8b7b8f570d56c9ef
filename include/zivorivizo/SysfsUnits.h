// Kernel thermal values and the library's units. Zone temperatures and
// hwmon inputs and limits are millidegrees Celsius; the participants speak
// tenths of kelvin with 0 degrees Celsius at 2732. A kernel value below
// absolute zero means "invalid" (a disabled trip reads -274000), and a value
// whose tenths of kelvin do not fit the field is no reading either: both give
// std::nullopt, never a wrapped number. A host that reads sysfs attributes
// itself (CLinuxSysfsFolder) converts them here to show them beside the
// library's records. Plain functions, no state.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>

inline constexpr int64_t SYSFS_ABSOLUTE_ZERO_MILLI = -273200;

// A temperature (`temp`): any tenths of kelvin a 32-bit field holds.
inline std::optional<int32_t> TemperatureFromMilliCelsius(int64_t milli) {
  // The first value whose tenths of kelvin no longer fit: one compare on the
  // value read, before the division, instead of one on its result.
  constexpr int64_t kTooHot = (int64_t{std::numeric_limits<int32_t>::max()} - 2732 + 1) * 100;
  if (milli < SYSFS_ABSOLUTE_ZERO_MILLI || milli >= kTooHot) {
    return std::nullopt;
  }
  return static_cast<int32_t>(milli / 100 + 2732);
}

// A trip point: the library keeps trip temperatures to 16 bits.
inline std::optional<int32_t> TripFromMilliCelsius(int64_t milli) {
  const auto tenths = TemperatureFromMilliCelsius(milli);
  if (!tenths || *tenths > std::numeric_limits<uint16_t>::max()) {
    return std::nullopt;
  }
  return tenths;
}

inline int64_t MilliCelsiusFromTenthsKelvin(int32_t tenths) {
  return (static_cast<int64_t>(tenths) - 2732) * 100;
}

// A cooling state (`cur_state`, `max_state`): 0 to 2^32 - 1.
inline std::optional<uint32_t> CoolingStateFromSysfs(int64_t value) {
  if (value < 0 || value > std::numeric_limits<uint32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}
