// A fake sysfs tree in a fresh temporary folder (/tmp/zv-XXXXXX, short so that
// the folder paths stay readable through the 128-byte registry buffer),
// removed with everything in it when the object is destroyed.
//
// It is laid out as the kernel lays out the thermal class: the folders live in
// ROOT/devices/virtual/thermal/<name>, ROOT/class/thermal/<name> links to them,
// and a zone's cdevK links point at ../cooling_deviceM. Values are written as
// the kernel shows them: decimal text and a newline; temperatures in
// millidegrees Celsius.
//
// Helpers throw when the file system refuses, which fails the running test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CFakeSysfs {
 public:
  // `rootLength` > 0 makes the root exactly that long (a folder of 'r's under
  // the temporary one), to try the registry's path buffer.
  explicit CFakeSysfs(std::size_t rootLength = 0);
  ~CFakeSysfs();
  CFakeSysfs(const CFakeSysfs&) = delete;
  CFakeSysfs& operator=(const CFakeSysfs&) = delete;

  // The folder standing for /sys.
  const std::string& Root() const { return mRoot; }

  // ROOT/class/thermal/thermal_zoneN and ROOT/class/thermal/cooling_deviceN,
  // the paths the registry view lists.
  std::string ZonePath(uint32_t n) const;
  std::string CoolingPath(uint32_t n) const;
  std::wstring ZonePathW(uint32_t n) const;
  std::wstring CoolingPathW(uint32_t n) const;

  // A zone with `type` and `temp`; no trip points, no links.
  void AddZone(uint32_t n, const std::string& type, int64_t milliCelsius);
  void SetZoneTemp(uint32_t n, int64_t milliCelsius);
  // trip_point_K_temp (and its _type), mode 0644 or 0444.
  void SetTrip(uint32_t zone, uint32_t k, int64_t milliCelsius, bool writable = true,
               const std::string& type = "passive");
  // cdevK -> ../cooling_deviceM, with the cdevK_trip_point and cdevK_weight
  // files the kernel adds beside it.
  void LinkCooling(uint32_t zone, uint32_t k, uint32_t cooling);
  void AddCooling(uint32_t n, const std::string& type, uint32_t maxState, uint32_t curState);

  // Takes a zone or cooling device ("thermal_zone1") out of the tree, as the
  // kernel does when its driver goes: the class link and the folder.
  void Remove(const std::string& folder);

  // Writes an attribute of a zone or cooling device folder ("thermal_zone0",
  // "temp").
  void WriteAttribute(const std::string& folder, const std::string& name, const std::string& text,
                      unsigned mode = 0644);

  // Every entry under the root with its kind, permissions and content (link
  // target for links), one per line in path order: two snapshots differ when
  // anything was created, removed or written.
  std::string Snapshot() const;

 private:
  std::string DeviceFolder(const std::string& name) const;
  void AddFolder(const std::string& name);

  std::string mTemp;
  std::string mRoot;
};
