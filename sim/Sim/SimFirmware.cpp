#include "Sim/SimFirmware.h"

#include <mutex>

#include "Platform/Memory/MemoryWmi.h"
#include "Sim/BoundedRecord.h"

namespace {

const wchar_t kSystemParams[] = L"DTMSystemParams";
const wchar_t kDeviceInfo[] = L"DtmDeviceParticipantInformation";
const wchar_t kDeviceControl[] = L"DtmDeviceControlMethod";
const wchar_t kSensorInfo[] = L"DtmSensorParticipantInformation";
const wchar_t kSensorControl[] = L"DtmSensorControlMethod";
const wchar_t kKey[] = L"InstanceName";

struct _tagSDeviceState {
  int32_t state = 0;
  bool accepts = true;
  std::optional<int32_t> reported;
};

struct _tagSSensorState {
  std::vector<int32_t> readings;
  std::map<int32_t, int32_t> trips;
  int32_t readBackOffset = 0;
};

}  // namespace

struct CSimFirmware::_tagSState {
  std::mutex lock;
  std::map<std::wstring, _tagSDeviceState> devices;
  std::map<std::wstring, _tagSSensorState> sensors;
  std::vector<_tagSFirmwareCall> calls;

  // Records the call. Called with the lock.
  void Enter(const std::wstring& key, const std::wstring& method, const CWmiPropertyMap& in) {
    _tagSFirmwareCall call;
    call.instanceName = key;
    call.method = method;
    for (const auto& [name, value] : in) {
      int32_t number = 0;
      if (HrSucceeded(VariantToInt32(value, number))) {
        call.inputs[name] = number;
      }
    }
    AppendBounded(calls, std::move(call), kMaxRecordedCalls);
  }
};

namespace {

using CState = std::shared_ptr<CSimFirmware::_tagSState>;

int32_t IntOf(const CWmiPropertyMap& in, const wchar_t* name) {
  int32_t value = 0;
  auto it = in.find(name);
  if (it != in.end()) {
    VariantToInt32(it->second, value);
  }
  return value;
}

// A method whose body only records the call.
CMemoryWmi::MethodHandler Recorded(CState state, std::wstring method) {
  return [state, method](const std::wstring& key, const CWmiPropertyMap& in, CWmiPropertyMap&) {
    std::lock_guard<std::mutex> hold(state->lock);
    state->Enter(key, method, in);
    return WBEM_S_NO_ERROR;
  };
}

// A method on one device or sensor (`participants` picks which map): the
// call is recorded, then `body` runs on the participant's state under the
// lock. WBEM_E_NOT_FOUND when the firmware has no such participant.
template <typename Participant, typename Body>
CMemoryWmi::MethodHandler OnParticipant(
    CState state, std::map<std::wstring, Participant> CSimFirmware::_tagSState::*participants,
    std::wstring method, Body body) {
  return [state, participants, method = std::move(method), body](
             const std::wstring& key, const CWmiPropertyMap& in, CWmiPropertyMap& out) {
    std::lock_guard<std::mutex> hold(state->lock);
    state->Enter(key, method, in);
    auto& all = (*state).*participants;
    auto it = all.find(key);
    if (it == all.end()) {
      return WBEM_E_NOT_FOUND;
    }
    body(it->second, in, out);
    return WBEM_S_NO_ERROR;
  };
}

void DefineDeviceMethods(CMemoryWmi& wmi, const CState& state) {
  const auto devices = &CSimFirmware::_tagSState::devices;
  wmi.DefineMethod(
      kDeviceControl, L"GetThrottleState", {}, {L"State"},
      OnParticipant(state, devices, L"GetThrottleState",
                    [](_tagSDeviceState& device, const CWmiPropertyMap&, CWmiPropertyMap& out) {
                      out[L"State"] = CVariant::I4(device.reported.value_or(device.state));
                    }));
  wmi.DefineMethod(
      kDeviceControl, L"SetThrottleState", {L"State"}, {},
      OnParticipant(state, devices, L"SetThrottleState",
                    [](_tagSDeviceState& device, const CWmiPropertyMap& in, CWmiPropertyMap&) {
                      if (device.accepts) {
                        device.state = IntOf(in, L"State");
                      }
                    }));
  wmi.DefineMethod(kDeviceControl, L"Start", {}, {}, Recorded(state, L"Start"));
  wmi.DefineMethod(kDeviceControl, L"Stop", {}, {}, Recorded(state, L"Stop"));
  wmi.DefineMethod(kDeviceControl, L"Shutdown", {L"Option"}, {}, Recorded(state, L"Shutdown"));
}

void DefineSensorMethods(CMemoryWmi& wmi, const CState& state) {
  const auto sensors = &CSimFirmware::_tagSState::sensors;
  wmi.DefineMethod(
      kSensorControl, L"GetCurrentTemperature", {}, {L"temperature"},
      OnParticipant(state, sensors, L"GetCurrentTemperature",
                    [](_tagSSensorState& sensor, const CWmiPropertyMap&, CWmiPropertyMap& out) {
                      std::vector<int32_t>& readings = sensor.readings;
                      out[L"temperature"] = CVariant::I4(readings.empty() ? 0 : readings.front());
                      if (readings.size() > 1) {
                        readings.erase(readings.begin());
                      }
                    }));
  wmi.DefineMethod(
      kSensorControl, L"GetSensorTrip", {L"type"}, {L"temp"},
      OnParticipant(state, sensors, L"GetSensorTrip",
                    [](_tagSSensorState& sensor, const CWmiPropertyMap& in, CWmiPropertyMap& out) {
                      auto trip = sensor.trips.find(IntOf(in, L"type"));
                      const int32_t value = trip == sensor.trips.end() ? 0 : trip->second;
                      out[L"temp"] = CVariant::I4(value + sensor.readBackOffset);
                    }));
  wmi.DefineMethod(
      kSensorControl, L"SetSensorTrip", {L"SensorTripPoint"}, {},
      OnParticipant(state, sensors, L"SetSensorTrip",
                    [](_tagSSensorState& sensor, const CWmiPropertyMap& in, CWmiPropertyMap&) {
                      // The trip's temperature in the high 16 bits, its identifier in the low.
                      const auto packed = static_cast<uint32_t>(IntOf(in, L"SensorTripPoint"));
                      sensor.trips[static_cast<int32_t>(packed & 0xFFFF)] =
                          static_cast<int32_t>(packed >> 16);
                    }));
  wmi.DefineMethod(kSensorControl, L"Start", {}, {}, Recorded(state, L"Start"));
  wmi.DefineMethod(kSensorControl, L"Stop", {}, {}, Recorded(state, L"Stop"));
}

}  // namespace

CSimFirmware::CSimFirmware(std::shared_ptr<CMemoryWmi> wmi)
    : mWmi(std::move(wmi)), mState(std::make_shared<_tagSState>()) {
  mWmi->DefineClass(kSystemParams);
  mWmi->DefineClass(kDeviceInfo, kKey);
  mWmi->DefineClass(kDeviceControl, kKey);
  mWmi->DefineClass(kSensorInfo, kKey);
  mWmi->DefineClass(kSensorControl, kKey);
  DefineDeviceMethods(*mWmi, mState);
  DefineSensorMethods(*mWmi, mState);
  SetVelmarStatus(1);
}

CSimFirmware::~CSimFirmware() = default;

void CSimFirmware::SetVelmarStatus(int32_t status) {
  mWmi->AddInstance(kSystemParams, {{L"velmarstatus", CVariant::I4(status)}});
}

void CSimFirmware::AddDevice(const _tagSSimWmiDevice& device) {
  {
    std::lock_guard<std::mutex> hold(mState->lock);
    _tagSDeviceState& state = mState->devices[device.instanceName];
    state = _tagSDeviceState();
    state.state = device.current;
  }
  const bool arriving = mWmi->Instance(kDeviceInfo, device.instanceName) == nullptr;
  auto control = mWmi->MakeObject(
      L"DtmDeviceThrottleControl",
      {{L"Current", CVariant::I4(device.current)}, {L"Maximum", CVariant::I4(device.maximum)}});
  mWmi->AddInstance(kDeviceInfo, {{kKey, CVariant::Bstr(device.instanceName)},
                                  {L"caps", CVariant::I4(device.caps)},
                                  {L"Control", CVariant::Object(control)},
                                  {L"type", CVariant::I4(device.type)}});
  mWmi->AddInstance(kDeviceControl, {{kKey, CVariant::Bstr(device.instanceName)}});
  if (arriving) {
    mWmi->RaiseInstanceEvent(true, kDeviceInfo, {{kKey, CVariant::Bstr(device.instanceName)}});
  }
}

void CSimFirmware::AddSensor(const _tagSSimWmiSensor& sensor) {
  {
    std::lock_guard<std::mutex> hold(mState->lock);
    _tagSSensorState& state = mState->sensors[sensor.instanceName];
    state = _tagSSensorState();
    state.readings = sensor.temperatures;
    for (std::size_t i = 0; i + 1 < sensor.trips.size(); i += 2) {
      state.trips[sensor.trips[i]] = sensor.trips[i + 1];
    }
  }
  const bool arriving = mWmi->Instance(kSensorInfo, sensor.instanceName) == nullptr;
  auto list = sensor.listArray ? sensor.listArray : std::make_shared<CSafeArray>(sensor.list);
  auto trips = sensor.tripsArray ? sensor.tripsArray : std::make_shared<CSafeArray>(sensor.trips);
  auto device = mWmi->MakeObject(L"DtmSensorDeviceList", {{L"List", CVariant::Array(list)}});
  auto tripList = mWmi->MakeObject(L"DtmSensorTripList", {{L"Trips", CVariant::Array(trips)}});
  mWmi->AddInstance(kSensorInfo, {{kKey, CVariant::Bstr(sensor.instanceName)},
                                  {L"caps", CVariant::I4(sensor.caps)},
                                  {L"base", CVariant::I4(sensor.base)},
                                  {L"device", CVariant::Object(device)},
                                  {L"trips", CVariant::Object(tripList)},
                                  {L"type", CVariant::I4(sensor.type)}});
  mWmi->AddInstance(kSensorControl, {{kKey, CVariant::Bstr(sensor.instanceName)}});
  if (arriving) {
    mWmi->RaiseInstanceEvent(true, kSensorInfo, {{kKey, CVariant::Bstr(sensor.instanceName)}});
  }
}

bool CSimFirmware::Remove(const std::wstring& instanceName) {
  {
    std::lock_guard<std::mutex> hold(mState->lock);
    mState->devices.erase(instanceName);
    mState->sensors.erase(instanceName);
  }
  bool removed = false;
  for (const wchar_t* info : {kDeviceInfo, kSensorInfo}) {
    if (mWmi->RemoveInstance(info, instanceName)) {
      removed = true;
      mWmi->RaiseInstanceEvent(false, info, {{kKey, CVariant::Bstr(instanceName)}});
    }
  }
  removed = mWmi->RemoveInstance(kDeviceControl, instanceName) || removed;
  removed = mWmi->RemoveInstance(kSensorControl, instanceName) || removed;
  return removed;
}

void CSimFirmware::SetAcceptsThrottle(const std::wstring& instanceName, bool accepts) {
  std::lock_guard<std::mutex> hold(mState->lock);
  mState->devices[instanceName].accepts = accepts;
}

void CSimFirmware::SetReportedState(const std::wstring& instanceName,
                                    std::optional<int32_t> state) {
  std::lock_guard<std::mutex> hold(mState->lock);
  mState->devices[instanceName].reported = state;
}

int32_t CSimFirmware::ThrottleState(const std::wstring& instanceName) {
  std::lock_guard<std::mutex> hold(mState->lock);
  return mState->devices[instanceName].state;
}

void CSimFirmware::SetTemperatures(const std::wstring& instanceName,
                                   std::vector<int32_t> readings) {
  std::lock_guard<std::mutex> hold(mState->lock);
  mState->sensors[instanceName].readings = std::move(readings);
}

void CSimFirmware::SetTrip(const std::wstring& instanceName, int32_t type, int32_t temperature) {
  std::lock_guard<std::mutex> hold(mState->lock);
  mState->sensors[instanceName].trips[type] = temperature;
}

int32_t CSimFirmware::Trip(const std::wstring& instanceName, int32_t type) {
  std::lock_guard<std::mutex> hold(mState->lock);
  return mState->sensors[instanceName].trips[type];
}

void CSimFirmware::SetTripReadBackOffset(const std::wstring& instanceName, int32_t offset) {
  std::lock_guard<std::mutex> hold(mState->lock);
  mState->sensors[instanceName].readBackOffset = offset;
}

std::vector<_tagSFirmwareCall> CSimFirmware::Calls(const std::wstring& method) {
  std::lock_guard<std::mutex> hold(mState->lock);
  if (method.empty()) {
    return mState->calls;
  }
  std::vector<_tagSFirmwareCall> selected;
  for (const _tagSFirmwareCall& call : mState->calls) {
    if (WmiNameEquals(call.method, method)) {
      selected.push_back(call);
    }
  }
  return selected;
}

void CSimFirmware::ClearCalls() {
  std::lock_guard<std::mutex> hold(mState->lock);
  mState->calls.clear();
}
