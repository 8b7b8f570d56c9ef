#include "Platform/Linux/ThermalClass/SysfsTypeMap.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <string>

namespace {

struct _tagSTypeRule {
  uint32_t code;
  std::initializer_list<std::string_view> words;
};

// Keep in step with the tables in docs/linux-platform.md. Order matters: a
// rule earlier in the list wins over a later one whose word also occurs.
const _tagSTypeRule kSensorRules[] = {
    {1, {"skin"}},
    {2, {"cpu", "x86_pkg_temp", "pkg", "core", "soc", "processor"}},
    {3, {"gpu", "gfx", "graphics"}},
    {4, {"battery", "bat"}},
    {5, {"ddr", "dram", "dimm", "mem"}},
    {6, {"nvme", "ssd", "disk", "emmc", "storage"}},
    {7, {"wifi", "wlan", "wwan", "modem", "radio"}},
    {8, {"charger", "pmic", "power"}},
    {9, {"acpitz", "ambient", "board", "pch", "chipset"}},
};

const _tagSTypeRule kDeviceRules[] = {
    {9, {"fan"}},
    {1, {"processor", "cpu", "powerclamp", "tcc", "thermal-idle"}},
    {2, {"gpu", "gfx", "graphics"}},
    {3, {"lcd", "backlight", "display", "panel"}},
    {4, {"battery", "charge"}},
    {5, {"dram", "ddr", "memory"}},
    {6, {"wifi", "wlan", "wwan", "modem", "radio"}},
    {7, {"nvme", "ssd", "disk", "storage"}},
    {8, {"devfreq", "rapl", "power"}},
};

template <std::size_t N>
uint32_t Classify(std::string_view type, const _tagSTypeRule (&rules)[N]) {
  std::string lower(type);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const _tagSTypeRule& rule : rules) {
    for (std::string_view word : rule.words) {
      if (lower.find(word) != std::string::npos) {
        return rule.code;
      }
    }
  }
  return 0;
}

}  // namespace

uint32_t SensorTypeFromSysfs(std::string_view type) {
  return Classify(type, kSensorRules);
}

uint32_t DeviceClassFromSysfs(std::string_view type) {
  return Classify(type, kDeviceRules);
}
