// The simulated platform: every stand-in in memory and scriptable. Tests
// install a fresh one per test; the demo runs the simulated handheld on one.
#pragma once

#include <memory>

#include "zivorivizo/Platform.h"

class CSimClock;
class CMemoryRegistry;
class CSimDeviceIo;
class CSimPower;
class CSimCom;
class CSimWmi;
class CSimFirmware;
class CSimPlatformEvents;

class CSimPlatform : public CPlatform {
 public:
  CSimPlatform();
  ~CSimPlatform() override;

  CSimClock& SimClock() const;
  CMemoryRegistry& SimRegistry() const;
  CSimDeviceIo& SimDevices() const;
  CSimPower& SimPower() const;
  CSimCom& SimCom() const;
  // The WMI namespace behind SimCom, and the firmware that publishes in it.
  CSimWmi& SimWmi() const;
  CSimFirmware& SimFirmware() const;
  CSimPlatformEvents& SimEvents() const;

 private:
  std::shared_ptr<CSimWmi> mWmi;
  std::shared_ptr<CSimFirmware> mFirmware;
};

// Makes a fresh simulated platform and installs it.
std::shared_ptr<CSimPlatform> InstallSimPlatform();
