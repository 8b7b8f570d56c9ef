#include "Platform/Sim/SimPlatform.h"

#include "Platform/Linux/LibXmlParser.h"
#include "Platform/Sim/FaultyXml.h"
#include "Platform/Sim/MemoryRegistry.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimCom.h"
#include "Platform/Sim/SimDeviceIo.h"
#include "Platform/Sim/SimFirmware.h"
#include "Platform/Sim/SimPlatformEvents.h"
#include "Platform/Sim/SimPower.h"
#include "Platform/Sim/SimWmi.h"

CSimPlatform::CSimPlatform() {
  mClock = std::make_shared<CSimClock>();
  mRegistry = std::make_shared<CMemoryRegistry>();
  mDevices = std::make_shared<CSimDeviceIo>();
  mPower = std::make_shared<CSimPower>();
  mWmi = std::make_shared<CSimWmi>();
  mFirmware = std::make_shared<CSimFirmware>(mWmi);
  mCom = std::make_shared<CSimCom>(mWmi);
  mXml = std::make_shared<CFaultyXml>(CreateLibXmlParser());
  mEvents = std::make_shared<CSimPlatformEvents>();
}

CSimPlatform::~CSimPlatform() = default;

CSimClock& CSimPlatform::SimClock() const {
  return static_cast<CSimClock&>(*mClock);
}
CMemoryRegistry& CSimPlatform::SimRegistry() const {
  return static_cast<CMemoryRegistry&>(*mRegistry);
}
CSimDeviceIo& CSimPlatform::SimDevices() const {
  return static_cast<CSimDeviceIo&>(*mDevices);
}
CSimPower& CSimPlatform::SimPower() const {
  return static_cast<CSimPower&>(*mPower);
}
CSimCom& CSimPlatform::SimCom() const {
  return static_cast<CSimCom&>(*mCom);
}
CSimWmi& CSimPlatform::SimWmi() const {
  return *mWmi;
}
CSimFirmware& CSimPlatform::SimFirmware() const {
  return *mFirmware;
}
CSimPlatformEvents& CSimPlatform::SimEvents() const {
  return static_cast<CSimPlatformEvents&>(*mEvents);
}

std::shared_ptr<CSimPlatform> InstallSimPlatform() {
  auto platform = std::make_shared<CSimPlatform>();
  CPlatform::Install(platform);
  return platform;
}
