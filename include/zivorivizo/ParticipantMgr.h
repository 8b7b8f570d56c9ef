// The registry of thermal participants: every device and sensor object the
// library has discovered, found by name. The host names a participant, the
// manager calls its operation, records success in the record's Valid field and
// hands back copies of records.
//
// Ownership: the manager owns the participants in its lists (the derived
// manager destroys what remains at its destruction; this base destroys none).
// Not thread-safe: callers serialise their calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zivorivizo/Device.h"
#include "zivorivizo/Export.h"
#include "zivorivizo/ParticipantList.h"
#include "zivorivizo/ParticipantRecords.h"
#include "zivorivizo/Sensor.h"

using CDeviceList = CParticipantList<CDevice, &CDevice::mDevice>;
using CSensorList = CParticipantList<CSensor, &CSensor::mSensor>;

class ZIVO_EXPORT CParticipantMgr {
 public:
  CParticipantMgr();
  // Discards the lists; destroys no participant.
  virtual ~CParticipantMgr();
  // Copies share the participant objects.
  CParticipantMgr(const CParticipantMgr&) = default;
  CParticipantMgr& operator=(const CParticipantMgr&) = default;

  virtual int Init(int historyLength, int& status) = 0;
  virtual int Enumerate() = 0;
  virtual int AddSensor(const std::wstring& name) = 0;
  virtual int AddDevice(const std::wstring& name) = 0;

  // Results, for every operation below: 0 on success; 101 when no device and
  // 102 when no sensor has the name; 107 when a list the operation needs is
  // empty (108: the sensor list, GetAllSensors); otherwise the non-zero
  // result of the participant's own call, unchanged. A named operation acts
  // on the first participant of that name. Every call on a participant sets
  // its record's Valid to 1 on success and 0 on failure, except where said.
  // Output vectors are appended to, never emptied first.
  //
  // Names are taken by const reference (a host that passes a std::wstring or
  // a wide literal builds unchanged), so a lookup copies and allocates
  // nothing. The manager reads a name during the call only and keeps no
  // reference to it; RemoveDevice and RemoveSensor finish with it before
  // they destroy the participant, so a host may pass that participant's own
  // record name.

  // Unlinks the participant from every participant that refers to it, stops
  // it (its result is ignored) and destroys it. 101 / 102 when absent.
  int RemoveDevice(const std::wstring& name);
  int RemoveSensor(const std::wstring& name);
  // Starts (stops) every device, then every sensor. 107 when either list is
  // empty, nothing called; otherwise 0 whatever the calls returned: a failure
  // shows only in that participant's Valid and the log.
  int StartAllParticipants();
  int StopAllParticipants();
  // Start, Stop or Shutdown(bShutdown) of one participant: its result.
  int StartDevice(const std::wstring& name);
  int StopDevice(const std::wstring& name);
  int StartSensor(const std::wstring& name);
  int StopSensor(const std::wstring& name);
  int ShutdownDevice(const std::wstring& name, bool bShutdown);
  // Whole-list reads: refresh every device (GetActiveDevices: every device of
  // class 9 only; GetAllSensors: read every sensor's trip points) and append
  // a copy of each record, whether its read failed or not (Valid tells). The
  // result is that of the last read made: an earlier failure is not
  // returned, and GetActiveDevices returns 0 when no device is active.
  // 107 (108 for GetAllSensors) and nothing appended when the list is empty.
  int GetAllDevices(std::vector<_tagSDevice>& out);
  int GetActiveDevices(std::vector<_tagSDevice>& out);
  int GetAllSensors(std::vector<_tagSSensor>& out);
  // Refreshes one device: on success its record is copied to `out` and 0
  // returned; on a failed read `out` is left as it was and the read's result
  // returned.
  int GetDevice(const std::wstring& name, _tagSDevice& out);
  // Writes `rec`'s Current (no other field) to the device: the write's result.
  int SetDevice(const _tagSDevice& rec);
  // Reads one sensor's trip points and copies its record to `out`: 0 even
  // when the read failed; Valid in the copy is 0 then.
  int GetSensor(const std::wstring& name, _tagSSensor& out);
  // Writes `rec`'s TripPoints (no other field) to the sensor: the write's
  // result.
  int SetSensor(const _tagSSensor& rec);
  // The devices the sensor controls, each refreshed, in link order (a device
  // linked twice comes twice). 0 whatever the reads returned; 107 when either
  // list is empty.
  int GetDeviceList(const std::wstring& sensorName, std::vector<_tagSDevice>& out);
  // The sensors that watch the device, each with its trip points read, in
  // link order. Skin sensors (class 1) are left out: GetDevicesWithoutSensors
  // answers for them. 0 whatever the reads returned; 107 when either list is
  // empty.
  int GetSensorList(const std::wstring& deviceName, std::vector<_tagSSensor>& out);
  // The devices of every sensor of that name that no non-skin sensor
  // watches, each refreshed. Always 0: an unknown name appends nothing, and
  // so does a sensor that is not a skin sensor. Valid is left alone.
  int GetDevicesWithoutSensors(const std::wstring& skinSensorName, std::vector<_tagSDevice>& out);
  // Refresh of one sensor: its result, or 102. Valid is left alone.
  int RefreshSensor(const std::wstring& name);
  // The sensor's current temperature in `temperature`, which is 0 when the
  // sensor is absent (102) and otherwise what the read left there. The read's
  // result; Valid is left alone.
  int GetCurrentTemperature(const std::wstring& name, int& temperature);
  // The same read of the sensor at `position` in the list as it stood when
  // SensorListEdits() answered `listEdits` (GetAllSensors lists in that
  // order): a host that keeps what it listed reads its sensors with no name
  // looked up. 102 and `temperature` 0 once the list has changed since, or
  // when `position` is past its end.
  int GetCurrentTemperatureAt(std::size_t position, std::uint64_t listEdits, int& temperature);
  // Raised by every change of the sensor list (a sensor added, removed, the
  // list enumerated again): a host that keeps the names it listed lists them
  // again when this differs from what it was then.
  std::uint64_t SensorListEdits() const { return mSensorList.Edits(); }

 protected:
  // Finds the first participant of that name; 101 / 102 and `out` unchanged
  // when there is none. No logging.
  int GetDevicePtr(const std::wstring& name, CDevice*& out);
  int GetSensorPtr(const std::wstring& name, CSensor*& out);

  CDeviceList mDeviceList;
  CSensorList mSensorList;
  // History length of every sensor the manager creates; set by Init.
  int mHistoryLength = 0;

 private:
  virtual int UpdateSensorDeviceLinks() = 0;
};
