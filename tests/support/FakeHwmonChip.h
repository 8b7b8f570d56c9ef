// A fake hwmon chip folder in a fresh temporary folder, modelled on a board
// chip: `name` nct6798, pwm2 in its own mode 5 ("SmartFan IV") at 90,
// pwm2_mode 1 and fan2_input 812 RPM. Values are written as the kernel shows
// them: decimal text and a newline.
#pragma once

#include <cstdint>
#include <string>

#include "support/TempFolder.h"

class CFakeHwmonChip {
 public:
  CFakeHwmonChip();
  // Writes attribute `name` with `mode` (0444: read-only, as sysfs shows it).
  void Put(const std::string& name, const std::string& text, unsigned mode = 0644);
  // The attribute's decimal value; -1 when it is missing or holds none.
  int64_t Get(const std::string& name) const;
  const std::string& Path() const { return mFolder.Path(); }

 private:
  CTempFolder mFolder;
};
