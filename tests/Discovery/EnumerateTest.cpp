// Enumerate: the registry-listed participants, then the firmware devices and
// sensors, then the links; failures at each step; enumerating again.
#include <gtest/gtest.h>

#include "DiscoveryTest.h"
#include "zivorivizo/Diagnostics.h"
#include "zivorivizo/StatusCodes.h"

namespace {

using Names = std::vector<std::wstring>;

class EnumerateTest : public CDiscoveryTest {};

TEST_F(EnumerateTest, AFailingStepEndsEnumerateWithWhatWasFound) {
  SeedDrivers({}, {L"FAN0"});
  AttachDevice(L"FAN0");
  PublishDevice(1);
  PublishDevice(2);
  PublishSensor(L"S", {1});
  const wchar_t* deviceClass = L"DtmDeviceParticipantInformation";
  const wchar_t* sensorClass = L"DtmSensorParticipantInformation";

  Faults().Fail(FaultOp::WmiCreateInstanceEnum, WBEM_E_FAILED, deviceClass);
  EXPECT_EQ(Manager().Enumerate(), ZIVO_WMI_CREATE_FAILED);
  EXPECT_EQ(DeviceNames(), (Names{L"FAN0"}));
  EXPECT_TRUE(SensorList().empty());

  Faults().Fail(FaultOp::WmiCreateInstanceEnum, WBEM_E_FAILED, sensorClass);
  EXPECT_EQ(Manager().Enumerate(), ZIVO_WMI_CREATE_FAILED);
  EXPECT_EQ(DeviceList().size(), 3u);
  EXPECT_TRUE(DeviceNamed(FirmwareDeviceName(1))->mLinkedSensors.empty()) << "no links made";

  // A Next that fails ends that class's enumeration with what it delivered.
  Faults().Fail(FaultOp::WmiNext, WBEM_E_FAILED, deviceClass, 2, 1);
  EXPECT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(DeviceNames(), (Names{L"FAN0", FirmwareDeviceName(1)}));
  EXPECT_EQ(SensorNames(), (Names{L"S"}));
  // One that fails and hands over nothing is logged as a failure, not taken
  // for the end of the instances.
  for (const wchar_t* cls : {deviceClass, sensorClass}) {
    mLog.Clear();
    Faults().Fail(FaultOp::WmiNext, WBEM_E_FAILED, cls, 2, 1);
    EXPECT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
    EXPECT_EQ(mLog.LevelOf("EnumWbemClassObject::Next Failed"), "ERROR");
    EXPECT_EQ(mLog.CountMessage("EnumerateWmiNameSpace. Reached end of instance"), 1);
  }
  Faults().Fail(FaultOp::WmiNext, WBEM_E_FAILED, deviceClass);
  EXPECT_EQ(Manager().AddDevice(FirmwareDeviceName(7)), ZIVO_PARTICIPANT_NOT_FOUND);

  // A class without instances is a complete, empty enumeration.
  Firmware().Remove(L"S");
  EXPECT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_TRUE(SensorList().empty());
}

TEST_F(EnumerateTest, ANameLongerThan254CharactersIsCutButItsInstanceStillAnswers) {
  const std::wstring longName = L"ACPI\\PNP0C14\\" + std::wstring(290, L'7') + L"_0";
  Firmware().AddDevice({longName, 0, 2, 5, 0});
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  ASSERT_EQ(DeviceNames(), (Names{longName.substr(0, 254)}));
  EXPECT_EQ(DeviceList().front()->mDevice.Current, 2u);
  Firmware().ClearCalls();
  EXPECT_EQ(DeviceList().front()->Start(), ZIVO_SUCCESS);
  EXPECT_EQ(Firmware().Calls(L"Start").size(), 1u);
  // Names compare as cut: the whole name finds no instance.
  EXPECT_EQ(Manager().AddDevice(longName), ZIVO_PARTICIPANT_NOT_FOUND);
}

// A sensor whose description the library cannot read is left out and
// counted; the others are found and linked, and the host never sees the
// exception. Each Enumerate counts what it left out afresh.
TEST_F(EnumerateTest, AFirmwareSensorWithATwoDimensionalArrayIsLeftOutAndCounted) {
  PublishDevice(1);
  PublishSensor(L"A", {1});
  _tagSSimWmiSensor bad;
  bad.instanceName = L"B";
  bad.listArray = std::make_shared<CSafeArray>(std::vector<_tagSSafeArrayBound>{{1, 0}, {1, 0}},
                                               std::vector<int32_t>{1});
  Firmware().AddSensor(bad);
  PublishSensor(L"C", {1});
  const DiscoveryLeftOut& leftOut = LeftOutByLastEnumerate(Manager());
  EXPECT_EQ(leftOut.Total(), 0) << "nothing before the first Enumerate";

  EXPECT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(SensorNames(), (Names{L"A", L"C"}));
  EXPECT_EQ(DeviceNamed(FirmwareDeviceName(1))->mLinkedSensors.size(), 2u);
  EXPECT_EQ(mLog.LevelOf("Firmware sensor B left out: Type Mismatch in Parameter. Pass a "
                         "one-dimensional array"),
            "ERROR");
  EXPECT_EQ(leftOut.Count(LeftOutReason::FirmwareInvalid), 1);
  EXPECT_EQ(leftOut.Total(), 1);
  Firmware().Remove(L"C");
  EXPECT_EQ(Manager().AddSensor(L"B"), ZIVO_WMI_GET_FAILED);
  EXPECT_EQ(SensorNames(), (Names{L"A", L"C"}));

  // A Next that fails cuts the walk short, whether or not it handed over an
  // object.
  for (bool handsOver : {false, true}) {
    Faults().Arm({FaultOp::WmiNext, L"DtmDeviceParticipantInformation", 1, 1, 0, handsOver});
    ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
    EXPECT_EQ(leftOut.Count(LeftOutReason::FirmwareCut), 1) << handsOver;
    EXPECT_EQ(leftOut.Total(), 2);
  }
  Firmware().Remove(L"B");
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(leftOut.Total(), 0);
}

// A corrupt count is cut to the most entries discovery reads, rather than
// having it query the key billions of times; adding reads the same way.
TEST_F(EnumerateTest, ACorruptCountIsCutToTheMostEntriesRead) {
  SeedDrivers({L"TZ0"}, {L"FAN0"});
  AttachSensor(L"TZ0");
  AttachDevice(L"FAN0");
  Registry().SetDword(kParametersKey, L"SensorCount", 0x7FFFFFFF);
  Registry().SetDword(kParametersKey, L"DeviceCount", 1025);
  EXPECT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(SensorNames(), (Names{L"TZ0"}));
  EXPECT_EQ(DeviceNames(), (Names{L"FAN0"}));
  EXPECT_EQ(Manager().AddSensor(L"TZ9"), ZIVO_PARTICIPANT_NOT_FOUND);
  EXPECT_EQ(Manager().AddDevice(L"FAN9"), ZIVO_PARTICIPANT_NOT_FOUND);
  for (const char* entry : {"Sensor1023", "Device1023", "Sensor1024", "Device1024"}) {
    EXPECT_EQ(mLog.CountMessage(std::string("Query Registry failed for ") + entry),
              std::string_view(entry).ends_with("3") ? 2 : 0)
        << entry;
  }
}

// What a host reads to name the listed participant behind a record that did
// not open: the listed paths in order, as discovery reads them.
TEST_F(EnumerateTest, ListedDriverPathsAreReadAsDiscoveryReadsThem) {
  SeedDrivers({L"TZ0", L"TZ1", L"TZ2"}, {L"FAN0"});
  EXPECT_EQ(ListedDriverPaths(true), (Names{L"TZ0", L"TZ1", L"TZ2"}));
  EXPECT_EQ(ListedDriverPaths(false), (Names{L"FAN0"}));
  // An entry that cannot be read (missing, or longer than its buffer) is
  // skipped; one with text behind a terminator ends there; a corrupt count
  // reads no further than discovery does.
  Registry().DeleteValue(kParametersKey, L"Sensor1");
  Registry().SetString(kParametersKey, L"Sensor2", std::wstring(L"TZ2\0tail", 8));
  Registry().SetString(kParametersKey, L"Device0", std::wstring(64, L'F'));
  Registry().SetDword(kParametersKey, L"SensorCount", 0x7FFFFFFF);
  Registry().SetString(kParametersKey, L"Sensor1024", L"BEYOND");
  EXPECT_EQ(ListedDriverPaths(true), (Names{L"TZ0", L"TZ2"}));
  EXPECT_EQ(ListedDriverPaths(false), Names{});
  // No count: nothing is listed.
  Registry().DeleteValue(kParametersKey, L"SensorCount");
  EXPECT_EQ(ListedDriverPaths(true), Names{});
}

// The device numbers the sensors report are named as the key holds them, each
// read once per enumeration (the walk of the device entries included); a name
// that could not be read is read again by the next sensor, and an entry that
// never reads is left out. Enumerating again names from scratch.
TEST_F(EnumerateTest, DeviceNumbersAreReadOnceAndNamedAfreshOnEachEnumeration) {
  SeedDrivers({L"TZ0", L"TZ1"}, {L"FAN0", L"FAN1", L"FAN2"});
  auto tz0 = AttachSensor(L"TZ0", {0, 2, 7});
  AttachSensor(L"TZ1", {2, 1, 0});
  for (const wchar_t* fan : {L"FAN0", L"FAN1", L"FAN2"}) {
    AttachDevice(fan);
  }
  Faults().Fail(FaultOp::RegQueryString, REG_STATUS_ACCESS_DENIED, L"Device2");
  // A second read of Device0 or Device1 would fail: there is none.
  for (const wchar_t* entry : {L"Device0", L"Device1"}) {
    Faults().Fail(FaultOp::RegQueryString, REG_STATUS_ACCESS_DENIED, entry, 2);
  }
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(DeviceNames(), (Names{L"FAN0", L"FAN1", L"FAN2"}));
  EXPECT_EQ(SensorNamed(L"TZ0")->mSensor.Devices, (Names{L"FAN0"}));
  EXPECT_EQ(SensorNamed(L"TZ1")->mSensor.Devices, (Names{L"FAN2", L"FAN1", L"FAN0"}));
  EXPECT_EQ(Links(SensorNamed(L"TZ1")), (Names{L"FAN2", L"FAN1", L"FAN0"}));
  EXPECT_EQ(Links(DeviceNamed(L"FAN2")), (Names{L"TZ1"}));
  EXPECT_EQ(mLog.CountMessage("Query Registry failed for Device2"), 1);
  EXPECT_EQ(mLog.CountMessage("Query Registry failed for Device7"), 1);

  Faults().Clear();
  tz0->SetDeviceNumbers({1});
  Registry().SetString(kParametersKey, L"Device1", L"FAN9");
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(SensorNamed(L"TZ0")->mSensor.Devices, (Names{L"FAN9"}));
  EXPECT_EQ(SensorNamed(L"TZ1")->mSensor.Devices, (Names{L"FAN2", L"FAN9", L"FAN0"}));
  EXPECT_EQ(Links(SensorNamed(L"TZ1")), (Names{L"FAN2", L"FAN0"}));
}

// A name two devices share links the first of them only; each enumeration
// makes its links afresh, none left over from the one before.
TEST_F(EnumerateTest, ANameLinksItsFirstDeviceAndEveryEnumerationLinksAfresh) {
  SeedDrivers({L"TZ0", L"TZ1"}, {L"FAN0", L"FAN0", L"FAN1"});
  AttachSensor(L"TZ0", {1, 2});
  auto tz1 = AttachSensor(L"TZ1", {2});
  AttachDevice(L"FAN0");
  AttachDevice(L"FAN1");
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
    ASSERT_EQ(DeviceNames(), (Names{L"FAN0", L"FAN0", L"FAN1"}));
    const CDevice* first = *DeviceList().begin();
    const CDevice* second = *std::next(DeviceList().begin());
    EXPECT_EQ(SensorNamed(L"TZ0")->mLinkedDevices.front(), first);
    EXPECT_EQ(Links(first), (round == 0 ? Names{L"TZ0"} : Names{L"TZ0", L"TZ1"}));
    EXPECT_TRUE(second->mLinkedSensors.empty());
    EXPECT_EQ(Links(SensorNamed(L"TZ1")), (round == 0 ? Names{L"FAN1"} : Names{L"FAN0"}));
    EXPECT_EQ(Links(DeviceNamed(L"FAN1")), (round == 0 ? Names{L"TZ0", L"TZ1"} : Names{L"TZ0"}));
    tz1->SetDeviceNumbers({0});
  }
}

// A number links the device made from its entry only when that device holds
// the number's name: one that took no name leaves the name to a firmware
// device, and one whose path ends at a NUL is not the name the sensor holds.
TEST_F(EnumerateTest, ANumberLinksTheDeviceOfItsEntryOnlyUnderItsName) {
  const std::wstring cut(L"FAN\0X", 5);
  SeedDrivers({L"TZ0"}, {FirmwareDeviceName(1), cut});
  AttachSensor(L"TZ0", {0, 1});
  AttachDevice(L"FAN");
  PublishDevice(1);
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  ASSERT_EQ(DeviceNames(), (Names{L"", L"FAN", FirmwareDeviceName(1)}));
  EXPECT_EQ(SensorNamed(L"TZ0")->mSensor.Devices, (Names{FirmwareDeviceName(1), cut}));
  EXPECT_EQ(Links(SensorNamed(L"TZ0")), (Names{FirmwareDeviceName(1)}));
  EXPECT_TRUE(DeviceNamed(L"FAN")->mLinkedSensors.empty());
}

// A skin sensor's devices are the ones its driver reports, then the ones the
// configuration names; a device number means the same device to every sensor.
TEST_F(EnumerateTest, ASkinSensorLinksItsReportedDevicesThenItsConfiguredOnes) {
  SeedDrivers({L"TZ0", L"TZ1"}, {L"FAN0", L"FAN1", L"FAN2"});
  AttachSensor(L"TZ0", {0})->SetType(ZIVO_SKIN_SENSOR_CLASS);
  AttachSensor(L"TZ1", {1, 0});
  for (const wchar_t* fan : {L"FAN0", L"FAN1", L"FAN2"}) {
    AttachDevice(fan);
  }
  LoadSkinConfig(L"TZ0", {L"FAN2"});
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(Links(SensorNamed(L"TZ0")), (Names{L"FAN0", L"FAN2"}));
  EXPECT_EQ(Links(SensorNamed(L"TZ1")), (Names{L"FAN1", L"FAN0"}));
  EXPECT_EQ(Links(DeviceNamed(L"FAN0")), (Names{L"TZ0", L"TZ1"}));
}

}  // namespace
