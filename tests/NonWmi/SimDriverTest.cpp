// The scripted sensor driver the participant tests rely on: its reading queue,
// and scripting it (and the fault plan in front of it) while requests arrive.
#include <gtest/gtest.h>

#include <thread>

#include "Platform/DriverProtocol.h"
#include "Sim/SimSensorDriver.h"
#include "support/SimPlatformTest.h"

namespace {

const std::wstring kPath = L"/sim/sensor";

bool ReadTemp(CDeviceHandle& handle, int32_t& reading) {
  uint32_t error = 0;
  return handle.Control(DRIVER_SENSOR_GET_TEMP, {}, std::as_writable_bytes(std::span(&reading, 1)),
                        error);
}

class SimDriverTest : public CSimPlatformTest {};

TEST_F(SimDriverTest, SensorAnswersQueuedReadingsThenTheSteadyOne) {
  auto driver = std::make_shared<CSimSensorDriver>();
  Devices().Attach(kPath, driver);
  driver->SetSteadyTemp(2990);
  driver->QueueTemps({1, 2});
  uint32_t error = 0;
  auto handle = Sim().Devices().Open(kPath, error);
  ASSERT_NE(handle, nullptr);
  Faults().Fail(FaultOp::DeviceControl, 0, FaultCodeName(DRIVER_SENSOR_GET_TEMP));
  int32_t reading = 0;
  EXPECT_FALSE(ReadTemp(*handle, reading)) << "a failed request uses no reading up";
  for (int32_t expected : {1, 2, 2990, 2990}) {
    ASSERT_TRUE(ReadTemp(*handle, reading));
    EXPECT_EQ(reading, expected);
  }
  EXPECT_EQ(driver->CountRequests(DRIVER_SENSOR_GET_TEMP), 4);
}

TEST_F(SimDriverTest, ScriptingWhileRequestsArriveIsSafe) {
  auto driver = std::make_shared<CSimSensorDriver>();
  Devices().Attach(kPath, driver);
  constexpr int kReadings = 2000;
  std::thread reader([&] {
    uint32_t error = 0;
    auto handle = Sim().Devices().Open(kPath, error);
    for (int i = 0; i < kReadings && handle; ++i) {
      int32_t reading = 0;
      ReadTemp(*handle, reading);
    }
  });
  for (int i = 0; i < kReadings; ++i) {
    driver->QueueTemps({i});
    driver->SetSteadyTemp(i);
    Faults().Fail(FaultOp::DeviceControl, 0, FaultCodeName(DRIVER_SENSOR_GET_TEMP), 2);
  }
  reader.join();
  EXPECT_LE(driver->CountRequests(DRIVER_SENSOR_GET_TEMP), kReadings);
}

}  // namespace
