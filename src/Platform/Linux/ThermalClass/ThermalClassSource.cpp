#include "Platform/Linux/ThermalClass/ThermalClassSource.h"

#include <dirent.h>
#include <fcntl.h>

#include <algorithm>
#include <map>

#include "Platform/Linux/ThermalClass/SysfsCoolingHandle.h"
#include "Platform/Linux/ThermalClass/SysfsStableName.h"
#include "Platform/Linux/ThermalClass/SysfsZoneHandle.h"
#include "Platform/Text.h"

namespace {

// Fills the identity and the type; false when the entry is no folder.
bool Describe(_tagSThermalEntry& entry) {
  if (!IdentifyFolder(entry)) {
    return false;
  }
  CUniqueFd dir(open(entry.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
  uint32_t ignored = 0;
  if (!dir.Valid() || !ReadSysfsText(dir.Get(), "type", entry.type, ignored)) {
    entry.type.clear();
  }
  return true;
}

void NameFrom(std::vector<_tagSThermalEntry>& entries, std::size_t from, std::string_view kind,
              LinuxParticipantNaming naming) {
  std::map<std::string, uint32_t> seen;  // per sanitised type
  for (std::size_t i = from; i < entries.size(); ++i) {
    _tagSThermalEntry& entry = entries[i];
    if (naming == LinuxParticipantNaming::Path) {
      entry.name = FromUtf8(entry.path);
      continue;
    }
    const std::string type = StableTypeText(entry.type);
    entry.name = FromUtf8(StableParticipantName(kind, type, seen[type]++));
  }
}

}  // namespace

const CThermalClassSource& CThermalClassSource::Instance() {
  static const CThermalClassSource source;
  return source;
}

void CThermalClassSource::Scan(const std::string& root, LinuxParticipantNaming naming,
                               _tagSThermalScan& scan) const {
  const std::string folder = root + "/class/thermal";
  const std::size_t firstSensor = scan.sensors.size();
  const std::size_t firstDevice = scan.devices.size();
  std::vector<_tagSThermalEntry> zones;
  std::vector<_tagSThermalEntry> coolingDevices;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    return;
  }
  while (const dirent* found = readdir(dir)) {
    const std::string_view name(found->d_name);
    auto zone = NumberAfterPrefix(name, "thermal_zone");
    auto cooling = zone ? std::nullopt : NumberAfterPrefix(name, "cooling_device");
    if (!zone && !cooling) {
      continue;
    }
    _tagSThermalEntry entry;
    entry.source = this;
    entry.number = zone ? *zone : *cooling;
    entry.path = folder + "/" + found->d_name;
    (zone ? zones : coolingDevices).push_back(std::move(entry));
  }
  closedir(dir);
  const auto byNumber = [](const _tagSThermalEntry& a, const _tagSThermalEntry& b) {
    return a.number < b.number;
  };
  for (auto* entries : {&zones, &coolingDevices}) {
    scan.leftOut += static_cast<uint32_t>(
        std::erase_if(*entries, [](_tagSThermalEntry& entry) { return !Describe(entry); }));
    std::sort(entries->begin(), entries->end(), byNumber);
  }
  scan.sensors.insert(scan.sensors.end(), zones.begin(), zones.end());
  scan.devices.insert(scan.devices.end(), coolingDevices.begin(), coolingDevices.end());
  NameFrom(scan.sensors, firstSensor, "zone", naming);
  NameFrom(scan.devices, firstDevice, "cooling", naming);
}

std::unique_ptr<CSysfsHandle> CThermalClassSource::Open(CSysfsLiveEntry live, CUniqueFd dir,
                                                        std::shared_ptr<CSysfsValueWriter> writer,
                                                        uint32_t& error) const {
  const bool zone = live.IsSensor();
  CSysfsAttribute first(dir.Get(), zone ? "temp" : "cur_state");
  if (!first.OpenForReading(error)) {
    return nullptr;
  }
  if (zone) {
    return std::make_unique<CSysfsZoneHandle>(std::move(live), std::move(dir), std::move(first),
                                              std::move(writer));
  }
  return std::make_unique<CSysfsCoolingHandle>(std::move(live), std::move(dir), std::move(first),
                                               std::move(writer));
}
