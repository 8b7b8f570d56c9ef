// The scripted drivers the participant tests rely on: if their fault counting
// or their queue were off, the participant tests would pass for wrong reasons.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <thread>
#include <vector>

#include "Platform/DriverProtocol.h"
#include "Platform/Sim/SimSensorDriver.h"
#include "support/SimPlatformTest.h"

namespace {

const std::wstring kPath = L"/sim/sensor";

class SimDriverTest : public CSimPlatformTest {
 protected:
  // Sends one request through an opened handle, as a participant does.
  bool Send(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
            uint32_t& error) {
    uint32_t openError = 0;
    auto handle = Devices().Open(kPath, openError);
    EXPECT_NE(handle, nullptr);
    return handle != nullptr && handle->Control(code, in, out, error);
  }

  bool ReadTemp(int32_t& reading) {
    uint32_t error = 0;
    return Send(DRIVER_SENSOR_GET_TEMP, {}, std::as_writable_bytes(std::span(&reading, 1)), error);
  }
};

TEST_F(SimDriverTest, FaultsFireOnceNTimesAfterASkipOrAlways) {
  auto driver = std::make_shared<CSimSensorDriver>();
  Devices().Attach(kPath, driver);
  int32_t reading = 0;

  driver->FailRequest(DRIVER_SENSOR_GET_TEMP, DEVICE_ERROR_GEN_FAILURE);
  uint32_t error = 0;
  EXPECT_FALSE(
      Send(DRIVER_SENSOR_GET_TEMP, {}, std::as_writable_bytes(std::span(&reading, 1)), error));
  EXPECT_EQ(error, DEVICE_ERROR_GEN_FAILURE);
  EXPECT_TRUE(ReadTemp(reading));

  // Two failures after one success; other codes are not affected.
  driver->FailRequest(DRIVER_SENSOR_GET_TEMP, DEVICE_ERROR_ACCESS_DENIED, 2, 1);
  EXPECT_TRUE(Send(DRIVER_SENSOR_START, {}, {}, error));
  EXPECT_TRUE(ReadTemp(reading));
  EXPECT_FALSE(ReadTemp(reading));
  EXPECT_FALSE(ReadTemp(reading));
  EXPECT_TRUE(ReadTemp(reading));

  driver->FailRequest(SIM_ANY_REQUEST, DEVICE_ERROR_GEN_FAILURE, 0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(ReadTemp(reading));
  }
  EXPECT_FALSE(Send(DRIVER_SENSOR_STOP, {}, {}, error));
  EXPECT_TRUE(driver->Started());  // a failed request changes nothing
  driver->ClearFaults();
  EXPECT_TRUE(ReadTemp(reading));

  // Every request was recorded, failed ones included.
  EXPECT_EQ(driver->CountRequests(DRIVER_SENSOR_GET_TEMP), 10);
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 12);
}

TEST_F(SimDriverTest, SensorAnswersQueuedReadingsThenTheSteadyOne) {
  auto driver = std::make_shared<CSimSensorDriver>();
  Devices().Attach(kPath, driver);
  driver->SetSteadyTemp(2990);
  driver->QueueTemps({1, 2});
  driver->FailRequest(DRIVER_SENSOR_GET_TEMP, DEVICE_ERROR_GEN_FAILURE);
  int32_t reading = 0;
  EXPECT_FALSE(ReadTemp(reading));  // a failed request uses no reading up
  for (int32_t expected : {1, 2, 2990, 2990}) {
    ASSERT_TRUE(ReadTemp(reading));
    EXPECT_EQ(reading, expected);
  }

  // Short buffers and unknown codes are refused.
  uint32_t error = 0;
  std::array<std::byte, 55> shortInfo{};
  EXPECT_FALSE(Send(DRIVER_SENSOR_GET_INFO, {}, shortInfo, error));
  EXPECT_EQ(error, DEVICE_ERROR_INSUFFICIENT_BUFFER);
  EXPECT_FALSE(Send(DRIVER_SENSOR_SET_TRIPS, std::span(shortInfo).first(8), {}, error));
  EXPECT_EQ(error, DEVICE_ERROR_INSUFFICIENT_BUFFER);
  EXPECT_FALSE(Send(DRIVER_DEVICE_GET_STATE, {}, shortInfo, error));
  EXPECT_EQ(error, DEVICE_ERROR_INVALID_FUNCTION);
}

TEST_F(SimDriverTest, ScriptingWhileRequestsArriveIsSafe) {
  auto driver = std::make_shared<CSimSensorDriver>();
  Devices().Attach(kPath, driver);
  constexpr int kReadings = 2000;
  std::thread reader([&] {
    uint32_t openError = 0;
    auto handle = Devices().Open(kPath, openError);
    for (int i = 0; i < kReadings; ++i) {
      int32_t reading = 0;
      uint32_t error = 0;
      handle->Control(DRIVER_SENSOR_GET_TEMP, {}, std::as_writable_bytes(std::span(&reading, 1)),
                      error);
    }
  });
  for (int i = 0; i < kReadings; ++i) {
    driver->QueueTemps({i});
    driver->SetSteadyTemp(i);
    driver->FailRequest(DRIVER_SENSOR_GET_TEMP, DEVICE_ERROR_GEN_FAILURE, 1, 1);
  }
  reader.join();
  EXPECT_EQ(driver->CountRequests(DRIVER_SENSOR_GET_TEMP), kReadings);
}

}  // namespace
