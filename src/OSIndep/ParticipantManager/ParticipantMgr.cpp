#include "zivorivizo/ParticipantMgr.h"

#include <algorithm>
#include <cwchar>
#include <functional>

#include "Log/LogStatement.h"
#include "zivorivizo/StatusCodes.h"

namespace {

_tagSDevice& RecordOf(CDevice* device) {
  return device->mDevice;
}

_tagSSensor& RecordOf(CSensor* sensor) {
  return sensor->mSensor;
}

const std::wstring& NameOf(const CDevice* device) {
  return device->mDevice.Name;
}

const std::wstring& NameOf(const CSensor* sensor) {
  return sensor->mSensor.Name;
}

int NotFoundCode(const CDevice*) {
  return ZIVO_DEVICE_NOT_FOUND;
}

int NotFoundCode(const CSensor*) {
  return ZIVO_SENSOR_NOT_FOUND;
}

// The first participant of that name, for an operation the host named (a
// later duplicate is reachable through the whole-list operations alone): a
// missing participant writes `notFound` (one %ls, the requested name) at
// Error level.
template <typename List>
auto* FindNamed(const List& list, const std::wstring& name, const char* notFound) {
  auto* participant = list.Find(name);
  if (participant == nullptr) {
    LOG_ERROR(notFound, name.c_str());
  }
  return participant;
}

// Every call the manager makes on a participant leaves its outcome in the
// record's Valid field, so a host reading the record later sees it.
template <typename Participant, typename Call>
int CallFlagged(Participant* participant, Call call) {
  const int result = std::invoke(call, *participant);
  RecordOf(participant).Valid = result == ZIVO_SUCCESS ? 1 : 0;
  return result;
}

// CallFlagged; a failure writes `failed` (one %ls, the participant's name) at
// Error level.
template <typename Participant, typename Call>
int CallReported(Participant* participant, Call call, const char* failed) {
  const int result = CallFlagged(participant, call);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR(failed, NameOf(participant).c_str());
  }
  return result;
}

// CallFlagged; a failure writes `failed` (a %d, the result, then a %ls, the
// participant's name) at Error level.
template <typename Participant, typename Call>
int CallReportedWithCode(Participant* participant, Call call, const char* failed) {
  const int result = CallFlagged(participant, call);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR(failed, result, NameOf(participant).c_str());
  }
  return result;
}

// A single-participant operation: find the participant of that name and make
// one reported call on it. The call's result, or 101 / 102.
template <typename List, typename Call>
int CallNamed(const List& list, const std::wstring& name, const char* notFound, Call call,
              const char* failed) {
  auto* participant = FindNamed(list, name, notFound);
  if (participant == nullptr) {
    return NotFoundCode(participant);
  }
  return CallReported(participant, call, failed);
}

// One reported call on each participant; the failures are logged and go no
// further.
template <typename List, typename Call>
void CallEach(const List& list, Call call, const char* failed) {
  for (auto* participant : list) {
    CallReported(participant, call, failed);
  }
}

// Refreshes each participant of `participants` that `wanted` admits and
// appends a copy of its record to `out`, whether or not its call failed. The
// result of the last call made, 0 when none was.
template <typename Participants, typename Record, typename Call, typename Wanted>
int ReadEach(const Participants& participants, Call call, const char* failed,
             std::vector<Record>& out, Wanted wanted) {
  int result = ZIVO_SUCCESS;
  for (auto* participant : participants) {
    if (!wanted(RecordOf(participant))) {
      continue;
    }
    result = CallReportedWithCode(participant, call, failed);
    out.push_back(RecordOf(participant));
  }
  return result;
}

// Admits every record.
template <typename Record>
bool Any(const Record&) {
  return true;
}

// The operations that need both lists give up when either is empty.
bool EitherListEmpty(const CDeviceList& devices, const CSensorList& sensors) {
  if (sensors.empty() || devices.empty()) {
    LOG_ERROR("Link list empty");
    return true;
  }
  return false;
}

// Erases every entry of `links` that holds `target`, writing `erased` (one
// %ls, `owner`) at Debug level for each.
template <typename Target>
void EraseEvery(std::vector<Target*>& links, const Target* target, const char* erased,
                const std::wstring& owner) {
  for (auto it = links.begin(); it != links.end();) {
    if (*it == target) {
      it = links.erase(it);
      LOG_DEBUG(erased, owner.c_str());
    } else {
      ++it;
    }
  }
}

// The current-temperature read of a found sensor: its result. Inline in
// both reads: every frame the read returns through after the file read costs
// time on the hot path.
[[gnu::always_inline]] inline int ReadCurrentTemperature(CSensor& sensor, int& temperature) {
  const int result = sensor.GetCurrentTemp(temperature);
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("Sensor get currnet temp failed");
  }
  return result;
}

}  // namespace

CParticipantMgr::CParticipantMgr() {
  LOG_DEBUG("CParticipantMgr Constructor called");
}

CParticipantMgr::~CParticipantMgr() {
  LOG_DEBUG("CParticipantMgr Destructor called  ");
}

int CParticipantMgr::GetDevicePtr(const std::wstring& name, CDevice*& out) {
  CDevice* device = mDeviceList.Find(name);
  if (device == nullptr) {
    return ZIVO_DEVICE_NOT_FOUND;
  }
  out = device;
  return ZIVO_SUCCESS;
}

int CParticipantMgr::GetSensorPtr(const std::wstring& name, CSensor*& out) {
  CSensor* sensor = mSensorList.Find(name);
  if (sensor == nullptr) {
    return ZIVO_SENSOR_NOT_FOUND;
  }
  out = sensor;
  return ZIVO_SUCCESS;
}

int CParticipantMgr::RemoveDevice(const std::wstring& name) {
  LOG_DEBUG("Remove Device called. %ls", name.c_str());
  CDevice* device = FindNamed(mDeviceList, name, "Remove device: Device not found in list %ls");
  if (device == nullptr) {
    return ZIVO_DEVICE_NOT_FOUND;
  }
  mDeviceList.remove(device);
  LOG_DEBUG("Removed device from list");
  // A sensor may hold the device more than once (linked by its own list and
  // again by the configuration); every entry goes, or it would dangle.
  for (CSensor* sensor : mSensorList) {
    EraseEvery(sensor->mLinkedDevices, device, "Erased Link from %ls", sensor->mSensor.Name);
  }
  device->Stop();
  delete device;
  return ZIVO_SUCCESS;
}

int CParticipantMgr::RemoveSensor(const std::wstring& name) {
  LOG_DEBUG("Remove Sensor called. %ls", name.c_str());
  CSensor* sensor = FindNamed(mSensorList, name, "Remove sensor: Sensor not found in list %ls");
  if (sensor == nullptr) {
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
    EraseEvery(device->mLinkedSensors, sensor, "Removed ref from %ls", device->mDevice.Name);
  }
  sensor->Stop();
  delete sensor;
  return ZIVO_SUCCESS;
}

int CParticipantMgr::StartAllParticipants() {
  LOG_DEBUG("CParticipantMgr StartAllParticipants called");
  if (EitherListEmpty(mDeviceList, mSensorList)) {
    return ZIVO_LIST_EMPTY;
  }
  CallEach(mDeviceList, &CDevice::Start, "Start device failed. Device: %ls  ");
  CallEach(mSensorList, &CSensor::Start, "Start sensor failed. Sensor: %ls  ");
  return ZIVO_SUCCESS;
}

int CParticipantMgr::StopAllParticipants() {
  LOG_DEBUG("CParticipantMgr StopAllParticipants called  ");
  if (EitherListEmpty(mDeviceList, mSensorList)) {
    return ZIVO_LIST_EMPTY;
  }
  CallEach(mDeviceList, &CDevice::Stop, "Stop device failed. Device: %ls  ");
  CallEach(mSensorList, &CSensor::Stop, "Stop sensor failed. Sensor: %ls  ");
  return ZIVO_SUCCESS;
}

int CParticipantMgr::StartDevice(const std::wstring& name) {
  LOG_DEBUG("CParticipantMgr StartDevice called %ls", name.c_str());
  return CallNamed(mDeviceList, name, "Device not found %ls", &CDevice::Start,
                   "Start device failed. device: %ls  ");
}

int CParticipantMgr::StopDevice(const std::wstring& name) {
  LOG_DEBUG("CParticipantMgr StopDevice called %ls", name.c_str());
  return CallNamed(mDeviceList, name, "Device not found %ls", &CDevice::Stop,
                   "Stop device failed. device: %ls  ");
}

int CParticipantMgr::StartSensor(const std::wstring& name) {
  LOG_DEBUG("CParticipantMgr StartSensor called %ls", name.c_str());
  return CallNamed(mSensorList, name, "Sensor not found %ls", &CSensor::Start,
                   "Start sensor failed. Sensor: %ls  ");
}

int CParticipantMgr::StopSensor(const std::wstring& name) {
  LOG_DEBUG("CParticipantMgr StopSensor called %ls", name.c_str());
  return CallNamed(mSensorList, name, "Sensor not found %ls", &CSensor::Stop,
                   "Stop sensor failed. Sensor: %ls  ");
}

int CParticipantMgr::ShutdownDevice(const std::wstring& name, bool bShutdown) {
  if (bShutdown) {
    LOG_DEBUG("CParticipantMgr ShutdownDevice called for starting %ls", name.c_str());
  } else {
    LOG_DEBUG("CParticipantMgr ShutdownDevice called for shutting down %ls", name.c_str());
  }
  return CallNamed(
      mDeviceList, name, "Device not found %ls",
      [bShutdown](CDevice& device) { return device.Shutdown(bShutdown); },
      "ShutDown device failed. device: %ls  ");
}

int CParticipantMgr::GetAllDevices(std::vector<_tagSDevice>& out) {
  LOG_DEBUG("CParticipantMgr GetAllDevices called  ");
  if (mDeviceList.empty()) {
    LOG_ERROR("Empty Device link list passed  ");
    return ZIVO_LIST_EMPTY;
  }
  return ReadEach(mDeviceList, &CDevice::GetCurrentThrottleLimit,
                  "Refresh Device Failed. Error code: %d, Device: %ls  ", out, Any<_tagSDevice>);
}

int CParticipantMgr::GetActiveDevices(std::vector<_tagSDevice>& out) {
  LOG_DEBUG("GetActiveDevices called");
  if (mDeviceList.empty()) {
    LOG_ERROR("Empty Device link list passed  ");
    return ZIVO_LIST_EMPTY;
  }
  return ReadEach(
      mDeviceList, &CDevice::GetCurrentThrottleLimit,
      "Refresh Device Failed. Error code: %d, Device: %ls  ", out,
      [](const _tagSDevice& record) { return record.Class == ZIVO_ACTIVE_DEVICE_CLASS; });
}

int CParticipantMgr::GetAllSensors(std::vector<_tagSSensor>& out) {
  LOG_DEBUG("CParticipantMgr GetAllSensors called $$$$ ");
  if (mSensorList.empty()) {
    LOG_ERROR("Link list empty");
    return ZIVO_SENSOR_LIST_EMPTY;
  }
  return ReadEach(mSensorList, &CSensor::GetSensorTripValue,
                  "GetSensorTripValue Failed. Error code: %d, Sensor: %ls  ", out,
                  Any<_tagSSensor>);
}

int CParticipantMgr::GetDevice(const std::wstring& name, _tagSDevice& out) {
  LOG_DEBUG("CParticipantMgr GetDevice called for %ls", name.c_str());
  CDevice* device = FindNamed(mDeviceList, name, "Device requested was not found. Device %ls  ");
  if (device == nullptr) {
    return ZIVO_DEVICE_NOT_FOUND;
  }
  const int result = CallReportedWithCode(device, &CDevice::GetCurrentThrottleLimit,
                                          "Refresh Device failed. Error: %d, Device %ls  ");
  if (result == ZIVO_SUCCESS) {
    out = device->mDevice;
  }
  return result;
}

int CParticipantMgr::SetDevice(const _tagSDevice& rec) {
  LOG_DEBUG("CParticipantMgr SetDevice called for %ls", rec.Name.c_str());
  CDevice* device =
      FindNamed(mDeviceList, rec.Name, "Device requested was not found. Device %ls  ");
  if (device == nullptr) {
    return ZIVO_DEVICE_NOT_FOUND;
  }
  LOG_DEBUG("USThrottleControlCurrent is %d", static_cast<int>(rec.Current));
  device->mDevice.Current = rec.Current;
  return CallReportedWithCode(device, &CDevice::SetCurrentThrottleLimit,
                              "Device Update Failed. Error: %d, Device: %ls ");
}

int CParticipantMgr::GetSensor(const std::wstring& name, _tagSSensor& out) {
  LOG_DEBUG("CParticipantMgr GetSensor called for %ls", name.c_str());
  CSensor* sensor = FindNamed(mSensorList, name, "The sensor requested was not found %ls  ");
  if (sensor == nullptr) {
    return ZIVO_SENSOR_NOT_FOUND;
  }
  CallReportedWithCode(sensor, &CSensor::GetSensorTripValue,
                       " GetSensorTripValue failed. Error %d, Sensor %ls  ");
  // The host learns of a failed read from Valid in the copy, not the result.
  out = sensor->mSensor;
  return ZIVO_SUCCESS;
}

int CParticipantMgr::SetSensor(const _tagSSensor& rec) {
  LOG_DEBUG("CParticipantMgr SetSensor called %ls", rec.Name.c_str());
  CSensor* sensor = FindNamed(mSensorList, rec.Name, "The sensor requested was not found %ls  ");
  if (sensor == nullptr) {
    return ZIVO_SENSOR_NOT_FOUND;
  }
  sensor->mSensor.TripPoints = rec.TripPoints;
  return CallReportedWithCode(sensor, &CSensor::SetSensorTripValue,
                              "Update Sensor failed. Error %d, Sensor %ls ");
}

int CParticipantMgr::GetDeviceList(const std::wstring& sensorName, std::vector<_tagSDevice>& out) {
  LOG_DEBUG("CParticipantMgr GetDeviceList called for %ls", sensorName.c_str());
  if (EitherListEmpty(mDeviceList, mSensorList)) {
    return ZIVO_LIST_EMPTY;
  }
  CSensor* sensor =
      FindNamed(mSensorList, sensorName, "The sensor requested was not found. Sensor: %ls  ");
  if (sensor == nullptr) {
    return ZIVO_SENSOR_NOT_FOUND;
  }
  for (CDevice* device : sensor->mLinkedDevices) {
    CallFlagged(device, &CDevice::GetCurrentThrottleLimit);
    out.push_back(device->mDevice);
  }
  return ZIVO_SUCCESS;
}

int CParticipantMgr::GetSensorList(const std::wstring& deviceName, std::vector<_tagSSensor>& out) {
  LOG_DEBUG("GetSensorList called for %ls", deviceName.c_str());
  if (EitherListEmpty(mDeviceList, mSensorList)) {
    return ZIVO_LIST_EMPTY;
  }
  CDevice* device =
      FindNamed(mDeviceList, deviceName, "The device requested was not found. Device: %ls  ");
  if (device == nullptr) {
    return ZIVO_DEVICE_NOT_FOUND;
  }
  // Skin sensors are answered by GetDevicesWithoutSensors instead.
  ReadEach(device->mLinkedSensors, &CSensor::GetSensorTripValue,
           " GetSensorTripValue failed. Error %d, Sensor %ls  ", out,
           [](const _tagSSensor& record) { return record.Class != ZIVO_SKIN_SENSOR_CLASS; });
  LOG_DEBUG("Returning, %d", static_cast<int>(out.size()));
  return ZIVO_SUCCESS;
}

int CParticipantMgr::GetDevicesWithoutSensors(const std::wstring& skinSensorName,
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

int CParticipantMgr::RefreshSensor(const std::wstring& name) {
  LOG_DEBUG("Refresh called for %ls", name.c_str());
  CSensor* const sensor = mSensorList.Find(name);
  if (sensor == nullptr) {
    LOG_DEBUG("Sensor not found");
    return ZIVO_SENSOR_NOT_FOUND;
  }
  const int result = sensor->Refresh();
  if (result != ZIVO_SUCCESS) {
    LOG_ERROR("Sensor refresh failed");
  }
  return result;
}

int CParticipantMgr::GetCurrentTemperature(const std::wstring& name, int& temperature) {
  LOG_DEBUG("GetCurrentTemperature called for %ls", name.c_str());
  temperature = 0;
  // The list itself, not GetSensorPtr: this is the hot path of every read.
  CSensor* const sensor = mSensorList.Find(name);
  if (sensor == nullptr) {
    LOG_DEBUG("Sensor not found");
    return ZIVO_SENSOR_NOT_FOUND;
  }
  return ReadCurrentTemperature(*sensor, temperature);
}

int CParticipantMgr::GetCurrentTemperatureAt(std::size_t position, std::uint64_t listEdits,
                                             int& temperature) {
  temperature = 0;
  if (listEdits != mSensorList.Edits() || position >= mSensorList.size()) {
    LOG_DEBUG("GetCurrentTemperature: no sensor %zu in the list as it stood", position);
    return ZIVO_SENSOR_NOT_FOUND;
  }
  CSensor* const sensor = mSensorList.At(position);
  LOG_DEBUG("GetCurrentTemperature called for %ls", sensor->mSensor.Name.c_str());
  return ReadCurrentTemperature(*sensor, temperature);
}
