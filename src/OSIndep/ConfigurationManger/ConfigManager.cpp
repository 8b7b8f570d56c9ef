// STUB: replaced by the configuration records and queries.
#include "zivorivizo/ConfigManager.h"

CConfigManager::CConfigManager() = default;
CConfigManager::~CConfigManager() = default;
int CConfigManager::GetPlatformConfig(_tagSPlatformConfig&) {
  return 0;
}
int CConfigManager::SetPlatformConfig(_tagSPlatformConfig) {
  return 292;
}
int CConfigManager::GetDeviceConfig(_tagSDeviceConfig&) {
  return 0;
}
int CConfigManager::SetDeviceConfig(_tagSDeviceConfig) {
  return 292;
}
int CConfigManager::GetSensorConfig(_tagSSensorConfig&) {
  return 0;
}
int CConfigManager::SetSensorConfig(_tagSSensorConfig) {
  return 292;
}
int CConfigManager::GetSensorDevices(std::wstring, std::vector<std::wstring>*) {
  return 0;
}
