// The registry of thermal participants: every device and sensor object the
// library has discovered, found by name. The host names a participant, the
// manager calls its operation, records success in the record's Valid field and
// hands back copies of records.
//
// Ownership: the manager owns the participants in its lists (the derived
// manager destroys what remains at its destruction; this base destroys none).
// Not thread-safe: callers serialise their calls.
#pragma once

#include <list>
#include <string>
#include <vector>

#include "zivorivizo/Device.h"
#include "zivorivizo/Export.h"
#include "zivorivizo/ParticipantRecords.h"
#include "zivorivizo/Sensor.h"

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
  virtual int AddSensor(std::wstring name) = 0;
  virtual int AddDevice(std::wstring name) = 0;

  int RemoveDevice(std::wstring name);
  int RemoveSensor(std::wstring name);
  int StartAllParticipants();
  int StopAllParticipants();
  int StartDevice(std::wstring name);
  int StopDevice(std::wstring name);
  int StartSensor(std::wstring name);
  int StopSensor(std::wstring name);
  int ShutdownDevice(std::wstring name, bool bShutdown);
  int GetAllDevices(std::vector<_tagSDevice>& out);
  int GetActiveDevices(std::vector<_tagSDevice>& out);
  int GetAllSensors(std::vector<_tagSSensor>& out);
  int GetDevice(std::wstring name, _tagSDevice& out);
  int SetDevice(const _tagSDevice& rec);
  int GetSensor(std::wstring name, _tagSSensor& out);
  int SetSensor(const _tagSSensor& rec);
  int GetDeviceList(std::wstring sensorName, std::vector<_tagSDevice>& out);
  int GetSensorList(std::wstring deviceName, std::vector<_tagSSensor>& out);
  int GetDevicesWithoutSensors(std::wstring skinSensorName, std::vector<_tagSDevice>& out);
  int RefreshSensor(std::wstring name);
  int GetCurrentTemperature(std::wstring name, int& temperature);

 protected:
  // Finds the first participant of that name; 101 / 102 and `out` unchanged
  // when there is none. No logging.
  int GetDevicePtr(std::wstring name, CDevice*& out);
  int GetSensorPtr(std::wstring name, CSensor*& out);

  std::list<CDevice*> mDeviceList;
  std::list<CSensor*> mSensorList;
  // History length of every sensor the manager creates; set by Init.
  int mHistoryLength = 0;

 private:
  virtual int UpdateSensorDeviceLinks() = 0;
};
