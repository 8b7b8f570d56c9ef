// The real Linux platform on a sysfs root ("/sys" on a real machine, a fake
// tree in tests): device I/O on the root's thermal zones and cooling devices,
// the registry view built from them, logind for power, the system clock.
// Constructing it reads no file and touches no bus: the thermal view scans on
// its first use and power connects on its first call.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "zivorivizo/Platform.h"

class CSysfsThermalView;

class CLinuxPlatform : public CPlatform {
 public:
  // How often the thermal tree is compared with the last view even when no
  // kernel message or uevent announced a change.
  static constexpr std::chrono::milliseconds kDefaultCompareInterval{10000};

  // `busAddress` empty: logind on the system bus; tests give a private bus.
  // `compareInterval` zero or less: no periodic compare (the kernel's
  // messages and uevents are still acted on).
  explicit CLinuxPlatform(std::string sysfsRoot, std::string busAddress = {},
                          LinuxParticipantNaming naming = LinuxParticipantNaming::Path,
                          std::chrono::milliseconds compareInterval = kDefaultCompareInterval);
  ~CLinuxPlatform() override;

  const std::string& SysfsRoot() const { return mSysfsRoot; }

  // The live view of the thermal tree that the registry and device I/O of
  // this platform share; the kernel event bridge refreshes it and reads the
  // participant names and sensor indexes from it. Lives as long as the
  // platform (and as long as any holder of the pointer).
  CSysfsThermalView& ThermalView() const { return *mView; }
  std::shared_ptr<CSysfsThermalView> SharedThermalView() const { return mView; }

 private:
  std::string mSysfsRoot;
  std::shared_ptr<CSysfsThermalView> mView;
};
