// The thermal policy: one platform record, device records found by path
// fragment and sensor records found by exact name. Until a configuration has
// been loaded the queries answer with built-in defaults and the updates refuse
// with 292 (ZIVO_CONFIG_NOT_LOADED). The manager owns its records; lookups
// take the first match in list order (file order, then appended records).
//
// Thread safety: every operation, Init included, takes the manager's lock, so
// queries and updates may be called from any number of threads at once. That
// lock is not held while SetDeviceConfig asks the participant manager for the
// device's limits; SetDeviceConfig calls are serialised with each other
// instead, so the participant manager, which is not thread-safe, is never
// called from here on two threads at once. A host that calls the participant
// manager itself while another thread runs SetDeviceConfig must serialise the
// two.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "zivorivizo/ConfigRecords.h"
#include "zivorivizo/Export.h"

class ZIVO_EXPORT CConfigManager {
 public:
  CConfigManager();
  virtual ~CConfigManager();
  // The records are owned; a copy would have to share or duplicate them.
  CConfigManager(const CConfigManager&) = delete;
  CConfigManager& operator=(const CConfigManager&) = delete;

  // Loads the configuration at `path`; 0 when it is loaded.
  virtual int Init(std::wstring path) = 0;

  // 0 always; the defaults (1, 1, 10) when not loaded.
  int GetPlatformConfig(_tagSPlatformConfig& out);
  // 0, or 292 when not loaded.
  int SetPlatformConfig(_tagSPlatformConfig config);
  // In: strPath (a full device path). Out: the six integers of the first
  // record whose fragment occurs in it. 0, 285 (no records) or 287.
  int GetDeviceConfig(_tagSDeviceConfig& config);
  // Overwrites the first matching record or appends one. Rejects with 291 a
  // limit above the device's Max as the participant manager reports it.
  // 0, 285, 291 or 292.
  int SetDeviceConfig(_tagSDeviceConfig config);
  // In: strName, and iClass for the defaults. Out: fields iClass to
  // iAuxInterval. 0, 286 (no records) or 288.
  int GetSensorConfig(_tagSSensorConfig& config);
  // Overwrites the record of that name or appends one. 0, 286 or 292.
  int SetSensorConfig(_tagSSensorConfig config);
  // The device paths of a skin sensor, replacing `paths`. 0 (and `paths`
  // untouched when not loaded), 286, 288, or 291 for a sensor that is not a
  // skin sensor.
  int GetSensorDevices(std::wstring sensorName, std::vector<std::wstring>* paths);

  // Copies of every record in lookup order, for tools that show a whole
  // configuration. 0, or 292 with `out` emptied when nothing is loaded.
  int GetAllDeviceConfigs(std::vector<_tagSDeviceConfig>& out);
  int GetAllSensorConfigs(std::vector<_tagSSensorConfig>& out);

  // Raised by every change of the records (a load, an update, a record
  // added): a caller that keeps what a query answered asks again when this
  // differs from what it was before that query.
  std::uint64_t RecordEdits() const { return mRecordEdits.load(std::memory_order_acquire); }

 protected:
  // Callers hold mLock.
  void ClearRecordsLocked();
  // Called, with mLock held, by whatever replaces the records other than
  // through the calls above (a load): raises RecordEdits, and the lookup by
  // name is rebuilt by the next query.
  void RecordsReplacedLocked();

  std::mutex mLock;
  // Held by SetDeviceConfig across its participant manager check (taken
  // before mLock, never after).
  std::mutex mDeviceUpdateLock;
  int mLoaded = 0;
  _tagSPlatformConfig mPlatformConfig;
  std::list<_tagSDeviceConfig> mDeviceList;
  std::list<_tagSSensorConfig> mSensorList;

 private:
  _tagSDeviceConfig* FindDeviceLocked(const std::wstring& path);
  _tagSSensorConfig* FindSensorLocked(const std::wstring& name);
  void RecordsEditedLocked() { mRecordEdits.fetch_add(1, std::memory_order_release); }

  std::atomic<std::uint64_t> mRecordEdits{0};

  // The first sensor record of each name, by name: a query of a policy of
  // many sensors does not walk them all. The keys are the records' own names.
  // It holds the first mSensorIndexedCount records of the list; a record
  // SetSensorConfig adds is indexed as it is added. A list replaced, or
  // grown by other means, is indexed again by the next lookup.
  static constexpr std::size_t kNotIndexed = static_cast<std::size_t>(-1);
  std::unordered_map<std::wstring_view, _tagSSensorConfig*> mSensorIndex;
  std::size_t mSensorIndexedCount = kNotIndexed;
};
