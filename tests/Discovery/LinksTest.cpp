// Sensor-device links: skin sensors' configured devices, participants added
// at run time in either order, and removal leaving no list holding a
// destroyed participant.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "DiscoveryTest.h"
#include "PartMgr/NonWmiSensor.h"
#include "PartMgr/WmiDevice.h"
#include "PartMgr/WmiSensor.h"
#include "Platform/Text.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/StatusCodes.h"

namespace {

class LinksTest : public CDiscoveryTest {
 protected:
  void TearDown() override {
    CDiscoveryTest::TearDown();
    if (!mFolder.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(mFolder, ignored);
    }
  }

  // Loads a configuration whose skin sensor `sensor` names `devices`.
  void LoadSkinConfig(const std::wstring& sensor, const std::vector<std::wstring>& devices) {
    std::string paths;
    for (std::size_t i = 0; i < devices.size(); ++i) {
      paths += " Device" + std::to_string(i) + "=\"" + ToUtf8(devices[i]) + "\"";
    }
    const std::string text =
        "<?xml version=\"1.0\"?>\n<VelmarConfig><Platform><Shutdown option=\"hibernate\" "
        "timer=\"15\"/><Throttling preference=\"Active\"/></Platform>"
        "<Sensor Path=\"" +
        ToUtf8(sensor) + "\" class=\"1\" ThirdParty_DeviceCount=\"" +
        std::to_string(devices.size()) +
        "\"><Temperature shutdown=\"45\" ThrottleStart=\"30\"/>"
        "<SUsage enable=\"1\" aux_interval=\"2\"/><DevicePath" +
        paths + "/></Sensor></VelmarConfig>\n";
    std::string pattern = (std::filesystem::temp_directory_path() / "zivo-links-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    mFolder = pattern;
    const std::filesystem::path file = mFolder / "velmarconfig.xml";
    std::ofstream(file) << text;
    COSConfigManager::GetInstance(FromUtf8(file.string()));
  }

  std::filesystem::path mFolder;
};

TEST_F(LinksTest, ASkinSensorIsAlsoLinkedToItsConfiguredDevices) {
  PublishDevice(1);
  PublishDevice(2);
  PublishSensor(L"SKIN", {1}, /*type=*/1);
  PublishSensor(L"CPU", {2});
  // The configuration names device 1 again, which the firmware also reports.
  LoadSkinConfig(L"SKIN", {FirmwareDeviceName(2), FirmwareDeviceName(1), L"NOWHERE"});

  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  CSensor* skin = SensorNamed(L"SKIN");
  EXPECT_EQ(skin->mSensor.Devices,
            (std::vector<std::wstring>{FirmwareDeviceName(1), FirmwareDeviceName(2),
                                       FirmwareDeviceName(1), L"NOWHERE"}));
  EXPECT_EQ(Names(skin->mLinkedDevices),
            (std::vector<std::wstring>{FirmwareDeviceName(1), FirmwareDeviceName(2),
                                       FirmwareDeviceName(1)}));
  EXPECT_EQ(Names(DeviceNamed(FirmwareDeviceName(1))->mLinkedSensors),
            (std::vector<std::wstring>{L"SKIN", L"SKIN"}));
  EXPECT_TRUE(mLog.HasMessage("Added ACPI\\PNP0C14\\2_0 to Sensor SKIN"));

  std::vector<_tagSDevice> out;
  ASSERT_EQ(Manager().GetDeviceList(L"SKIN", out), ZIVO_SUCCESS);
  std::vector<std::wstring> names;
  for (const _tagSDevice& d : out) names.push_back(d.Name);
  EXPECT_EQ(names, (std::vector<std::wstring>{FirmwareDeviceName(1), FirmwareDeviceName(2),
                                              FirmwareDeviceName(1)}));

  // Removing the twice-linked device leaves the sensor no entry of it, and
  // removing the sensor leaves no device an entry of it.
  ASSERT_EQ(Manager().RemoveDevice(FirmwareDeviceName(1)), ZIVO_SUCCESS);
  EXPECT_EQ(Names(skin->mLinkedDevices), (std::vector<std::wstring>{FirmwareDeviceName(2)}));
  ASSERT_EQ(Manager().RemoveSensor(L"SKIN"), ZIVO_SUCCESS);
  EXPECT_EQ(Names(DeviceNamed(FirmwareDeviceName(2))->mLinkedSensors),
            (std::vector<std::wstring>{L"CPU"}));
  ASSERT_EQ(Manager().RemoveDevice(FirmwareDeviceName(2)), ZIVO_SUCCESS);
  EXPECT_TRUE(SensorNamed(L"CPU")->mLinkedDevices.empty());
}

TEST_F(LinksTest, ASkinSensorWithoutItsConfigurationKeepsNoLinks) {
  PublishDevice(1);
  PublishSensor(L"SKIN", {1}, /*type=*/1);
  PublishSensor(L"OTHER", {1});
  LoadSkinConfig(L"ELSEWHERE", {FirmwareDeviceName(1)});
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(mLog.LevelOf("GetSensorDevices failed for SKIN"), "ERROR");
  EXPECT_TRUE(SensorNamed(L"SKIN")->mLinkedDevices.empty()) << "not even its own device";
  EXPECT_EQ(Names(DeviceNamed(FirmwareDeviceName(1))->mLinkedSensors),
            (std::vector<std::wstring>{L"OTHER"}));
}

TEST_F(LinksTest, AConfigurationThatCannotBeHadLeavesSkinSensorsTheirOwnDevices) {
  PublishDevice(1);
  PublishSensor(L"SKIN", {1}, /*type=*/1);
  Faults().Fail(FaultOp::XmlLoad);
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(Names(SensorNamed(L"SKIN")->mLinkedDevices),
            (std::vector<std::wstring>{FirmwareDeviceName(1)}));
}

TEST_F(LinksTest, ParticipantsAddedAtRunTimeLinkInEitherOrderOfArrival) {
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);

  // Device first, then the sensor that names it.
  PublishDevice(1);
  PublishSensor(L"A", {1});
  EXPECT_EQ(Manager().AddDevice(FirmwareDeviceName(1)), ZIVO_SUCCESS);
  EXPECT_EQ(Manager().AddSensor(L"A"), ZIVO_SUCCESS);
  // Sensor first (a skin sensor as well), then the device they both name.
  PublishSensor(L"B", {2, 2});
  PublishSensor(L"SKIN", {2}, /*type=*/1);
  PublishDevice(2);
  EXPECT_EQ(Manager().AddSensor(L"B"), ZIVO_SUCCESS);
  EXPECT_EQ(Manager().AddSensor(L"SKIN"), ZIVO_SUCCESS);
  EXPECT_TRUE(SensorNamed(L"B")->mLinkedDevices.empty());
  EXPECT_EQ(Manager().AddDevice(FirmwareDeviceName(2)), ZIVO_SUCCESS);

  EXPECT_NE(dynamic_cast<CWmiSensor*>(SensorNamed(L"A")), nullptr);
  EXPECT_NE(dynamic_cast<CWmiDevice*>(DeviceNamed(FirmwareDeviceName(1))), nullptr);
  EXPECT_EQ(Names(SensorNamed(L"A")->mLinkedDevices),
            (std::vector<std::wstring>{FirmwareDeviceName(1)}));
  EXPECT_EQ(Names(DeviceNamed(FirmwareDeviceName(1))->mLinkedSensors),
            (std::vector<std::wstring>{L"A"}));
  EXPECT_EQ(Names(DeviceNamed(FirmwareDeviceName(2))->mLinkedSensors),
            (std::vector<std::wstring>{L"B", L"B", L"SKIN"}))
      << "every matching name links once";
  EXPECT_EQ(mLog.CountMessage("Added pointers Device ACPI\\PNP0C14\\2_0, Sensor B"), 2);

  std::vector<_tagSSensor> watching;
  ASSERT_EQ(Manager().GetSensorList(FirmwareDeviceName(2), watching), ZIVO_SUCCESS);
  ASSERT_EQ(watching.size(), 2u) << "the skin sensor is not listed";
  EXPECT_EQ(watching[0].Name, L"B");

  ASSERT_EQ(Manager().RemoveSensor(L"B"), ZIVO_SUCCESS);
  EXPECT_EQ(Names(DeviceNamed(FirmwareDeviceName(2))->mLinkedSensors),
            (std::vector<std::wstring>{L"SKIN"}));
}

TEST_F(LinksTest, AddingRefusesDuplicatesAndNamesListedNowhere) {
  PublishDevice(1);
  PublishSensor(L"A", {1});
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  const int enumerations = Faults().Calls(FaultOp::WmiCreateInstanceEnum);

  EXPECT_EQ(Manager().AddDevice(FirmwareDeviceName(1)), ZIVO_DEVICE_EXISTS);
  EXPECT_TRUE(mLog.HasMessage("AddDevice. Device exists ACPI\\PNP0C14\\1_0"));
  EXPECT_EQ(Manager().AddSensor(L"A"), ZIVO_SENSOR_EXISTS);
  EXPECT_TRUE(mLog.HasMessage("AddSensor. sensor exists A"));
  EXPECT_EQ(Faults().Calls(FaultOp::WmiCreateInstanceEnum), enumerations) << "refused first";

  EXPECT_EQ(Manager().AddSensor(L"NOWHERE"), ZIVO_PARTICIPANT_NOT_FOUND);
  EXPECT_TRUE(mLog.HasMessage("AddParticipant failed"));
  EXPECT_TRUE(mLog.HasMessage("Add Participant returned 110, Checking in drivers"));
  PublishSensor(L"Lower", {});
  EXPECT_EQ(Manager().AddSensor(L"lower"), ZIVO_PARTICIPANT_NOT_FOUND) << "names keep their case";
  EXPECT_EQ(SensorNames(), (std::vector<std::wstring>{L"A"}));
  EXPECT_EQ(DeviceNames(), (std::vector<std::wstring>{FirmwareDeviceName(1)}));

  // The firmware cannot be asked and the drivers do not list it: 152.
  Faults().Fail(FaultOp::WmiCreateInstanceEnum, WBEM_E_FAILED);
  EXPECT_EQ(Manager().AddDevice(L"FAN9"), ZIVO_WMI_CREATE_FAILED);
  EXPECT_TRUE(mLog.HasMessage("AddPart. CreateInstanceEnum failed"));

  // An instance whose name cannot be read is passed over.
  PublishDevice(3);
  Faults().Fail(FaultOp::WmiGet, WBEM_E_FAILED, L"InstanceName");
  EXPECT_EQ(Manager().AddDevice(FirmwareDeviceName(3)), ZIVO_SUCCESS);
  EXPECT_NE(mLog.Text().find("] Get InstanceName Failed "), std::string::npos);

  Faults().Fail(FaultOp::RegOpen, REG_STATUS_ACCESS_DENIED, kParametersKey);
  EXPECT_EQ(Manager().AddSensor(L"TZ9"), ZIVO_KEY_OPEN_FAILED);
  Registry().DeleteValue(kParametersKey, L"DeviceCount");
  EXPECT_EQ(Manager().AddDevice(L"FAN9"), ZIVO_COUNT_READ_FAILED);
  EXPECT_EQ(Registry().OpenKeyCount(), 0);
}

TEST_F(LinksTest, AddingFindsDriversInTheParametersKeyAfterTheFirmware) {
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  SeedDrivers({L"TZ0", L"TZ1", L"TZ2"}, {L"FAN0", L"ACPI\\PNP0C14\\4_0"});
  AttachSensor(L"TZ2", {1});
  AttachDevice(L"FAN0");
  AttachDevice(L"ACPI\\PNP0C14\\4_0");

  EXPECT_EQ(Manager().AddSensor(L"TZ2"), ZIVO_SUCCESS);
  EXPECT_TRUE(mLog.HasMessage("SensorCount: 3"));
  EXPECT_NE(dynamic_cast<CNonWmiSensor*>(SensorNamed(L"TZ2")), nullptr);
  // The sensor's device number 1 names the path of Device1.
  PublishDevice(4);
  EXPECT_EQ(Manager().AddDevice(FirmwareDeviceName(4)), ZIVO_SUCCESS);
  EXPECT_NE(dynamic_cast<CWmiDevice*>(DeviceNamed(FirmwareDeviceName(4))), nullptr)
      << "the firmware is asked first";
  EXPECT_EQ(Names(SensorNamed(L"TZ2")->mLinkedDevices),
            (std::vector<std::wstring>{FirmwareDeviceName(4)}));

  // Unreadable entries are not compared: an empty name matches none.
  Faults().Fail(FaultOp::RegQueryString, REG_STATUS_MORE_DATA, L"Device0");
  EXPECT_EQ(Manager().AddDevice(L""), ZIVO_PARTICIPANT_NOT_FOUND);
  EXPECT_TRUE(mLog.HasMessage("Query Registry failed for Device0"));
  Registry().DeleteValue(kParametersKey, L"Sensor0");
  EXPECT_EQ(Manager().AddSensor(L""), ZIVO_PARTICIPANT_NOT_FOUND);
  EXPECT_EQ(SensorNames(), (std::vector<std::wstring>{L"TZ2"}));
  EXPECT_EQ(DeviceNames(), (std::vector<std::wstring>{FirmwareDeviceName(4)}));
}

// Adding from the parameters key stops at the first entry of that name: a
// path listed twice makes one participant. Only the sensor count is logged.
TEST_F(LinksTest, AddingFromTheParametersKeyTakesOnlyTheFirstMatchingEntry) {
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  SeedDrivers({L"TZ0", L"TZ7", L"TZ7"}, {L"FAN7", L"FAN0", L"FAN7"});
  const std::size_t sensorsBefore = SensorNames().size();
  const std::size_t devicesBefore = DeviceNames().size();
  mLog.Clear();

  EXPECT_EQ(Manager().AddSensor(L"TZ7"), ZIVO_SUCCESS);
  EXPECT_EQ(Manager().AddDevice(L"FAN7"), ZIVO_SUCCESS);
  EXPECT_EQ(SensorNames().size(), sensorsBefore + 1);
  EXPECT_EQ(DeviceNames().size(), devicesBefore + 1);
  EXPECT_TRUE(mLog.HasMessage("SensorCount: 3"));
  EXPECT_FALSE(mLog.HasMessage("DeviceCount: 3"));
  EXPECT_EQ(Registry().OpenKeyCount(), 0);
}

}  // namespace
