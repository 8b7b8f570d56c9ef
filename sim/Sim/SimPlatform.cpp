#include "Sim/SimPlatform.h"

#include "Platform/Memory/MemoryCom.h"
#include "Platform/Memory/MemoryRegistry.h"
#include "Platform/Memory/MemoryWmi.h"
#include "Platform/Xml/LibXmlParser.h"
#include "Sim/FaultPlan.h"
#include "Sim/FaultyCom.h"
#include "Sim/FaultyDeviceIo.h"
#include "Sim/FaultyPower.h"
#include "Sim/FaultyRegistry.h"
#include "Sim/FaultyXml.h"
#include "Sim/SimClock.h"
#include "Sim/SimDeviceIo.h"
#include "Sim/SimFirmware.h"
#include "Sim/SimPlatformEvents.h"
#include "zivorivizo-sim/SimPower.h"

CSimPlatform::CSimPlatform(std::shared_ptr<CPower> power)
    : mPlan(std::make_shared<CFaultPlan>()),
      mStoreRegistry(std::make_shared<CMemoryRegistry>()),
      mStoreDevices(std::make_shared<CSimDeviceIo>()),
      mWmi(std::make_shared<CMemoryWmi>()) {
  if (!power) {
    mStorePower = std::make_shared<CSimPower>();
    power = mStorePower;
  }
  mFirmware = std::make_shared<CSimFirmware>(mWmi);
  mStoreCom = std::make_shared<CMemoryCom>(mWmi);
  mClock = std::make_shared<CSimClock>();
  mRegistry = std::make_shared<CFaultyRegistry>(mStoreRegistry, mPlan);
  mDevices = std::make_shared<CFaultyDeviceIo>(mStoreDevices, mPlan);
  mPower = std::make_shared<CFaultyPower>(std::move(power), mPlan);
  mCom = std::make_shared<CFaultyCom>(mStoreCom, mPlan);
  mXml = std::make_shared<CFaultyXml>(CreateLibXmlParser(), mPlan);
  mEvents = std::make_shared<CSimPlatformEvents>();
}

CSimPlatform::~CSimPlatform() = default;

CSimClock& CSimPlatform::SimClock() const {
  return static_cast<CSimClock&>(*mClock);
}
CMemoryRegistry& CSimPlatform::SimRegistry() const {
  return *mStoreRegistry;
}
CSimDeviceIo& CSimPlatform::SimDevices() const {
  return *mStoreDevices;
}
CSimPower& CSimPlatform::SimPower() const {
  return *mStorePower;
}
CMemoryCom& CSimPlatform::SimCom() const {
  return *mStoreCom;
}
CMemoryWmi& CSimPlatform::SimWmi() const {
  return *mWmi;
}
CSimFirmware& CSimPlatform::SimFirmware() const {
  return *mFirmware;
}
CSimPlatformEvents& CSimPlatform::SimEvents() const {
  return static_cast<CSimPlatformEvents&>(*mEvents);
}
CFaultPlan& CSimPlatform::Faults() const {
  return *mPlan;
}
std::shared_ptr<CWbemClassObject> CSimPlatform::Reachable(
    std::shared_ptr<CWbemClassObject> object) const {
  return FaultyObject(std::move(object), mPlan);
}

std::shared_ptr<CSimPlatform> InstallSimPlatform() {
  auto platform = std::make_shared<CSimPlatform>();
  CPlatform::Install(platform);
  return platform;
}
