#include "PolicyEngine.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <unordered_set>

#include "PowerGuard.h"
#include "StaleReading.h"
#include "TextTable.h"
#include "zivorivizo/ConfigManager.h"
#include "zivorivizo/ParticipantMgr.h"
#include "zivorivizo/Text.h"

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

CPolicyEngine::CPolicyEngine(CParticipantMgr& participants, CConfigManager& config,
                             CPowerGuard& power, bool apply)
    : mParticipants(participants), mConfig(config), mPower(power), mApply(apply) {}

bool CPolicyEngine::ManagedRecord(const std::wstring& sensor, _tagSSensorConfig& record) {
  _tagSSensor reading;
  if (mParticipants.GetSensor(sensor, reading) != 0) {
    return false;
  }
  record.strName = sensor;
  record.iClass = static_cast<int>(reading.Class);
  return mConfig.GetSensorConfig(record) == 0 && record.iUsageEnable != 0;
}

bool CPolicyEngine::Manages(const std::wstring& sensor) {
  _tagSSensorConfig record;
  return ManagedRecord(sensor, record);
}

bool CPolicyEngine::Thresholds(const std::wstring& sensor, int& start, int& shutdown) {
  _tagSSensorConfig record;
  if (!ManagedRecord(sensor, record)) {
    return false;
  }
  start = record.iThrottleStartTemp;
  shutdown = record.iShutdownTemp;
  return true;
}

std::vector<std::wstring> CPolicyEngine::DevicesUsedBy(const std::wstring& sensor) {
  _tagSSensorConfig record;
  std::vector<std::wstring> names;
  if (!ManagedRecord(sensor, record)) {
    return names;
  }
  _tagSPlatformConfig platform;
  mConfig.GetPlatformConfig(platform);
  for (const Candidate& device : DevicesOf(sensor, record, platform)) {
    names.push_back(device.name);
  }
  return names;
}

std::map<std::wstring, CPolicyEngine::DeviceNow> CPolicyEngine::Devices() {
  std::map<std::wstring, DeviceNow> now;
  for (const auto& [name, users] : mUsers) {
    _tagSDevice device;
    if (users.empty() || mParticipants.GetDevice(name, device) != 0) {
      continue;
    }
    DeviceNow& d = now[name];
    d.state = mApply ? device.Current : mLedger.Written(name).value_or(device.Current);
    d.max = device.Max;
    if (mReadMax) {
      d.max = mReadMax(name).value_or(device.Max);
    }
    if (mReadRpm) {
      d.rpm = mReadRpm(name);
    }
  }
  return now;
}

CPolicyEngine::Listed CPolicyEngine::ListedOf(const _tagSSensor& record) {
  Listed listed;
  listed.record.strName = record.Name;
  listed.sensorClass = record.Class;
  listed.hasHistory = !record.TempHistory.empty();
  return listed;
}

std::vector<PolicyDecision> CPolicyEngine::EvaluateAll() {
  const uint64_t edits = mParticipants.SensorListEdits();
  if (edits != mListEdits) {
    // Listing reads every sensor's trip points: done when the list changed,
    // not at every evaluation.
    std::vector<_tagSSensor> sensors;
    mParticipants.GetAllSensors(sensors);
    mListed.clear();
    mListed.reserve(sensors.size());
    // A namesake of an earlier sensor is read by name, as every call by
    // name reaches the first of them: its decisions are that sensor's.
    std::unordered_set<std::wstring_view> names;
    for (const _tagSSensor& sensor : sensors) {
      mListed.push_back(ListedOf(sensor));
      if (names.insert(sensor.Name).second) {
        mListed.back().position = mListed.size() - 1;
      }
    }
    mListEdits = edits;
  }
  std::vector<PolicyDecision> out;
  mReleased.clear();
  for (Listed& sensor : mListed) {
    Evaluate(sensor, out);
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
  mReleased.clear();
  _tagSSensor reading;
  if (mParticipants.GetSensor(name, reading) == 0) {
    Listed sensor = ListedOf(reading);
    Evaluate(sensor, out);
  }
  return out;
}

void CPolicyEngine::Forget(const std::wstring& name) {
  mLedger.Forget(name);
  mUsers.erase(name);
  DropSensor(name);
  mFailures.erase(name);
  mPower.Forget(name);
}

void CPolicyEngine::DropSensor(const std::wstring& sensor) {
  if (mTracked.erase(sensor) != 0) {
    ++mErasures;
  }
  for (auto& [device, users] : mUsers) {
    users.erase(sensor);
  }
}

void CPolicyEngine::Evaluate(Listed& listed, std::vector<PolicyDecision>& out) {
  _tagSSensorConfig& record = listed.record;
  const std::wstring& sensor = record.strName;
  const uint64_t edits = mConfig.RecordEdits();
  if (listed.recordEdits != edits) {
    record.iClass = static_cast<int>(listed.sensorClass);
    record.iShutdownTemp = 0;
    record.iThrottleStartTemp = 0;
    record.iUsageEnable = 0;
    record.iAuxInterval = 0;
    listed.recordStatus = mConfig.GetSensorConfig(record);
    listed.recordEdits = edits;
  }
  // The newest temperature of the sensor's history, read from its record
  // only when a library request needs one to show.
  const auto history = [this, &sensor] {
    _tagSSensor now;
    return mParticipants.GetSensor(sensor, now) == 0 && !now.TempHistory.empty()
               ? now.TempHistory.front().Temp
               : 0;
  };
  if (listed.recordStatus != 0 || record.iUsageEnable == 0) {
    // Not managed (any more, after a reload): not read, since reading it may
    // make the library act on it (a faulty sensor's shutdown), and it holds
    // no device. What the library asked while it was made (a sensor is read
    // once then) is still shown.
    DropSensor(sensor);
    if (listed.hasHistory) {
      mPower.LibraryRequests(sensor, history, out);
    }
    return;
  }
  // The temperature is all a decision needs: one read of the sensor per
  // evaluation. Its trip points are not read again, so a trip that cannot
  // be read does not make a good reading stale.
  int temperature = 0;
  // Read by name when it is not listed, or once the list has changed since:
  // the name finds it, if it is still there.
  const bool asListed =
      listed.position != kUnlisted && mParticipants.SensorListEdits() == mListEdits;
  const int status =
      asListed ? mParticipants.GetCurrentTemperatureAt(listed.position, mListEdits, temperature)
               : mParticipants.GetCurrentTemperature(sensor, temperature);
  if (status == 0) {
    mPower.LibraryRequests(sensor, temperature, out);
  } else if (listed.hasHistory) {
    mPower.LibraryRequests(sensor, history, out);
  }
  // The platform's record, asked again only once the records change.
  if (mPlatformEdits != edits) {
    mConfig.GetPlatformConfig(mPlatform);
    mPlatformEdits = edits;
  }
  const _tagSPlatformConfig& platform = mPlatform;
  std::vector<Candidate> devices = DevicesOf(sensor, record, platform);
  if (listed.erasures != mErasures) {
    listed.tracked = &mTracked[sensor];
    listed.erasures = mErasures;
  }
  Band& band = listed.tracked->band;
  Reading& last = listed.tracked->reading;
  last.status = status;
  last.temperature.reset();
  if (status != 0) {
    Stale(sensor, status, record, band, devices, out);
    return;
  }
  last.temperature = temperature;
  const auto failures = mFailures.empty() ? mFailures.end() : mFailures.find(sensor);
  if (failures != mFailures.end()) {
    if (failures->second >= mFailSafeAfter) {
      PolicyDecision back;
      back.action = "recovered";
      back.sensor = sensor;
      back.note = "reads again after " + std::to_string(failures->second) +
                  " failed readings: its devices are under the policy again";
      out.push_back(std::move(back));
    }
    mFailures.erase(failures);
  }
  KickStopped(sensor, record, devices, out);
  Decide(sensor, temperature, record, platform, band, devices, out);
}

void CPolicyEngine::KickStopped(const std::wstring& sensor, const _tagSSensorConfig& record,
                                std::vector<Candidate>& devices, std::vector<PolicyDecision>& out) {
  if (!mReadRpm || !mApply) {
    return;
  }
  // Some chips show a stopped fan as 65535 RPM rather than 0.
  constexpr uint32_t kStoppedReading = 65535;
  for (Candidate& device : devices) {
    if (!device.active || device.current == 0) {
      continue;
    }
    const std::optional<uint32_t> rpm = mReadRpm(device.name);
    if (!rpm) {
      continue;
    }
    if (*rpm != 0 && *rpm < kStoppedReading) {
      mStopped.erase(device.name);
      continue;
    }
    if (!mStopped.insert(device.name).second) {
      continue;
    }
    PolicyDecision warning;
    warning.action = "warning";
    warning.sensor = sensor;
    warning.note = "fan " + ToUtf8(device.name) + " reads stopped (" + std::to_string(*rpm) +
                   " RPM) at state " + std::to_string(device.current) +
                   ": kicked once at full speed";
    out.push_back(std::move(warning));
    if (device.current >= device.limit) {
      continue;
    }
    PolicyDecision kick;
    kick.action = "throttle";
    kick.cause = DecisionCause::FanStopped;
    kick.sensor = sensor;
    kick.record = SensorRecordText(record) + "; " + device.record;
    kick.reason = "fan " + ToUtf8(device.name) + " reads stopped: one kick at full speed";
    Set(device, device.limit, kick);
    out.push_back(std::move(kick));
  }
}

void CPolicyEngine::Stale(const std::wstring& sensor, int status, const _tagSSensorConfig& record,
                          Band& band, std::vector<Candidate>& devices,
                          std::vector<PolicyDecision>& out) {
  band = Band::Stale;
  const int failures = ++mFailures[sensor];
  PolicyDecision warning;
  warning.action = "warning";
  warning.sensor = sensor;
  warning.status = status;
  warning.note = StaleReadingText(sensor, status) + "; not evaluated (" + std::to_string(failures) +
                 " in a row, its devices go to their limit at " + std::to_string(mFailSafeAfter) +
                 ")";
  out.push_back(std::move(warning));
  if (failures < mFailSafeAfter) {
    return;
  }
  for (Candidate& device : devices) {
    if (device.current >= device.limit) {
      continue;
    }
    PolicyDecision decision;
    decision.action = "failsafe";
    decision.cause = DecisionCause::NoReading;
    decision.sensor = sensor;
    decision.threshold = record.iThrottleStartTemp;
    decision.record = SensorRecordText(record) + "; " + device.record;
    decision.note = ToUtf8(sensor) + " has had no fresh reading " + std::to_string(failures) +
                    " times in a row: its devices go to their limit";
    Set(device, device.limit, decision);
    out.push_back(std::move(decision));
  }
}

std::vector<CPolicyEngine::Candidate> CPolicyEngine::DevicesOf(
    const std::wstring& sensor, const _tagSSensorConfig& record,
    const _tagSPlatformConfig& platform) {
  std::vector<_tagSDevice> linked;
  mParticipants.GetDeviceList(sensor, linked);
  if (record.iClass == static_cast<int>(ZIVO_SKIN_SENSOR_CLASS)) {
    std::vector<_tagSDevice> unlinked;
    mParticipants.GetDevicesWithoutSensors(sensor, unlinked);
    linked.insert(linked.end(), unlinked.begin(), unlinked.end());
    // The devices the record names. The platform links them only to a sensor
    // it sees as a skin sensor itself; a record may make any sensor one (a
    // processor's hwmon input driving the board's fans), and config check
    // counts those devices as the sensor's too.
    std::vector<std::wstring> named;
    if (mConfig.GetSensorDevices(sensor, &named) == 0) {
      for (const std::wstring& name : named) {
        _tagSDevice device;
        if (mParticipants.GetDevice(name, device) == 0) {
          linked.push_back(std::move(device));
        }
      }
    }
  }
  if (linked.empty()) {
    return {};  // a sensor without devices, as many are
  }
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
    if (mApply) {
      mLedger.Observe(device.Name, device.Current);
      candidate.current = device.Current;
    } else {
      candidate.current = mLedger.Written(device.Name).value_or(device.Current);
    }
    std::optional<uint32_t> max;
    if (mReadMax) {
      max = mReadMax(device.Name);
    }
    candidate.limit = std::min(static_cast<uint32_t>(std::max(config.iThrottleLimit, 0)),
                               max.value_or(device.Max));
    mUsers[device.Name].insert(sensor);
    candidate.step = static_cast<uint32_t>(std::max(config.iThrottleStep, 1));
    candidate.record = DeviceRecordText(config);
    candidate.active = device.Class == ZIVO_ACTIVE_DEVICE_CLASS;
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

bool CPolicyEngine::AllUsersCool(const std::wstring& device) const {
  const auto users = mUsers.find(device);
  if (users == mUsers.end()) {
    return true;
  }
  return std::all_of(users->second.begin(), users->second.end(), [&](const std::wstring& s) {
    const auto tracked = mTracked.find(s);
    return tracked != mTracked.end() && tracked->second.band == Band::Cool;
  });
}

void CPolicyEngine::Set(Candidate& device, uint32_t to, PolicyDecision& decision) {
  decision.device = device.name;
  decision.from = device.current;
  if (mReadRpm) {
    decision.rpm = mReadRpm(device.name);
  }
  decision.to = to;
  if (!mLedger.Intend(device.name, device.current, to)) {
    decision.status = -1;
    decision.note = "not written: the record of the state to put back could not be saved";
    return;
  }
  if (!mApply) {
    device.current = to;
    return;
  }
  _tagSDevice record;
  decision.status = mParticipants.GetDevice(device.name, record);
  if (decision.status == 0) {
    record.Current = to;
    decision.status = mParticipants.SetDevice(record);
  }
  decision.applied = decision.status == 0;
  if (!decision.applied) {
    // Not raised: the device still holds what it held.
    mLedger.Failed(device.name, device.current);
    return;
  }
  // What the rest of this evaluation sees: a fan just kicked to its limit is
  // not stepped back down by the same reading's throttle step.
  device.current = to;
}

void CPolicyEngine::Decide(const std::wstring& sensor, int temperature,
                           const _tagSSensorConfig& record, const _tagSPlatformConfig& platform,
                           Band& band, std::vector<Candidate>& devices,
                           std::vector<PolicyDecision>& out) {
  mPower.Reading(sensor, temperature, record, platform, out);

  const int start = record.iThrottleStartTemp;
  const std::optional<int32_t> critical =
      mReadCritical ? mReadCritical(sensor) : std::optional<int32_t>();
  if (critical && temperature >= *critical) {
    // The chip's own critical limit: every fan of the sensor at full speed.
    band = Band::Hot;
    for (Candidate& device : devices) {
      if (!device.active || device.current >= device.limit) {
        continue;
      }
      PolicyDecision decision;
      decision.action = "throttle";
      decision.cause = DecisionCause::CriticalLimit;
      decision.sensor = sensor;
      decision.temperature = temperature;
      decision.threshold = *critical;
      decision.record = SensorRecordText(record) + "; " + device.record;
      decision.reason = ToUtf8(sensor) + " at " + CelsiusText(temperature) +
                        " reached the chip's critical limit " + CelsiusText(*critical) +
                        ": its fans go to full speed";
      Set(device, device.limit, decision);
      out.push_back(std::move(decision));
    }
    return;
  }
  if (temperature >= start) {
    band = Band::Hot;
    for (Candidate& device : devices) {
      if (device.current >= device.limit) {
        continue;
      }
      PolicyDecision decision;
      decision.action = "throttle";
      decision.cause = DecisionCause::ThrottleStart;
      decision.sensor = sensor;
      decision.temperature = temperature;
      decision.threshold = start;
      decision.record = SensorRecordText(record) + "; " + device.record;
      Set(device, std::min(device.limit, device.current + device.step), decision);
      out.push_back(std::move(decision));
      return;
    }
    return;
  }
  if (temperature >= start - kHysteresis) {
    band = Band::Hold;  // within the hysteresis band: hold
    return;
  }
  band = Band::Cool;
  for (auto it = devices.rbegin(); it != devices.rend(); ++it) {
    const std::optional<uint32_t> floor = mLedger.Floor(it->name);
    if (!floor || it->current <= *floor || mReleased.count(it->name) != 0 ||
        !AllUsersCool(it->name)) {
      continue;
    }
    PolicyDecision decision;
    decision.action = "release";
    decision.cause = DecisionCause::ReleaseTemperature;
    decision.sensor = sensor;
    decision.temperature = temperature;
    decision.threshold = start - kHysteresis;
    decision.record = SensorRecordText(record) + "; " + it->record;
    Set(*it, std::max(*floor, it->current > it->step ? it->current - it->step : 0), decision);
    mReleased.insert(it->name);
    out.push_back(std::move(decision));
    return;
  }
}
