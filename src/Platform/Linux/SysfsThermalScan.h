// The thermal zones and cooling devices under a sysfs root, found by name in
// ROOT/class/thermal: "thermal_zoneN" and "cooling_deviceN", N decimal. One
// scan is one consistent picture: the registry view lists its entries and the
// zone driver turns its cdev links into device indexes of the same scan.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zivorivizo/Platform.h"

struct _tagSThermalEntry {
  uint32_t number = 0;  // the N of the folder name
  std::string path;     // ROOT/class/thermal/<name>
  std::string type;     // the `type` text; empty when it cannot be read
  std::wstring name;    // the participant name under the scan's naming
  // The folder's identity: a folder that went away and came back under the
  // same number is another participant.
  uint64_t device = 0;
  uint64_t inode = 0;

  bool SameFolder(const _tagSThermalEntry& other) const {
    return device == other.device && inode == other.inode;
  }
};

struct _tagSThermalScan {
  // Both in ascending numeric order (thermal_zone2 before thermal_zone10).
  std::vector<_tagSThermalEntry> zones;
  std::vector<_tagSThermalEntry> coolingDevices;
  // Entries named like a zone or cooling device that are no folder that
  // opens (a dangling link, a file): left out of both lists.
  uint32_t leftOut = 0;

  // Position of thermal_zone`number` in zones (its sensor index) and of
  // cooling_device`number` in coolingDevices (its device index).
  std::optional<uint32_t> ZoneIndexOf(uint32_t number) const;
  std::optional<uint32_t> CoolingIndexOf(uint32_t number) const;
};

// A missing or unreadable folder gives an empty scan. Entries that are not
// folders are left out, and counted.
_tagSThermalScan ScanThermal(const std::string& sysfsRoot, LinuxParticipantNaming naming);

// N when `name` is exactly `prefix` followed by decimal digits.
std::optional<uint32_t> NumberAfterPrefix(std::string_view name, std::string_view prefix);
