// The participant type codes (0 to 9) given to sysfs thermal zones and
// cooling devices, from the text of their `type` attribute. The table is in
// docs/linux-platform.md; the rules are tried in order and the first one whose
// word occurs in the text (ignoring case) wins, so "thermal-cpufreq-0" is a
// processor and "pwm-fan" a fan. Unknown texts give 0.
#pragma once

#include <cstdint>
#include <string_view>

// Sensor type 1 is the skin sensor, which the library treats apart.
inline constexpr uint32_t SYSFS_SENSOR_SKIN = 1;
// Device type 9 is the active (fan) device that the library selects as such.
inline constexpr uint32_t SYSFS_DEVICE_ACTIVE = 9;

uint32_t SensorTypeFromSysfs(std::string_view type);
uint32_t DeviceClassFromSysfs(std::string_view type);
