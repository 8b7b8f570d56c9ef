// The sensor section: temperatures, usage, and the device paths of skin
// sensors with their announced count.
#include <gtest/gtest.h>

#include "Config/ConfigTest.h"

namespace {

const std::string kTemperatures = "<Temperature shutdown=\"45\" ThrottleStart=\"30\"/>";

}  // namespace

class SensorSectionTest : public CConfigTest {
 protected:
  COSConfigManager* LoadSensors(const std::string& sensors) {
    return Load("<Device Path=\"D\" class=\"1\"><Throttle limit=\"5\" step=\"1\"/></Device>" +
                sensors);
  }
};

TEST_F(SensorSectionTest, FailedReadsLeaveTheCountsToDecide) {
  // Children: the platform's, the device's, then the sensor's. A skin sensor that announces
  // one path ends with none and is rejected; the other class is accepted.
  Faults().Fail(FaultOp::XmlChildNodes, 0, L"", 3, 1);
  COSConfigManager* manager =
      LoadSensors("<Sensor Path=\"CPU\" class=\"2\">" + kTemperatures + "</Sensor>");
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(SensorOf(manager, L"CPU")[1], 0);
  COSConfigManager::DeleteInstance();
  Faults().Fail(FaultOp::XmlChildNodes, 0, L"", 3, 1);
  EXPECT_FALSE(
      Loaded(LoadSensors("<Sensor Path=\"SKIN\" class=\"1\" ThirdParty_DeviceCount=\"1\">" +
                         kTemperatures + "<DevicePath Device0=\"FAN\"/></Sensor>")));
  COSConfigManager::DeleteInstance();

  // The DevicePath's attribute list fails on the second path: the count of
  // two is not met. Reads before it: the platform's 3, the device's 5, the
  // sensor's 3, Temperature's 2, SUsage's 2 and Device0.
  Faults().Clear();
  Faults().Fail(FaultOp::XmlAttributes, 0, L"", 3 + 5 + 3 + 2 + 2 + 1 + 1, 1);
  EXPECT_FALSE(Loaded(LoadSensors(
      "<Sensor Path=\"SKIN\" class=\"1\" ThirdParty_DeviceCount=\"2\">" + kTemperatures +
      "<SUsage enable=\"1\" aux_interval=\"1\"/><DevicePath Device0=\"A\" "
      "Device1=\"B\"/></Sensor>")));
  EXPECT_TRUE(mLog.HasMessage("Error reading the Device1 attribute"));
}

// One row per combination of announced count and DevicePath children that a
// skin sensor can have.
struct SkinCase {
  const char* name;
  const char* count;        // the ThirdParty_DeviceCount value; nullptr when absent
  const char* devicePaths;  // the DevicePath children
  bool accepted;
  std::vector<std::wstring> paths;
};

// Listed by its name, so that the test's parameter reads the same in every build.
void PrintTo(const SkinCase& row, std::ostream* out) {
  *out << row.name;
}

class SkinSensorCountTest : public SensorSectionTest,
                            public testing::WithParamInterface<SkinCase> {};

TEST_P(SkinSensorCountTest, DecidesByAnnouncedAndAddedCounts) {
  const SkinCase& row = GetParam();
  const std::string count =
      row.count ? std::string(" ThirdParty_DeviceCount=\"") + row.count + "\"" : "";
  COSConfigManager* manager = LoadSensors("<Sensor Path=\"SKIN\" class=\"1\"" + count + ">" +
                                          kTemperatures + row.devicePaths + "</Sensor>");
  ASSERT_EQ(Loaded(manager), row.accepted) << mLog.Text();
  if (row.accepted) {
    std::vector<std::wstring> paths = {L"replaced"};
    EXPECT_EQ(manager->GetSensorDevices(L"SKIN", &paths), 0);
    EXPECT_EQ(paths, row.paths);
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    CountTable, SkinSensorCountTest,
    testing::Values(
        SkinCase{"AbsentNone", nullptr, "", false, {}},
        SkinCase{"AbsentWithoutDevice0", nullptr, "<DevicePath Device1=\"B\"/>", true, {}},
        SkinCase{"AbsentWithDevice0", nullptr, "<DevicePath Device0=\"A\" Device1=\"B\"/>", false, {}},
        SkinCase{"ZeroNone", "0", "", true, {}},
        SkinCase{"ZeroWithoutDevice0", "0", "<DevicePath/>", true, {}},
        SkinCase{"ZeroWithDevice0", "0", "<DevicePath Device0=\"A\"/>", false, {}},
        SkinCase{"NNone", "2", "", false, {}},
        SkinCase{"NAll", "2", "<DevicePath Device1=\"B\" Device0=\"A\"/>", true, {L"A", L"B"}},
        SkinCase{"NMore", "2", "<DevicePath Device0=\"A\" Device1=\"B\" Device2=\"C\"/>", true, {L"A", L"B"}},
        SkinCase{"NGap", "3", "<DevicePath Device0=\"A\" Device2=\"C\"/>", false, {}},
        SkinCase{"NTwice", "1", "<DevicePath Device0=\"A\"/><DevicePath Device0=\"B\"/>", false, {}},
        SkinCase{"NTwiceSecondEmpty", "1", "<DevicePath Device0=\"A\"/><DevicePath/>", true, {L"A"}},
        SkinCase{"NegativeNone", "-2", "", false, {}},
        SkinCase{"NegativeWithoutDevice0", "-2", "<DevicePath/>", false, {}},
        SkinCase{"NegativeWithDevice0", "-2", "<DevicePath Device0=\"A\"/>", false, {}},
        SkinCase{"MinusOneWithoutDevice0", "-1", "<DevicePath/>", true, {}},
        SkinCase{"NotANumberCountsZero", "many", "", true, {}}),
    [](const testing::TestParamInfo<SkinCase>& info) { return std::string(info.param.name); });
// clang-format on
