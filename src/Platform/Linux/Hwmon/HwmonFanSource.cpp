#include "Platform/Linux/Hwmon/HwmonFanSource.h"

#include <dirent.h>
#include <fcntl.h>

#include <algorithm>
#include <atomic>

#include "Platform/Linux/Hwmon/HwmonChipId.h"
#include "Platform/Linux/Hwmon/HwmonFanHandle.h"
#include "Platform/Linux/Hwmon/HwmonFanRecord.h"
#include "Platform/Text.h"
#include "zivorivizo/Platform.h"

namespace {

// The pwmN of `folder` that have a pwmN_enable beside them, in number order.
std::vector<uint32_t> FanChannels(const std::string& folder) {
  std::vector<uint32_t> channels;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    return channels;
  }
  while (const dirent* found = readdir(dir)) {
    const auto index = NumberAfterPrefix(found->d_name, "pwm");
    if (index && SysfsFileExists(dirfd(dir), (std::string(found->d_name) + "_enable").c_str())) {
      channels.push_back(*index);
    }
  }
  closedir(dir);
  std::sort(channels.begin(), channels.end());
  return channels;
}

}  // namespace

namespace {

std::atomic<uint32_t> gLevels{CHwmonFanChannel::kDefaultLevels};

}  // namespace

void SetLinuxFanLevels(uint32_t levels) {
  gLevels.store(levels == 0 ? CHwmonFanChannel::kDefaultLevels : levels);
}

const CHwmonFanSource& CHwmonFanSource::Instance() {
  static const CHwmonFanSource source;
  return source;
}

void CHwmonFanSource::Scan(const std::string& root, LinuxParticipantNaming naming,
                           _tagSThermalScan& scan) const {
  const std::string folder = root + "/class/hwmon";
  std::vector<_tagSThermalEntry> fans;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    return;
  }
  while (const dirent* found = readdir(dir)) {
    const auto number = NumberAfterPrefix(found->d_name, "hwmon");
    if (!number) {
      continue;
    }
    const std::string chip = folder + "/" + found->d_name;
    for (const std::string& place : {chip, chip + "/device"}) {
      for (uint32_t index : FanChannels(place)) {
        _tagSThermalEntry entry;
        entry.source = this;
        entry.number = *number;
        entry.path = place;
        entry.channel = "pwm" + std::to_string(index);
        if (!IdentifyFolder(entry)) {
          ++scan.leftOut;
          continue;
        }
        CUniqueFd chipDir(open(chip.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
        uint32_t ignored = 0;
        if (!chipDir.Valid() || !ReadSysfsText(chipDir.Get(), "name", entry.type, ignored)) {
          entry.type = "hwmon";
        }
        entry.name = FromUtf8(naming == LinuxParticipantNaming::Path
                                  ? place + "/" + entry.channel
                                  : "fan:" + entry.type + "-" + HwmonBusIdOfChip(chip) + ":" +
                                        entry.channel);
        fans.push_back(std::move(entry));
      }
    }
  }
  closedir(dir);
  std::sort(fans.begin(), fans.end(),
            [](const _tagSThermalEntry& a, const _tagSThermalEntry& b) { return a.name < b.name; });
  scan.devices.insert(scan.devices.end(), fans.begin(), fans.end());
}

std::unique_ptr<CSysfsHandle> CHwmonFanSource::Open(CSysfsLiveEntry live, CUniqueFd dir,
                                                    std::shared_ptr<CSysfsValueWriter> writer,
                                                    uint32_t& error) const {
  const _tagSThermalEntry entry = live.Entry();
  const auto index = NumberAfterPrefix(entry.channel, "pwm");
  if (!index) {
    error = DEVICE_ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  // The folder checked by the device I/O is the one the channel opens again.
  dir = CUniqueFd();
  auto channel =
      CHwmonFanChannel::Open(entry.path, *index, gLevels.load(), std::move(writer),
                             LogHwmonFanNotes(entry.name), error, CurrentHwmonFanRecord());
  if (!channel) {
    return nullptr;
  }
  return std::make_unique<CHwmonFanHandle>(
      std::move(channel),
      [live = std::move(live)](uint32_t& why) mutable { return live.Check(why); });
}
