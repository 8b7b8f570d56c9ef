// The real Linux platform on a sysfs root ("/sys" on a real machine, a fake
// tree in tests): device I/O on the root's thermal zones and cooling devices,
// the registry view built from them, logind for power, the system clock.
// Constructing it reads no file and touches no bus: the registry scans on its
// first Open and power connects on its first call.
#pragma once

#include <string>

#include "zivorivizo/Platform.h"

class CLinuxPlatform : public CPlatform {
 public:
  // `busAddress` empty: logind on the system bus; tests give a private bus.
  explicit CLinuxPlatform(std::string sysfsRoot, std::string busAddress = {});
  ~CLinuxPlatform() override;

  const std::string& SysfsRoot() const { return mSysfsRoot; }

 private:
  std::string mSysfsRoot;
};
