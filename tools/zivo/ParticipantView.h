// What a host sees of the participants from outside the manager: the records
// (GetAllDevices, GetAllSensors) and the links between them, read with
// GetDeviceList for every sensor and turned around for the devices (so that
// skin sensors, which GetSensorList leaves out, show on their devices too).
// Reading refreshes the records, as those operations do.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "zivorivizo/ParticipantRecords.h"

class CParticipantMgr;

// `sysfs`: the kernel's side of a Linux participant (SysfsDetails.h), null
// on other platforms.
// `failure`: why a participant has no name (FailedParticipants.h), else empty.
// `accessFailure`: the latest failed access to its files, in words
// (AccessFailure.h), else empty.
struct DeviceView {
  _tagSDevice record;
  std::vector<std::wstring> linkedSensors;
  nlohmann::json sysfs;
  std::string failure;
  std::string accessFailure;
};

struct SensorView {
  _tagSSensor record;
  std::vector<std::wstring> linkedDevices;
  nlohmann::json sysfs;
  std::string failure;
  std::string accessFailure;
};

struct ParticipantView {
  std::vector<DeviceView> devices;
  std::vector<SensorView> sensors;
};

ParticipantView ReadParticipants(CParticipantMgr& manager);

// The links of one participant, read the same way.
std::vector<std::wstring> LinkedDevicesOf(CParticipantMgr& manager, const std::wstring& sensor);
std::vector<std::wstring> LinkedSensorsOf(CParticipantMgr& manager, const std::wstring& device);

// JSON objects with the record field names, plus LinkedSensors or
// LinkedDevices, and Sysfs, Failure and AccessFailure when known.
nlohmann::json DeviceJson(const DeviceView& device);
nlohmann::json SensorJson(const SensorView& sensor);
// {"devices": [...], "sensors": [...]}.
nlohmann::json ParticipantsJson(const ParticipantView& view);

// The devices and the sensors as two aligned tables; the sysfs path and the
// kernel's values follow the name when known, the kernel's type text follows
// the type number. Unless `wide`, a name or path that is a sysfs path shows
// only its last folder ("thermal_zone3"), so that the table fits a terminal.
void PrintDeviceTable(FILE* out, const std::vector<DeviceView>& devices, bool wide = true);
void PrintSensorTable(FILE* out, const std::vector<SensorView>& sensors, bool wide = true);
// "Failed accesses:" and one line per participant with an accessFailure;
// nothing when none has one.
void PrintAccessFailures(FILE* out, const ParticipantView& view);

// The newest sample of a sensor, or null when it has none yet (the history
// starts with zero samples).
const _tagSTempSample* NewestSample(const _tagSSensor& sensor);
