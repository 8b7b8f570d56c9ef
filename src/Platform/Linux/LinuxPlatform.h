// The real Linux platform on a sysfs root ("/sys" on a real machine, a fake
// tree in tests).
#pragma once

#include <string>

#include "zivorivizo/Platform.h"

class CLinuxPlatform : public CPlatform {
 public:
  explicit CLinuxPlatform(std::string sysfsRoot);
  ~CLinuxPlatform() override;

  const std::string& SysfsRoot() const { return mSysfsRoot; }

 private:
  std::string mSysfsRoot;
};
