// The thermal policy records that cross the exported interface.
// Temperatures are tenths of kelvin.
#pragma once

#include <string>
#include <vector>

struct _tagSPlatformConfig {
  int iShutdownOption = 0;      // 1 hibernate, 0 shut down
  int iShutdownTimer = 0;       // delay, as written in the file
  int iThrottlePreference = 0;  // 1 active, 0 passive
};

struct _tagSDeviceConfig {
  std::wstring strPath;  // a fragment of the device paths it applies to
  int iClass = 0;
  int iThrottleLimit = 0;
  int iThrottleStep = 0;
  int iPriority = 0;
  int iUsageEnable = 0;
  int iUsageShutdown = 0;
  std::wstring strReserved1;
  std::wstring strReserved2;
};

struct _tagSSensorConfig {
  std::wstring strName;  // the sensor's exact name
  int iClass = 0;        // 1 is the skin sensor
  int iShutdownTemp = 0;
  int iThrottleStartTemp = 0;
  int iUsageEnable = 0;
  int iAuxInterval = 0;
  std::vector<std::wstring> vecDevicePaths;  // skin sensors only
  std::wstring strReserved1;
  std::wstring strReserved2;
};
