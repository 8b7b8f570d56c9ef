#include "support/ManagerTest.h"

void CManagerTest::SetUp() {
  CSimPlatformTest::SetUp();
  SeedDrivers({}, {});
}

void CManagerTest::SeedDrivers(const std::vector<std::wstring>& sensors,
                               const std::vector<std::wstring>& devices) {
  Registry().SetDword(kParametersKey, L"SensorCount", static_cast<uint32_t>(sensors.size()));
  for (std::size_t i = 0; i < sensors.size(); ++i) {
    Registry().SetString(kParametersKey, L"Sensor" + std::to_wstring(i), sensors[i]);
  }
  Registry().SetDword(kParametersKey, L"DeviceCount", static_cast<uint32_t>(devices.size()));
  for (std::size_t i = 0; i < devices.size(); ++i) {
    Registry().SetString(kParametersKey, L"Device" + std::to_wstring(i), devices[i]);
  }
}

COSParticipantManager& CManagerTest::Manager() {
  return *COSParticipantManager::GetInstance();
}

std::vector<std::wstring> CManagerTest::DeviceNames() {
  std::vector<std::wstring> names;
  for (CDevice* device : DeviceList()) names.push_back(device->mDevice.Name);
  return names;
}

std::vector<std::wstring> CManagerTest::SensorNames() {
  std::vector<std::wstring> names;
  for (CSensor* sensor : SensorList()) names.push_back(sensor->mSensor.Name);
  return names;
}

std::shared_ptr<CWbemClassObject> CManagerTest::DeviceInstance(const std::wstring& name) {
  return Sim().Reachable(Wmi().Instance(L"DtmDeviceParticipantInformation", name));
}

std::shared_ptr<CWbemClassObject> CManagerTest::SensorInstance(const std::wstring& name) {
  return Sim().Reachable(Wmi().Instance(L"DtmSensorParticipantInformation", name));
}

std::wstring FirmwareDeviceName(int n) {
  return L"ACPI\\PNP0C14\\" + std::to_wstring(n) + L"_0";
}
