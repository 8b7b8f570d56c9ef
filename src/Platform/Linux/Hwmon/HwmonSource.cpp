#include "Platform/Linux/Hwmon/HwmonSource.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "Platform/Linux/Hwmon/HwmonChipId.h"
#include "Platform/Linux/Hwmon/HwmonSensorHandle.h"
#include "Platform/Linux/ThermalClass/SysfsStableName.h"
#include "Platform/Text.h"

namespace {

constexpr std::size_t kMaxName = 63;

struct Input {
  std::string folder;  // where tempN_input is
  std::string label;
};

// N of every tempN_input of `folder` that someone may read, with its folder.
void FindInputs(const std::string& folder, std::map<uint32_t, Input>& inputs) {
  CUniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
  DIR* dir = fd.Valid() ? fdopendir(fd.Get()) : nullptr;
  if (dir == nullptr) {
    return;
  }
  fd.Release();
  while (const dirent* found = readdir(dir)) {
    std::string_view name(found->d_name);
    constexpr std::string_view kSuffix = "_input";
    if (name.size() <= kSuffix.size() || !name.ends_with(kSuffix)) {
      continue;
    }
    const auto n = NumberAfterPrefix(name.substr(0, name.size() - kSuffix.size()), "temp");
    struct stat info {};
    if (!n || inputs.count(*n) != 0 || fstatat(dirfd(dir), found->d_name, &info, 0) != 0 ||
        !S_ISREG(info.st_mode) || (info.st_mode & (S_IRUSR | S_IRGRP | S_IROTH)) == 0) {
      continue;
    }
    Input input{folder, {}};
    uint32_t ignored = 0;
    const std::string label = "temp" + std::to_string(*n) + "_label";
    if (!ReadSysfsText(dirfd(dir), label.c_str(), input.label, ignored)) {
      input.label.clear();
    }
    inputs.emplace(*n, std::move(input));
  }
  closedir(dir);
}

std::string ChipName(const std::string& chipPath) {
  std::string name;
  uint32_t ignored = 0;
  for (const char* folder : {"", "/device"}) {
    CUniqueFd fd(open((chipPath + folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Valid() && ReadSysfsText(fd.Get(), "name", name, ignored) && !name.empty()) {
      return name;
    }
  }
  return "unknown";
}

// The inputs of one chip as entries, in N order.
void ScanChip(uint32_t number, const std::string& chipPath, LinuxParticipantNaming naming,
              std::vector<_tagSThermalEntry>& into, uint32_t& leftOut) {
  std::map<uint32_t, Input> inputs;
  FindInputs(chipPath, inputs);
  FindInputs(chipPath + "/device", inputs);
  if (inputs.empty()) {
    return;
  }
  const std::string chip = ChipName(chipPath);
  const bool hasTdie = std::any_of(inputs.begin(), inputs.end(),
                                   [](const auto& input) { return input.second.label == "Tdie"; });
  const std::string busId =
      naming == LinuxParticipantNaming::Stable ? HwmonBusIdOfChip(chipPath) : std::string();
  for (const auto& [n, input] : inputs) {
    if (chip == "k10temp" && hasTdie && input.label == "Tctl") {
      continue;
    }
    _tagSThermalEntry entry;
    entry.source = &CHwmonSource::Instance();
    entry.number = number;
    entry.path = input.folder;
    entry.channel = "temp" + std::to_string(n);
    entry.type = input.label;
    entry.chip = chip;
    if (!IdentifyFolder(entry)) {
      ++leftOut;
      continue;
    }
    entry.name = naming == LinuxParticipantNaming::Path
                     ? FromUtf8(entry.path + "/" + entry.channel + "_input")
                     : FromUtf8(HwmonStableName(chip, busId,
                                                input.label.empty() ? entry.channel : input.label));
    into.push_back(std::move(entry));
  }
}

}  // namespace

std::string HwmonStableName(std::string_view chip, std::string_view busId, std::string_view label) {
  std::string name = "hwmon:" + StableTypeText(chip) + "-" + StableTypeText(busId) + ":";
  const std::string text = StableTypeText(label);
  name += text.substr(0, kMaxName > name.size() ? kMaxName - name.size() : 0);
  return name.substr(0, kMaxName);
}

const CHwmonSource& CHwmonSource::Instance() {
  static const CHwmonSource source;
  return source;
}

void CHwmonSource::Scan(const std::string& root, LinuxParticipantNaming naming,
                        _tagSThermalScan& scan) const {
  const std::string folder = root + "/class/hwmon";
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    return;
  }
  std::vector<std::pair<uint32_t, std::string>> chips;
  while (const dirent* found = readdir(dir)) {
    if (const auto n = NumberAfterPrefix(found->d_name, "hwmon")) {
      chips.emplace_back(*n, folder + "/" + found->d_name);
    }
  }
  closedir(dir);
  std::sort(chips.begin(), chips.end());
  for (const auto& [number, chipPath] : chips) {
    if (!HwmonChipMirrorsZone(chipPath)) {
      ScanChip(number, chipPath, naming, scan.sensors, scan.leftOut);
    }
  }
}

std::unique_ptr<CSysfsHandle> CHwmonSource::Open(CSysfsLiveEntry live, CUniqueFd dir,
                                                 std::shared_ptr<CSysfsValueWriter> /*writer*/,
                                                 uint32_t& error) const {
  const std::string channel = live.Entry().channel;
  CSysfsAttribute input(dir.Get(), channel + "_input");
  if (!input.OpenForReading(error)) {
    return nullptr;
  }
  return std::make_unique<CHwmonSensorHandle>(std::move(live), std::move(dir), std::move(input));
}
