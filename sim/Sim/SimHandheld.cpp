#include "zivorivizo-sim/SimHandheld.h"

#include <algorithm>
#include <map>

#include "Platform/DriverProtocol.h"
#include "Platform/Memory/MemoryRegistry.h"
#include "Platform/Memory/MemoryWmi.h"
#include "Platform/Text.h"
#include "Sim/SimClock.h"
#include "Sim/SimDeviceDriver.h"
#include "Sim/SimDeviceIo.h"
#include "Sim/SimFirmware.h"
#include "Sim/SimPlatform.h"
#include "Sim/SimSensorDriver.h"
#include "zivorivizo/TempConversion.h"

CSimHandheld::CSimHandheld() : mName("simulated handheld") {}
CSimHandheld::~CSimHandheld() = default;

std::wstring CSimHandheld::FirmwareName(int32_t number) {
  return L"ACPI\\PNP0C14\\" + std::to_wstring(number) + L"_0";
}

const _tagSHandheldParticipant* CSimHandheld::FindDevice(const std::wstring& name) const {
  for (const auto& device : mDevices) {
    if (device.name == name) {
      return &device;
    }
  }
  return nullptr;
}

const _tagSHandheldParticipant* CSimHandheld::FindSensor(const std::wstring& name) const {
  for (const auto& sensor : mSensors) {
    if (sensor.name == name) {
      return &sensor;
    }
  }
  return nullptr;
}

void CSimHandheld::Install(std::shared_ptr<CSimPlatform> platform) {
  mPlatform = std::move(platform);
  mPlatform->SimFirmware().SetVelmarStatus(mVelmarStatus);
  CMemoryRegistry& registry = mPlatform->SimRegistry();
  registry.CreateKey(DRIVER_PARAMETERS_KEY);
  registry.CreateKey(DRIVER_NOTIFY_KEY);
  mListedSensors.clear();
  mListedDevices.clear();
  mPlayed = 0;
  mElapsedMs = 0;
  for (const auto& sensor : mSensors) {
    mTemps[sensor.name] = sensor.start;
  }
  InstallRegistryDrivers();
  for (const auto& device : mDevices) {
    if (device.firmware && !device.hotplug) {
      PublishFirmware(device, false);
    }
  }
  for (const auto& sensor : mSensors) {
    if (sensor.firmware && !sensor.hotplug) {
      PublishFirmware(sensor, true);
    }
  }
  WriteRegistryValues();
  LinkCoolers();
}

// Registry sensors first, as the drivers' installation lists them; the
// firmware publishes its devices before its sensors.
void CSimHandheld::InstallRegistryDrivers() {
  for (const auto& sensor : mSensors) {
    if (!sensor.firmware) {
      AttachSensorDriver(sensor);
    }
  }
  for (const auto& device : mDevices) {
    if (!device.firmware) {
      AttachDeviceDriver(device);
    }
  }
  for (const auto& sensor : mSensors) {
    if (!sensor.firmware && !sensor.hotplug) {
      AppendToParameters(sensor, true);
    }
  }
  for (const auto& device : mDevices) {
    if (!device.firmware && !device.hotplug) {
      AppendToParameters(device, false);
    }
  }
  CMemoryRegistry& registry = mPlatform->SimRegistry();
  registry.SetDword(DRIVER_PARAMETERS_KEY, L"SensorCount",
                    static_cast<uint32_t>(mListedSensors.size()));
  registry.SetDword(DRIVER_PARAMETERS_KEY, L"DeviceCount",
                    static_cast<uint32_t>(mListedDevices.size()));
}

void CSimHandheld::WriteRegistryValues() {
  CMemoryRegistry& registry = mPlatform->SimRegistry();
  for (const auto& value : mRegistry) {
    if (value.name.empty()) {
      registry.CreateKey(value.key);
    } else if (value.isString) {
      registry.SetString(value.key, value.name, value.text);
    } else {
      registry.SetDword(value.key, value.name, value.dword);
    }
  }
}

// Which devices cool each sensor: the ones it reports (by firmware number,
// or by position among the registry devices, hotplug ones last) and the
// ones named in cooled_by.
void CSimHandheld::LinkCoolers() {
  std::map<int32_t, std::size_t> byNumber;
  std::map<std::wstring, std::size_t> byName;
  std::vector<std::size_t> registryOrder;
  for (std::size_t d = 0; d < mDevices.size(); ++d) {
    byName[mDevices[d].name] = d;
    if (mDevices[d].firmware) {
      byNumber[mDevices[d].number] = d;
    } else if (!mDevices[d].hotplug) {
      registryOrder.push_back(d);
    }
  }
  for (std::size_t d = 0; d < mDevices.size(); ++d) {
    if (!mDevices[d].firmware && mDevices[d].hotplug) {
      registryOrder.push_back(d);
    }
  }
  mCoolers.assign(mSensors.size(), {});
  for (std::size_t s = 0; s < mSensors.size(); ++s) {
    const auto& sensor = mSensors[s];
    for (uint32_t number : sensor.devices) {
      if (sensor.firmware) {
        auto it = byNumber.find(static_cast<int32_t>(number));
        if (it != byNumber.end()) {
          mCoolers[s].push_back(it->second);
        }
      } else if (number < registryOrder.size()) {
        mCoolers[s].push_back(registryOrder[number]);
      }
    }
    for (const auto& name : sensor.cooledBy) {
      mCoolers[s].push_back(byName.at(name));
    }
  }
}

void CSimHandheld::AttachSensorDriver(const _tagSHandheldParticipant& sensor) {
  auto driver = std::make_shared<CSimSensorDriver>();
  _tagSSensorInfoBlock info;
  info.Caps = sensor.caps;
  info.Base = sensor.base;
  info.DeviceCount = static_cast<uint32_t>(sensor.devices.size());
  for (std::size_t i = 0; i < sensor.devices.size() && i < DRIVER_MAX_SENSOR_DEVICES; ++i) {
    info.DeviceNumbers[i] = sensor.devices[i];
  }
  info.AuxCount = sensor.auxCount;
  _tagSTripBlock trips;
  if (!sensor.trips.empty()) {
    info.Aux0Type = trips.Aux0Type = sensor.trips[0].id;
    trips.Aux0Temp = TenthsKelvinToRaw(sensor.base, sensor.trips[0].temp);
    info.Aux0Trip = static_cast<uint32_t>(trips.Aux0Temp);
  }
  if (sensor.trips.size() > 1) {
    info.Aux1Type = trips.Aux1Type = sensor.trips[1].id;
    trips.Aux1Temp = TenthsKelvinToRaw(sensor.base, sensor.trips[1].temp);
    info.Aux1Trip = static_cast<uint32_t>(trips.Aux1Temp);
  }
  info.Type = sensor.type;
  driver->SetInfo(info);
  driver->SetTrips(trips);
  mSensorDrivers[sensor.name] = driver;
  Report(sensor);
  if (sensor.readings.size() > 1) {
    for (std::size_t i = 0; i + 1 < sensor.readings.size(); ++i) {
      driver->QueueTemps({TenthsKelvinToRaw(sensor.base, sensor.readings[i])});
    }
  }
  if (!sensor.hotplug) {
    mPlatform->SimDevices().Attach(sensor.name, driver);
  }
}

void CSimHandheld::AttachDeviceDriver(const _tagSHandheldParticipant& device) {
  auto driver = std::make_shared<CSimDeviceDriver>();
  _tagSDeviceInfoBlock info;
  info.Caps = device.caps;
  info.MaxState = device.maximum;
  info.Class = device.type;
  driver->SetInfo(info);
  driver->SetState(device.current);
  mDeviceDrivers[device.name] = driver;
  if (!device.hotplug) {
    mPlatform->SimDevices().Attach(device.name, driver);
  }
}

void CSimHandheld::PublishFirmware(const _tagSHandheldParticipant& participant, bool sensor) {
  CSimFirmware& firmware = mPlatform->SimFirmware();
  if (!sensor) {
    _tagSSimWmiDevice device;
    device.instanceName = participant.name;
    device.caps = static_cast<int32_t>(participant.caps);
    device.current = static_cast<int32_t>(participant.current);
    device.maximum = static_cast<int32_t>(participant.maximum);
    device.type = static_cast<int32_t>(participant.type);
    firmware.AddDevice(device);
    mPublished[participant.name] = true;
    return;
  }
  _tagSSimWmiSensor wmi;
  wmi.instanceName = participant.name;
  wmi.caps = static_cast<int32_t>(participant.caps);
  wmi.base = participant.base;
  for (uint32_t number : participant.devices) {
    wmi.list.push_back(static_cast<int32_t>(number));
  }
  for (const auto& trip : participant.trips) {
    wmi.trips.push_back(static_cast<int32_t>(trip.id));
    wmi.trips.push_back(TenthsKelvinToRaw(participant.base, trip.temp));
  }
  wmi.type = static_cast<int32_t>(participant.type);
  firmware.AddSensor(wmi);
  Report(participant);
  if (participant.readings.size() > 1) {
    std::vector<int32_t> raw;
    for (int32_t reading : participant.readings) {
      raw.push_back(TenthsKelvinToRaw(participant.base, reading));
    }
    firmware.SetTemperatures(participant.name, raw);
  }
  mPublished[participant.name] = true;
}

void CSimHandheld::AppendToParameters(const _tagSHandheldParticipant& participant, bool sensor) {
  std::vector<std::wstring>& listed = sensor ? mListedSensors : mListedDevices;
  const std::wstring value = (sensor ? L"Sensor" : L"Device") + std::to_wstring(listed.size());
  mPlatform->SimRegistry().SetString(DRIVER_PARAMETERS_KEY, value, participant.name);
  if (sensor) {
    // The driver reports events under the same value name in the notify key.
    mSensorDrivers.at(participant.name)
        ->SetNotifyValue(mPlatform->SimRegistry().shared_from_this(), value);
  }
  listed.push_back(participant.name);
  mPublished[participant.name] = true;
}

// Rewrites one list of the parameters key from the listed names, after one
// left: the entries behind it move up, the last value goes, the count drops.
void CSimHandheld::WriteParameters(bool sensor) {
  CMemoryRegistry& registry = mPlatform->SimRegistry();
  std::vector<std::wstring>& listed = sensor ? mListedSensors : mListedDevices;
  const std::wstring prefix = sensor ? L"Sensor" : L"Device";
  for (std::size_t i = 0; i < listed.size(); ++i) {
    registry.SetString(DRIVER_PARAMETERS_KEY, prefix + std::to_wstring(i), listed[i]);
    if (sensor) {
      mSensorDrivers.at(listed[i])->SetNotifyValue(registry.shared_from_this(),
                                                   prefix + std::to_wstring(i));
    }
  }
  registry.DeleteValue(DRIVER_PARAMETERS_KEY, prefix + std::to_wstring(listed.size()));
  registry.SetDword(DRIVER_PARAMETERS_KEY, sensor ? L"SensorCount" : L"DeviceCount",
                    static_cast<uint32_t>(listed.size()));
}

// A registry-listed participant that comes or goes is reported the way the
// firmware reports its own, so a host learns of both alike.
void CSimHandheld::RaiseRegistryInstanceEvent(bool created, const std::wstring& name, bool sensor) {
  mPlatform->SimWmi().RaiseInstanceEvent(
      created, sensor ? L"DtmSensorParticipantInformation" : L"DtmDeviceParticipantInformation",
      {{L"InstanceName", CVariant::Bstr(name)}});
}

bool CSimHandheld::Publish(const std::wstring& name) {
  if (!mPlatform || IsPublished(name)) {
    return false;
  }
  const _tagSHandheldParticipant* sensor = FindSensor(name);
  const _tagSHandheldParticipant* device = sensor ? nullptr : FindDevice(name);
  const _tagSHandheldParticipant* participant = sensor ? sensor : device;
  // A participant that was never held back and never left is there already.
  if (participant == nullptr || (!participant->hotplug && mPublished.count(name) == 0)) {
    return false;
  }
  if (participant->firmware) {
    PublishFirmware(*participant, sensor != nullptr);
    return true;
  }
  if (sensor) {
    mPlatform->SimDevices().Attach(name, mSensorDrivers.at(name));
  } else {
    mPlatform->SimDevices().Attach(name, mDeviceDrivers.at(name));
  }
  AppendToParameters(*participant, sensor != nullptr);
  mPlatform->SimRegistry().SetDword(
      DRIVER_PARAMETERS_KEY, sensor ? L"SensorCount" : L"DeviceCount",
      static_cast<uint32_t>(sensor ? mListedSensors.size() : mListedDevices.size()));
  RaiseRegistryInstanceEvent(true, name, sensor != nullptr);
  return true;
}

bool CSimHandheld::Withdraw(const std::wstring& name) {
  if (!mPlatform || !IsPublished(name)) {
    return false;
  }
  const bool sensor = FindSensor(name) != nullptr;
  const _tagSHandheldParticipant* participant = sensor ? FindSensor(name) : FindDevice(name);
  mPublished[name] = false;
  if (participant->firmware) {
    mPlatform->SimFirmware().Remove(name);
    return true;
  }
  mPlatform->SimDevices().Detach(name);
  std::vector<std::wstring>& listed = sensor ? mListedSensors : mListedDevices;
  listed.erase(std::find(listed.begin(), listed.end(), name));
  WriteParameters(sensor);
  if (sensor) {
    mSensorDrivers.at(name)->SetNotifyValue(nullptr, L"");
  }
  RaiseRegistryInstanceEvent(false, name, sensor);
  return true;
}

bool CSimHandheld::NotifyDriver(const std::wstring& name, uint32_t value) {
  auto driver = mSensorDrivers.find(name);
  if (!mPlatform || driver == mSensorDrivers.end() || !IsPublished(name)) {
    return false;
  }
  return driver->second->Notify(value) == REG_STATUS_SUCCESS;
}

bool CSimHandheld::IsPublished(const std::wstring& name) const {
  auto it = mPublished.find(name);
  return it != mPublished.end() && it->second;
}

uint32_t CSimHandheld::ThrottleState(const std::wstring& name) const {
  const _tagSHandheldParticipant* device = FindDevice(name);
  if (device == nullptr) {
    return 0;
  }
  if (!mPlatform || !IsPublished(name)) {
    return device->current;
  }
  if (device->firmware) {
    return static_cast<uint32_t>(mPlatform->SimFirmware().ThrottleState(name));
  }
  return mDeviceDrivers.at(name)->State();
}

void CSimHandheld::Step() {
  if (!mPlatform) {
    return;
  }
  AdvanceTo(mElapsedMs + static_cast<uint64_t>(mStepSeconds) * 1000);
  // Every throttle state is read before any temperature moves, so the order
  // of the sensors does not matter.
  std::vector<uint32_t> states(mDevices.size());
  for (std::size_t d = 0; d < mDevices.size(); ++d) {
    states[d] = ThrottleState(mDevices[d].name);
  }
  for (std::size_t s = 0; s < mSensors.size(); ++s) {
    const auto& sensor = mSensors[s];
    if (!sensor.readings.empty()) {
      continue;
    }
    int64_t temp = mTemps[sensor.name] + sensor.heat;
    for (std::size_t d : mCoolers[s]) {
      if (mDevices[d].maximum > 0) {
        temp -= static_cast<int64_t>(sensor.cooling) * states[d] / mDevices[d].maximum;
      }
    }
    // A sensor cools down to the ambient temperature, or to its start when
    // that is lower, and no further.
    temp = std::clamp<int64_t>(temp, std::min(mAmbient, sensor.start), kMaxTemp);
    mTemps[sensor.name] = static_cast<int32_t>(temp);
    if (IsPublished(sensor.name) || !sensor.firmware) {
      Report(sensor);
    }
  }
}

void CSimHandheld::Report(const _tagSHandheldParticipant& sensor) {
  const int32_t tenths = mFaulty[sensor.name] ? kFaultyTemp : mTemps[sensor.name];
  const int32_t raw = TenthsKelvinToRaw(sensor.base, tenths);
  if (sensor.firmware) {
    mPlatform->SimFirmware().SetTemperatures(sensor.name, {raw});
  } else {
    mSensorDrivers.at(sensor.name)->SetSteadyTemp(raw);
  }
}

int32_t CSimHandheld::Temperature(const std::wstring& name) const {
  auto it = mTemps.find(name);
  return it == mTemps.end() ? 0 : it->second;
}

bool CSimHandheld::SetFaulty(const std::wstring& name, bool faulty) {
  const _tagSHandheldParticipant* sensor = FindSensor(name);
  if (sensor == nullptr) {
    return false;
  }
  mFaulty[name] = faulty;
  if (mPlatform && (IsPublished(name) || !sensor->firmware)) {
    Report(*sensor);
  }
  return true;
}
