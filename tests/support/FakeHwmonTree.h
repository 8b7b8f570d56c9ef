// A fake sysfs tree of hwmon chips in a fresh temporary folder, laid out as
// the kernel lays out hwmon: ROOT/class/hwmon/hwmonN links to the chip's
// folder under devices/, whose `device` link names the bus device and its
// `subsystem` (platform for "platform/...", else pci). Each fan channel
// pwmK starts in the chip's own mode 2 at 100.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TempFolder.h"

class CFakeHwmonTree {
 public:
  // hwmonN for chip `name` on bus device `device` (under devices/), with
  // pwmK and pwmK_enable in the chip folder, or in device/ for an old driver.
  void AddChip(uint32_t n, const std::string& name, const std::string& device,
               const std::vector<uint32_t>& pwms, bool inDevice = false);
  // Gives the chip registered as hwmon`from` the number `to`.
  void Renumber(uint32_t from, uint32_t to);
  std::filesystem::path Class(uint32_t n) const;
  // An attribute's decimal value in hwmon`n`'s chip folder; -1 when unread.
  int64_t Get(uint32_t n, const std::string& name) const;
  const std::string& Root() const { return mRoot.Path(); }

 private:
  CTempFolder mRoot;
};
