#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "PartMgr/NonWmiSensor.h"
#include "Platform/DriverProtocol.h"
#include "Sim/SimSensorDriver.h"
#include "support/SimPlatformTest.h"
#include "zivorivizo/StatusCodes.h"

namespace {

const std::wstring kPath = L"\\\\.\\TempSensor0";
const std::wstring kParameters = L"SOFTWARE\\Zelan\\VOVUZER\\Parameters";
const wchar_t kFaultyMessage[] =
    L"One of the temperature sensors is faulty, please contact your support. To protect, system "
    L"is shutting now...";
const char kFaultyLine[] =
    "One of the Non WMI sensors is faulty, please contact your support. To protect, system is "
    "shutting now...";

_tagSTripBlock SentTrips(const _tagSDriverRequest& request) {
  _tagSTripBlock trips;
  EXPECT_EQ(request.input.size(), sizeof(trips));
  ReadDriverBlock(std::span<const std::byte>(request.input), trips);
  return trips;
}

}  // namespace

class NonWmiSensorTest : public CSimPlatformTest {
 protected:
  std::shared_ptr<CSimSensorDriver> AttachDriver(const std::wstring& path = kPath) {
    auto driver = std::make_shared<CSimSensorDriver>();
    Devices().Attach(path, driver);
    return driver;
  }

  bool LogHasSequence(const std::vector<std::string>& expected) {
    const std::vector<std::string> messages = mLog.Messages();
    return std::search(messages.begin(), messages.end(), expected.begin(), expected.end()) !=
           messages.end();
  }
};

TEST_F(NonWmiSensorTest, DescribesItselfAndTakesAFirstReading) {
  auto driver = AttachDriver();
  driver->SetCaps(0x21);
  driver->SetBase(DRIVER_BASE_CELSIUS);
  driver->SetType(9);
  driver->SetAux(2, 7, 60, 3, 70);  // raw values, replaced by the first refresh
  driver->SetTrips({7, 80, 3, 90});
  driver->SetDeviceNumbers({2, 0});
  driver->SetSteadyTemp(30);
  Registry().SetString(kParameters, L"Device0", L"\\\\.\\Fan0");
  Registry().SetString(kParameters, L"Device2", L"\\\\.\\Cpu0");
  Clock().SetUtcSeconds(0x100000005ull);

  CNonWmiSensor sensor(3, kPath);

  EXPECT_EQ(sensor.mSensor.Name, kPath);
  EXPECT_EQ(sensor.mSensor.Caps, 0x21u);
  EXPECT_EQ(sensor.mSensor.Base, DRIVER_BASE_CELSIUS);
  EXPECT_EQ(sensor.mSensor.Class, 9u);
  EXPECT_EQ(sensor.mSensor.Valid, 0);
  // In the order the driver listed the numbers.
  EXPECT_EQ(sensor.mSensor.Devices, (std::vector<std::wstring>{L"\\\\.\\Cpu0", L"\\\\.\\Fan0"}));
  // Aux 0 then aux 1, converted from Celsius by the first refresh.
  ASSERT_EQ(sensor.mSensor.TripPoints.size(), 2u);
  EXPECT_EQ(sensor.mSensor.TripPoints[0].AuxType, 7u);
  EXPECT_EQ(sensor.mSensor.TripPoints[0].Temp, 3532);
  EXPECT_EQ(sensor.mSensor.TripPoints[1].AuxType, 3u);
  EXPECT_EQ(sensor.mSensor.TripPoints[1].Temp, 3632);
  // 30 degrees Celsius in front of the three initial zero samples, stamped
  // with the low 32 bits of the clock.
  ASSERT_EQ(sensor.mSensor.TempHistory.size(), 4u);
  EXPECT_EQ(sensor.mSensor.TempHistory[0].Temp, 3032);
  EXPECT_EQ(sensor.mSensor.TempHistory[0].TimeStamp, 5u);
  EXPECT_EQ(sensor.mSensor.TempHistory[1].Temp, 0);
  EXPECT_EQ(Registry().OpenKeyCount(), 0);

  EXPECT_TRUE(
      LogHasSequence({"CNonWmiSensor created: \\\\.\\TempSensor0", "********Sensor DUMP", "Caps 33",
                      "Class 9", "Base 2", "Temp 3032", "Trip Points 2", "Aux0 3532", "Aux1 3632",
                      "Devices Connected 2", "********Sensor DUMP ENDS"}));
  EXPECT_TRUE(LogHasSequence({"Aux Type 7, Trip: 3532", "Aux Type 3, Trip: 3632"}));
  EXPECT_TRUE(mLog.HasMessage("Temp Vector: Temp1 3032, Temp2 0 Temp3 0"));

  // Types beyond 9 are not known to the library.
  driver->SetType(12);
  CNonWmiSensor unknownType(3, kPath);
  EXPECT_EQ(unknownType.mSensor.Class, 0u);
}

TEST_F(NonWmiSensorTest, FewerThanTwoAuxTripPointsAreIgnored) {
  auto driver = AttachDriver();
  driver->SetAux(1, 0, 3000, 1, 3100);
  CNonWmiSensor sensor(3, kPath);
  EXPECT_TRUE(sensor.mSensor.TripPoints.empty());
  EXPECT_EQ(mLog.LevelOf("Sensor supports Less than 2 aux, Ignoring ...."), "ERROR");
  EXPECT_TRUE(LogHasSequence({"Trip Points 0", "Devices Connected 0"}));

  // Writing them back sends nothing instead of reading past the list.
  driver->ClearRequests();
  EXPECT_EQ(sensor.SetSensorTripValue(), ZIVO_TOO_FEW_TRIP_POINTS);
  sensor.mSensor.TripPoints.push_back({0, 3000});
  EXPECT_EQ(sensor.SetSensorTripValue(), ZIVO_TOO_FEW_TRIP_POINTS);
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 0);
  EXPECT_EQ(mLog.LevelOf(
                "SetSensorTripValue needs 2 trip points, \\\\.\\TempSensor0 has 0; nothing sent"),
            "ERROR");
  EXPECT_TRUE(
      mLog.HasMessage("SetSensorTripValue needs 2 trip points, \\\\.\\TempSensor0 has 1; nothing "
                      "sent"));
}

TEST_F(NonWmiSensorTest, DeviceNamesComeFromTheRegistryAndUnreadableOnesAreLeftOut) {
  auto driver = AttachDriver();
  Registry().SetString(kParameters, L"Device1", L"\\\\.\\Gpu0");
  Registry().SetString(kParameters, L"Device2", L"\\\\.\\Cpu0");
  Registry().SetString(kParameters, L"Device4", L"\\\\.\\Modem0");
  Registry().SetString(kParameters, L"Device6", std::wstring(63, L'x'));
  Registry().SetString(kParameters, L"Device7", std::wstring(64, L'y'));

  // Number 3 has no value, 4 fails to read, 7 does not fit in 128 bytes. None
  // leaves an empty name or repeats the name read before it.
  driver->SetDeviceNumbers({3, 2, 4, 1, 7});
  Faults().Fail(FaultOp::RegQueryString, REG_STATUS_ACCESS_DENIED, L"Device4");
  CNonWmiSensor sensor(3, kPath);
  EXPECT_EQ(sensor.mSensor.Devices, (std::vector<std::wstring>{L"\\\\.\\Cpu0", L"\\\\.\\Gpu0"}));
  EXPECT_EQ(mLog.LevelOf("Query Registry failed for Device3"), "ERROR");
  EXPECT_TRUE(mLog.HasMessage("Query Registry failed for Device4"));
  EXPECT_TRUE(mLog.HasMessage("Query Registry failed for Device7"));
  EXPECT_TRUE(mLog.HasMessage("Devices Connected 2"));

  // The longest name that fits; more numbers than the five slots.
  mLog.Clear();
  _tagSSensorInfoBlock info = driver->Info();
  info.DeviceCount = 7;
  const uint32_t numbers[] = {6, 1, 2, 4, 1};
  std::copy(std::begin(numbers), std::end(numbers), info.DeviceNumbers);
  driver->SetInfo(info);
  CNonWmiSensor crowded(3, kPath);
  EXPECT_EQ(crowded.mSensor.Devices,
            (std::vector<std::wstring>{std::wstring(63, L'x'), L"\\\\.\\Gpu0", L"\\\\.\\Cpu0",
                                       L"\\\\.\\Modem0", L"\\\\.\\Gpu0"}));
  EXPECT_EQ(mLog.LevelOf("Sensor reports 7 devices, only the first 5 are read"), "ERROR");

  // Without the key every number fails, and the sensor still joins.
  mLog.Clear();
  driver->SetDeviceNumbers({1, 2});
  Faults().Fail(FaultOp::RegOpen, REG_STATUS_ACCESS_DENIED, kParameters);
  CNonWmiSensor keyless(3, kPath);
  EXPECT_EQ(keyless.mSensor.Name, kPath);
  EXPECT_TRUE(keyless.mSensor.Devices.empty());
  EXPECT_TRUE(LogHasSequence({"Failed to read the Velmar Key", "Query Registry failed for Device1",
                              "Query Registry failed for Device2"}));
  EXPECT_EQ(Registry().OpenKeyCount(), 0);
}

TEST_F(NonWmiSensorTest, ConstructorKeepsWhatItObtainedWhenTheDriverFails) {
  CNonWmiSensor missing(3, L"/dev/none");
  EXPECT_EQ(mLog.LevelOf("cant create handle. Error 2"), "ERROR");
  auto driver = AttachDriver();
  Faults().Fail(FaultOp::DeviceOpen, DEVICE_ERROR_ACCESS_DENIED, kPath);
  CNonWmiSensor refused(3, kPath);
  EXPECT_TRUE(mLog.HasMessage("cant create handle. Error 5"));
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 0);

  // Without a driver every operation fails alike, whatever the record holds.
  refused.mSensor.TripPoints = {{0, 3000}, {1, 3100}};
  for (CNonWmiSensor* sensor : {&missing, &refused}) {
    EXPECT_TRUE(sensor->mSensor.Name.empty());
    EXPECT_EQ(sensor->mSensor.TempHistory.size(), 3u);
    int32_t temperature = -1;
    EXPECT_EQ(sensor->GetCurrentTemp(temperature), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(sensor->Refresh(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(sensor->GetSensorTripValue(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(sensor->SetSensorTripValue(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(sensor->Start(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(sensor->Stop(), ZIVO_IOCTL_FAILED);
  }
  EXPECT_FALSE(mLog.HasMessage("********Sensor DUMP"));
  EXPECT_EQ(Devices().OpenHandleCount(), 0);

  // A driver that cannot describe itself: nothing more is asked of it or of
  // the registry.
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_SENSOR_GET_INFO));
  Faults().Fail(FaultOp::RegOpen, REG_STATUS_ACCESS_DENIED, L"");
  CNonWmiSensor undescribed(3, kPath);
  EXPECT_TRUE(undescribed.mSensor.Name.empty());
  EXPECT_EQ(mLog.LevelOf("Can get sensor info Ioctl Failed"), "ERROR");
  // The fault fails one request in front of the driver: a second would reach it.
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 0);
  EXPECT_FALSE(mLog.HasMessage("Failed to read the Velmar Key"));

  // A first reading that fails leaves the history as it was.
  Faults().Clear();
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_SENSOR_GET_TEMP));
  CNonWmiSensor unread(3, kPath);
  EXPECT_EQ(unread.mSensor.Name, kPath);
  EXPECT_EQ(unread.mSensor.TempHistory.size(), 3u);
  EXPECT_TRUE(mLog.HasMessage("Refresh: GetCurrentTemp failed 114"));
  EXPECT_TRUE(LogHasSequence({"Base 1", "Temp 0", "Trip Points 2"}));
}

TEST_F(NonWmiSensorTest, RefreshRecordsOnlyChangedReadings) {
  auto driver = AttachDriver();
  driver->SetSteadyTemp(3000);
  CNonWmiSensor sensor(3, kPath);
  ASSERT_EQ(sensor.mSensor.TempHistory.size(), 4u);

  Clock().Advance(2000);
  EXPECT_EQ(sensor.Refresh(), ZIVO_SUCCESS);
  EXPECT_EQ(sensor.mSensor.TempHistory.size(), 4u);

  driver->QueueTemps({3010});
  driver->SetTrips({0, 3300, 1, 3400});
  mLog.Clear();
  EXPECT_EQ(sensor.Refresh(), ZIVO_SUCCESS);
  ASSERT_EQ(sensor.mSensor.TempHistory.size(), 5u);
  EXPECT_EQ(sensor.mSensor.TempHistory[0].Temp, 3010);
  EXPECT_EQ(sensor.mSensor.TempHistory[0].TimeStamp, static_cast<uint32_t>(Clock().UtcSeconds()));
  EXPECT_EQ(sensor.mSensor.TempHistory[1].Temp, 3000);
  EXPECT_TRUE(mLog.HasMessage("Temp Vector: Temp1 3010, Temp2 3000 Temp3 0"));
  // The trip points are re-read on every refresh.
  EXPECT_EQ(sensor.mSensor.TripPoints[0].Temp, 3300);
  EXPECT_EQ(sensor.mSensor.TripPoints[1].Temp, 3400);

  // A failed reading adds nothing and does not go on to the trip points.
  driver->ClearRequests();
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_SENSOR_GET_TEMP));
  EXPECT_EQ(sensor.Refresh(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(sensor.mSensor.TempHistory.size(), 5u);
  EXPECT_EQ(driver->CountRequests(DRIVER_SENSOR_GET_TRIPS), 0);

  // The trip points fail to read after a changed reading was recorded.
  driver->QueueTemps({3020});
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_SENSOR_GET_TRIPS));
  EXPECT_EQ(sensor.Refresh(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(sensor.mSensor.TempHistory[0].Temp, 3020);

  // With no history at all, the first reading is recorded.
  CNonWmiSensor historyless(0, kPath);
  ASSERT_EQ(historyless.mSensor.TempHistory.size(), 1u);
  EXPECT_EQ(historyless.mSensor.TempHistory[0].Temp, 3000);
}

TEST_F(NonWmiSensorTest, GetCurrentTempRetriesOnlyAFaultyReading) {
  auto driver = AttachDriver();
  CNonWmiSensor sensor(3, kPath);
  int32_t temperature = 0;

  // A failed request is not retried and shuts nothing down.
  driver->ClearRequests();
  driver->QueueTemps({5282});
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_SENSOR_GET_TEMP));
  EXPECT_EQ(sensor.GetCurrentTemp(temperature), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(driver->CountRequests(DRIVER_SENSOR_GET_TEMP), 0) << "a retry would reach the driver";
  EXPECT_EQ(mLog.LevelOf("Sensor get temp Ioctl Failed"), "ERROR");
  EXPECT_TRUE(Power().Requests().empty());

  // The 5282 queued above is still there: one faulty reading is taken back
  // by the second, and the history is not touched.
  driver->ClearRequests();
  driver->QueueTemps({5281});
  EXPECT_EQ(sensor.GetCurrentTemp(temperature), ZIVO_SUCCESS);
  EXPECT_EQ(temperature, 5281);
  EXPECT_EQ(driver->CountRequests(DRIVER_SENSOR_GET_TEMP), 2);
  EXPECT_TRUE(Power().Shutdowns().empty());
  EXPECT_EQ(sensor.mSensor.TempHistory.size(), 4u);

  // A good first reading needs no second one.
  driver->ClearRequests();
  EXPECT_EQ(sensor.GetCurrentTemp(temperature), ZIVO_SUCCESS);
  EXPECT_EQ(driver->CountRequests(DRIVER_SENSOR_GET_TEMP), 1);

  driver->QueueTemps({5282, 5282});
  EXPECT_EQ(sensor.GetCurrentTemp(temperature), ZIVO_SUCCESS);
  EXPECT_EQ(temperature, 5282);
  auto shutdowns = Power().Shutdowns();
  ASSERT_EQ(shutdowns.size(), 1u);
  EXPECT_EQ(shutdowns[0].timeoutSeconds, 60u);
  EXPECT_EQ(shutdowns[0].message, kFaultyMessage);
  EXPECT_TRUE(shutdowns[0].force);
  EXPECT_FALSE(shutdowns[0].reboot);
  EXPECT_EQ(mLog.LevelOf(kFaultyLine), "ERROR");

  // Every call that finds two faulty readings asks again, even when the
  // system refuses, and through Refresh the faulty reading is recorded.
  Faults().Arm({FaultOp::PowerShutdown, L"", 1, CFaultPlan::kAlways, 0, true});
  driver->SetBase(DRIVER_BASE_CELSIUS);
  driver->SetSteadyTemp(30);
  CNonWmiSensor celsius(3, kPath);
  driver->QueueTemps({255, 255});
  EXPECT_EQ(celsius.Refresh(), ZIVO_SUCCESS);
  EXPECT_EQ(celsius.mSensor.TempHistory[0].Temp, 5282);
  EXPECT_EQ(Power().Shutdowns().size(), 2u);
  EXPECT_EQ(mLog.CountMessage(kFaultyLine), 2);
}

TEST_F(NonWmiSensorTest, GetSensorTripValueUpdatesOnlyMatchingEntries) {
  auto driver = AttachDriver();
  driver->SetBase(DRIVER_BASE_KELVIN);
  driver->SetSteadyTemp(300);
  driver->SetTrips({4, 330, 5, 340});
  driver->SetAux(2, 4, 0, 5, 0);
  CNonWmiSensor sensor(3, kPath);
  ASSERT_EQ(sensor.mSensor.TripPoints.size(), 2u);
  EXPECT_EQ(sensor.mSensor.TripPoints[0].Temp, 3300);
  EXPECT_EQ(sensor.mSensor.TripPoints[1].Temp, 3400);

  // Entry 9 is unknown to the driver; two entries share identifier 5.
  sensor.mSensor.TripPoints = {{9, 1234}, {5, 0}, {5, 0}};
  driver->SetTrips({4, 350, 5, 360});
  EXPECT_EQ(sensor.GetSensorTripValue(), ZIVO_SUCCESS);
  EXPECT_EQ(sensor.mSensor.TripPoints[0].Temp, 1234);
  EXPECT_EQ(sensor.mSensor.TripPoints[1].Temp, 3600);
  EXPECT_EQ(sensor.mSensor.TripPoints[2].Temp, 3600);
  EXPECT_EQ(mLog.CountMessage("Aux Type 5, Trip: 3600"), 2);

  // Both identifiers equal: the second one decides.
  sensor.mSensor.TripPoints = {{6, 0}};
  driver->SetTrips({6, 350, 6, 360});
  EXPECT_EQ(sensor.GetSensorTripValue(), ZIVO_SUCCESS);
  EXPECT_EQ(sensor.mSensor.TripPoints[0].Temp, 3600);

  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_SENSOR_GET_TRIPS));
  EXPECT_EQ(sensor.GetSensorTripValue(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(sensor.mSensor.TripPoints[0].Temp, 3600);
  EXPECT_EQ(mLog.LevelOf("Sensor get trips Ioctl Failed"), "ERROR");
}

TEST_F(NonWmiSensorTest, SetSensorTripValueSendsTheFirstTwoInTheSensorsUnit) {
  auto driver = AttachDriver();
  driver->SetBase(DRIVER_BASE_CELSIUS);
  driver->SetSteadyTemp(30);
  CNonWmiSensor sensor(3, kPath);
  driver->ClearRequests();

  sensor.mSensor.TripPoints = {{1, 3232}, {0, 3732}, {2, 4000}};
  EXPECT_EQ(sensor.SetSensorTripValue(), ZIVO_SUCCESS);
  const auto sent = driver->RequestsWith(DRIVER_SENSOR_SET_TRIPS);
  ASSERT_EQ(sent.size(), 1u);
  const _tagSTripBlock trips = SentTrips(sent[0]);
  EXPECT_EQ(trips.Aux0Type, 1u);
  EXPECT_EQ(trips.Aux0Temp, 50);
  EXPECT_EQ(trips.Aux1Type, 0u);
  EXPECT_EQ(trips.Aux1Temp, 100);
  // No read-back.
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 1);

  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_SENSOR_SET_TRIPS));
  EXPECT_EQ(sensor.SetSensorTripValue(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(mLog.LevelOf("Sensor Set trips Ioctl Failed"), "ERROR");
}

TEST_F(NonWmiSensorTest, StartAndStopEachSendOneRequest) {
  auto driver = AttachDriver();
  {
    CNonWmiSensor sensor(3, kPath);
    EXPECT_EQ(sensor.Start(), ZIVO_SUCCESS);
    EXPECT_TRUE(driver->Started());
    EXPECT_EQ(sensor.Stop(), ZIVO_SUCCESS);
    EXPECT_FALSE(driver->Started());
    EXPECT_TRUE(mLog.HasMessage("Start Called for \\\\.\\TempSensor0"));
    EXPECT_TRUE(mLog.HasMessage("Stop Called for \\\\.\\TempSensor0"));

    Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                  FaultCodeName(DRIVER_SENSOR_START));
    Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                  FaultCodeName(DRIVER_SENSOR_STOP));
    EXPECT_EQ(sensor.Start(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(sensor.Stop(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(mLog.LevelOf("SENSOR start Ioctl Failed"), "ERROR");
    EXPECT_EQ(mLog.LevelOf("SENSOR stop Ioctl Failed"), "ERROR");
    EXPECT_EQ(Devices().OpenHandleCount(), 1);
  }
  EXPECT_EQ(Devices().OpenHandleCount(), 0);
  EXPECT_TRUE(mLog.HasMessage("Deleting \\\\.\\TempSensor0"));
}
