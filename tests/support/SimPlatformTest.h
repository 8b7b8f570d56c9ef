// Base fixture: a fresh simulated platform per test, every level of the log
// captured, and no manager singleton left over from another test.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "Platform/Memory/MemoryCom.h"
#include "Platform/Memory/MemoryRegistry.h"
#include "Platform/Memory/MemoryWmi.h"
#include "Sim/FaultPlan.h"
#include "Sim/FaultyDeviceIo.h"
#include "Sim/SimClock.h"
#include "Sim/SimDeviceIo.h"
#include "Sim/SimFirmware.h"
#include "Sim/SimPlatform.h"
#include "support/LogCapture.h"
#include "zivorivizo-sim/SimPower.h"

// The fault plan of the simulated platform installed now (the fixture's).
CFaultPlan& Faults();

class CSimPlatformTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  CSimPlatform& Sim() { return *mPlatform; }
  CMemoryRegistry& Registry() { return mPlatform->SimRegistry(); }
  CSimDeviceIo& Devices() { return mPlatform->SimDevices(); }
  CSimPower& Power() { return mPlatform->SimPower(); }
  CSimClock& Clock() { return mPlatform->SimClock(); }
  CMemoryCom& Com() { return mPlatform->SimCom(); }
  CMemoryWmi& Wmi() { return mPlatform->SimWmi(); }
  CSimFirmware& Firmware() { return mPlatform->SimFirmware(); }

  std::shared_ptr<CSimPlatform> mPlatform;
  CLogCapture mLog;
};
