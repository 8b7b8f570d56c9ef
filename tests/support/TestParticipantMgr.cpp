#include "support/TestParticipantMgr.h"

#include <memory>
#include <set>
#include <utility>

CTestParticipantMgr::~CTestParticipantMgr() {
  std::set<CDevice*> devices(mDeviceList.begin(), mDeviceList.end());
  std::set<CSensor*> sensors(mSensorList.begin(), mSensorList.end());
  mDeviceList.clear();
  mSensorList.clear();
  for (CDevice* device : devices) {
    delete device;
  }
  for (CSensor* sensor : sensors) {
    delete sensor;
  }
}

int CTestParticipantMgr::Init(int historyLength, int& status) {
  mHistoryLength = historyLength;
  status = 0;
  return 0;
}

int CTestParticipantMgr::Enumerate() {
  ++mEnumerateCalls;
  return 0;
}

int CTestParticipantMgr::AddSensor(std::wstring name) {
  mAddedSensors.push_back(std::move(name));
  return mAddResult;
}

int CTestParticipantMgr::AddDevice(std::wstring name) {
  mAddedDevices.push_back(std::move(name));
  return mAddResult;
}

int CTestParticipantMgr::UpdateSensorDeviceLinks() {
  ++mUpdateLinksCalls;
  return 0;
}

CFakeDevice& CTestParticipantMgr::AddFakeDevice(std::wstring name, uint32_t deviceClass) {
  auto device = std::make_unique<CFakeDevice>(std::move(name), deviceClass, &mJournal);
  mDeviceList.push_back(device.get());
  return *device.release();
}

CFakeSensor& CTestParticipantMgr::AddFakeSensor(std::wstring name, uint32_t sensorClass) {
  const int historyLength = mHistoryLength > 0 ? mHistoryLength : 3;
  auto sensor =
      std::make_unique<CFakeSensor>(std::move(name), sensorClass, historyLength, &mJournal);
  mSensorList.push_back(sensor.get());
  return *sensor.release();
}
