#include "support/FakeHwmon.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

CFakeHwmon::CFakeHwmon(std::string root) : mRoot(std::move(root)) {
  fs::create_directories(mRoot + "/class/hwmon");
}

std::string CFakeHwmon::ChipPath(uint32_t n) const {
  return mRoot + "/class/hwmon/hwmon" + std::to_string(n);
}

void CFakeHwmon::AddChip(uint32_t n, const std::string& name, const std::string& device,
                         const std::string& bus) {
  const std::string deviceFolder =
      mRoot + "/devices/" + (device.empty() ? std::string("virtual") : device);
  const std::string chip = deviceFolder + "/hwmon/hwmon" + std::to_string(n);
  fs::create_directories(chip);
  if (!device.empty()) {
    fs::create_directory_symlink(deviceFolder, chip + "/device");
    fs::create_directories(mRoot + "/bus/" + bus);
    std::error_code exists;
    fs::create_directory_symlink(mRoot + "/bus/" + bus, deviceFolder + "/subsystem", exists);
  }
  fs::create_directory_symlink(chip, ChipPath(n));
  Write(n, "name", name);
}

void CFakeHwmon::AddZoneMirror(uint32_t n, const std::string& name, uint32_t zone) {
  AddChip(n, name, "virtual/thermal/thermal_zone" + std::to_string(zone), "thermal");
}

void CFakeHwmon::Write(uint32_t n, const std::string& file, const std::string& text, unsigned mode,
                       bool inDevice) {
  const std::string path = ChipPath(n) + (inDevice ? "/device/" : "/") + file;
  std::ofstream(path, std::ios::trunc) << text << "\n";
  chmod(path.c_str(), mode);
}

void CFakeHwmon::Remove(uint32_t n) {
  const fs::path chip = fs::canonical(ChipPath(n));
  fs::remove(ChipPath(n));
  fs::remove_all(chip);
}
