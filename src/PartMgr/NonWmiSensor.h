// A temperature sensor reached through its own driver.
#pragma once

#include <memory>
#include <string>

#include "Platform/DeviceIo.h"
#include "zivorivizo/Sensor.h"

class CPlatform;

class CNonWmiSensor : public CSensor {
 public:
  CNonWmiSensor(int historyLength, std::wstring path);
  ~CNonWmiSensor() override;

  int SetSensorTripValue() override;
  int Refresh() override;
  int Start() override;
  int Stop() override;
  int GetCurrentTemp(int32_t& temperature) override;
  int GetSensorTripValue() override;
  int GetTimeStamp(uint32_t& seconds) override;

 private:
  std::shared_ptr<CPlatform> mPlatform;
  std::unique_ptr<CDeviceHandle> mHandle;  // null when opening failed
};
