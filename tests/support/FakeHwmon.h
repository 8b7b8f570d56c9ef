// hwmon chips in a fake sysfs tree (CFakeSysfs's root), laid out as the
// kernel does: ROOT/devices/<device>/hwmon/hwmonN with `name`, its `device`
// link to the device folder, that folder's `subsystem` link to
// ROOT/bus/<bus>, and ROOT/class/hwmon/hwmonN linking to the chip folder.
#pragma once

#include <cstdint>
#include <string>

class CFakeHwmon {
 public:
  explicit CFakeHwmon(std::string root);

  // hwmonN named `name` on device `device` ("pci0000:00/0000:00:18.3") of
  // bus `bus` ("pci"); an empty device gives a chip with no `device` link.
  void AddChip(uint32_t n, const std::string& name, const std::string& device,
               const std::string& bus);
  // A chip copying thermal zone `zone`: its device link points into
  // devices/virtual/thermal/thermal_zoneZ.
  void AddZoneMirror(uint32_t n, const std::string& name, uint32_t zone);
  // Writes attribute `file` ("temp1_input") in hwmonN, or in hwmonN/device.
  void Write(uint32_t n, const std::string& file, const std::string& text, unsigned mode = 0644,
             bool inDevice = false);
  // Takes hwmonN out of the class folder and its chip folder away.
  void Remove(uint32_t n);

  std::string ChipPath(uint32_t n) const;  // ROOT/class/hwmon/hwmonN

 private:
  std::string mRoot;
};
