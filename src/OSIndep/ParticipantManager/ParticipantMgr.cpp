#include "zivorivizo/ParticipantMgr.h"

#include <algorithm>

#include "Log/LogStatement.h"
#include "zivorivizo/StatusCodes.h"

namespace {

// Every call the manager makes on a participant leaves its outcome in the
// record's Valid field, so a host reading the record later sees it.
int Flag(int result, int32_t& valid) {
  valid = result == ZIVO_SUCCESS ? 1 : 0;
  return result;
}

const std::wstring& NameOf(const CDevice* device) {
  return device->mDevice.Name;
}

const std::wstring& NameOf(const CSensor* sensor) {
  return sensor->mSensor.Name;
}

// Named operations act on the first participant of that name only; a later
// duplicate is reachable through the whole-list operations alone.
template <typename Participant>
Participant* FindFirst(const std::list<Participant*>& list, const std::wstring& name) {
  for (Participant* participant : list) {
    if (NameOf(participant) == name) {
      return participant;
    }
  }
  return nullptr;
}

}  // namespace

CParticipantMgr::CParticipantMgr() {
  LOG_DEBUG("CParticipantMgr Constructor called");
}

CParticipantMgr::~CParticipantMgr() {
  LOG_DEBUG("CParticipantMgr Destructor called  ");
}

int CParticipantMgr::GetDevicePtr(std::wstring name, CDevice*& out) {
  CDevice* device = FindFirst(mDeviceList, name);
  if (device == nullptr) {
    return ZIVO_DEVICE_NOT_FOUND;
  }
  out = device;
  return ZIVO_SUCCESS;
}

int CParticipantMgr::GetSensorPtr(std::wstring name, CSensor*& out) {
  CSensor* sensor = FindFirst(mSensorList, name);
  if (sensor == nullptr) {
    return ZIVO_SENSOR_NOT_FOUND;
  }
  out = sensor;
  return ZIVO_SUCCESS;
}

int CParticipantMgr::RemoveDevice(std::wstring name) {
  LOG_DEBUG("Remove Device called. %ls", name.c_str());
  CDevice* device = nullptr;
  if (GetDevicePtr(name, device) != ZIVO_SUCCESS) {
    LOG_ERROR("Remove device: Device not found in list %ls", name.c_str());
    return ZIVO_DEVICE_NOT_FOUND;
  }
  mDeviceList.remove(device);
  LOG_DEBUG("Removed device from list");
  // A sensor may hold the device more than once (linked by its own list and
  // again by the configuration); every entry goes, or it would dangle.
  for (CSensor* sensor : mSensorList) {
    std::vector<CDevice*>& links = sensor->mLinkedDevices;
    for (auto it = links.begin(); it != links.end();) {
      if (*it == device) {
        it = links.erase(it);
        LOG_DEBUG("Erased Link from %ls", sensor->mSensor.Name.c_str());
      } else {
        ++it;
      }
    }
  }
  device->Stop();
  delete device;
  return ZIVO_SUCCESS;
}

int CParticipantMgr::RemoveSensor(std::wstring name) {
  LOG_DEBUG("Remove Sensor called. %ls", name.c_str());
  CSensor* sensor = nullptr;
  if (GetSensorPtr(name, sensor) != ZIVO_SUCCESS) {
    LOG_ERROR("Remove sensor: Sensor not found in list %ls", name.c_str());
    return ZIVO_SENSOR_NOT_FOUND;
  }
  mSensorList.remove(sensor);
  // Links are made in pairs, so a device held twice by the sensor holds the
  // sensor twice: one entry per link.
  for (CDevice* device : sensor->mLinkedDevices) {
    std::vector<CSensor*>& links = device->mLinkedSensors;
    auto it = std::find(links.begin(), links.end(), sensor);
    if (it != links.end()) {
      links.erase(it);
      LOG_DEBUG("Removed ref from %ls", device->mDevice.Name.c_str());
    }
  }
  // Should the pairs ever disagree, no device may keep a pointer to the
  // sensor that is about to be destroyed.
  for (CDevice* device : mDeviceList) {
    std::vector<CSensor*>& links = device->mLinkedSensors;
    for (auto it = links.begin(); it != links.end();) {
      if (*it == sensor) {
        it = links.erase(it);
        LOG_DEBUG("Removed ref from %ls", device->mDevice.Name.c_str());
      } else {
        ++it;
      }
    }
  }
  sensor->Stop();
  delete sensor;
  return ZIVO_SUCCESS;
}

int CParticipantMgr::StartAllParticipants() {
  LOG_DEBUG("CParticipantMgr StartAllParticipants called");
  if (mSensorList.empty() || mDeviceList.empty()) {
    LOG_ERROR("Link list empty");
    return ZIVO_LIST_EMPTY;
  }
  for (CDevice* device : mDeviceList) {
    if (Flag(device->Start(), device->mDevice.Valid) != ZIVO_SUCCESS) {
      LOG_ERROR("Start device failed. Device: %ls  ", device->mDevice.Name.c_str());
    }
  }
  for (CSensor* sensor : mSensorList) {
    if (Flag(sensor->Start(), sensor->mSensor.Valid) != ZIVO_SUCCESS) {
      LOG_ERROR("Start sensor failed. Sensor: %ls  ", sensor->mSensor.Name.c_str());
    }
  }
  return ZIVO_SUCCESS;
}

int CParticipantMgr::StopAllParticipants() {
  LOG_DEBUG("CParticipantMgr StopAllParticipants called  ");
  if (mSensorList.empty() || mDeviceList.empty()) {
    LOG_ERROR("Link list empty");
    return ZIVO_LIST_EMPTY;
  }
  for (CDevice* device : mDeviceList) {
    if (Flag(device->Stop(), device->mDevice.Valid) != ZIVO_SUCCESS) {
      LOG_ERROR("Stop device failed. Device: %ls  ", device->mDevice.Name.c_str());
    }
  }
  for (CSensor* sensor : mSensorList) {
    if (Flag(sensor->Stop(), sensor->mSensor.Valid) != ZIVO_SUCCESS) {
      LOG_ERROR("Stop sensor failed. Sensor: %ls  ", sensor->mSensor.Name.c_str());
    }
  }
  return ZIVO_SUCCESS;
}

int CParticipantMgr::StartDevice(std::wstring name) {
  LOG_DEBUG("CParticipantMgr StartDevice called %ls", name.c_str());
  CDevice* device = nullptr;
  if (GetDevicePtr(name, device) != ZIVO_SUCCESS) {
    LOG_ERROR("Device not found %ls", name.c_str());
    return ZIVO_DEVICE_NOT_FOUND;
  }
  const int result = Flag(device->Start(), device->mDevice.Valid);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("Start device failed. device: %ls  ", device->mDevice.Name.c_str());
  }
  return result;
}

int CParticipantMgr::StopDevice(std::wstring name) {
  LOG_DEBUG("CParticipantMgr StopDevice called %ls", name.c_str());
  CDevice* device = nullptr;
  if (GetDevicePtr(name, device) != ZIVO_SUCCESS) {
    LOG_ERROR("Device not found %ls", name.c_str());
    return ZIVO_DEVICE_NOT_FOUND;
  }
  const int result = Flag(device->Stop(), device->mDevice.Valid);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("Stop device failed. device: %ls  ", device->mDevice.Name.c_str());
  }
  return result;
}

int CParticipantMgr::StartSensor(std::wstring name) {
  LOG_DEBUG("CParticipantMgr StartSensor called %ls", name.c_str());
  CSensor* sensor = nullptr;
  if (GetSensorPtr(name, sensor) != ZIVO_SUCCESS) {
    LOG_ERROR("Sensor not found %ls", name.c_str());
    return ZIVO_SENSOR_NOT_FOUND;
  }
  const int result = Flag(sensor->Start(), sensor->mSensor.Valid);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("Start sensor failed. Sensor: %ls  ", sensor->mSensor.Name.c_str());
  }
  return result;
}

int CParticipantMgr::StopSensor(std::wstring name) {
  LOG_DEBUG("CParticipantMgr StopSensor called %ls", name.c_str());
  CSensor* sensor = nullptr;
  if (GetSensorPtr(name, sensor) != ZIVO_SUCCESS) {
    LOG_ERROR("Sensor not found %ls", name.c_str());
    return ZIVO_SENSOR_NOT_FOUND;
  }
  const int result = Flag(sensor->Stop(), sensor->mSensor.Valid);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("Stop sensor failed. Sensor: %ls  ", sensor->mSensor.Name.c_str());
  }
  return result;
}

int CParticipantMgr::ShutdownDevice(std::wstring name, bool bShutdown) {
  if (bShutdown) {
    LOG_DEBUG("CParticipantMgr ShutdownDevice called for starting %ls", name.c_str());
  } else {
    LOG_DEBUG("CParticipantMgr ShutdownDevice called for shutting down %ls", name.c_str());
  }
  CDevice* device = nullptr;
  if (GetDevicePtr(name, device) != ZIVO_SUCCESS) {
    LOG_ERROR("Device not found %ls", name.c_str());
    return ZIVO_DEVICE_NOT_FOUND;
  }
  const int result = Flag(device->Shutdown(bShutdown), device->mDevice.Valid);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("ShutDown device failed. device: %ls  ", device->mDevice.Name.c_str());
  }
  return result;
}

int CParticipantMgr::GetAllDevices(std::vector<_tagSDevice>& out) {
  LOG_DEBUG("CParticipantMgr GetAllDevices called  ");
  if (mDeviceList.empty()) {
    LOG_ERROR("Empty Device link list passed  ");
    return ZIVO_LIST_EMPTY;
  }
  int result = ZIVO_SUCCESS;
  for (CDevice* device : mDeviceList) {
    result = Flag(device->GetCurrentThrottleLimit(), device->mDevice.Valid);
    if (result != ZIVO_SUCCESS) {
      LOG_ERROR("Refresh Device Failed. Error code: %d, Device: %ls  ", result,
                device->mDevice.Name.c_str());
    }
    out.push_back(device->mDevice);
  }
  return result;
}

int CParticipantMgr::GetActiveDevices(std::vector<_tagSDevice>& out) {
  LOG_DEBUG("GetActiveDevices called");
  if (mDeviceList.empty()) {
    LOG_ERROR("Empty Device link list passed  ");
    return ZIVO_LIST_EMPTY;
  }
  int result = ZIVO_SUCCESS;
  for (CDevice* device : mDeviceList) {
    if (device->mDevice.Class != ZIVO_ACTIVE_DEVICE_CLASS) {
      continue;
    }
    result = Flag(device->GetCurrentThrottleLimit(), device->mDevice.Valid);
    if (result != ZIVO_SUCCESS) {
      LOG_ERROR("Refresh Device Failed. Error code: %d, Device: %ls  ", result,
                device->mDevice.Name.c_str());
    }
    out.push_back(device->mDevice);
  }
  return result;
}

int CParticipantMgr::GetAllSensors(std::vector<_tagSSensor>& out) {
  LOG_DEBUG("CParticipantMgr GetAllSensors called $$$$ ");
  if (mSensorList.empty()) {
    LOG_ERROR("Link list empty");
    return ZIVO_SENSOR_LIST_EMPTY;
  }
  int result = ZIVO_SUCCESS;
  for (CSensor* sensor : mSensorList) {
    result = Flag(sensor->GetSensorTripValue(), sensor->mSensor.Valid);
    if (result != ZIVO_SUCCESS) {
      LOG_ERROR("GetSensorTripValue Failed. Error code: %d, Sensor: %ls  ", result,
                sensor->mSensor.Name.c_str());
    }
    out.push_back(sensor->mSensor);
  }
  return result;
}

int CParticipantMgr::GetDevice(std::wstring name, _tagSDevice& out) {
  LOG_DEBUG("CParticipantMgr GetDevice called for %ls", name.c_str());
  CDevice* device = nullptr;
  if (GetDevicePtr(name, device) != ZIVO_SUCCESS) {
    LOG_ERROR("Device requested was not found. Device %ls  ", name.c_str());
    return ZIVO_DEVICE_NOT_FOUND;
  }
  const int result = Flag(device->GetCurrentThrottleLimit(), device->mDevice.Valid);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("Refresh Device failed. Error: %d, Device %ls  ", result,
              device->mDevice.Name.c_str());
    return result;
  }
  out = device->mDevice;
  return ZIVO_SUCCESS;
}

int CParticipantMgr::SetDevice(const _tagSDevice& rec) {
  LOG_DEBUG("CParticipantMgr SetDevice called for %ls", rec.Name.c_str());
  CDevice* device = nullptr;
  if (GetDevicePtr(rec.Name, device) != ZIVO_SUCCESS) {
    LOG_ERROR("Device requested was not found. Device %ls  ", rec.Name.c_str());
    return ZIVO_DEVICE_NOT_FOUND;
  }
  LOG_DEBUG("USThrottleControlCurrent is %d", static_cast<int>(rec.Current));
  device->mDevice.Current = rec.Current;
  const int result = Flag(device->SetCurrentThrottleLimit(), device->mDevice.Valid);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("Device Update Failed. Error: %d, Device: %ls ", result,
              device->mDevice.Name.c_str());
  }
  return result;
}

int CParticipantMgr::GetSensor(std::wstring name, _tagSSensor& out) {
  LOG_DEBUG("CParticipantMgr GetSensor called for %ls", name.c_str());
  CSensor* sensor = nullptr;
  if (GetSensorPtr(name, sensor) != ZIVO_SUCCESS) {
    LOG_ERROR("The sensor requested was not found %ls  ", name.c_str());
    return ZIVO_SENSOR_NOT_FOUND;
  }
  const int result = Flag(sensor->GetSensorTripValue(), sensor->mSensor.Valid);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR(" GetSensorTripValue failed. Error %d, Sensor %ls  ", result,
              sensor->mSensor.Name.c_str());
  }
  // The host learns of a failed read from Valid in the copy, not the result.
  out = sensor->mSensor;
  return ZIVO_SUCCESS;
}

int CParticipantMgr::SetSensor(const _tagSSensor& rec) {
  LOG_DEBUG("CParticipantMgr SetSensor called %ls", rec.Name.c_str());
  CSensor* sensor = nullptr;
  if (GetSensorPtr(rec.Name, sensor) != ZIVO_SUCCESS) {
    LOG_ERROR("The sensor requested was not found %ls  ", rec.Name.c_str());
    return ZIVO_SENSOR_NOT_FOUND;
  }
  sensor->mSensor.TripPoints = rec.TripPoints;
  const int result = Flag(sensor->SetSensorTripValue(), sensor->mSensor.Valid);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("Update Sensor failed. Error %d, Sensor %ls ", result, sensor->mSensor.Name.c_str());
  }
  return result;
}

int CParticipantMgr::GetDeviceList(std::wstring sensorName, std::vector<_tagSDevice>& out) {
  LOG_DEBUG("CParticipantMgr GetDeviceList called for %ls", sensorName.c_str());
  if (mSensorList.empty() || mDeviceList.empty()) {
    LOG_ERROR("Link list empty");
    return ZIVO_LIST_EMPTY;
  }
  CSensor* sensor = nullptr;
  if (GetSensorPtr(sensorName, sensor) != ZIVO_SUCCESS) {
    LOG_ERROR("The sensor requested was not found. Sensor: %ls  ", sensorName.c_str());
    return ZIVO_SENSOR_NOT_FOUND;
  }
  for (CDevice* device : sensor->mLinkedDevices) {
    Flag(device->GetCurrentThrottleLimit(), device->mDevice.Valid);
    out.push_back(device->mDevice);
  }
  return ZIVO_SUCCESS;
}

int CParticipantMgr::GetSensorList(std::wstring deviceName, std::vector<_tagSSensor>& out) {
  LOG_DEBUG("GetSensorList called for %ls", deviceName.c_str());
  if (mSensorList.empty() || mDeviceList.empty()) {
    LOG_ERROR("Link list empty");
    return ZIVO_LIST_EMPTY;
  }
  CDevice* device = nullptr;
  if (GetDevicePtr(deviceName, device) != ZIVO_SUCCESS) {
    LOG_ERROR("The device requested was not found. Device: %ls  ", deviceName.c_str());
    return ZIVO_DEVICE_NOT_FOUND;
  }
  for (CSensor* sensor : device->mLinkedSensors) {
    // Skin sensors are answered by GetDevicesWithoutSensors instead.
    if (sensor->mSensor.Class == ZIVO_SKIN_SENSOR_CLASS) {
      continue;
    }
    const int result = Flag(sensor->GetSensorTripValue(), sensor->mSensor.Valid);
    if (result != ZIVO_SUCCESS) {
      LOG_ERROR(" GetSensorTripValue failed. Error %d, Sensor %ls  ", result,
                sensor->mSensor.Name.c_str());
    }
    out.push_back(sensor->mSensor);
  }
  LOG_DEBUG("Returning, %d", static_cast<int>(out.size()));
  return ZIVO_SUCCESS;
}

int CParticipantMgr::GetDevicesWithoutSensors(std::wstring skinSensorName,
                                              std::vector<_tagSDevice>& out) {
  LOG_DEBUG("GetDevicesWithoutSensors called for %ls Skin", skinSensorName.c_str());
  std::vector<_tagSDevice> devices;
  for (CSensor* sensor : mSensorList) {
    if (sensor->mSensor.Name != skinSensorName) {
      continue;
    }
    for (CDevice* device : sensor->mLinkedDevices) {
      // A refresh only; this query reports nothing into Valid.
      device->GetCurrentThrottleLimit();
      LOG_DEBUG("Inserting %ls", device->mDevice.Name.c_str());
      devices.push_back(device->mDevice);
    }
  }
  LOG_DEBUG("This skin has %d devices", static_cast<int>(devices.size()));
  // A device that any non-skin sensor watches is governed by that sensor. A
  // named sensor that is not of the skin class meets itself here and takes
  // away every device it collected.
  for (CSensor* sensor : mSensorList) {
    if (sensor->mSensor.Class == ZIVO_SKIN_SENSOR_CLASS) {
      continue;
    }
    for (CDevice* device : sensor->mLinkedDevices) {
      auto it = std::find_if(devices.begin(), devices.end(), [device](const _tagSDevice& record) {
        return record.Name == device->mDevice.Name;
      });
      if (it != devices.end()) {
        devices.erase(it);
      }
    }
  }
  out.insert(out.end(), devices.begin(), devices.end());
  return ZIVO_SUCCESS;
}

int CParticipantMgr::RefreshSensor(std::wstring name) {
  LOG_DEBUG("Refresh called for %ls", name.c_str());
  CSensor* sensor = nullptr;
  if (GetSensorPtr(name, sensor) != ZIVO_SUCCESS) {
    LOG_DEBUG("Sensor not found");
    return ZIVO_SENSOR_NOT_FOUND;
  }
  const int result = sensor->Refresh();
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("Sensor refresh failed");
  }
  return result;
}

int CParticipantMgr::GetCurrentTemperature(std::wstring name, int& temperature) {
  LOG_DEBUG("GetCurrentTemperature called for %ls", name.c_str());
  temperature = 0;
  CSensor* sensor = nullptr;
  if (GetSensorPtr(name, sensor) != ZIVO_SUCCESS) {
    LOG_DEBUG("Sensor not found");
    return ZIVO_SENSOR_NOT_FOUND;
  }
  const int result = sensor->GetCurrentTemp(temperature);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("Sensor get currnet temp failed");
  }
  return result;
}
