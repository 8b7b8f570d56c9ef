#include "support/FakeSysfs.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "Platform/Text.h"

namespace fs = std::filesystem;

namespace {

std::string ZoneName(uint32_t n) {
  return "thermal_zone" + std::to_string(n);
}
std::string CoolingName(uint32_t n) {
  return "cooling_device" + std::to_string(n);
}
std::string Contents(const fs::path& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

}  // namespace

CFakeSysfs::CFakeSysfs(std::size_t rootLength) {
  char name[] = "/tmp/zv-XXXXXX";
  mTemp = mkdtemp(name) != nullptr ? name : throw std::runtime_error("mkdtemp failed");
  mRoot = mTemp;
  if (rootLength > mRoot.size() + 1) {
    mRoot += "/" + std::string(rootLength - mRoot.size() - 1, 'r');
  }
  fs::create_directories(mRoot + "/class/thermal");
  fs::create_directories(mRoot + "/devices/virtual/thermal");
}

CFakeSysfs::~CFakeSysfs() {
  std::error_code ec;
  fs::remove_all(mTemp, ec);
}

std::string CFakeSysfs::ZonePath(uint32_t n) const {
  return mRoot + "/class/thermal/" + ZoneName(n);
}
std::string CFakeSysfs::CoolingPath(uint32_t n) const {
  return mRoot + "/class/thermal/" + CoolingName(n);
}
std::wstring CFakeSysfs::ZonePathW(uint32_t n) const {
  return FromUtf8(ZonePath(n));
}
std::wstring CFakeSysfs::CoolingPathW(uint32_t n) const {
  return FromUtf8(CoolingPath(n));
}

std::string CFakeSysfs::DeviceFolder(const std::string& name) const {
  return mRoot + "/devices/virtual/thermal/" + name;
}

void CFakeSysfs::AddFolder(const std::string& name) {
  fs::create_directories(DeviceFolder(name));
  if (!fs::is_symlink(mRoot + "/class/thermal/" + name)) {
    fs::create_directory_symlink("../../devices/virtual/thermal/" + name,
                                 mRoot + "/class/thermal/" + name);
  }
}

void CFakeSysfs::AddZone(uint32_t n, const std::string& type, int64_t milliCelsius) {
  AddFolder(ZoneName(n));
  WriteAttribute(ZoneName(n), "type", type + "\n", 0444);
  SetZoneTemp(n, milliCelsius);
  WriteAttribute(ZoneName(n), "mode", "enabled\n");
}

void CFakeSysfs::SetZoneTemp(uint32_t n, int64_t milliCelsius) {
  WriteAttribute(ZoneName(n), "temp", std::to_string(milliCelsius) + "\n", 0444);
}

void CFakeSysfs::SetTrip(uint32_t zone, uint32_t k, int64_t milliCelsius, bool writable,
                         const std::string& type) {
  const std::string base = "trip_point_" + std::to_string(k);
  WriteAttribute(ZoneName(zone), base + "_temp", std::to_string(milliCelsius) + "\n",
                 writable ? 0644 : 0444);
  WriteAttribute(ZoneName(zone), base + "_type", type + "\n", 0444);
}

void CFakeSysfs::Remove(const std::string& folder) {
  fs::remove(mRoot + "/class/thermal/" + folder);
  fs::remove_all(DeviceFolder(folder));
}

void CFakeSysfs::LinkCooling(uint32_t zone, uint32_t k, uint32_t cooling) {
  const std::string cdev = "cdev" + std::to_string(k);
  fs::create_directory_symlink("../" + CoolingName(cooling),
                               DeviceFolder(ZoneName(zone)) + "/" + cdev);
  WriteAttribute(ZoneName(zone), cdev + "_trip_point", "0\n", 0444);
  WriteAttribute(ZoneName(zone), cdev + "_weight", "0\n");
}

void CFakeSysfs::AddCooling(uint32_t n, const std::string& type, uint32_t maxState,
                            uint32_t curState) {
  AddFolder(CoolingName(n));
  WriteAttribute(CoolingName(n), "type", type + "\n", 0444);
  WriteAttribute(CoolingName(n), "max_state", std::to_string(maxState) + "\n", 0444);
  WriteAttribute(CoolingName(n), "cur_state", std::to_string(curState) + "\n");
}

void CFakeSysfs::WriteAttribute(const std::string& folder, const std::string& name,
                                const std::string& text, unsigned mode) {
  const std::string path = DeviceFolder(folder) + "/" + name;
  // Rewritten in place, as a kernel value changes: a reader holding the file
  // open sees the new value.
  chmod(path.c_str(), 0644);
  std::ofstream out(path, std::ios::trunc);
  if (!(out << text) || !out.flush()) {
    throw std::runtime_error("cannot write " + path);
  }
  chmod(path.c_str(), mode);
}

std::string CFakeSysfs::Snapshot() const {
  std::set<std::string> lines;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(mRoot, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const fs::file_status status = fs::symlink_status(it->path());
    std::string line = it->path().string() + " " +
                       std::to_string(static_cast<unsigned>(status.permissions())) + " ";
    if (fs::is_symlink(status)) {
      line += "-> " + fs::read_symlink(it->path()).string();
    } else {
      line += fs::is_regular_file(status) ? "= " + Contents(it->path()) : "dir";
    }
    lines.insert(line);
  }
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}
