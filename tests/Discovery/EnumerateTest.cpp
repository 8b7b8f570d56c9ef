// Enumerate: the registry-listed participants, then the firmware devices and
// sensors, then the links; failures at each step; enumerating again.
#include <gtest/gtest.h>

#include "DiscoveryTest.h"
#include "PartMgr/WmiDevice.h"
#include "zivorivizo/StatusCodes.h"

namespace {

class EnumerateTest : public CDiscoveryTest {};

TEST_F(EnumerateTest, DriversComeFirstThenFirmwareDevicesThenSensorsAllLinked) {
  SeedDrivers({L"TZ0", L"TZ1"}, {L"FAN0", L"FAN1"});
  AttachSensor(L"TZ0", {1});
  AttachSensor(L"TZ1", {});
  AttachDevice(L"FAN0");
  AttachDevice(L"FAN1");
  PublishDevice(1);
  PublishDevice(2);
  // The sensor names device 2 before device 1; the device list holds 1, 2.
  PublishSensor(L"S", {2, 1});

  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(DeviceNames(), (std::vector<std::wstring>{L"FAN0", L"FAN1", FirmwareDeviceName(1),
                                                      FirmwareDeviceName(2)}));
  EXPECT_EQ(SensorNames(), (std::vector<std::wstring>{L"TZ0", L"TZ1", L"S"}));

  CSensor* s = SensorNamed(L"S");
  EXPECT_EQ(Names(s->mLinkedDevices),
            (std::vector<std::wstring>{FirmwareDeviceName(2), FirmwareDeviceName(1)}));
  EXPECT_EQ(Names(DeviceNamed(FirmwareDeviceName(1))->mLinkedSensors),
            (std::vector<std::wstring>{L"S"}));
  EXPECT_EQ(Names(DeviceNamed(FirmwareDeviceName(2))->mLinkedSensors),
            (std::vector<std::wstring>{L"S"}));
  // The driver sensor's device number 1 names the path stored as Device1.
  EXPECT_EQ(Names(SensorNamed(L"TZ0")->mLinkedDevices), (std::vector<std::wstring>{L"FAN1"}));
  EXPECT_TRUE(mLog.HasMessage("Devices: 4, Sensors 3"));
  EXPECT_TRUE(mLog.HasMessage("Added pointers Device FAN1, Sensor TZ0"));
  EXPECT_TRUE(mLog.HasMessage("CWmiParticipantManager Enumerate Succedded"));
}

TEST_F(EnumerateTest, EnumeratingAgainBuildsTheListsAnewAndDestroysTheOldOnes) {
  PublishDevice(1);
  PublishDevice(2);
  PublishSensor(L"S", {1, 2});
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  const auto devices = DeviceNames();
  const auto sensors = SensorNames();
  Firmware().ClearCalls();
  mLog.Clear();

  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_TRUE(
      mLog.HasMessage("CWmiParticipantManager Enumerate: Device list Not empty, Re-enumerate!"));
  EXPECT_TRUE(
      mLog.HasMessage("CWmiParticipantManager Enumerate: Sensor list Not empty, Re-enumerate!"));
  EXPECT_EQ(DeviceNames(), devices);
  EXPECT_EQ(SensorNames(), sensors);
  EXPECT_EQ(mLog.CountMessage("Deleting " + std::string("ACPI\\PNP0C14\\1_0")), 1);
  EXPECT_EQ(mLog.CountMessage("Deleting S"), 1);
  EXPECT_TRUE(Firmware().Calls(L"Stop").empty()) << "the old participants are not stopped";
  // Links of the new participants only, once each.
  EXPECT_EQ(SensorNamed(L"S")->mLinkedDevices.size(), 2u);
  for (CDevice* device : DeviceList()) {
    EXPECT_EQ(Names(device->mLinkedSensors), (std::vector<std::wstring>{L"S"}));
  }

  // Only the sensor list was filled: only its line.
  Firmware().Remove(FirmwareDeviceName(1));
  Firmware().Remove(FirmwareDeviceName(2));
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  mLog.Clear();
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_FALSE(
      mLog.HasMessage("CWmiParticipantManager Enumerate: Device list Not empty, Re-enumerate!"));
  EXPECT_TRUE(
      mLog.HasMessage("CWmiParticipantManager Enumerate: Sensor list Not empty, Re-enumerate!"));
}

TEST_F(EnumerateTest, AFailingStepEndsEnumerateWithWhatWasFound) {
  SeedDrivers({}, {L"FAN0"});
  AttachDevice(L"FAN0");
  PublishDevice(1);
  PublishDevice(2);
  PublishSensor(L"S", {1});

  Faults().Fail(FaultOp::WmiCreateInstanceEnum, WBEM_E_FAILED, L"DtmDeviceParticipantInformation");
  EXPECT_EQ(Manager().Enumerate(), ZIVO_WMI_CREATE_FAILED);
  EXPECT_TRUE(mLog.HasMessage("CreateInstanceEnum failed"));
  EXPECT_TRUE(mLog.HasMessage("EnumerateWmiNameSpace failed for Device Info. Error: 152"));
  EXPECT_EQ(DeviceNames(), (std::vector<std::wstring>{L"FAN0"}));
  EXPECT_TRUE(SensorList().empty());

  mLog.Clear();
  Faults().Fail(FaultOp::WmiCreateInstanceEnum, WBEM_E_FAILED, L"DtmSensorParticipantInformation");
  EXPECT_EQ(Manager().Enumerate(), ZIVO_WMI_CREATE_FAILED);
  EXPECT_TRUE(mLog.HasMessage("EnumerateWmiNameSpace failed for Sensor Info. Error: 152"));
  EXPECT_EQ(DeviceList().size(), 3u);
  EXPECT_FALSE(mLog.HasMessage("UpdateSensorDeviceLinks Called")) << "no links made";
  EXPECT_TRUE(DeviceNamed(FirmwareDeviceName(1))->mLinkedSensors.empty());

  // A Next that fails ends that class's enumeration as if complete.
  mLog.Clear();
  Faults().Fail(FaultOp::WmiNext, WBEM_E_FAILED, L"DtmDeviceParticipantInformation", 2, 1);
  EXPECT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(mLog.LevelOf("EnumWbemClassObject::Next Failed"), "ERROR");
  EXPECT_EQ(DeviceNames(), (std::vector<std::wstring>{L"FAN0", FirmwareDeviceName(1)}));
  EXPECT_EQ(SensorNames(), (std::vector<std::wstring>{L"S"}));

  // One that fails and hands over nothing is a failure too, not the end of
  // the instances: logged, with the results as before.
  for (const wchar_t* cls :
       {L"DtmDeviceParticipantInformation", L"DtmSensorParticipantInformation"}) {
    mLog.Clear();
    Faults().Fail(FaultOp::WmiNext, WBEM_E_FAILED, cls, 2, 1);
    EXPECT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
    EXPECT_EQ(mLog.LevelOf("EnumWbemClassObject::Next Failed"), "ERROR");
    EXPECT_EQ(mLog.CountMessage("EnumerateWmiNameSpace. Reached end of instance"), 1);
  }
  Faults().Fail(FaultOp::WmiNext, WBEM_E_FAILED, L"DtmDeviceParticipantInformation");
  EXPECT_EQ(Manager().AddDevice(FirmwareDeviceName(7)), ZIVO_PARTICIPANT_NOT_FOUND);
  EXPECT_EQ(mLog.CountMessage("EnumWbemClassObject::Next Failed"), 2);

  // A class without instances is a complete, empty enumeration.
  Firmware().Remove(L"S");
  mLog.Clear();
  EXPECT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(mLog.CountMessage("EnumerateWmiNameSpace. Reached end of instance"), 2);
  EXPECT_TRUE(mLog.HasMessage("UpdateSensorDeviceLinks Called"));
}

TEST_F(EnumerateTest, ANameLongerThan254CharactersIsCutButItsInstanceStillAnswers) {
  const std::wstring longName = L"ACPI\\PNP0C14\\" + std::wstring(290, L'7') + L"_0";
  Firmware().AddDevice({longName, 0, 2, 5, 0});
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  ASSERT_EQ(DeviceNames(), (std::vector<std::wstring>{longName.substr(0, 254)}));
  EXPECT_EQ(DeviceList().front()->mDevice.Current, 2u);
  Firmware().ClearCalls();
  EXPECT_EQ(DeviceList().front()->Start(), ZIVO_SUCCESS);
  EXPECT_EQ(Firmware().Calls(L"Start").size(), 1u);
  // Names compare as cut: the whole name finds no instance.
  EXPECT_EQ(Manager().AddDevice(longName), ZIVO_PARTICIPANT_NOT_FOUND);
}

// A sensor whose description the library cannot read is left out; the
// others are found and linked, and the host never sees the exception.
TEST_F(EnumerateTest, AFirmwareSensorWithATwoDimensionalArrayIsLeftOut) {
  PublishDevice(1);
  PublishSensor(L"A", {1});
  _tagSSimWmiSensor bad;
  bad.instanceName = L"B";
  bad.listArray = std::make_shared<CSafeArray>(std::vector<_tagSSafeArrayBound>{{1, 0}, {1, 0}},
                                               std::vector<int32_t>{1});
  Firmware().AddSensor(bad);
  PublishSensor(L"C", {1});

  EXPECT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(SensorNames(), (std::vector<std::wstring>{L"A", L"C"}));
  EXPECT_EQ(DeviceNamed(FirmwareDeviceName(1))->mLinkedSensors.size(), 2u);
  EXPECT_EQ(mLog.LevelOf("Firmware sensor B left out: Type Mismatch in Parameter. Pass a "
                         "one-dimensional array"),
            "ERROR");
  // Added at run time: not added, and the caller hears why.
  Firmware().Remove(L"C");
  EXPECT_EQ(Manager().AddSensor(L"B"), ZIVO_WMI_GET_FAILED);
  EXPECT_EQ(SensorNames(), (std::vector<std::wstring>{L"A", L"C"}));
}

// A corrupt count is cut to the most entries discovery reads, rather than
// having it query the key billions of times.
TEST_F(EnumerateTest, ACorruptCountIsCutToTheMostEntriesRead) {
  SeedDrivers({L"TZ0"}, {L"FAN0"});
  AttachSensor(L"TZ0");
  AttachDevice(L"FAN0");
  Registry().SetDword(kParametersKey, L"SensorCount", 0x7FFFFFFF);
  Registry().SetDword(kParametersKey, L"DeviceCount", 1025);
  EXPECT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(mLog.LevelOf("SensorCount 2147483647 is more than 1024: only the first 1024 entries "
                         "are read"),
            "ERROR");
  EXPECT_TRUE(
      mLog.HasMessage("DeviceCount 1025 is more than 1024: only the first 1024 entries are read"));
  EXPECT_EQ(SensorNames(), (std::vector<std::wstring>{L"TZ0"}));
  EXPECT_EQ(DeviceNames(), (std::vector<std::wstring>{L"FAN0"}));
  // Adding at run time reads the same way.
  EXPECT_EQ(Manager().AddSensor(L"TZ9"), ZIVO_PARTICIPANT_NOT_FOUND);
  EXPECT_EQ(Manager().AddDevice(L"FAN9"), ZIVO_PARTICIPANT_NOT_FOUND);
  for (const char* entry : {"Sensor1023", "Device1023", "Sensor1024", "Device1024"}) {
    EXPECT_EQ(mLog.CountMessage(std::string("Query Registry failed for ") + entry),
              std::string_view(entry).ends_with("3") ? 2 : 0)
        << entry;
  }
}

TEST_F(EnumerateTest, TheParametersKeyListsTheDrivers) {
  // Two sensors in index order, no devices.
  SeedDrivers({L"TZ0", L"TZ1"}, {});
  AttachSensor(L"TZ0");
  AttachSensor(L"TZ1");
  EXPECT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(SensorNames(), (std::vector<std::wstring>{L"TZ0", L"TZ1"}));
  EXPECT_TRUE(DeviceList().empty());
  EXPECT_TRUE(mLog.HasMessage("SensorCount: 2"));
  EXPECT_TRUE(mLog.HasMessage("DeviceCount: 0"));

  // No DeviceCount: 113, the sensors stay.
  Registry().SetString(kParametersKey, L"Device0", L"FAN0");
  AttachDevice(L"FAN0");
  Registry().DeleteValue(kParametersKey, L"DeviceCount");
  EXPECT_EQ(Manager().Enumerate(), ZIVO_COUNT_READ_FAILED);
  EXPECT_EQ(mLog.LevelOf("Query Registry failed for DeviceCount"), "ERROR");
  EXPECT_TRUE(mLog.HasMessage("EnumerateNonWmiDrivers failed. Error: 113"));
  EXPECT_EQ(SensorNames(), (std::vector<std::wstring>{L"TZ0", L"TZ1"}));

  // No SensorCount: nothing at all, even with devices listed.
  Registry().SetDword(kParametersKey, L"DeviceCount", 1);
  Registry().DeleteValue(kParametersKey, L"SensorCount");
  EXPECT_EQ(Manager().Enumerate(), ZIVO_COUNT_READ_FAILED);
  EXPECT_TRUE(mLog.HasMessage("Query Registry failed for SensorCount"));
  EXPECT_TRUE(SensorList().empty());
  EXPECT_TRUE(DeviceList().empty());

  // A count below zero reads nothing.
  Registry().SetDword(kParametersKey, L"SensorCount", static_cast<uint32_t>(-2));
  EXPECT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_TRUE(mLog.HasMessage("SensorCount: -2"));
  EXPECT_EQ(DeviceNames(), (std::vector<std::wstring>{L"FAN0"}));

  // No key at all.
  PublishDevice(1);
  Faults().Fail(FaultOp::RegOpen, REG_STATUS_NOT_FOUND, kParametersKey);
  EXPECT_EQ(Manager().Enumerate(), ZIVO_KEY_OPEN_FAILED);
  EXPECT_TRUE(mLog.HasMessage("Failed to read the VOVUZER Key"));
  EXPECT_TRUE(DeviceList().empty()) << "no firmware participant either";
  EXPECT_EQ(Registry().OpenKeyCount(), 0);
}

TEST_F(EnumerateTest, EntriesAreReadUpToTheirCountAndSkippedWhenUnreadable) {
  std::vector<std::wstring> paths;
  for (int i = 0; i < 11; ++i) {
    paths.push_back(L"TZ" + std::to_wstring(i));
    AttachSensor(paths.back());
  }
  SeedDrivers(paths, {});
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(SensorNames(), paths) << "Sensor10 is the eleventh";

  // 63 characters fit the path buffer, 64 do not; neither an unreadable
  // entry nor a missing one creates a participant from another's path.
  const std::wstring fits(63, L'a');
  const std::wstring tooLong(64, L'b');
  AttachSensor(fits);
  AttachSensor(tooLong);
  SeedDrivers({fits, tooLong, L"TZ2"}, {L"FAN0", L"FAN1"});
  Registry().DeleteValue(kParametersKey, L"Sensor2");
  AttachDevice(L"FAN1");
  Faults().Fail(FaultOp::RegQueryString, REG_STATUS_ACCESS_DENIED, L"Device0");
  mLog.Clear();
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(SensorNames(), (std::vector<std::wstring>{fits}));
  EXPECT_EQ(DeviceNames(), (std::vector<std::wstring>{L"FAN1"}));
  for (const char* entry : {"Sensor1", "Sensor2", "Device0"}) {
    EXPECT_EQ(mLog.LevelOf(std::string("Query Registry failed for ") + entry), "ERROR") << entry;
  }
}

}  // namespace
