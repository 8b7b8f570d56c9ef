#include "support/TestParticipantMgr.h"

#include <memory>
#include <set>
#include <utility>

CTestParticipantMgr::~CTestParticipantMgr() {
  std::set<CDevice*> devices(mDeviceList.begin(), mDeviceList.end());
  std::set<CSensor*> sensors(mSensorList.begin(), mSensorList.end());
  mDeviceList.clear();
  mSensorList.clear();
  for (CDevice* device : devices) delete device;
  for (CSensor* sensor : sensors) delete sensor;
}

CFakeDevice& CTestParticipantMgr::AddFakeDevice(std::wstring name, uint32_t deviceClass) {
  auto device = std::make_unique<CFakeDevice>(std::move(name), deviceClass);
  mDeviceList.push_back(device.get());
  return *device.release();
}

CFakeSensor& CTestParticipantMgr::AddFakeSensor(std::wstring name, uint32_t sensorClass) {
  auto sensor = std::make_unique<CFakeSensor>(std::move(name), sensorClass);
  mSensorList.push_back(sensor.get());
  return *sensor.release();
}
