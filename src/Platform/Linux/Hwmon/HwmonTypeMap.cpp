#include "Platform/Linux/Hwmon/HwmonTypeMap.h"

#include <cctype>

#include "Platform/Linux/ThermalClass/SysfsTypeMap.h"

namespace {

struct ChipRule {
  std::string_view prefix;  // the chip's `name` starts with it
  uint32_t type;
};

// Keep in step with the table in docs/linux-platform.md. Chips whose every
// input measures one thing; board and laptop controllers are typed by label.
constexpr ChipRule kChips[] = {
    {"k10temp", 2},   {"coretemp", 2}, {"zenpower", 2}, {"cpu_thermal", 2},
    {"amdgpu", 3},    {"radeon", 3},   {"nouveau", 3},  {"i915", 3},
    {"xe", 3},        {"spd5118", 5},  {"jc42", 5},     {"nvme", 6},
    {"drivetemp", 6}, {"iwlwifi", 7},  {"ath", 7},      {"mt7921", 7},
};

constexpr uint32_t kBoard = 9;

}  // namespace

uint32_t HwmonSensorType(std::string_view chip, std::string_view label) {
  for (const ChipRule& rule : kChips) {
    // "ath10k_hwmon", "mt7921_phy0": the prefix and no more letters.
    const bool match = chip.substr(0, rule.prefix.size()) == rule.prefix &&
                       (chip.size() == rule.prefix.size() ||
                        !std::isalpha(static_cast<unsigned char>(chip[rule.prefix.size()])) ||
                        rule.prefix == "ath");
    if (match) {
      return rule.type;
    }
  }
  // A board chip's or an EC's labels say what they measure: "CPUTIN",
  // "GPU", "Package id 0"; an unlabelled or unknown input is the board's.
  const uint32_t byLabel = SensorTypeFromSysfs(label);
  return byLabel != 0 ? byLabel : kBoard;
}
