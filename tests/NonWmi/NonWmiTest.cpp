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
