#include "zivorivizo/ConfigManager.h"

#include "ConfigMgr/ConfigValues.h"
#include "Log/LogStatement.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/StatusCodes.h"

namespace {

// Answers when no configuration is loaded. The order of the platform values
// is what hosts have always been given: timer 1, preference 10.
constexpr _tagSPlatformConfig kDefaultPlatform{1, 1, 10};
constexpr int kDefaultThrottleLimit = 0x50005;
constexpr int kDefaultThrottleStep = 2;
constexpr int kDefaultAuxInterval = 20;
constexpr int kDefaultSkinShutdownTemp = 3182;  // 45 degrees Celsius
constexpr int kDefaultSkinThrottleStartTemp = 3032;
constexpr int kDefaultShutdownTemp = 3682;  // 95 degrees Celsius
constexpr int kDefaultThrottleStartTemp = 3482;

void CopyDeviceFields(const _tagSDeviceConfig& from, _tagSDeviceConfig& to) {
  to.iClass = from.iClass;
  to.iThrottleLimit = from.iThrottleLimit;
  to.iThrottleStep = from.iThrottleStep;
  to.iPriority = from.iPriority;
  to.iUsageEnable = from.iUsageEnable;
  to.iUsageShutdown = from.iUsageShutdown;
}

void CopySensorFields(const _tagSSensorConfig& from, _tagSSensorConfig& to) {
  to.iClass = from.iClass;
  to.iShutdownTemp = from.iShutdownTemp;
  to.iThrottleStartTemp = from.iThrottleStartTemp;
  to.iUsageEnable = from.iUsageEnable;
  to.iAuxInterval = from.iAuxInterval;
}

// Whether the participant manager reports a Max below the requested limit.
// A manager that cannot be had, or does not know the device, cannot say no.
//
// The manager is reached through COSParticipantManager::GetInstance() on
// purpose, although this half of the configuration manager is otherwise
// platform-free: that call is the participant manager's one way in, and a
// host that updates a device's policy before it made the participant manager
// gets one made here (history length 3), exactly as if it had called
// GetInstance() itself. Handing this class a lookup installed by the
// participant manager instead would change what such a host sees: no check
// against the device's Max, and no manager afterwards.
bool LimitAboveDeviceMax(const _tagSDeviceConfig& config) {
  COSParticipantManager* manager = nullptr;
  try {
    manager = COSParticipantManager::GetInstance();
  } catch (...) {
    // The participant manager throws when the platform cannot be reached or
    // has thermal management disabled; then there is nothing to check against.
    manager = nullptr;
  }
  if (manager == nullptr) {
    LOG_WARN("Couldnt get PM instance, wont check Max throttle");
    return false;
  }
  _tagSDevice device;
  int result = 0;
  try {
    result = manager->GetDevice(config.strPath, device);
  } catch (...) {
    result = -1;
  }
  if (result != 0) {
    LOG_WARN("Can get PM device info, cant check Max Throttle");
    return false;
  }
  if (device.Max < static_cast<uint32_t>(config.iThrottleLimit)) {
    LOG_ERROR("SetDeviceConfig, Max value is gretaer than BIOS value, rejecting");
    return true;
  }
  return false;
}

}  // namespace

CConfigManager::CConfigManager() = default;

CConfigManager::~CConfigManager() {
  LOG_DEBUG("Config Manager destruction called");
  std::lock_guard<std::mutex> hold(mLock);
  ClearRecordsLocked();
}

void CConfigManager::ClearRecordsLocked() {
  mDeviceList.clear();
  mSensorList.clear();
  RecordsReplacedLocked();
}

void CConfigManager::RecordsReplacedLocked() {
  RecordsEditedLocked();
  mSensorIndex.clear();
  mSensorIndexedCount = kNotIndexed;
}

_tagSDeviceConfig* CConfigManager::FindDeviceLocked(const std::wstring& path) {
  // The stored path is a fragment of the device paths it applies to.
  for (_tagSDeviceConfig& record : mDeviceList) {
    if (DeviceFragmentMatches(path, record.strPath)) {
      return &record;
    }
  }
  return nullptr;
}

_tagSSensorConfig* CConfigManager::FindSensorLocked(const std::wstring& name) {
  if (mSensorIndexedCount != mSensorList.size()) {
    mSensorIndex.clear();
    mSensorIndex.reserve(mSensorList.size());
    for (_tagSSensorConfig& record : mSensorList) {
      mSensorIndex.emplace(record.strName, &record);  // a later namesake is never found
    }
    mSensorIndexedCount = mSensorList.size();
  }
  const auto found = mSensorIndex.find(name);
  return found == mSensorIndex.end() ? nullptr : found->second;
}

int CConfigManager::GetPlatformConfig(_tagSPlatformConfig& out) {
  LOG_DEBUG("GetPlatformConfig Called");
  std::lock_guard<std::mutex> hold(mLock);
  out = mLoaded != 0 ? mPlatformConfig : kDefaultPlatform;
  return ZIVO_SUCCESS;
}

int CConfigManager::SetPlatformConfig(_tagSPlatformConfig config) {
  LOG_DEBUG("SetPlatformConfig Called");
  std::lock_guard<std::mutex> hold(mLock);
  if (mLoaded == 0) {
    return ZIVO_CONFIG_NOT_LOADED;
  }
  mPlatformConfig = config;
  RecordsEditedLocked();
  return ZIVO_SUCCESS;
}

int CConfigManager::GetDeviceConfig(_tagSDeviceConfig& config) {
  LOG_DEBUG("Get Device Config called for %ls", config.strPath.c_str());
  std::lock_guard<std::mutex> hold(mLock);
  if (mLoaded == 0) {
    config.iUsageEnable = 1;
    config.iUsageShutdown = 0;
    config.iThrottleLimit = kDefaultThrottleLimit;
    config.iPriority = 0;
    config.iThrottleStep = kDefaultThrottleStep;
    return ZIVO_SUCCESS;
  }
  if (mDeviceList.empty()) {
    LOG_ERROR("Empty link list found");
    return ZIVO_CONFIG_DEVICE_LIST_EMPTY;
  }
  const _tagSDeviceConfig* record = FindDeviceLocked(config.strPath);
  if (record == nullptr) {
    LOG_ERROR("Device not found %ls", config.strPath.c_str());
    return ZIVO_CONFIG_DEVICE_NOT_FOUND;
  }
  CopyDeviceFields(*record, config);
  return ZIVO_SUCCESS;
}

int CConfigManager::SetDeviceConfig(_tagSDeviceConfig config) {
  LOG_DEBUG("Set Device Config called for %ls", config.strPath.c_str());
  std::lock_guard<std::mutex> serialised(mDeviceUpdateLock);
  {
    std::lock_guard<std::mutex> hold(mLock);
    if (mLoaded == 0) {
      return ZIVO_CONFIG_NOT_LOADED;
    }
    if (mDeviceList.empty()) {
      LOG_ERROR("Empty link list found");
      return ZIVO_CONFIG_DEVICE_LIST_EMPTY;
    }
  }
  // Asked without mLock, so that queries go on meanwhile: the participant
  // manager may take long.
  if (LimitAboveDeviceMax(config)) {
    return ZIVO_CONFIG_REJECTED;
  }
  std::lock_guard<std::mutex> hold(mLock);
  // A reload may have run meanwhile.
  if (mLoaded == 0) {
    return ZIVO_CONFIG_NOT_LOADED;
  }
  if (mDeviceList.empty()) {
    LOG_ERROR("Empty link list found");
    return ZIVO_CONFIG_DEVICE_LIST_EMPTY;
  }
  _tagSDeviceConfig* record = FindDeviceLocked(config.strPath);
  if (record != nullptr) {
    CopyDeviceFields(config, *record);
    RecordsEditedLocked();
    return ZIVO_SUCCESS;
  }
  _tagSDeviceConfig added;
  added.strPath = config.strPath;
  CopyDeviceFields(config, added);
  mDeviceList.push_back(std::move(added));
  RecordsEditedLocked();
  return ZIVO_SUCCESS;
}

int CConfigManager::GetSensorConfig(_tagSSensorConfig& config) {
  LOG_DEBUG("Get Sensor Config called for %ls", config.strName.c_str());
  std::lock_guard<std::mutex> hold(mLock);
  if (mLoaded == 0) {
    config.iUsageEnable = 1;
    config.iAuxInterval = kDefaultAuxInterval;
    if (config.iClass == kSkinSensorClass) {
      config.iShutdownTemp = kDefaultSkinShutdownTemp;
      config.iThrottleStartTemp = kDefaultSkinThrottleStartTemp;
    } else {
      config.iShutdownTemp = kDefaultShutdownTemp;
      config.iThrottleStartTemp = kDefaultThrottleStartTemp;
    }
    return ZIVO_SUCCESS;
  }
  if (mSensorList.empty()) {
    LOG_ERROR("Empty link list found");
    return ZIVO_CONFIG_SENSOR_LIST_EMPTY;
  }
  const _tagSSensorConfig* record = FindSensorLocked(config.strName);
  if (record == nullptr) {
    LOG_ERROR("Sensor not found %ls", config.strName.c_str());
    return ZIVO_CONFIG_SENSOR_NOT_FOUND;
  }
  CopySensorFields(*record, config);
  return ZIVO_SUCCESS;
}

int CConfigManager::SetSensorConfig(_tagSSensorConfig config) {
  LOG_DEBUG("Set Sensor Config called for %ls", config.strName.c_str());
  std::lock_guard<std::mutex> hold(mLock);
  if (mLoaded == 0) {
    return ZIVO_CONFIG_NOT_LOADED;
  }
  if (mSensorList.empty()) {
    LOG_ERROR("Empty link list found");
    return ZIVO_CONFIG_SENSOR_LIST_EMPTY;
  }
  _tagSSensorConfig* record = FindSensorLocked(config.strName);
  if (record != nullptr) {
    CopySensorFields(config, *record);
    RecordsEditedLocked();
    if (config.iClass == kSkinSensorClass) {
      record->vecDevicePaths = std::move(config.vecDevicePaths);
    }
    return ZIVO_SUCCESS;
  }
  _tagSSensorConfig added;
  added.strName = config.strName;
  CopySensorFields(config, added);
  if (config.iClass == kSkinSensorClass) {
    added.vecDevicePaths = std::move(config.vecDevicePaths);
  }
  mSensorList.push_back(std::move(added));
  // The lookup above left the index whole: the new record joins it, so that
  // adding record after record does not index the list again each time.
  if (mSensorIndexedCount != kNotIndexed && mSensorIndexedCount + 1 == mSensorList.size()) {
    mSensorIndex.emplace(mSensorList.back().strName, &mSensorList.back());
    ++mSensorIndexedCount;
  }
  RecordsEditedLocked();
  LOG_DEBUG("Added %ls Sensor", config.strName.c_str());
  return ZIVO_SUCCESS;
}

int CConfigManager::GetSensorDevices(std::wstring sensorName, std::vector<std::wstring>* paths) {
  LOG_DEBUG("Get GetSensorDevices called for %ls", sensorName.c_str());
  std::lock_guard<std::mutex> hold(mLock);
  if (mLoaded == 0) {
    LOG_DEBUG("Default values loaded");
    LOG_DEBUG("wont return any values");
    return ZIVO_SUCCESS;
  }
  if (mSensorList.empty()) {
    LOG_ERROR("Empty link list found");
    return ZIVO_CONFIG_SENSOR_LIST_EMPTY;
  }
  const _tagSSensorConfig* record = FindSensorLocked(sensorName);
  if (record == nullptr) {
    LOG_ERROR("Sensor not found %ls", sensorName.c_str());
    return ZIVO_CONFIG_SENSOR_NOT_FOUND;
  }
  if (record->iClass != kSkinSensorClass) {
    LOG_ERROR("GetSensorDevices called for Non Skin Sensor!!");
    return ZIVO_CONFIG_REJECTED;
  }
  if (paths != nullptr) {
    *paths = record->vecDevicePaths;
  }
  return ZIVO_SUCCESS;
}

int CConfigManager::GetAllDeviceConfigs(std::vector<_tagSDeviceConfig>& out) {
  std::lock_guard<std::mutex> hold(mLock);
  out.clear();
  if (mLoaded == 0) {
    return ZIVO_CONFIG_NOT_LOADED;
  }
  out.assign(mDeviceList.begin(), mDeviceList.end());
  return ZIVO_SUCCESS;
}

int CConfigManager::GetAllSensorConfigs(std::vector<_tagSSensorConfig>& out) {
  std::lock_guard<std::mutex> hold(mLock);
  out.clear();
  if (mLoaded == 0) {
    return ZIVO_CONFIG_NOT_LOADED;
  }
  out.assign(mSensorList.begin(), mSensorList.end());
  return ZIVO_SUCCESS;
}
