// The driver-backed sensor: its description from the driver and the
// parameters key, the history and faulty-reading rules, and its trip points.
#include <gtest/gtest.h>

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

class NonWmiSensorTest : public CSimPlatformTest {
 protected:
  std::shared_ptr<CSimSensorDriver> AttachDriver() {
    auto driver = std::make_shared<CSimSensorDriver>();
    Devices().Attach(kPath, driver);
    return driver;
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
  const _tagSSensor& s = sensor.mSensor;
  EXPECT_EQ(s.Name, kPath);
  EXPECT_EQ(s.Caps, 0x21u);
  EXPECT_EQ(s.Base, DRIVER_BASE_CELSIUS);
  EXPECT_EQ(s.Class, 9u);
  EXPECT_EQ(s.Valid, 0);
  EXPECT_EQ(s.Devices, (std::vector<std::wstring>{L"\\\\.\\Cpu0", L"\\\\.\\Fan0"}));
  // Aux 0 then aux 1, converted from Celsius by the first refresh.
  ASSERT_EQ(s.TripPoints.size(), 2u);
  EXPECT_EQ(s.TripPoints[0].AuxType, 7u);
  EXPECT_EQ(s.TripPoints[0].Temp, 3532);
  EXPECT_EQ(s.TripPoints[1].AuxType, 3u);
  EXPECT_EQ(s.TripPoints[1].Temp, 3632);
  // In front of the three zero samples, stamped with the clock's low 32 bits.
  ASSERT_EQ(s.TempHistory.size(), 4u);
  EXPECT_EQ(s.TempHistory[0].Temp, 3032);
  EXPECT_EQ(s.TempHistory[0].TimeStamp, 5u);
  EXPECT_EQ(Registry().OpenKeyCount(), 0);

  driver->SetType(12);
  EXPECT_EQ(CNonWmiSensor(3, kPath).mSensor.Class, 0u) << "types beyond 9 are unknown";
  // With no history at all, the first reading is recorded.
  EXPECT_EQ(CNonWmiSensor(0, kPath).mSensor.TempHistory.size(), 1u);
}

TEST_F(NonWmiSensorTest, FewerThanTwoAuxTripPointsAreIgnoredAndNeverSent) {
  auto driver = AttachDriver();
  driver->SetAux(1, 0, 3000, 1, 3100);
  CNonWmiSensor sensor(3, kPath);
  EXPECT_TRUE(sensor.mSensor.TripPoints.empty());
  driver->ClearRequests();
  EXPECT_EQ(sensor.SetSensorTripValue(), ZIVO_TOO_FEW_TRIP_POINTS);
  sensor.mSensor.TripPoints.push_back({0, 3000});
  EXPECT_EQ(sensor.SetSensorTripValue(), ZIVO_TOO_FEW_TRIP_POINTS);
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 0);
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
  EXPECT_EQ(CNonWmiSensor(3, kPath).mSensor.Devices,
            (std::vector<std::wstring>{L"\\\\.\\Cpu0", L"\\\\.\\Gpu0"}));

  // The longest name that fits; more numbers than the five slots.
  _tagSSensorInfoBlock info = driver->Info();
  info.DeviceCount = 7;
  const uint32_t numbers[] = {6, 1, 2, 4, 1};
  std::copy(std::begin(numbers), std::end(numbers), info.DeviceNumbers);
  driver->SetInfo(info);
  EXPECT_EQ(CNonWmiSensor(3, kPath).mSensor.Devices,
            (std::vector<std::wstring>{std::wstring(63, L'x'), L"\\\\.\\Gpu0", L"\\\\.\\Cpu0",
                                       L"\\\\.\\Modem0", L"\\\\.\\Gpu0"}));

  // Without the key every number fails, and the sensor still joins.
  driver->SetDeviceNumbers({1, 2});
  Faults().Fail(FaultOp::RegOpen, REG_STATUS_ACCESS_DENIED, kParameters);
  CNonWmiSensor keyless(3, kPath);
  EXPECT_EQ(keyless.mSensor.Name, kPath);
  EXPECT_TRUE(keyless.mSensor.Devices.empty());
  EXPECT_EQ(Registry().OpenKeyCount(), 0);
}

TEST_F(NonWmiSensorTest, ConstructorKeepsWhatItObtainedWhenTheDriverFails) {
  CNonWmiSensor missing(3, L"/dev/none");
  auto driver = AttachDriver();
  Faults().Fail(FaultOp::DeviceOpen, DEVICE_ERROR_ACCESS_DENIED, kPath);
  CNonWmiSensor refused(3, kPath);
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
  EXPECT_EQ(Devices().OpenHandleCount(), 0);

  // A driver that cannot describe itself: nothing more is asked of it or of
  // the registry.
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_SENSOR_GET_INFO));
  Faults().Fail(FaultOp::RegOpen, REG_STATUS_ACCESS_DENIED, L"");
  EXPECT_TRUE(CNonWmiSensor(3, kPath).mSensor.Name.empty());
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
}

TEST_F(NonWmiSensorTest, RefreshRecordsOnlyChangedReadingsAndRereadsTheTrips) {
  auto driver = AttachDriver();
  driver->SetSteadyTemp(3000);
  CNonWmiSensor sensor(3, kPath);
  Clock().Advance(2000);
  EXPECT_EQ(sensor.Refresh(), ZIVO_SUCCESS);
  EXPECT_EQ(sensor.mSensor.TempHistory.size(), 4u);

  driver->QueueTemps({3010});
  driver->SetTrips({0, 3300, 1, 3400});
  EXPECT_EQ(sensor.Refresh(), ZIVO_SUCCESS);
  ASSERT_EQ(sensor.mSensor.TempHistory.size(), 5u);
  EXPECT_EQ(sensor.mSensor.TempHistory[0].Temp, 3010);
  EXPECT_EQ(sensor.mSensor.TempHistory[0].TimeStamp, static_cast<uint32_t>(Clock().UtcSeconds()));
  EXPECT_EQ(sensor.mSensor.TempHistory[1].Temp, 3000);
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
  // The 5282 queued above is still there: one faulty reading is taken back
  // by the second, and the history is not touched.
  driver->QueueTemps({5281});
  EXPECT_EQ(sensor.GetCurrentTemp(temperature), ZIVO_SUCCESS);
  EXPECT_EQ(temperature, 5281);
  EXPECT_EQ(driver->CountRequests(DRIVER_SENSOR_GET_TEMP), 2);
  EXPECT_EQ(sensor.GetCurrentTemp(temperature), ZIVO_SUCCESS);
  EXPECT_EQ(driver->CountRequests(DRIVER_SENSOR_GET_TEMP), 3) << "a good reading needs no second";
  EXPECT_TRUE(Power().Requests().empty());
  EXPECT_EQ(sensor.mSensor.TempHistory.size(), 4u);

  driver->QueueTemps({5282, 5282});
  EXPECT_EQ(sensor.GetCurrentTemp(temperature), ZIVO_SUCCESS);
  EXPECT_EQ(temperature, 5282);
  auto shutdowns = Power().Shutdowns();
  ASSERT_EQ(shutdowns.size(), 1u);
  EXPECT_EQ(shutdowns[0].timeoutSeconds, 60u);
  EXPECT_EQ(shutdowns[0].message,
            L"One of the temperature sensors is faulty, please contact your support. To "
            L"protect, system is shutting now...");
  EXPECT_TRUE(shutdowns[0].force);
  EXPECT_FALSE(shutdowns[0].reboot);

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
}

TEST_F(NonWmiSensorTest, TripPointsAreReadIntoMatchingEntriesAndWrittenInTheSensorsUnit) {
  auto driver = AttachDriver();
  driver->SetBase(DRIVER_BASE_KELVIN);
  driver->SetSteadyTemp(300);
  driver->SetTrips({4, 330, 5, 340});
  driver->SetAux(2, 4, 0, 5, 0);
  CNonWmiSensor sensor(3, kPath);
  EXPECT_EQ(sensor.mSensor.TripPoints[1].Temp, 3400);

  // Entry 9 is unknown to the driver; two entries share identifier 5.
  sensor.mSensor.TripPoints = {{9, 1234}, {5, 0}, {5, 0}};
  driver->SetTrips({4, 350, 5, 360});
  EXPECT_EQ(sensor.GetSensorTripValue(), ZIVO_SUCCESS);
  EXPECT_EQ(sensor.mSensor.TripPoints[0].Temp, 1234);
  EXPECT_EQ(sensor.mSensor.TripPoints[1].Temp, 3600);
  EXPECT_EQ(sensor.mSensor.TripPoints[2].Temp, 3600);
  // Both identifiers equal: the second one decides.
  sensor.mSensor.TripPoints = {{6, 0}};
  driver->SetTrips({6, 350, 6, 360});
  EXPECT_EQ(sensor.GetSensorTripValue(), ZIVO_SUCCESS);
  EXPECT_EQ(sensor.mSensor.TripPoints[0].Temp, 3600);
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_SENSOR_GET_TRIPS));
  EXPECT_EQ(sensor.GetSensorTripValue(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(sensor.mSensor.TripPoints[0].Temp, 3600);

  // The first two are sent, in the sensor's unit, without a read-back.
  driver->SetBase(DRIVER_BASE_CELSIUS);
  driver->SetSteadyTemp(30);
  CNonWmiSensor celsius(3, kPath);
  driver->ClearRequests();
  celsius.mSensor.TripPoints = {{1, 3232}, {0, 3732}, {2, 4000}};
  EXPECT_EQ(celsius.SetSensorTripValue(), ZIVO_SUCCESS);
  const auto sent = driver->RequestsWith(DRIVER_SENSOR_SET_TRIPS);
  ASSERT_EQ(sent.size(), 1u);
  _tagSTripBlock trips;
  ASSERT_EQ(sent[0].input.size(), sizeof(trips));
  ReadDriverBlock(std::span<const std::byte>(sent[0].input), trips);
  EXPECT_EQ(trips.Aux0Type, 1u);
  EXPECT_EQ(trips.Aux0Temp, 50);
  EXPECT_EQ(trips.Aux1Type, 0u);
  EXPECT_EQ(trips.Aux1Temp, 100);
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 1);
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_SENSOR_SET_TRIPS));
  EXPECT_EQ(celsius.SetSensorTripValue(), ZIVO_IOCTL_FAILED);
}

TEST_F(NonWmiSensorTest, StartAndStopEachSendOneRequest) {
  auto driver = AttachDriver();
  {
    CNonWmiSensor sensor(3, kPath);
    EXPECT_EQ(sensor.Start(), ZIVO_SUCCESS);
    EXPECT_TRUE(driver->Started());
    EXPECT_EQ(sensor.Stop(), ZIVO_SUCCESS);
    EXPECT_FALSE(driver->Started());
    Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                  FaultCodeName(DRIVER_SENSOR_START));
    Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                  FaultCodeName(DRIVER_SENSOR_STOP));
    EXPECT_EQ(sensor.Start(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(sensor.Stop(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(Devices().OpenHandleCount(), 1);
  }
  EXPECT_EQ(Devices().OpenHandleCount(), 0);
}

}  // namespace
