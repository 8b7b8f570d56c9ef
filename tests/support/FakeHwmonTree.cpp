#include "support/FakeHwmonTree.h"

#include <fstream>

namespace fs = std::filesystem;

namespace {

void Put(const fs::path& file, const std::string& text) {
  std::ofstream(file) << text << "\n";
}

}  // namespace

void CFakeHwmonTree::AddChip(uint32_t n, const std::string& name, const std::string& device,
                             const std::vector<uint32_t>& pwms, bool inDevice) {
  const fs::path bus = fs::path(mRoot.Path()) / "devices" / device;
  const fs::path chip = bus / "hwmon" / ("hwmon" + std::to_string(n));
  fs::create_directories(chip);
  fs::create_directories(fs::path(mRoot.Path()) / "class/hwmon");
  fs::create_symlink(bus, chip / "device");
  const std::string subsystem = device.rfind("platform/", 0) == 0 ? "platform" : "pci";
  fs::create_directories(fs::path(mRoot.Path()) / "bus" / subsystem);
  if (!fs::is_symlink(bus / "subsystem")) {
    fs::create_symlink(fs::path(mRoot.Path()) / "bus" / subsystem, bus / "subsystem");
  }
  fs::create_symlink(chip, Class(n));
  Put(chip / "name", name);
  for (uint32_t k : pwms) {
    const fs::path where = inDevice ? bus : chip;
    Put(where / ("pwm" + std::to_string(k)), "100");
    Put(where / ("pwm" + std::to_string(k) + "_enable"), "2");
  }
  Put(chip / "pwm9", "0");  // no pwm9_enable: not a channel
}

void CFakeHwmonTree::Renumber(uint32_t from, uint32_t to) {
  const fs::path chip = fs::read_symlink(Class(from));
  fs::remove(Class(from));
  fs::create_symlink(chip, Class(to));
}

fs::path CFakeHwmonTree::Class(uint32_t n) const {
  return fs::path(mRoot.Path()) / "class/hwmon" / ("hwmon" + std::to_string(n));
}

int64_t CFakeHwmonTree::Get(uint32_t n, const std::string& name) const {
  std::ifstream in(Class(n) / name);
  int64_t value = -1;
  in >> value;
  return in ? value : -1;
}
