#include "Platform/Linux/SysfsThermalScan.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>

#include "Platform/Linux/Hwmon/HwmonFanSource.h"
#include "Platform/Linux/Hwmon/HwmonSource.h"
#include "Platform/Linux/SysfsAttribute.h"
#include "Platform/Linux/ThermalClass/ThermalClassSource.h"

namespace {

// Thermal-class entries come first in both lists, in ascending number.
std::optional<uint32_t> IndexOf(const std::vector<_tagSThermalEntry>& entries, uint32_t number) {
  const CParticipantSource* thermal = &CThermalClassSource::Instance();
  const auto end = std::find_if(entries.begin(), entries.end(),
                                [&](const _tagSThermalEntry& e) { return e.source != thermal; });
  const auto found =
      std::lower_bound(entries.begin(), end, number,
                       [](const _tagSThermalEntry& entry, uint32_t n) { return entry.number < n; });
  if (found == end || found->number != number) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(found - entries.begin());
}

}  // namespace

std::optional<uint32_t> _tagSThermalScan::ZoneIndexOf(uint32_t number) const {
  return IndexOf(sensors, number);
}

std::optional<uint32_t> _tagSThermalScan::CoolingIndexOf(uint32_t number) const {
  return IndexOf(devices, number);
}

std::optional<uint32_t> NumberAfterPrefix(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) {
    return std::nullopt;
  }
  const std::string_view digits = name.substr(prefix.size());
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  uint32_t number = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (ec != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return number;
}

bool IdentifyFolder(_tagSThermalEntry& entry) {
  CUniqueFd dir(open(entry.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
  struct stat info {};
  if (!dir.Valid() || fstat(dir.Get(), &info) != 0) {
    return false;
  }
  entry.device = info.st_dev;
  entry.inode = info.st_ino;
  return true;
}

const std::vector<const CParticipantSource*>& ParticipantSources() {
  static const std::vector<const CParticipantSource*> sources = {
      &CThermalClassSource::Instance(),
      &CHwmonSource::Instance(),
      &CHwmonFanSource::Instance(),
  };
  return sources;
}

_tagSThermalScan ScanThermal(const std::string& sysfsRoot, LinuxParticipantNaming naming) {
  std::string root = sysfsRoot;
  while (!root.empty() && root.back() == '/') {
    root.pop_back();  // "/sys/" and "/sys" name one root; "/" becomes ""
  }
  _tagSThermalScan scan;
  for (const CParticipantSource* source : ParticipantSources()) {
    source->Scan(root, naming, scan);
  }
  return scan;
}
