#include "ParticipantView.h"
#include "JsonText.h"

#include <algorithm>
#include <unordered_map>

#include "TextTable.h"
#include "zivorivizo/ParticipantMgr.h"
#include "zivorivizo/Text.h"

namespace {

std::vector<std::wstring> Names(const std::vector<_tagSDevice>& devices) {
  std::vector<std::wstring> names;
  for (const _tagSDevice& device : devices) {
    names.push_back(device.Name);
  }
  return names;
}

// A kernel value as a table shows it: "-" when it could not be read.
// A key the participant's source does not have (an hwmon input has no
// governor) shows like a value that cannot be read.
std::string Cell(const nlohmann::json& details, const char* key) {
  if (!details.contains(key)) {
    return "-";
  }
  const nlohmann::json& value = details.at(key);
  if (value.is_null()) {
    return "-";
  }
  return value.is_string() ? value.get<std::string>() : JsonText(value);
}

template <typename View>
bool AnySysfs(const std::vector<View>& views) {
  for (const View& view : views) {
    if (!view.sysfs.is_null()) {
      return true;
    }
  }
  return false;
}

// The columns `keys` of `details`, or "-" for a participant without them.
void AddSysfsCells(std::vector<std::string>& row, const nlohmann::json& details,
                   std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    row.push_back(details.is_null() ? "-" : Cell(details, key));
  }
}

// A name as a table shows it: in full when `wide`, else a path's last folder.
std::string Shown(const std::string& name, bool wide) {
  const std::size_t slash = name.find_last_of('/');
  return wide || slash == std::string::npos || slash + 1 == name.size() ? name
                                                                        : name.substr(slash + 1);
}

std::string JoinShown(const std::vector<std::wstring>& names, bool wide) {
  std::string joined;
  for (const std::wstring& name : names) {
    joined += (joined.empty() ? "" : ", ") + Shown(ToUtf8(name), wide);
  }
  return joined.empty() ? "-" : joined;
}

// The type number, and the kernel's type text when known: "9 (Fan)".
std::string TypeCell(uint32_t type, const nlohmann::json& sysfs) {
  std::string cell = std::to_string(type);
  if (sysfs.is_object() && sysfs.contains("type") && sysfs.at("type").is_string()) {
    cell += " (" + sysfs.at("type").get<std::string>() + ")";
  }
  if (sysfs.is_object() && sysfs.contains("note") && sysfs.at("note").is_string()) {
    cell += " [" + sysfs.at("note").get<std::string>() + "]";
  }
  return cell;
}

// The trips a table shows: on Linux every trip of the zone with its type
// ("1 critical 105.0 °C (3782) read-only"), else the record's aux trips
// ("0: 75.0 °C (3482)").
std::string TripsCell(const SensorView& sensor) {
  std::string trips;
  if (sensor.sysfs.is_object() && sensor.sysfs.contains("trips")) {
    for (const nlohmann::json& trip : sensor.sysfs.at("trips")) {
      const nlohmann::json& temp = trip.at("temp");
      trips += (trips.empty() ? "" : ", ") + std::to_string(trip.at("id").get<int>()) + " " +
               (trip.at("type").is_string() ? trip.at("type").get<std::string>() : "?") + " " +
               (temp.is_number() ? Temperature(temp.get<int32_t>()) : "unreadable") +
               (trip.at("readOnly").get<bool>() ? " read-only" : "");
    }
  } else {
    for (const _tagSAuxTrip& trip : sensor.record.TripPoints) {
      trips += (trips.empty() ? "" : ", ") + std::to_string(trip.AuxType) + ": " +
               Temperature(trip.Temp);
    }
  }
  return trips.empty() ? "-" : trips;
}

nlohmann::json NameList(const std::vector<std::wstring>& names) {
  nlohmann::json list = nlohmann::json::array();
  for (const std::wstring& name : names) {
    list.push_back(ToUtf8(name));
  }
  return list;
}

}  // namespace

ParticipantView ReadParticipants(CParticipantMgr& manager) {
  ParticipantView view;
  std::vector<_tagSDevice> devices;
  std::vector<_tagSSensor> sensors;
  manager.GetAllDevices(devices);
  manager.GetAllSensors(sensors);
  for (_tagSDevice& device : devices) {
    view.devices.push_back({std::move(device), {}, nullptr, {}, {}});
  }
  for (_tagSSensor& sensor : sensors) {
    SensorView entry{std::move(sensor), {}, nullptr, {}, {}};
    entry.linkedDevices = LinkedDevicesOf(manager, entry.record.Name);
    view.sensors.push_back(std::move(entry));
  }
  // A device is found by its first name, as the manager finds it.
  std::unordered_map<std::wstring, std::size_t> firstByName;
  for (std::size_t d = view.devices.size(); d-- > 0;) {
    firstByName[view.devices[d].record.Name] = d;
  }
  for (const SensorView& sensor : view.sensors) {
    for (const std::wstring& name : sensor.linkedDevices) {
      auto found = firstByName.find(name);
      if (found != firstByName.end()) {
        view.devices[found->second].linkedSensors.push_back(sensor.record.Name);
      }
    }
  }
  return view;
}

std::vector<std::wstring> LinkedDevicesOf(CParticipantMgr& manager, const std::wstring& sensor) {
  std::vector<_tagSDevice> linked;
  manager.GetDeviceList(sensor, linked);
  return Names(linked);
}

std::vector<std::wstring> LinkedSensorsOf(CParticipantMgr& manager, const std::wstring& device) {
  std::vector<std::wstring> linked;
  std::vector<_tagSSensor> sensors;
  manager.GetAllSensors(sensors);
  for (const _tagSSensor& sensor : sensors) {
    for (const std::wstring& name : LinkedDevicesOf(manager, sensor.Name)) {
      if (name == device) {
        linked.push_back(sensor.Name);
      }
    }
  }
  return linked;
}

nlohmann::json DeviceJson(const DeviceView& device) {
  const _tagSDevice& r = device.record;
  nlohmann::json json = {{"Name", ToUtf8(r.Name)},
                         {"Caps", r.Caps},
                         {"Current", r.Current},
                         {"Max", r.Max},
                         {"Class", r.Class},
                         {"Valid", r.Valid},
                         {"LinkedSensors", NameList(device.linkedSensors)}};
  if (!device.sysfs.is_null()) {
    json["Sysfs"] = device.sysfs;
  }
  if (!device.failure.empty()) {
    json["Failure"] = device.failure;
  }
  if (!device.accessFailure.empty()) {
    json["AccessFailure"] = device.accessFailure;
  }
  return json;
}

nlohmann::json SensorJson(const SensorView& sensor) {
  const _tagSSensor& r = sensor.record;
  nlohmann::json trips = nlohmann::json::array();
  for (const _tagSAuxTrip& trip : r.TripPoints) {
    trips.push_back({{"AuxType", trip.AuxType}, {"Temp", trip.Temp}});
  }
  nlohmann::json history = nlohmann::json::array();
  for (const _tagSTempSample& sample : r.TempHistory) {
    // The history is a fixed ring; the slots not yet written hold zeros and
    // are no readings.
    if (sample.Temp == 0 && sample.TimeStamp == 0) {
      continue;
    }
    history.push_back({{"Temp", sample.Temp}, {"TimeStamp", sample.TimeStamp}});
  }
  nlohmann::json json = {{"Name", ToUtf8(r.Name)},
                         {"Caps", r.Caps},
                         {"Base", r.Base},
                         {"Devices", NameList(r.Devices)},
                         {"TripPoints", trips},
                         {"Class", r.Class},
                         {"Valid", r.Valid},
                         {"TempHistory", history},
                         {"LinkedDevices", NameList(sensor.linkedDevices)}};
  if (!sensor.sysfs.is_null()) {
    json["Sysfs"] = sensor.sysfs;
  }
  if (!sensor.failure.empty()) {
    json["Failure"] = sensor.failure;
  }
  if (!sensor.accessFailure.empty()) {
    json["AccessFailure"] = sensor.accessFailure;
  }
  return json;
}

nlohmann::json ParticipantsJson(const ParticipantView& view) {
  nlohmann::json devices = nlohmann::json::array();
  nlohmann::json sensors = nlohmann::json::array();
  for (const DeviceView& device : view.devices) {
    devices.push_back(DeviceJson(device));
  }
  for (const SensorView& sensor : view.sensors) {
    sensors.push_back(SensorJson(sensor));
  }
  return {{"devices", devices}, {"sensors", sensors}};
}

const _tagSTempSample* NewestSample(const _tagSSensor& sensor) {
  if (sensor.TempHistory.empty()) {
    return nullptr;
  }
  const _tagSTempSample& newest = sensor.TempHistory.front();
  return newest.Temp == 0 && newest.TimeStamp == 0 ? nullptr : &newest;
}

// An hwmon fan channel's tachometer, and whether the channel is read-only.
std::string FanCell(const nlohmann::json& details) {
  if (!details.is_object() || !details.contains("channel")) {
    return "-";
  }
  std::string cell = details["rpm"].is_number() ? JsonText(details["rpm"]) + " RPM" : "no RPM";
  return details.value("readOnly", false) ? cell + ", read-only" : cell;
}

void PrintDeviceTable(FILE* out, const std::vector<DeviceView>& devices, bool wide) {
  const bool sysfs = AnySysfs(devices);
  const bool fans = std::any_of(devices.begin(), devices.end(), [](const DeviceView& device) {
    return device.sysfs.is_object() && device.sysfs.contains("channel");
  });
  CTextTable table;
  table.AddColumn("Device");
  if (sysfs) {
    table.AddColumn("Sysfs path");
    table.AddColumn("max_state", CTextTable::Align::Right);
  }
  if (fans) {
    table.AddColumn("Fan", CTextTable::Align::Right);
  }
  table.AddColumn("Type", CTextTable::Align::Right);
  table.AddColumn("Caps", CTextTable::Align::Right);
  table.AddColumn("State", CTextTable::Align::Right);
  table.AddColumn("Valid", CTextTable::Align::Right);
  table.AddColumn("Linked sensors");
  for (const DeviceView& device : devices) {
    const _tagSDevice& r = device.record;
    std::vector<std::string> row{device.failure.empty() ? Shown(ToUtf8(r.Name), wide)
                                                        : "(failed) " + device.failure};
    if (sysfs) {
      AddSysfsCells(row, device.sysfs, {"path", "max_state"});
      row[1] = Shown(row[1], wide);
    }
    if (fans) {
      row.push_back(FanCell(device.sysfs));
    }
    row.insert(row.end(), {TypeCell(r.Class, device.sysfs), std::to_string(r.Caps),
                           std::to_string(r.Current) + " of " + std::to_string(r.Max),
                           std::to_string(r.Valid), JoinShown(device.linkedSensors, wide)});
    table.AddRow(row);
  }
  table.Print(out);
}

void PrintSensorTable(FILE* out, const std::vector<SensorView>& sensors, bool wide) {
  const bool sysfs = AnySysfs(sensors);
  CTextTable table;
  table.AddColumn("Sensor");
  if (sysfs) {
    table.AddColumn("Sysfs path");
    table.AddColumn("Policy");
    table.AddColumn("Mode");
  }
  table.AddColumn("Type", CTextTable::Align::Right);
  table.AddColumn("Base", CTextTable::Align::Right);
  table.AddColumn("Temperature", CTextTable::Align::Right);
  table.AddColumn("Trip points");
  table.AddColumn("Valid", CTextTable::Align::Right);
  table.AddColumn("Linked devices");
  for (const SensorView& sensor : sensors) {
    const _tagSSensor& r = sensor.record;
    const _tagSTempSample* newest = NewestSample(r);
    std::vector<std::string> row{sensor.failure.empty() ? Shown(ToUtf8(r.Name), wide)
                                                        : "(failed) " + sensor.failure};
    if (sysfs) {
      AddSysfsCells(row, sensor.sysfs, {"path", "policy", "mode"});
      row[1] = Shown(row[1], wide);
    }
    row.insert(row.end(), {TypeCell(r.Class, sensor.sysfs), std::to_string(r.Base),
                           newest ? Temperature(newest->Temp) : "no reading", TripsCell(sensor),
                           std::to_string(r.Valid), JoinShown(sensor.linkedDevices, wide)});
    table.AddRow(row);
  }
  table.Print(out);
}

void PrintAccessFailures(FILE* out, const ParticipantView& view) {
  std::vector<std::string> lines;
  for (const DeviceView& device : view.devices) {
    if (!device.accessFailure.empty()) {
      lines.push_back(ToUtf8(device.record.Name) + ": " + device.accessFailure);
    }
  }
  for (const SensorView& sensor : view.sensors) {
    if (!sensor.accessFailure.empty()) {
      lines.push_back(ToUtf8(sensor.record.Name) + ": " + sensor.accessFailure);
    }
  }
  if (lines.empty()) {
    return;
  }
  std::fprintf(out, "\nFailed accesses:\n");
  for (const std::string& line : lines) {
    std::fprintf(out, "  %s\n", TerminalText(line).c_str());
  }
}
