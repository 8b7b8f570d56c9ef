// The thermal policy: one platform record, device records found by path
// fragment and sensor records found by name. Until a configuration file has
// been loaded the queries answer with built-in defaults and the updates
// refuse with 292. The manager owns its records.
//
// Thread safety: queries and updates may run concurrently; the manager
// serialises them with a lock of its own.
#pragma once

#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "zivorivizo/ConfigRecords.h"
#include "zivorivizo/Export.h"

class ZIVO_EXPORT CConfigManager {
 public:
  CConfigManager();
  virtual ~CConfigManager();

  virtual int Init(std::wstring path) = 0;

  int GetPlatformConfig(_tagSPlatformConfig& out);
  int SetPlatformConfig(_tagSPlatformConfig config);
  int GetDeviceConfig(_tagSDeviceConfig& config);
  int SetDeviceConfig(_tagSDeviceConfig config);
  int GetSensorConfig(_tagSSensorConfig& config);
  int SetSensorConfig(_tagSSensorConfig config);
  int GetSensorDevices(std::wstring sensorName, std::vector<std::wstring>* paths);

 protected:
  int mLoaded = 0;
  _tagSPlatformConfig mPlatformConfig;
  std::list<_tagSDeviceConfig*> mDeviceList;
  std::list<_tagSSensorConfig*> mSensorList;
  std::recursive_mutex mLock;
};
