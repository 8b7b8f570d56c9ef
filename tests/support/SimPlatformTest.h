// Base fixture: a fresh simulated platform per test, every level of the log
// captured, and no manager singleton left over from another test.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "Platform/Sim/MemoryRegistry.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimCom.h"
#include "Platform/Sim/SimDeviceIo.h"
#include "Platform/Sim/SimFirmware.h"
#include "Platform/Sim/SimPlatform.h"
#include "Platform/Sim/SimPower.h"
#include "Platform/Sim/SimWmi.h"
#include "support/LogCapture.h"

class CSimPlatformTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  CSimPlatform& Sim() { return *mPlatform; }
  CMemoryRegistry& Registry() { return mPlatform->SimRegistry(); }
  CSimDeviceIo& Devices() { return mPlatform->SimDevices(); }
  CSimPower& Power() { return mPlatform->SimPower(); }
  CSimClock& Clock() { return mPlatform->SimClock(); }
  CSimCom& Com() { return mPlatform->SimCom(); }
  CSimWmi& Wmi() { return mPlatform->SimWmi(); }
  CSimFirmware& Firmware() { return mPlatform->SimFirmware(); }

  std::shared_ptr<CSimPlatform> mPlatform;
  CLogCapture mLog;
};
