// The simulated platform: every stand-in in memory and scriptable. Tests
// install a fresh one per test; the demo runs the simulated handheld on one.
#pragma once

#include <memory>

#include "zivorivizo/Platform.h"

class CSimClock;
class CMemoryRegistry;
class CSimDeviceIo;
class CSimPower;

class CSimPlatform : public CPlatform {
 public:
  CSimPlatform();
  ~CSimPlatform() override;

  CSimClock& SimClock() const;
  CMemoryRegistry& SimRegistry() const;
  CSimDeviceIo& SimDevices() const;
  CSimPower& SimPower() const;
};

// Makes a fresh simulated platform and installs it.
std::shared_ptr<CSimPlatform> InstallSimPlatform();
