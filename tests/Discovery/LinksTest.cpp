// Sensor-device links: skin sensors' configured devices, participants added
// at run time in either order, and removal leaving no list holding a
// destroyed participant.
#include <gtest/gtest.h>

#include "DiscoveryTest.h"
#include "PartMgr/NonWmiSensor.h"
#include "PartMgr/WmiDevice.h"
#include "PartMgr/WmiSensor.h"
#include "zivorivizo/StatusCodes.h"

namespace {

using Names = std::vector<std::wstring>;

class LinksTest : public CDiscoveryTest {};

TEST_F(LinksTest, ASkinSensorIsAlsoLinkedToItsConfiguredDevices) {
  PublishDevice(1);
  PublishDevice(2);
  PublishSensor(L"SKIN", {1}, /*type=*/1);
  PublishSensor(L"CPU", {2});
  // The configuration names device 1 again, which the firmware also reports.
  LoadSkinConfig(L"SKIN", {FirmwareDeviceName(2), FirmwareDeviceName(1), L"NOWHERE"});

  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  CSensor* skin = SensorNamed(L"SKIN");
  const Names linked = {FirmwareDeviceName(1), FirmwareDeviceName(2), FirmwareDeviceName(1)};
  EXPECT_EQ(Links(skin), linked);
  EXPECT_EQ(Links(DeviceNamed(FirmwareDeviceName(1))), (Names{L"SKIN", L"SKIN"}));
  std::vector<_tagSDevice> out;
  ASSERT_EQ(Manager().GetDeviceList(L"SKIN", out), ZIVO_SUCCESS);
  EXPECT_EQ(out.size(), 3u);

  // Removing the twice-linked device leaves the sensor no entry of it, and
  // removing the sensor leaves no device an entry of it.
  ASSERT_EQ(Manager().RemoveDevice(FirmwareDeviceName(1)), ZIVO_SUCCESS);
  EXPECT_EQ(Links(skin), (Names{FirmwareDeviceName(2)}));
  ASSERT_EQ(Manager().RemoveSensor(L"SKIN"), ZIVO_SUCCESS);
  EXPECT_EQ(Links(DeviceNamed(FirmwareDeviceName(2))), (Names{L"CPU"}));
  ASSERT_EQ(Manager().RemoveDevice(FirmwareDeviceName(2)), ZIVO_SUCCESS);
  EXPECT_TRUE(SensorNamed(L"CPU")->mLinkedDevices.empty());
}

TEST_F(LinksTest, ASkinSensorWithoutItsConfigurationKeepsNoLinks) {
  PublishDevice(1);
  PublishSensor(L"SKIN", {1}, /*type=*/1);
  PublishSensor(L"OTHER", {1});
  LoadSkinConfig(L"ELSEWHERE", {FirmwareDeviceName(1)});
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_TRUE(SensorNamed(L"SKIN")->mLinkedDevices.empty()) << "not even its own device";
  EXPECT_EQ(Links(DeviceNamed(FirmwareDeviceName(1))), (Names{L"OTHER"}));

  // A configuration that cannot be had leaves skin sensors their own devices.
  COSConfigManager::DeleteInstance();
  Faults().Fail(FaultOp::XmlLoad);
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(Links(SensorNamed(L"SKIN")), (Names{FirmwareDeviceName(1)}));
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
  EXPECT_EQ(Manager().AddDevice(FirmwareDeviceName(2)), ZIVO_SUCCESS);

  EXPECT_NE(dynamic_cast<CWmiSensor*>(SensorNamed(L"A")), nullptr);
  EXPECT_NE(dynamic_cast<CWmiDevice*>(DeviceNamed(FirmwareDeviceName(1))), nullptr);
  EXPECT_EQ(Links(SensorNamed(L"A")), (Names{FirmwareDeviceName(1)}));
  EXPECT_EQ(Links(DeviceNamed(FirmwareDeviceName(1))), (Names{L"A"}));
  EXPECT_EQ(Links(DeviceNamed(FirmwareDeviceName(2))), (Names{L"B", L"B", L"SKIN"}));
  ASSERT_EQ(Manager().RemoveSensor(L"B"), ZIVO_SUCCESS);
  EXPECT_EQ(Links(DeviceNamed(FirmwareDeviceName(2))), (Names{L"SKIN"}));
}

TEST_F(LinksTest, AddingRefusesDuplicatesAndNamesListedNowhere) {
  PublishDevice(1);
  PublishSensor(L"A", {1});
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  const int enumerations = Faults().Calls(FaultOp::WmiCreateInstanceEnum);
  EXPECT_EQ(Manager().AddDevice(FirmwareDeviceName(1)), ZIVO_DEVICE_EXISTS);
  EXPECT_EQ(Manager().AddSensor(L"A"), ZIVO_SENSOR_EXISTS);
  EXPECT_EQ(Faults().Calls(FaultOp::WmiCreateInstanceEnum), enumerations) << "refused first";

  EXPECT_EQ(Manager().AddSensor(L"NOWHERE"), ZIVO_PARTICIPANT_NOT_FOUND);
  PublishSensor(L"Lower", {});
  EXPECT_EQ(Manager().AddSensor(L"lower"), ZIVO_PARTICIPANT_NOT_FOUND) << "names keep their case";
  EXPECT_EQ(SensorNames(), (Names{L"A"}));

  // The firmware cannot be asked and the drivers do not list it: 152.
  Faults().Fail(FaultOp::WmiCreateInstanceEnum, WBEM_E_FAILED);
  EXPECT_EQ(Manager().AddDevice(L"FAN9"), ZIVO_WMI_CREATE_FAILED);
  // An instance whose name cannot be read is passed over.
  PublishDevice(3);
  Faults().Fail(FaultOp::WmiGet, WBEM_E_FAILED, L"InstanceName");
  EXPECT_EQ(Manager().AddDevice(FirmwareDeviceName(3)), ZIVO_SUCCESS);
  Faults().Fail(FaultOp::RegOpen, REG_STATUS_ACCESS_DENIED, kParametersKey);
  EXPECT_EQ(Manager().AddSensor(L"TZ9"), ZIVO_KEY_OPEN_FAILED);
  Registry().DeleteValue(kParametersKey, L"DeviceCount");
  EXPECT_EQ(Manager().AddDevice(L"FAN9"), ZIVO_COUNT_READ_FAILED);
  EXPECT_EQ(Registry().OpenKeyCount(), 0);
}

TEST_F(LinksTest, AddingFindsDriversInTheParametersKeyAfterTheFirmware) {
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  SeedDrivers({L"TZ0", L"TZ7", L"TZ7"}, {L"FAN0", L"ACPI\\PNP0C14\\4_0", L"FAN0"});
  AttachSensor(L"TZ7", {1});
  AttachDevice(L"FAN0");
  AttachDevice(L"ACPI\\PNP0C14\\4_0");

  // A path listed twice makes one participant.
  EXPECT_EQ(Manager().AddSensor(L"TZ7"), ZIVO_SUCCESS);
  EXPECT_EQ(Manager().AddDevice(L"FAN0"), ZIVO_SUCCESS);
  EXPECT_EQ(SensorNames(), (Names{L"TZ7"}));
  EXPECT_NE(dynamic_cast<CNonWmiSensor*>(SensorNamed(L"TZ7")), nullptr);
  // The sensor's device number 1 names the path of Device1; the firmware is
  // asked first.
  PublishDevice(4);
  EXPECT_EQ(Manager().AddDevice(FirmwareDeviceName(4)), ZIVO_SUCCESS);
  EXPECT_NE(dynamic_cast<CWmiDevice*>(DeviceNamed(FirmwareDeviceName(4))), nullptr);
  EXPECT_EQ(Links(SensorNamed(L"TZ7")), (Names{FirmwareDeviceName(4)}));

  // Unreadable entries are not compared: an empty name matches none.
  Faults().Fail(FaultOp::RegQueryString, REG_STATUS_MORE_DATA, L"Device1");
  EXPECT_EQ(Manager().AddDevice(L""), ZIVO_PARTICIPANT_NOT_FOUND);
  Registry().DeleteValue(kParametersKey, L"Sensor0");
  EXPECT_EQ(Manager().AddSensor(L""), ZIVO_PARTICIPANT_NOT_FOUND);
  EXPECT_EQ(DeviceNames(), (Names{L"FAN0", FirmwareDeviceName(4)}));
  EXPECT_EQ(Registry().OpenKeyCount(), 0);
}

}  // namespace
