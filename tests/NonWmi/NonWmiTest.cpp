// The driver-backed participants: their description from the driver and the
// parameters key, the history and faulty-reading rules, trip points, throttle
// read-back, and what they keep when their driver fails.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "PartMgr/NonWmiDevice.h"
#include "PartMgr/NonWmiSensor.h"
#include "Platform/DriverProtocol.h"
#include "Sim/SimDeviceDriver.h"
#include "Sim/SimSensorDriver.h"
#include "support/SimPlatformTest.h"
#include "zivorivizo/StatusCodes.h"

namespace {

using Trips = std::vector<std::pair<uint32_t, int>>;
Trips TripsOf(const _tagSSensor& s) {
  Trips trips;
  for (const _tagSAuxTrip& trip : s.TripPoints) trips.emplace_back(trip.AuxType, trip.Temp);
  return trips;
}

std::vector<uint32_t> Codes(const std::vector<_tagSDriverRequest>& requests) {
  std::vector<uint32_t> codes;
  for (const auto& request : requests) codes.push_back(request.code);
  return codes;
}

uint32_t InputValue(const _tagSDriverRequest& request) {
  uint32_t value = 0;
  EXPECT_EQ(request.input.size(), sizeof(value));
  ReadDriverBlock(std::span<const std::byte>(request.input), value);
  return value;
}

const std::wstring kPath = L"\\\\.\\TempSensor0";
const std::wstring kDevicePath = L"\\\\.\\ThrottleDev0";
const std::wstring kParameters = L"SOFTWARE\\Zelan\\VOVUZER\\Parameters";

class NonWmiTest : public CSimPlatformTest {
 protected:
  template <typename Driver>
  std::shared_ptr<Driver> Attach(const std::wstring& path) {
    auto driver = std::make_shared<Driver>();
    Devices().Attach(path, driver);
    return driver;
  }
  static void FailRequest(uint32_t code) {
    Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE, FaultCodeName(code));
  }
};

TEST_F(NonWmiTest, SensorDescribesItselfAndTakesAFirstReading) {
  auto driver = Attach<CSimSensorDriver>(kPath);
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
  EXPECT_EQ(std::tie(s.Name, s.Caps, s.Base, s.Class, s.Valid),
            std::make_tuple(kPath, 0x21u, uint16_t{DRIVER_BASE_CELSIUS}, 9u, 0));
  EXPECT_EQ(s.Devices, (std::vector<std::wstring>{L"\\\\.\\Cpu0", L"\\\\.\\Fan0"}));
  // Aux 0 then aux 1, converted from Celsius by the first refresh.
  EXPECT_EQ(TripsOf(s), (Trips{{7, 3532}, {3, 3632}}));
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

TEST_F(NonWmiTest, SensorFewerThanTwoAuxTripPointsAreIgnoredAndNeverSent) {
  auto driver = Attach<CSimSensorDriver>(kPath);
  driver->SetAux(1, 0, 3000, 1, 3100);
  CNonWmiSensor sensor(3, kPath);
  EXPECT_TRUE(sensor.mSensor.TripPoints.empty());
  driver->ClearRequests();
  EXPECT_EQ(sensor.SetSensorTripValue(), ZIVO_TOO_FEW_TRIP_POINTS);
  sensor.mSensor.TripPoints.push_back({0, 3000});
  EXPECT_EQ(sensor.SetSensorTripValue(), ZIVO_TOO_FEW_TRIP_POINTS);
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 0);
}

TEST_F(NonWmiTest, SensorDeviceNamesComeFromTheRegistryAndUnreadableOnesAreLeftOut) {
  auto driver = Attach<CSimSensorDriver>(kPath);
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

TEST_F(NonWmiTest, SensorConstructorKeepsWhatItObtainedWhenTheDriverFails) {
  CNonWmiSensor missing(3, L"/dev/none");
  auto driver = Attach<CSimSensorDriver>(kPath);
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
  FailRequest(DRIVER_SENSOR_GET_INFO);
  Faults().Fail(FaultOp::RegOpen, REG_STATUS_ACCESS_DENIED, L"");
  EXPECT_TRUE(CNonWmiSensor(3, kPath).mSensor.Name.empty());
  // The fault fails one request in front of the driver: a second would reach it.
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 0);
  EXPECT_FALSE(mLog.HasMessage("Failed to read the Velmar Key"));

  // A first reading that fails leaves the history as it was.
  Faults().Clear();
  FailRequest(DRIVER_SENSOR_GET_TEMP);
  CNonWmiSensor unread(3, kPath);
  EXPECT_EQ(unread.mSensor.Name, kPath);
  EXPECT_EQ(unread.mSensor.TempHistory.size(), 3u);
}

TEST_F(NonWmiTest, SensorRefreshRecordsOnlyChangedReadingsAndRereadsTheTrips) {
  auto driver = Attach<CSimSensorDriver>(kPath);
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
  EXPECT_EQ(TripsOf(sensor.mSensor), (Trips{{0, 3300}, {1, 3400}}));

  // A failed reading adds nothing and does not go on to the trip points.
  driver->ClearRequests();
  FailRequest(DRIVER_SENSOR_GET_TEMP);
  EXPECT_EQ(sensor.Refresh(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(sensor.mSensor.TempHistory.size(), 5u);
  EXPECT_EQ(driver->CountRequests(DRIVER_SENSOR_GET_TRIPS), 0);
  // The trip points fail to read after a changed reading was recorded.
  driver->QueueTemps({3020});
  FailRequest(DRIVER_SENSOR_GET_TRIPS);
  EXPECT_EQ(sensor.Refresh(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(sensor.mSensor.TempHistory[0].Temp, 3020);
}

TEST_F(NonWmiTest, SensorGetCurrentTempRetriesOnlyAFaultyReading) {
  auto driver = Attach<CSimSensorDriver>(kPath);
  CNonWmiSensor sensor(3, kPath);
  int32_t temperature = 0;
  // A failed request is not retried and shuts nothing down.
  driver->ClearRequests();
  driver->QueueTemps({5282});
  FailRequest(DRIVER_SENSOR_GET_TEMP);
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
  EXPECT_EQ(std::tie(shutdowns[0].timeoutSeconds, shutdowns[0].force, shutdowns[0].reboot),
            std::make_tuple(60u, true, false));
  EXPECT_EQ(shutdowns[0].message,
            L"One of the temperature sensors is faulty, please contact your support. To "
            L"protect, system is shutting now...");

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

TEST_F(NonWmiTest, SensorTripPointsAreReadIntoMatchingEntriesAndWrittenInTheSensorsUnit) {
  auto driver = Attach<CSimSensorDriver>(kPath);
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
  EXPECT_EQ(TripsOf(sensor.mSensor), (Trips{{9, 1234}, {5, 3600}, {5, 3600}}));
  // Both identifiers equal: the second one decides.
  sensor.mSensor.TripPoints = {{6, 0}};
  driver->SetTrips({6, 350, 6, 360});
  EXPECT_EQ(sensor.GetSensorTripValue(), ZIVO_SUCCESS);
  EXPECT_EQ(sensor.mSensor.TripPoints[0].Temp, 3600);
  FailRequest(DRIVER_SENSOR_GET_TRIPS);
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
  EXPECT_EQ(std::tie(trips.Aux0Type, trips.Aux0Temp, trips.Aux1Type, trips.Aux1Temp),
            std::make_tuple(1u, 50, 0u, 100));
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 1);
  FailRequest(DRIVER_SENSOR_SET_TRIPS);
  EXPECT_EQ(celsius.SetSensorTripValue(), ZIVO_IOCTL_FAILED);
}

TEST_F(NonWmiTest, DeviceDescribesItselfFromTheInformationBlock) {
  auto driver = Attach<CSimDeviceDriver>(kDevicePath);
  _tagSDeviceInfoBlock info;
  info.Caps = 0x15;
  info.Reserved[0] = 0xDEAD;
  info.MaxState = 4;
  info.Class = 9;
  driver->SetInfo(info);
  driver->SetState(3);

  CNonWmiDevice device(kDevicePath);
  const _tagSDevice& d = device.mDevice;
  EXPECT_EQ(std::tie(d.Name, d.Caps, d.Max, d.Class, d.Current, d.Valid),
            std::make_tuple(kDevicePath, 0x15u, 4u, 9u, 3u, 0));
  EXPECT_EQ(Codes(driver->Requests()),
            (std::vector<uint32_t>{DRIVER_DEVICE_GET_INFO, DRIVER_DEVICE_GET_STATE}));
  driver->SetClass(12);
  EXPECT_EQ(CNonWmiDevice(kDevicePath).mDevice.Class, 0u) << "types beyond 9 are unknown";
}

TEST_F(NonWmiTest, DeviceConstructorKeepsWhatItObtainedWhenTheDriverFails) {
  // A path without a driver, and a driver that refuses the open.
  CNonWmiDevice missing(L"/dev/none");
  auto driver = Attach<CSimDeviceDriver>(kDevicePath);
  Faults().Fail(FaultOp::DeviceOpen, DEVICE_ERROR_ACCESS_DENIED, kDevicePath);
  CNonWmiDevice refused(kDevicePath);
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 0);
  for (CNonWmiDevice* device : {&missing, &refused}) {
    EXPECT_TRUE(device->mDevice.Name.empty());
    device->mDevice.Current = 1;
    EXPECT_EQ(device->SetCurrentThrottleLimit(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(device->GetCurrentThrottleLimit(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(device->Start(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(device->Stop(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(device->Shutdown(true), ZIVO_IOCTL_FAILED);
  }
  EXPECT_EQ(Devices().OpenHandleCount(), 0);

  // A driver that cannot describe itself: the name stays empty, the state is
  // not read, the handle stays open for the object's life.
  FailRequest(DRIVER_DEVICE_GET_INFO);
  {
    CNonWmiDevice undescribed(kDevicePath);
    EXPECT_TRUE(undescribed.mDevice.Name.empty());
    EXPECT_EQ(driver->CountRequests(DRIVER_DEVICE_GET_STATE), 0);
    EXPECT_EQ(Devices().OpenHandleCount(), 1);
  }
  EXPECT_EQ(Devices().OpenHandleCount(), 0);

  // A state that cannot be read leaves Current at 0; the device still joins.
  FailRequest(DRIVER_DEVICE_GET_STATE);
  driver->SetState(2);
  CNonWmiDevice unread(kDevicePath);
  EXPECT_EQ(unread.mDevice.Name, kDevicePath);
  EXPECT_EQ(unread.mDevice.Current, 0u);
}

TEST_F(NonWmiTest, DeviceThrottleStatesAreSentReadBackAndCheckedAgainstMax) {
  auto driver = Attach<CSimDeviceDriver>(kDevicePath);
  driver->SetMaxState(3);
  driver->SetState(3);
  CNonWmiDevice device(kDevicePath);
  ASSERT_EQ(device.mDevice.Current, 3u) << "Max itself is a state";
  driver->SetState(4);
  EXPECT_EQ(device.GetCurrentThrottleLimit(), ZIVO_STATE_ABOVE_MAX);
  EXPECT_EQ(device.mDevice.Current, 3u);
  FailRequest(DRIVER_DEVICE_GET_STATE);
  EXPECT_EQ(device.GetCurrentThrottleLimit(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(device.mDevice.Current, 3u);

  driver->ClearRequests();
  device.mDevice.Current = 2;
  EXPECT_EQ(device.SetCurrentThrottleLimit(), ZIVO_SUCCESS);
  EXPECT_EQ(driver->State(), 2u);
  const auto requests = driver->Requests();
  EXPECT_EQ(Codes(requests),
            (std::vector<uint32_t>{DRIVER_DEVICE_SET_STATE, DRIVER_DEVICE_GET_STATE}));
  EXPECT_EQ(InputValue(requests[0]), 2u);

  // Accepted, but the driver reports another state, or one above Max.
  driver->PinReportedState(1);
  EXPECT_EQ(device.SetCurrentThrottleLimit(), ZIVO_THROTTLE_MISMATCH);
  EXPECT_EQ(device.mDevice.Current, 1u);
  driver->PinReportedState(4);
  device.mDevice.Current = 2;
  EXPECT_EQ(device.SetCurrentThrottleLimit(), ZIVO_STATE_ABOVE_MAX);
  EXPECT_EQ(device.mDevice.Current, 2u);
  driver->PinReportedState(std::nullopt);
  FailRequest(DRIVER_DEVICE_GET_STATE);
  EXPECT_EQ(device.SetCurrentThrottleLimit(), ZIVO_IOCTL_FAILED);
  // The set request fails: nothing is read back.
  driver->ClearRequests();
  FailRequest(DRIVER_DEVICE_SET_STATE);
  EXPECT_EQ(device.SetCurrentThrottleLimit(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(driver->CountRequests(DRIVER_DEVICE_GET_STATE), 0);
}

TEST_F(NonWmiTest, StartStopAndShutdownEachSendOneRequest) {
  auto sensorDriver = Attach<CSimSensorDriver>(kPath);
  auto driver = Attach<CSimDeviceDriver>(kDevicePath);
  auto sensor = std::make_unique<CNonWmiSensor>(3, kPath);
  auto device = std::make_unique<CNonWmiDevice>(kDevicePath);
  driver->ClearRequests();
  EXPECT_EQ(sensor->Start(), ZIVO_SUCCESS);
  EXPECT_TRUE(sensorDriver->Started());
  EXPECT_EQ(sensor->Stop(), ZIVO_SUCCESS);
  EXPECT_FALSE(sensorDriver->Started());
  EXPECT_EQ(device->Start(), ZIVO_SUCCESS);
  EXPECT_TRUE(driver->Started());
  EXPECT_EQ(device->Stop(), ZIVO_SUCCESS);
  EXPECT_FALSE(driver->Started());
  EXPECT_EQ(device->Shutdown(true), ZIVO_SUCCESS);
  EXPECT_EQ(device->Shutdown(false), ZIVO_SUCCESS);
  const auto shutdowns = driver->RequestsWith(DRIVER_DEVICE_SHUTDOWN);
  ASSERT_EQ(shutdowns.size(), 2u);
  EXPECT_EQ(InputValue(shutdowns[0]) * 2 + InputValue(shutdowns[1]), 2u) << "flags 1 then 0";
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 4);

  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE, L"", 1, 5);
  EXPECT_EQ(sensor->Start(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(sensor->Stop(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(device->Start(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(device->Stop(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(device->Shutdown(true), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(Devices().OpenHandleCount(), 2);
  sensor.reset();
  device.reset();
  EXPECT_EQ(Devices().OpenHandleCount(), 0);
}

}  // namespace
