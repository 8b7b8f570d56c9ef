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

// A reading at or above the faulty mark is taken again: a good second one is
// the answer, a second faulty one asks for one shutdown and ends the reading,
// and a request that fails ends it with its failure.
TEST_F(NonWmiTest, TwoFaultyReadingsInARowRequestOneShutdown) {
  auto driver = Attach<CSimSensorDriver>(kPath);
  CNonWmiSensor sensor(3, kPath);
  int32_t temperature = 0;
  driver->QueueTemps({ZIVO_FAULTY_TEMPERATURE, ZIVO_FAULTY_TEMPERATURE - 1});
  EXPECT_EQ(sensor.GetCurrentTemp(temperature), ZIVO_SUCCESS);
  EXPECT_EQ(temperature, ZIVO_FAULTY_TEMPERATURE - 1);
  EXPECT_TRUE(Power().Shutdowns().empty());

  driver->QueueTemps({ZIVO_FAULTY_TEMPERATURE, ZIVO_FAULTY_TEMPERATURE, 3000});
  EXPECT_EQ(sensor.GetCurrentTemp(temperature), ZIVO_SUCCESS);
  EXPECT_EQ(temperature, ZIVO_FAULTY_TEMPERATURE);
  EXPECT_EQ(Power().Shutdowns().size(), 1u);
  EXPECT_EQ(driver->QueuedTemps(), 1);

  driver->QueueTemps({ZIVO_FAULTY_TEMPERATURE});
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_SENSOR_GET_TEMP), 3);
  EXPECT_EQ(sensor.GetCurrentTemp(temperature), ZIVO_SUCCESS);
  EXPECT_EQ(temperature, 3000);
  EXPECT_EQ(sensor.GetCurrentTemp(temperature), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(temperature, ZIVO_FAULTY_TEMPERATURE);
  EXPECT_TRUE(mLog.HasMessage("Sensor get temp Ioctl Failed"));
  EXPECT_EQ(Power().Shutdowns().size(), 1u);
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
