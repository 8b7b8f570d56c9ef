// Fixture for discovery: publishes firmware participants and attaches
// simulated drivers for the registry-listed ones.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Platform/Text.h"
#include "Sim/SimDeviceDriver.h"
#include "Sim/SimSensorDriver.h"
#include "support/ManagerTest.h"
#include "support/TempFolder.h"
#include "zivorivizo/OSConfigMgr.h"

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

  // Loads a configuration whose skin sensor `sensor` names `devices`.
  void LoadSkinConfig(const std::wstring& sensor, const std::vector<std::wstring>& devices) {
    std::string paths;
    for (std::size_t i = 0; i < devices.size(); ++i) {
      paths += " Device" + std::to_string(i) + "=\"" + ToUtf8(devices[i]) + "\"";
    }
    const std::string file = mFolder.Write(
        "velmarconfig.xml",
        "<?xml version=\"1.0\"?>\n<VelmarConfig><Platform><Shutdown option=\"hibernate\" "
        "timer=\"15\"/><Throttling preference=\"Active\"/></Platform><Sensor Path=\"" +
            ToUtf8(sensor) + "\" class=\"1\" ThirdParty_DeviceCount=\"" +
            std::to_string(devices.size()) +
            "\"><Temperature shutdown=\"45\" ThrottleStart=\"30\"/><SUsage enable=\"1\" "
            "aux_interval=\"2\"/><DevicePath" +
            paths + "/></Sensor></VelmarConfig>\n");
    COSConfigManager::GetInstance(FromUtf8(file));
  }

  CDevice* DeviceNamed(const std::wstring& name) { return Named(DeviceList(), name); }
  CSensor* SensorNamed(const std::wstring& name) { return Named(SensorList(), name); }
  // The names of the participants a participant is linked to.
  template <typename Participant>
  static std::vector<std::wstring> Links(const Participant* participant) {
    std::vector<std::wstring> names;
    if constexpr (std::is_same_v<Participant, CSensor>) {
      for (CDevice* device : participant->mLinkedDevices) names.push_back(device->mDevice.Name);
    } else {
      for (CSensor* sensor : participant->mLinkedSensors) names.push_back(sensor->mSensor.Name);
    }
    return names;
  }

 private:
  CTempFolder mFolder;
  template <typename List>
  static typename List::value_type Named(const List& list, const std::wstring& name) {
    for (auto* participant : list) {
      if (NameOf(participant) == name) return participant;
    }
    return nullptr;
  }
  static const std::wstring& NameOf(const CDevice* device) { return device->mDevice.Name; }
  static const std::wstring& NameOf(const CSensor* sensor) { return sensor->mSensor.Name; }
};
