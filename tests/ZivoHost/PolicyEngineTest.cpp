// zivo run's tick on scripted sensors: each managed sensor is read once per
// tick, a namesake of an earlier sensor is read as every call by name reads
// it (as the first of that name), a list changed during a tick is read by
// name for the rest of it, and a sensor a reload stops managing and a later
// one manages again has its readings kept afresh.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
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

// The policy above in force, in a dry run whose power only records.
class PolicyEngineTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(mPolicy.Load(FromUtf8(mFolder.Write("policy.xml", kPolicy))).loaded);
  }

  CTempFolder mFolder;
  CPolicyInForce mPolicy;
  CTestParticipantMgr mSensors;
  std::shared_ptr<CSimPlatform> mRecording = std::make_shared<CSimPlatform>();
  CRunPower mPower{std::shared_ptr<CPower>(mRecording, &mRecording->Power())};
  CPowerGuard mGuard{nullptr, mPower, 2, CPolicyEngine::kHysteresis};
  CPolicyEngine mEngine{mSensors, mPolicy, mGuard, false};
};

TEST_F(PolicyEngineTest, ATickReadsEachSensorOnceAndANamesakeAsTheFirstOfItsName) {
  CFakeSensor& cpu = mSensors.AddFakeSensor(L"cpu", 2);
  CFakeSensor& twin = mSensors.AddFakeSensor(L"cpu", 2);
  CFakeSensor& gpu = mSensors.AddFakeSensor(L"gpu", 2);
  cpu.mTemperature = 3232;   // 50 C: cool
  twin.mTemperature = 3832;  // 110 C, past the shutdown: never read
  gpu.mTemperature = 3232;

  for (int tick = 1; tick <= 2; ++tick) {
    EXPECT_TRUE(mEngine.EvaluateAll().empty());
    EXPECT_EQ(cpu.mGetTemp.calls, 2 * tick);
    EXPECT_EQ(twin.mGetTemp.calls, 0);
    EXPECT_EQ(gpu.mGetTemp.calls, tick);
  }
  // Once the list changes, the next tick lists it again.
  ASSERT_EQ(mSensors.RemoveSensor(L"gpu"), 0);
  EXPECT_TRUE(mEngine.EvaluateAll().empty());
  EXPECT_EQ(cpu.mGetTemp.calls, 6);
  EXPECT_EQ(twin.mGetTemp.calls, 0);
}

// A list that changes during a tick moves the sensors after the change: the
// rest of that tick reads them by name.
TEST_F(PolicyEngineTest, AListChangedDuringATickIsReadByNameForTheRestOfIt) {
  CFakeSensor& cpu = mSensors.AddFakeSensor(L"cpu", 2);
  CFakeSensor& gpu = mSensors.AddFakeSensor(L"gpu", 2);
  cpu.mTemperature = 3232;
  gpu.mTemperature = 3232;
  ASSERT_TRUE(mEngine.EvaluateAll().empty());

  // Reading cpu puts a sensor in front of it: gpu is no longer second.
  // The manager owns what its list holds.
  cpu.mOnGetTemp = [this] {
    auto ssd = std::make_unique<CFakeSensor>(L"ssd", 2);
    mSensors.mSensorList.insert(mSensors.mSensorList.begin(), ssd.release());
  };
  const int reads = gpu.mGetTemp.calls;
  EXPECT_TRUE(mEngine.EvaluateAll().empty());
  EXPECT_EQ(gpu.mGetTemp.calls, reads + 1);
}

// A sensor a reload leaves unmanaged loses what the engine kept of it; once a
// later reload manages it again, its readings are kept afresh, under the list
// as it was listed before.
TEST_F(PolicyEngineTest, ASensorManagedAgainAfterAReloadKeepsItsNewReadings) {
  CFakeSensor& cpu = mSensors.AddFakeSensor(L"cpu", 2);
  mSensors.AddFakeSensor(L"gpu", 2).mTemperature = 3232;
  cpu.mTemperature = 3232;
  const auto kept = [this](const std::wstring& name) -> std::optional<int> {
    for (const auto& [sensor, reading] : mEngine.Readings()) {
      if (sensor == name) {
        return reading.temperature.value_or(-1);
      }
    }
    return std::nullopt;
  };
  ASSERT_TRUE(mEngine.EvaluateAll().empty());
  EXPECT_EQ(kept(L"cpu"), 3232);

  std::string unmanaged = kPolicy;
  unmanaged.replace(unmanaged.find(R"(enable="1")"), 10, R"(enable="0")");
  ASSERT_TRUE(mPolicy.Load(FromUtf8(mFolder.Write("unmanaged.xml", unmanaged))).loaded);
  ASSERT_TRUE(mEngine.EvaluateAll().empty());
  EXPECT_EQ(kept(L"cpu"), std::nullopt);
  EXPECT_EQ(kept(L"gpu"), 3232);

  ASSERT_TRUE(mPolicy.Load(FromUtf8(mFolder.Write("policy.xml", kPolicy))).loaded);
  cpu.mTemperature = 3242;
  ASSERT_TRUE(mEngine.EvaluateAll().empty());
  EXPECT_EQ(kept(L"cpu"), 3242);
  EXPECT_EQ(kept(L"gpu"), 3232);
}

}  // namespace
