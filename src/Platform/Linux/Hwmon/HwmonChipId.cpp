#include "Platform/Linux/Hwmon/HwmonChipId.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

std::string_view BaseName(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The resolved path of `path`, empty when it cannot be resolved.
std::string Resolved(const std::string& path) {
  std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
  return real ? std::string(real.get()) : std::string();
}

std::string Hex4(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof(text), "%04x", value);
  return text;
}

}  // namespace

std::string HwmonBusId(std::string_view subsystem, std::string_view deviceName) {
  const std::string name(deviceName);
  if (subsystem == "pci") {
    unsigned domain = 0, bus = 0, slot = 0, function = 0;
    if (std::sscanf(name.c_str(), "%x:%x:%x.%x", &domain, &bus, &slot, &function) == 4) {
      return "pci-" + Hex4((domain << 16) | (bus << 8) | (slot << 3) | function);
    }
  } else if (subsystem == "platform" || subsystem == "isa") {
    // "nct6775.656": the port after the dot; "coretemp.0": the instance.
    const std::size_t dot = name.find_last_of('.');
    char* end = nullptr;
    const unsigned long number =
        dot == std::string::npos ? 0 : std::strtoul(name.c_str() + dot + 1, &end, 10);
    return "isa-" + Hex4(static_cast<unsigned>(number));
  } else if (subsystem == "i2c") {
    unsigned adapter = 0, address = 0;
    if (std::sscanf(name.c_str(), "%u-%x", &adapter, &address) == 2) {
      char text[32];
      std::snprintf(text, sizeof(text), "i2c-%u-%x", adapter, address);
      return text;
    }
  }
  if (subsystem.empty() || name.empty()) {
    return "virtual-0";
  }
  return std::string(subsystem) + "-" + name;
}

std::string HwmonBusIdOfChip(const std::string& chipPath) {
  const std::string device = Resolved(chipPath + "/device");
  if (device.empty()) {
    return "virtual-0";
  }
  const std::string subsystem = Resolved(chipPath + "/device/subsystem");
  return HwmonBusId(BaseName(subsystem), BaseName(device));
}

bool HwmonChipMirrorsZone(const std::string& chipPath) {
  constexpr std::string_view kZones = "virtual/thermal/thermal_zone";
  char target[PATH_MAX];
  const std::string link = chipPath + "/device";
  const ssize_t length = readlink(link.c_str(), target, sizeof(target));
  if (length > 0 && std::string_view(target, static_cast<std::size_t>(length)).find(kZones) !=
                        std::string_view::npos) {
    return true;
  }
  return Resolved(link).find(kZones) != std::string::npos;
}
