// Fixture for discovery: publishes firmware participants and attaches
// simulated drivers for the registry-listed ones.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Sim/SimDeviceDriver.h"
#include "Sim/SimSensorDriver.h"
#include "support/ManagerTest.h"

class CDiscoveryTest : public CManagerTest {
 protected:
  // A firmware device numbered n, named FirmwareDeviceName(n).
  void PublishDevice(int n, int32_t type = 0) {
    Firmware().AddDevice({FirmwareDeviceName(n), 0, 0, 5, type});
  }
  void PublishSensor(const std::wstring& name, std::vector<int32_t> devices, int32_t type = 0) {
    _tagSSimWmiSensor sensor;
    sensor.instanceName = name;
    sensor.list = std::move(devices);
    sensor.trips = {0, 3300, 1, 3500};
    sensor.type = type;
    Firmware().AddSensor(sensor);
  }
  // A sensor driver at `path` that reports the given device numbers.
  std::shared_ptr<CSimSensorDriver> AttachSensor(const std::wstring& path,
                                                 std::initializer_list<uint32_t> devices = {}) {
    auto driver = std::make_shared<CSimSensorDriver>();
    driver->SetDeviceNumbers(devices);
    Devices().Attach(path, driver);
    return driver;
  }
  std::shared_ptr<CSimDeviceDriver> AttachDevice(const std::wstring& path) {
    auto driver = std::make_shared<CSimDeviceDriver>();
    Devices().Attach(path, driver);
    return driver;
  }

  CDevice* DeviceNamed(const std::wstring& name) {
    for (CDevice* device : DeviceList()) {
      if (device->mDevice.Name == name) return device;
    }
    return nullptr;
  }
  CSensor* SensorNamed(const std::wstring& name) {
    for (CSensor* sensor : SensorList()) {
      if (sensor->mSensor.Name == name) return sensor;
    }
    return nullptr;
  }
  static std::vector<std::wstring> Names(const std::vector<CDevice*>& devices) {
    std::vector<std::wstring> names;
    for (CDevice* device : devices) names.push_back(device->mDevice.Name);
    return names;
  }
  static std::vector<std::wstring> Names(const std::vector<CSensor*>& sensors) {
    std::vector<std::wstring> names;
    for (CSensor* sensor : sensors) names.push_back(sensor->mSensor.Name);
    return names;
  }
};
