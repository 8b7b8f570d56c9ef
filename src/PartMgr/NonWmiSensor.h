// A temperature sensor reached through its own driver. The constructor opens
// the driver, reads the sensor's description, names the devices the sensor
// reports for from the registry's parameters key and takes a first reading;
// afterwards each operation is one synchronous request (DriverProtocol.h),
// converting between the sensor's unit and tenths of kelvin. Two readings in a
// row at or above ZIVO_FAULTY_TEMPERATURE make it ask the system manager for a
// shutdown. The participant manager owns it.
//
// The constructor never fails as a whole: when the driver cannot be opened or
// does not describe itself, the object keeps an empty Name, and without an
// open driver every operation fails with ZIVO_IOCTL_FAILED. Not thread-safe:
// one sensor is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "Platform/DeviceIo.h"
#include "zivorivizo/Sensor.h"

class CDeviceNames;
class CPlatform;

class CNonWmiSensor : public CSensor {
 public:
  // The device names come from `names` when given (an enumeration's table,
  // which outlives the constructor), otherwise from the key read afresh.
  CNonWmiSensor(int historyLength, std::wstring path, CDeviceNames* names = nullptr);
  ~CNonWmiSensor() override;
  CNonWmiSensor(const CNonWmiSensor&) = delete;
  CNonWmiSensor& operator=(const CNonWmiSensor&) = delete;

  // Needs two trip points: with fewer it sends nothing and returns
  // ZIVO_TOO_FEW_TRIP_POINTS.
  int SetSensorTripValue() override;
  int Refresh() override;
  int Start() override;
  int Stop() override;
  int GetCurrentTemp(int32_t& temperature) override;
  int GetSensorTripValue() override;
  int GetTimeStamp(uint32_t& seconds) override;

 private:
  // Appends the registry names of the device numbers the driver listed.
  void ReadDeviceNames(const uint32_t* numbers, uint32_t count, CDeviceNames* names);
  // One reading into `temperature`: ZIVO_SUCCESS, ZIVO_IOCTL_FAILED when the
  // request failed, or a marker of its own for a faulty reading. Inline in
  // GetCurrentTemp: it is the hot path of every read.
  [[gnu::always_inline]] inline int ReadOnce(int32_t& temperature);
  // The first reading was faulty: reads again, up to two faulty readings in
  // all, then reports the sensor faulty.
  [[gnu::noinline]] int ReadAfterFaulty(int32_t& temperature);
  // Asks the system manager to shut down after two faulty readings.
  int ReportFaultySensor();
  // One request to the driver; false when it failed or no driver is open.
  bool Request(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out);

  std::shared_ptr<CPlatform> mPlatform;
  std::unique_ptr<CDeviceHandle> mHandle;  // null when opening failed
};
