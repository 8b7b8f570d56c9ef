// The driver-backed participants under a sysfs root, as every participant
// source (ParticipantSource.h) finds them: the thermal class's zones and
// cooling devices, then what the other sources add. One scan is one
// consistent picture: the registry view lists its entries and the zone
// driver turns its cdev links into device indexes of the same scan.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zivorivizo/Platform.h"

class CParticipantSource;

struct _tagSThermalEntry {
  const CParticipantSource* source = nullptr;  // the source that listed it
  uint32_t number = 0;                         // the N of the folder name
  std::string path;  // the folder: ROOT/class/thermal/<name>, a hwmon chip
  // Within a folder that holds several participants, the attribute prefix
  // of this one ("temp2"); empty when the folder is the participant.
  std::string channel;
  std::string type;   // the `type` text (hwmon: the label); empty when unread
  std::string chip;   // hwmon: the chip's `name`
  std::wstring name;  // the participant name under the scan's naming
  // The folder's identity: a folder that went away and came back under the
  // same number is another participant.
  uint64_t device = 0;
  uint64_t inode = 0;

  bool SameFolder(const _tagSThermalEntry& other) const {
    return device == other.device && inode == other.inode;
  }
  // The same participant of the same folder, whatever its name.
  bool SameEntry(const _tagSThermalEntry& other) const {
    return source == other.source && number == other.number && channel == other.channel &&
           SameFolder(other);
  }
};

struct _tagSThermalScan {
  // The sensors (zones first, in ascending numeric order: thermal_zone2
  // before thermal_zone10) and the devices (cooling devices first, likewise).
  std::vector<_tagSThermalEntry> sensors;
  std::vector<_tagSThermalEntry> devices;
  // Entries named like a participant that are no folder that opens (a
  // dangling link, a file): left out of both lists.
  uint32_t leftOut = 0;

  // Position of thermal_zone`number` in sensors (its sensor index) and of
  // cooling_device`number` in devices (its device index).
  std::optional<uint32_t> ZoneIndexOf(uint32_t number) const;
  std::optional<uint32_t> CoolingIndexOf(uint32_t number) const;
};

// What every participant source finds. A missing or unreadable folder adds
// nothing. Entries that are not folders are left out, and counted.
_tagSThermalScan ScanThermal(const std::string& sysfsRoot, LinuxParticipantNaming naming);

// N when `name` is exactly `prefix` followed by decimal digits.
std::optional<uint32_t> NumberAfterPrefix(std::string_view name, std::string_view prefix);

// Fills the entry's folder identity; false when its path is no folder that
// opens.
bool IdentifyFolder(_tagSThermalEntry& entry);
