// The thermal zones and cooling devices under a sysfs root, found by name in
// ROOT/class/thermal: "thermal_zoneN" and "cooling_deviceN", N decimal. The
// registry view lists them and the zone driver turns its cdev links into
// registry device indices from the same scan, so both agree on numbering.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct _tagSThermalEntry {
  uint32_t number = 0;  // the N of the folder name
  std::string path;     // ROOT/class/thermal/<name>
};

struct _tagSThermalScan {
  // Both in ascending numeric order (thermal_zone2 before thermal_zone10).
  std::vector<_tagSThermalEntry> zones;
  std::vector<_tagSThermalEntry> coolingDevices;

  // Position of cooling_device`number` in coolingDevices, which is its
  // registry device index.
  std::optional<uint32_t> CoolingIndexOf(uint32_t number) const;
};

// A missing or unreadable folder gives an empty scan.
_tagSThermalScan ScanThermal(const std::string& sysfsRoot);

// N when `name` is exactly `prefix` followed by decimal digits.
std::optional<uint32_t> NumberAfterPrefix(std::string_view name, std::string_view prefix);
