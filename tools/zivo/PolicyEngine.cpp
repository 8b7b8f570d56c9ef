#include "PolicyEngine.h"

#include <algorithm>
#include <cstdio>

#include "PowerGuard.h"
#include "zivorivizo/ConfigManager.h"
#include "zivorivizo/ParticipantMgr.h"

namespace {

std::string SensorRecordText(const _tagSSensorConfig& r) {
  return "sensor record: class " + std::to_string(r.iClass) + ", throttle start " +
         std::to_string(r.iThrottleStartTemp) + ", shutdown " + std::to_string(r.iShutdownTemp) +
         ", usage " + std::to_string(r.iUsageEnable);
}

std::string DeviceRecordText(const _tagSDeviceConfig& r) {
  return "device record: limit " + std::to_string(r.iThrottleLimit) + ", step " +
         std::to_string(r.iThrottleStep) + ", priority " + std::to_string(r.iPriority) +
         ", usage " + std::to_string(r.iUsageEnable);
}

}  // namespace

std::string CelsiusText(int tenthsKelvin) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f C", (tenthsKelvin - 2732) / 10.0);
  return text;
}

CPolicyEngine::CPolicyEngine(CParticipantMgr& participants, CConfigManager& config,
                             CPowerGuard& power, bool apply)
    : mParticipants(participants), mConfig(config), mPower(power), mApply(apply) {}

bool CPolicyEngine::Manages(const std::wstring& sensor) {
  _tagSSensor reading;
  if (mParticipants.GetSensor(sensor, reading) != 0) {
    return false;
  }
  _tagSSensorConfig record;
  record.strName = sensor;
  record.iClass = static_cast<int>(reading.Class);
  return mConfig.GetSensorConfig(record) == 0 && record.iUsageEnable != 0;
}

void CPolicyEngine::Evaluate(const std::wstring& sensor, std::vector<PolicyDecision>& out) {
  // A sensor the policy leaves alone is not even read: reading it may make
  // the library act on it (a faulty sensor's shutdown). What the library
  // asked while it was made (it reads a sensor once then) is still shown.
  const bool managed = Manages(sensor);
  const int status = managed ? mParticipants.RefreshSensor(sensor) : -1;
  _tagSSensor reading;
  if (mParticipants.GetSensor(sensor, reading) == 0 && !reading.TempHistory.empty()) {
    mPower.LibraryRequests(sensor, reading.TempHistory.front().Temp, out);
  }
  if (status == 0) {
    Decide(sensor, out);
  }
}

std::vector<PolicyDecision> CPolicyEngine::EvaluateAll() {
  std::vector<_tagSSensor> sensors;
  mParticipants.GetAllSensors(sensors);
  std::vector<PolicyDecision> out;
  for (const _tagSSensor& sensor : sensors) {
    Evaluate(sensor.Name, out);
  }
  return out;
}

std::vector<std::wstring> CPolicyEngine::Unmanaged() {
  std::vector<_tagSSensor> sensors;
  mParticipants.GetAllSensors(sensors);
  std::vector<std::wstring> names;
  for (const _tagSSensor& sensor : sensors) {
    if (!Manages(sensor.Name)) {
      names.push_back(sensor.Name);
    }
  }
  return names;
}

std::vector<PolicyDecision> CPolicyEngine::EvaluateSensor(const std::wstring& name) {
  std::vector<PolicyDecision> out;
  Evaluate(name, out);
  return out;
}

void CPolicyEngine::Forget(const std::wstring& name) {
  mWould.erase(name);
  mRaised.erase(name);
  for (auto& [device, sensors] : mRaised) {
    sensors.erase(name);
  }
  mHot.erase(name);
  mPower.Forget(name);
}

std::vector<CPolicyEngine::Candidate> CPolicyEngine::DevicesOf(const std::wstring& sensor,
                                                               const _tagSSensorConfig& record) {
  std::vector<_tagSDevice> linked;
  mParticipants.GetDeviceList(sensor, linked);
  if (record.iClass == static_cast<int>(ZIVO_SKIN_SENSOR_CLASS)) {
    std::vector<_tagSDevice> unlinked;
    mParticipants.GetDevicesWithoutSensors(sensor, unlinked);
    linked.insert(linked.end(), unlinked.begin(), unlinked.end());
  }
  _tagSPlatformConfig platform;
  mConfig.GetPlatformConfig(platform);
  const bool activeFirst = platform.iThrottlePreference == 1;

  struct Ranked {
    Candidate device;
    bool active;
    int priority;
  };
  std::vector<Ranked> ranked;
  std::set<std::wstring> seen;
  for (const _tagSDevice& device : linked) {
    if (!seen.insert(device.Name).second) {
      continue;
    }
    _tagSDeviceConfig config;
    config.strPath = device.Name;
    config.iClass = static_cast<int>(device.Class);
    if (mConfig.GetDeviceConfig(config) != 0 || config.iUsageEnable == 0) {
      continue;
    }
    Candidate candidate;
    candidate.name = device.Name;
    const auto would = mWould.find(device.Name);
    candidate.current = would != mWould.end() ? would->second : device.Current;
    candidate.limit =
        std::min(static_cast<uint32_t>(std::max(config.iThrottleLimit, 0)), device.Max);
    candidate.step = static_cast<uint32_t>(std::max(config.iThrottleStep, 1));
    candidate.record = DeviceRecordText(config);
    ranked.push_back(
        {candidate, activeFirst && device.Class == ZIVO_ACTIVE_DEVICE_CLASS, config.iPriority});
  }
  std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
    if (a.active != b.active) {
      return a.active;
    }
    return a.priority < b.priority;
  });
  std::vector<Candidate> ordered;
  for (Ranked& r : ranked) {
    ordered.push_back(std::move(r.device));
  }
  return ordered;
}

bool CPolicyEngine::HeldHotByOther(const std::wstring& device, const std::wstring& sensor) {
  const auto raised = mRaised.find(device);
  if (raised == mRaised.end()) {
    return false;
  }
  return std::any_of(raised->second.begin(), raised->second.end(),
                     [&](const std::wstring& s) { return s != sensor && mHot.count(s) != 0; });
}

void CPolicyEngine::Set(Candidate& device, uint32_t to, PolicyDecision& decision) {
  decision.device = device.name;
  decision.from = device.current;
  decision.to = to;
  if (!mApply) {
    mWould[device.name] = to;
    return;
  }
  _tagSDevice record;
  decision.status = mParticipants.GetDevice(device.name, record);
  if (decision.status == 0) {
    record.Current = to;
    decision.status = mParticipants.SetDevice(record);
  }
  decision.applied = decision.status == 0;
}

void CPolicyEngine::Decide(const std::wstring& sensor, std::vector<PolicyDecision>& out) {
  _tagSSensor reading;
  if (mParticipants.GetSensor(sensor, reading) != 0 || reading.TempHistory.empty()) {
    return;
  }
  const int temperature = reading.TempHistory.front().Temp;
  _tagSSensorConfig record;
  record.strName = sensor;
  record.iClass = static_cast<int>(reading.Class);
  if (mConfig.GetSensorConfig(record) != 0 || record.iUsageEnable == 0) {
    return;
  }
  _tagSPlatformConfig platform;
  mConfig.GetPlatformConfig(platform);
  mPower.Reading(sensor, temperature, record, platform, out);

  const int start = record.iThrottleStartTemp;
  if (temperature >= start) {
    mHot.insert(sensor);
    for (Candidate& device : DevicesOf(sensor, record)) {
      if (device.current >= device.limit) {
        continue;
      }
      PolicyDecision decision;
      decision.action = "throttle";
      decision.sensor = sensor;
      decision.temperature = temperature;
      decision.threshold = start;
      decision.record = SensorRecordText(record) + "; " + device.record;
      Set(device, std::min(device.limit, device.current + device.step), decision);
      mRaised[device.name].insert(sensor);
      out.push_back(std::move(decision));
      return;
    }
    return;
  }
  mHot.erase(sensor);
  if (temperature >= start - kHysteresis) {
    return;  // within the hysteresis band: hold
  }
  std::vector<Candidate> devices = DevicesOf(sensor, record);
  for (auto it = devices.rbegin(); it != devices.rend(); ++it) {
    const auto raised = mRaised.find(it->name);
    if (it->current == 0 || raised == mRaised.end() || raised->second.count(sensor) == 0) {
      continue;
    }
    if (HeldHotByOther(it->name, sensor)) {
      // Still needed by a hotter sensor, which releases it when it cools.
      raised->second.erase(sensor);
      continue;
    }
    PolicyDecision decision;
    decision.action = "release";
    decision.sensor = sensor;
    decision.temperature = temperature;
    decision.threshold = start - kHysteresis;
    decision.record = SensorRecordText(record) + "; " + it->record;
    const uint32_t to = it->current > it->step ? it->current - it->step : 0;
    Set(*it, to, decision);
    if (to == 0) {
      mRaised.erase(raised);
    }
    out.push_back(std::move(decision));
    return;
  }
}
