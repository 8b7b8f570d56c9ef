#include "PolicyInForce.h"

#include <map>

#include "zivorivizo/Text.h"

namespace {

using RecordKeys = std::map<std::string, std::string>;

// Every field of a record in one string, to tell a changed record.
std::string Fields(const _tagSDeviceConfig& r) {
  return std::to_string(r.iClass) + "," + std::to_string(r.iThrottleLimit) + "," +
         std::to_string(r.iThrottleStep) + "," + std::to_string(r.iPriority) + "," +
         std::to_string(r.iUsageEnable) + "," + std::to_string(r.iUsageShutdown);
}

std::string Fields(const _tagSSensorConfig& r) {
  std::string text = std::to_string(r.iClass) + "," + std::to_string(r.iShutdownTemp) + "," +
                     std::to_string(r.iThrottleStartTemp) + "," + std::to_string(r.iUsageEnable) +
                     "," + std::to_string(r.iAuxInterval);
  for (const std::wstring& path : r.vecDevicePaths) {
    text += "," + ToUtf8(path);
  }
  return text;
}

std::string Fields(const _tagSPlatformConfig& r) {
  return std::to_string(r.iShutdownOption) + "," + std::to_string(r.iShutdownTimer) + "," +
         std::to_string(r.iThrottlePreference);
}

// The first record of each key counts: it is the one lookups find.
RecordKeys Keys(const _tagSPlatformConfig& platform, const std::vector<_tagSDeviceConfig>& devices,
                const std::vector<_tagSSensorConfig>& sensors) {
  RecordKeys keys = {{"platform", Fields(platform)}};
  for (const _tagSDeviceConfig& d : devices) {
    keys.emplace("device " + ToUtf8(d.strPath), Fields(d));
  }
  for (const _tagSSensorConfig& s : sensors) {
    keys.emplace("sensor " + ToUtf8(s.strName), Fields(s));
  }
  return keys;
}

PolicyChange Compare(const RecordKeys& before, const RecordKeys& after) {
  PolicyChange change;
  for (const auto& [key, fields] : after) {
    const auto old = before.find(key);
    if (old == before.end()) {
      change.added.push_back(key);
    } else if (old->second != fields) {
      change.changed.push_back(key);
    }
  }
  for (const auto& [key, fields] : before) {
    if (after.count(key) == 0) {
      change.removed.push_back(key);
    }
  }
  return change;
}

std::string Listed(const std::vector<std::string>& keys, const char* what) {
  std::string text = std::to_string(keys.size()) + " " + what + " (";
  for (std::size_t i = 0; i < keys.size(); ++i) {
    text += (i == 0 ? "" : ", ") + keys[i];
  }
  return text + ")";
}

}  // namespace

std::string PolicyChange::Text() const {
  std::vector<std::string> parts;
  if (!added.empty()) parts.push_back(Listed(added, "added"));
  if (!removed.empty()) parts.push_back(Listed(removed, "removed"));
  if (!changed.empty()) parts.push_back(Listed(changed, "changed"));
  if (parts.empty()) {
    return "no record changed";
  }
  std::string text;
  for (const std::string& part : parts) {
    text += (text.empty() ? "" : ", ") + part;
  }
  return text;
}

ConfigLoadReport CPolicyInForce::Load(const std::wstring& path, PolicyChange* change) {
  ConfigLoadReport report = CheckConfigFile(path);
  if (!report.loaded) {
    return report;
  }
  std::lock_guard<std::mutex> hold(mLock);
  if (change != nullptr) {
    const RecordKeys before =
        mLoaded != 0 ? Keys(mPlatformConfig,
                            std::vector<_tagSDeviceConfig>(mDeviceList.begin(), mDeviceList.end()),
                            std::vector<_tagSSensorConfig>(mSensorList.begin(), mSensorList.end()))
                     : RecordKeys{};
    *change = Compare(before, Keys(report.platform, report.devices, report.sensors));
  }
  mPlatformConfig = report.platform;
  mDeviceList.assign(report.devices.begin(), report.devices.end());
  mSensorList.assign(report.sensors.begin(), report.sensors.end());
  RecordsReplacedLocked();
  mLoaded = 1;
  return report;
}

int CPolicyInForce::Init(std::wstring path) {
  return Load(path).result;
}
