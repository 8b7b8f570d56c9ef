#include "Platform/Linux/SysfsThermalScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <map>

#include "Platform/Linux/SysfsAttribute.h"
#include "Platform/Linux/SysfsStableName.h"
#include "Platform/Text.h"

namespace {

std::optional<uint32_t> IndexOf(const std::vector<_tagSThermalEntry>& entries, uint32_t number) {
  const auto found =
      std::lower_bound(entries.begin(), entries.end(), number,
                       [](const _tagSThermalEntry& entry, uint32_t n) { return entry.number < n; });
  if (found == entries.end() || found->number != number) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(found - entries.begin());
}

// Fills the identity and the type; false when the entry is no folder.
bool Describe(_tagSThermalEntry& entry) {
  CUniqueFd dir(open(entry.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
  struct stat info {};
  if (!dir.Valid() || fstat(dir.Get(), &info) != 0) {
    return false;
  }
  entry.device = info.st_dev;
  entry.inode = info.st_ino;
  uint32_t ignored = 0;
  if (!ReadSysfsText(dir.Get(), "type", entry.type, ignored)) {
    entry.type.clear();
  }
  return true;
}

void Name(std::vector<_tagSThermalEntry>& entries, std::string_view kind,
          LinuxParticipantNaming naming) {
  std::map<std::string, uint32_t> seen;  // per sanitised type
  for (_tagSThermalEntry& entry : entries) {
    if (naming == LinuxParticipantNaming::Path) {
      entry.name = FromUtf8(entry.path);
      continue;
    }
    const std::string type = StableTypeText(entry.type);
    entry.name = FromUtf8(StableParticipantName(kind, type, seen[type]++));
  }
}

}  // namespace

std::optional<uint32_t> _tagSThermalScan::ZoneIndexOf(uint32_t number) const {
  return IndexOf(zones, number);
}

std::optional<uint32_t> _tagSThermalScan::CoolingIndexOf(uint32_t number) const {
  return IndexOf(coolingDevices, number);
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

_tagSThermalScan ScanThermal(const std::string& sysfsRoot, LinuxParticipantNaming naming) {
  std::string folder = sysfsRoot;
  while (!folder.empty() && folder.back() == '/') {
    folder.pop_back();  // "/sys/" and "/sys" name one root; "/" becomes ""
  }
  folder += "/class/thermal";

  _tagSThermalScan scan;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    return scan;
  }
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (auto n = NumberAfterPrefix(name, "thermal_zone")) {
      _tagSThermalEntry zone;
      zone.number = *n;
      zone.path = folder + "/" + entry->d_name;
      scan.zones.push_back(std::move(zone));
    } else if (auto m = NumberAfterPrefix(name, "cooling_device")) {
      _tagSThermalEntry cooling;
      cooling.number = *m;
      cooling.path = folder + "/" + entry->d_name;
      scan.coolingDevices.push_back(std::move(cooling));
    }
  }
  closedir(dir);
  const auto byNumber = [](const _tagSThermalEntry& a, const _tagSThermalEntry& b) {
    return a.number < b.number;
  };
  for (auto* entries : {&scan.zones, &scan.coolingDevices}) {
    scan.leftOut += static_cast<uint32_t>(
        std::erase_if(*entries, [](_tagSThermalEntry& entry) { return !Describe(entry); }));
    std::sort(entries->begin(), entries->end(), byNumber);
  }
  Name(scan.zones, "zone", naming);
  Name(scan.coolingDevices, "cooling", naming);
  return scan;
}
