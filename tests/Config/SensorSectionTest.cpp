// The sensor section: temperatures, usage, and the device paths of skin
// sensors with their announced count.
#include <gtest/gtest.h>

#include "Platform/Text.h"
#include "support/ConfigFileTest.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/StatusCodes.h"

namespace {

const char kTemperatures[] = "<Temperature shutdown=\"45\" ThrottleStart=\"30\"/>";

bool Loaded(COSConfigManager* manager) {
  _tagSPlatformConfig platform;
  manager->GetPlatformConfig(platform);
  return manager->SetPlatformConfig(platform) == 0;
}

}  // namespace

class SensorSectionTest : public CConfigFileTest {
 protected:
  COSConfigManager* Load(const std::string& sensors) {
    return COSConfigManager::GetInstance(Write(
        "velmarconfig.xml",
        ConfigText("<Device Path=\"D\" class=\"1\"><Throttle limit=\"5\" step=\"1\"/></Device>" +
                   sensors)));
  }
  static _tagSSensorConfig SensorOf(COSConfigManager* manager, const std::wstring& name) {
    _tagSSensorConfig sensor;
    sensor.strName = name;
    EXPECT_EQ(manager->GetSensorConfig(sensor), 0) << ToUtf8(name);
    return sensor;
  }
  // Class, shutdown, throttle start, usage enable, interval.
  static std::vector<int> FieldsOf(COSConfigManager* manager, const std::wstring& name) {
    const _tagSSensorConfig s = SensorOf(manager, name);
    return {s.iClass, s.iShutdownTemp, s.iThrottleStartTemp, s.iUsageEnable, s.iAuxInterval};
  }
};

TEST_F(SensorSectionTest, StoresTemperaturesInTenthsOfKelvinAndTenTimesTheInterval) {
  COSConfigManager* manager = Load(
      "<Sensor Path=\"CPU\" class=\"2\"><Temperature shutdown=\"95\" ThrottleStart=\"75\"/>"
      "<SUsage enable=\"1\" aux_interval=\"2\"/></Sensor>"
      "<Sensor Path=\"COLD\" class=\"3\"><Temperature shutdown=\"-5\" ThrottleStart=\"-20\"/>"
      "</Sensor>");
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(FieldsOf(manager, L"CPU"), (std::vector<int>{2, 3682, 3482, 1, 20}));
  EXPECT_EQ(FieldsOf(manager, L"COLD"), (std::vector<int>{3, 2682, 2532, 0, 0}));
}

TEST_F(SensorSectionTest, AThrottleStartNotBelowShutdownRejectsTheWholeFile) {
  COSConfigManager* manager =
      Load("<Sensor Path=\"OK\" class=\"2\">" + std::string(kTemperatures) +
           "</Sensor><Sensor Path=\"HOT\" class=\"2\"><Temperature shutdown=\"50\" "
           "ThrottleStart=\"50\"/></Sensor>");
  ASSERT_NE(manager, nullptr);
  EXPECT_FALSE(Loaded(manager));
  EXPECT_EQ(manager->Init(PathOf("velmarconfig.xml")), ZIVO_CONFIG_RULE_BROKEN);
  // Defaults answer for the devices and sensors read before the bad one.
  _tagSSensorConfig ok;
  ok.strName = L"OK";
  ok.iClass = 2;
  EXPECT_EQ(manager->GetSensorConfig(ok), 0);
  EXPECT_EQ(ok.iShutdownTemp, 3682);
  _tagSDeviceConfig device;
  device.strPath = L"D";
  EXPECT_EQ(manager->GetDeviceConfig(device), 0);
  EXPECT_EQ(device.iThrottleLimit, 0x50005);
}

TEST_F(SensorSectionTest, AMissingTemperatureReadsAsZeroAndIsLogged) {
  // Without ThrottleStart the start is 0, below any shutdown: accepted. Without
  // shutdown both are 0: rejected, not compared with a leftover value.
  COSConfigManager* manager =
      Load("<Sensor Path=\"S\" class=\"2\"><Temperature shutdown=\"60\"/><SUsage/></Sensor>");
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(FieldsOf(manager, L"S"), (std::vector<int>{2, 3332, 0, 0, 0}));
  COSConfigManager::DeleteInstance();

  manager = Load("<Sensor Path=\"S\" class=\"2\"><Temperature ThrottleStart=\"abc\"/></Sensor>");
  EXPECT_FALSE(Loaded(manager));
}

TEST_F(SensorSectionTest, OtherSensorClassesIgnoreCountAndDevicePaths) {
  COSConfigManager* manager =
      Load("<Sensor Path=\"CPU\" class=\"2\" ThirdParty_DeviceCount=\"3\">" +
           std::string(kTemperatures) + "<DevicePath Device0=\"FAN\"/></Sensor>");
  ASSERT_TRUE(Loaded(manager));
  std::vector<std::wstring> paths = {L"kept"};
  EXPECT_EQ(manager->GetSensorDevices(L"CPU", &paths), ZIVO_CONFIG_REJECTED);
  EXPECT_EQ(paths, std::vector<std::wstring>{L"kept"});
}

TEST_F(SensorSectionTest, KeepsDocumentOrderAndFindsTheFirstOfTwoWithOneName) {
  COSConfigManager* manager = Load(
      "<Sensor Path=\"TZ0\" class=\"2\"><SUsage enable=\"1\" aux_interval=\"1\"/></Sensor>"
      "<Sensor Path=\"TZ0\" class=\"3\"><SUsage enable=\"0\" aux_interval=\"9\"/></Sensor>");
  ASSERT_TRUE(Loaded(manager));
  EXPECT_EQ(SensorOf(manager, L"TZ0").iAuxInterval, 10);
  _tagSSensorConfig longer;
  longer.strName = L"TZ01";
  EXPECT_EQ(manager->GetSensorConfig(longer), ZIVO_CONFIG_SENSOR_NOT_FOUND);
}

TEST_F(SensorSectionTest, AFailedChildListSkipsTheChildrenAndTheCountsDecide) {
  // Children: the platform's, the device's, then the sensor's. A skin sensor that announces
  // one path ends with none and is rejected; the other class is accepted.
  Faults().Fail(FaultOp::XmlChildNodes, 0, L"", 3, 1);
  COSConfigManager* manager =
      Load("<Sensor Path=\"CPU\" class=\"2\">" + std::string(kTemperatures) + "</Sensor>");
  ASSERT_TRUE(Loaded(manager));
  const _tagSSensorConfig cpu = SensorOf(manager, L"CPU");
  EXPECT_EQ(cpu.iShutdownTemp, 0);
  COSConfigManager::DeleteInstance();

  Faults().Fail(FaultOp::XmlChildNodes, 0, L"", 3, 1);
  manager = Load("<Sensor Path=\"SKIN\" class=\"1\" ThirdParty_DeviceCount=\"1\">" +
                 std::string(kTemperatures) + "<DevicePath Device0=\"FAN\"/></Sensor>");
  EXPECT_FALSE(Loaded(manager));
}

TEST_F(SensorSectionTest, AnUnreadablePathListStopsAtWhatWasRead) {
  // The DevicePath's attribute list fails on the second path: the count of
  // two is not met. Reads before it: the platform's 3, the device's 5, the
  // sensor's 3, Temperature's 2, SUsage's 2 and Device0.
  Faults().Fail(FaultOp::XmlAttributes, 0, L"", 3 + 5 + 3 + 2 + 2 + 1 + 1, 1);
  COSConfigManager* manager =
      Load("<Sensor Path=\"SKIN\" class=\"1\" ThirdParty_DeviceCount=\"2\">" +
           std::string(kTemperatures) +
           "<SUsage enable=\"1\" aux_interval=\"1\"/>"
           "<DevicePath Device0=\"A\" Device1=\"B\"/></Sensor>");
  EXPECT_FALSE(Loaded(manager));
  EXPECT_TRUE(mLog.HasMessage("Error reading the Device1 attribute"));
}

// One row per combination of announced count and DevicePath children that a
// skin sensor can have.
struct _tagSSkinCase {
  const char* what;
  const char* countAttribute;  // "" when absent
  const char* devicePaths;     // the DevicePath children
  bool accepted;
  std::vector<std::wstring> paths;
};

// The case's name, so that a test's listed parameter reads the same in every build.
void PrintTo(const _tagSSkinCase& row, std::ostream* out) {
  *out << row.what;
}

class SkinSensorCountTest : public SensorSectionTest,
                            public testing::WithParamInterface<_tagSSkinCase> {};

TEST_P(SkinSensorCountTest, DecidesByAnnouncedAndAddedCounts) {
  const _tagSSkinCase& row = GetParam();
  COSConfigManager* manager =
      Load("<Sensor Path=\"SKIN\" class=\"1\" " + std::string(row.countAttribute) + ">" +
           kTemperatures + row.devicePaths + "</Sensor>");
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(Loaded(manager), row.accepted) << mLog.Text();
  if (!row.accepted) {
    return;
  }
  std::vector<std::wstring> paths = {L"replaced"};
  EXPECT_EQ(manager->GetSensorDevices(L"SKIN", &paths), 0);
  EXPECT_EQ(paths, row.paths);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    CountTable, SkinSensorCountTest,
    testing::Values(
        _tagSSkinCase{"AbsentNone", "", "", false, {}},
        _tagSSkinCase{"AbsentWithoutDevice0", "", "<DevicePath Device1=\"B\"/>", true, {}},
        _tagSSkinCase{"AbsentWithDevice0", "", "<DevicePath Device0=\"A\" Device1=\"B\"/>", false, {}},
        _tagSSkinCase{"ZeroNone", "ThirdParty_DeviceCount=\"0\"", "", true, {}},
        _tagSSkinCase{"ZeroWithoutDevice0", "ThirdParty_DeviceCount=\"0\"", "<DevicePath/>", true, {}},
        _tagSSkinCase{"ZeroWithDevice0", "ThirdParty_DeviceCount=\"0\"", "<DevicePath Device0=\"A\"/>", false, {}},
        _tagSSkinCase{"NNone", "ThirdParty_DeviceCount=\"2\"", "", false, {}},
        _tagSSkinCase{"NAll", "ThirdParty_DeviceCount=\"2\"", "<DevicePath Device1=\"B\" Device0=\"A\"/>", true, {L"A", L"B"}},
        _tagSSkinCase{"NMore", "ThirdParty_DeviceCount=\"2\"", "<DevicePath Device0=\"A\" Device1=\"B\" Device2=\"C\"/>", true, {L"A", L"B"}},
        _tagSSkinCase{"NGap", "ThirdParty_DeviceCount=\"3\"", "<DevicePath Device0=\"A\" Device2=\"C\"/>", false, {}},
        _tagSSkinCase{"NTwice", "ThirdParty_DeviceCount=\"1\"", "<DevicePath Device0=\"A\"/><DevicePath Device0=\"B\"/>", false, {}},
        _tagSSkinCase{"NTwiceSecondEmpty", "ThirdParty_DeviceCount=\"1\"", "<DevicePath Device0=\"A\"/><DevicePath/>", true, {L"A"}},
        _tagSSkinCase{"NegativeNone", "ThirdParty_DeviceCount=\"-2\"", "", false, {}},
        _tagSSkinCase{"NegativeWithoutDevice0", "ThirdParty_DeviceCount=\"-2\"", "<DevicePath/>", false, {}},
        _tagSSkinCase{"NegativeWithDevice0", "ThirdParty_DeviceCount=\"-2\"", "<DevicePath Device0=\"A\"/>", false, {}},
        _tagSSkinCase{"MinusOneWithoutDevice0", "ThirdParty_DeviceCount=\"-1\"", "<DevicePath/>", true, {}},
        _tagSSkinCase{"NotANumberCountsZero", "ThirdParty_DeviceCount=\"many\"", "", true, {}}),
    [](const testing::TestParamInfo<_tagSSkinCase>& info) { return std::string(info.param.what); });
// clang-format on
