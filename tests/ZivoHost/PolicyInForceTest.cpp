// The policy zivo run holds: a sensor record is found by its name in the file
// in force, the first of a name when the file repeats it, and a file that
// replaces another one whole leaves none of the old names findable.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "PolicyInForce.h"
#include "support/TempFolder.h"
#include "zivorivizo/StatusCodes.h"
#include "zivorivizo/Text.h"

namespace {

// A policy of sensors given as (name, throttle start in degrees).
std::string Policy(const std::vector<std::pair<std::string, int>>& sensors) {
  std::string text =
      "<?xml version=\"1.0\"?>\n<VelmarConfig><Platform><Shutdown option=\"shutdown\" "
      "timer=\"15\"/><Throttling preference=\"Active\"/></Platform><Devices/><Sensors>";
  for (const auto& [name, start] : sensors) {
    text += "<Sensor Path=\"" + name +
            "\" class=\"2\"><Temperature shutdown=\"95\" ThrottleStart=\"" + std::to_string(start) +
            "\"/><SUsage enable=\"1\" aux_interval=\"2\"/></Sensor>";
  }
  return text + "</Sensors></VelmarConfig>\n";
}

int StartOf(CPolicyInForce& policy, const std::string& name) {
  _tagSSensorConfig record;
  record.strName = FromUtf8(name);
  record.iClass = 2;
  return policy.GetSensorConfig(record) == ZIVO_SUCCESS ? record.iThrottleStartTemp : -1;
}

TEST(PolicyInForceTest, SensorRecordsAreFoundByNameInTheFileInForce) {
  CTempFolder folder;
  CPolicyInForce policy;
  ASSERT_TRUE(policy
                  .Load(FromUtf8(folder.Write(
                      "a.xml", Policy({{"zone_a", 60}, {"zone_b", 70}, {"zone_a", 80}}))))
                  .loaded);
  const int a = StartOf(policy, "zone_a");
  EXPECT_NE(a, -1);
  EXPECT_LT(a, StartOf(policy, "zone_b"));  // the first zone_a, not the last

  // As many records, other names (each as long as one before).
  ASSERT_TRUE(policy
                  .Load(FromUtf8(folder.Write(
                      "b.xml", Policy({{"zone_c", 60}, {"zone_d", 70}, {"zone_e", 80}}))))
                  .loaded);
  EXPECT_EQ(StartOf(policy, "zone_a"), -1);
  EXPECT_EQ(StartOf(policy, "zone_b"), -1);
  EXPECT_LT(StartOf(policy, "zone_c"), StartOf(policy, "zone_d"));
  EXPECT_LT(StartOf(policy, "zone_d"), StartOf(policy, "zone_e"));
}

// A caller that keeps what a query answered asks again once RecordEdits has
// moved: every edit of the records moves it.
TEST(PolicyInForceTest, EveryEditOfTheRecordsRaisesRecordEdits) {
  CTempFolder folder;
  CPolicyInForce policy;
  std::uint64_t seen = policy.RecordEdits();
  const auto raised = [&] {
    const std::uint64_t now = policy.RecordEdits();
    const bool moved = now != seen;
    seen = now;
    return moved;
  };
  ASSERT_TRUE(policy.Load(FromUtf8(folder.Write("a.xml", Policy({{"zone_a", 60}})))).loaded);
  EXPECT_TRUE(raised());
  _tagSSensorConfig sensor;
  sensor.strName = L"zone_a";
  sensor.iClass = 2;
  ASSERT_EQ(policy.GetSensorConfig(sensor), ZIVO_SUCCESS);
  EXPECT_FALSE(raised());
  sensor.iThrottleStartTemp -= 10;
  ASSERT_EQ(policy.SetSensorConfig(sensor), ZIVO_SUCCESS);
  EXPECT_TRUE(raised());
  sensor.strName = L"zone_b";
  ASSERT_EQ(policy.SetSensorConfig(sensor), ZIVO_SUCCESS);
  EXPECT_TRUE(raised());
  _tagSPlatformConfig platform;
  ASSERT_EQ(policy.GetPlatformConfig(platform), ZIVO_SUCCESS);
  ASSERT_EQ(policy.SetPlatformConfig(platform), ZIVO_SUCCESS);
  EXPECT_TRUE(raised());
  ASSERT_TRUE(policy.Load(FromUtf8(folder.Write("b.xml", Policy({{"zone_a", 60}})))).loaded);
  EXPECT_TRUE(raised());
}

}  // namespace
