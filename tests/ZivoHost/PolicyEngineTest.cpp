// zivo run's tick on scripted sensors: each managed sensor is read once per
// tick, and a namesake of an earlier sensor is read as every call by name
// reads it, as the first of that name.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "PolicyEngine.h"
#include "PolicyInForce.h"
#include "PowerGuard.h"
#include "RunPower.h"
#include "Sim/SimPlatform.h"
#include "support/TempFolder.h"
#include "support/TestParticipantMgr.h"
#include "zivorivizo/Text.h"

namespace {

const char* kPolicy = R"(<?xml version="1.0"?>
<VelmarConfig><Platform><Shutdown option="shutdown" timer="15"/><Throttling preference="Active"/></Platform><Devices/><Sensors>
<Sensor Path="cpu" class="2"><Temperature shutdown="95" ThrottleStart="80"/><SUsage enable="1" aux_interval="2"/></Sensor>
<Sensor Path="gpu" class="2"><Temperature shutdown="95" ThrottleStart="80"/><SUsage enable="1" aux_interval="2"/></Sensor>
</Sensors></VelmarConfig>
)";

TEST(PolicyEngineTest, ATickReadsEachSensorOnceAndANamesakeAsTheFirstOfItsName) {
  CTempFolder folder;
  CPolicyInForce policy;
  ASSERT_TRUE(policy.Load(FromUtf8(folder.Write("policy.xml", kPolicy))).loaded);
  CTestParticipantMgr sensors;
  CFakeSensor& cpu = sensors.AddFakeSensor(L"cpu", 2);
  CFakeSensor& twin = sensors.AddFakeSensor(L"cpu", 2);
  CFakeSensor& gpu = sensors.AddFakeSensor(L"gpu", 2);
  cpu.mTemperature = 3232;   // 50 C: cool
  twin.mTemperature = 3832;  // 110 C, past the shutdown: never read
  gpu.mTemperature = 3232;
  const auto recording = std::make_shared<CSimPlatform>();
  CRunPower power(std::shared_ptr<CPower>(recording, &recording->Power()));
  CPowerGuard guard(nullptr, power, 2, CPolicyEngine::kHysteresis);
  CPolicyEngine engine(sensors, policy, guard, false);

  for (int tick = 1; tick <= 2; ++tick) {
    EXPECT_TRUE(engine.EvaluateAll().empty());
    EXPECT_EQ(cpu.mGetTemp.calls, 2 * tick);
    EXPECT_EQ(twin.mGetTemp.calls, 0);
    EXPECT_EQ(gpu.mGetTemp.calls, tick);
  }
  // Once the list changes, the next tick lists it again.
  ASSERT_EQ(sensors.RemoveSensor(L"gpu"), 0);
  EXPECT_TRUE(engine.EvaluateAll().empty());
  EXPECT_EQ(cpu.mGetTemp.calls, 6);
  EXPECT_EQ(twin.mGetTemp.calls, 0);
}

}  // namespace
