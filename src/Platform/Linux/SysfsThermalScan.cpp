#include "Platform/Linux/SysfsThermalScan.h"

#include <dirent.h>

#include <algorithm>
#include <charconv>

std::optional<uint32_t> _tagSThermalScan::CoolingIndexOf(uint32_t number) const {
  for (std::size_t i = 0; i < coolingDevices.size(); ++i) {
    if (coolingDevices[i].number == number) {
      return static_cast<uint32_t>(i);
    }
  }
  return std::nullopt;
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

_tagSThermalScan ScanThermal(const std::string& sysfsRoot) {
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
      scan.zones.push_back({*n, folder + "/" + entry->d_name});
    } else if (auto m = NumberAfterPrefix(name, "cooling_device")) {
      scan.coolingDevices.push_back({*m, folder + "/" + entry->d_name});
    }
  }
  closedir(dir);
  const auto byNumber = [](const _tagSThermalEntry& a, const _tagSThermalEntry& b) {
    return a.number < b.number;
  };
  std::sort(scan.zones.begin(), scan.zones.end(), byNumber);
  std::sort(scan.coolingDevices.begin(), scan.coolingDevices.end(), byNumber);
  return scan;
}
