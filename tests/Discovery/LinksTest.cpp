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

}  // namespace
