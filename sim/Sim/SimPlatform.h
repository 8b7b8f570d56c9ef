// The simulated platform: every stand-in in memory and scriptable, each
// behind a fault decorator that consults one fault plan (FaultPlan.h), so a
// test can fail any single call of the platform. Tests install a fresh one per
// test; the demo runs the simulated handheld on one.
#pragma once

#include <memory>

#include "zivorivizo/Platform.h"

class CSimClock;
class CMemoryRegistry;
class CSimDeviceIo;
class CSimPower;
class CMemoryCom;
class CMemoryWmi;
class CSimFirmware;
class CSimPlatformEvents;
class CFaultPlan;
class CPower;
class CWbemClassObject;

class CSimPlatform : public CPlatform {
 public:
  // `power` stands in for the machine's power; a recording CSimPower when
  // null. It sits behind the fault plan like the other stand-ins.
  explicit CSimPlatform(std::shared_ptr<CPower> power = nullptr);
  ~CSimPlatform() override;

  // The stores behind the decorators, for seeding and inspection.
  CSimClock& SimClock() const;
  CMemoryRegistry& SimRegistry() const;
  CSimDeviceIo& SimDevices() const;
  // The recording power (null when the platform was given a power of its own).
  CSimPower& SimPower() const;
  CMemoryCom& SimCom() const;
  // The WMI namespace behind SimCom, and the firmware that publishes in it.
  CMemoryWmi& SimWmi() const;
  CSimFirmware& SimFirmware() const;
  CSimPlatformEvents& SimEvents() const;
  // The faults every stand-in of this platform consults.
  CFaultPlan& Faults() const;
  // An object of the namespace as the library receives it through the
  // platform's COM: the plan's faults apply to it.
  std::shared_ptr<CWbemClassObject> Reachable(std::shared_ptr<CWbemClassObject> object) const;

 private:
  std::shared_ptr<CFaultPlan> mPlan;
  std::shared_ptr<CMemoryRegistry> mStoreRegistry;
  std::shared_ptr<CSimDeviceIo> mStoreDevices;
  std::shared_ptr<CSimPower> mStorePower;
  std::shared_ptr<CMemoryCom> mStoreCom;
  std::shared_ptr<CMemoryWmi> mWmi;
  std::shared_ptr<CSimFirmware> mFirmware;
};

// Makes a fresh simulated platform and installs it.
std::shared_ptr<CSimPlatform> InstallSimPlatform();
