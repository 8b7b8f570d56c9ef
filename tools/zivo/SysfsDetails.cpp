#include "SysfsDetails.h"

#include <fcntl.h>

#include <algorithm>

#include <string>

#include "AccessFailure.h"
#include "Platform/Linux/SysfsAttribute.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Linux/SysfsUnits.h"

namespace {

nlohmann::json Text(int dir, const char* name) {
  std::string text;
  uint32_t error = 0;
  return ReadSysfsText(dir, name, text, error) ? nlohmann::json(text) : nlohmann::json();
}

nlohmann::json Number(int dir, const char* name) {
  int64_t value = 0;
  uint32_t error = 0;
  return ReadSysfsNumber(dir, name, value, error) ? nlohmann::json(value) : nlohmann::json();
}

// Far more than any zone has; bounds the walk on a strange tree.
constexpr int kMaxTrips = 256;

// Every trip_point_K of a zone, up to the first gap.
nlohmann::json Trips(int dir) {
  nlohmann::json trips = nlohmann::json::array();
  for (int k = 0; k < kMaxTrips; ++k) {
    const std::string prefix = "trip_point_" + std::to_string(k) + "_";
    if (!SysfsFileExists(dir, (prefix + "temp").c_str())) {
      break;
    }
    const nlohmann::json type = Text(dir, (prefix + "type").c_str());
    const nlohmann::json milli = Number(dir, (prefix + "temp").c_str());
    nlohmann::json temp;
    if (milli.is_number()) {
      if (const auto tenths = TemperatureFromMilliCelsius(milli.get<int64_t>())) {
        temp = *tenths;
      }
    }
    // Only passive and active trips are ever written; the others (critical,
    // hot, or a type that cannot be read) are the kernel's own protection.
    const bool aux = type == "passive" || type == "active";
    trips.push_back({{"id", k}, {"type", type}, {"temp", temp}, {"readOnly", !aux}});
  }
  return trips;
}

// An hwmon input's limits (tempN_max, _crit, _emergency) as read-only trips
// numbered by the input: shown, never aux trips, never written.
nlohmann::json Limits(int dir, const std::string& channel, uint32_t number) {
  nlohmann::json trips = nlohmann::json::array();
  for (const char* limit : {"max", "crit", "emergency"}) {
    const std::string file = channel + "_" + limit;
    if (!SysfsFileExists(dir, file.c_str())) {
      continue;
    }
    const nlohmann::json milli = Number(dir, file.c_str());
    nlohmann::json temp;
    if (milli.is_number()) {
      if (const auto tenths = TripFromMilliCelsius(milli.get<int64_t>())) {
        temp = *tenths;  // a garbage limit (some disks report 65261850 C) shows unreadable
      }
    }
    trips.push_back({{"id", number}, {"type", limit}, {"temp", temp}, {"readOnly", true}});
  }
  return trips;
}

nlohmann::json HwmonDetails(const _tagSThermalEntry& entry, int dir) {
  const uint32_t number = NumberAfterPrefix(entry.channel, "temp").value_or(0);
  nlohmann::json details = {
      {"path", entry.path + "/" + entry.channel + "_input"},
      {"type", entry.type.empty() ? entry.channel : entry.type},
      {"chip", entry.chip},
      {"trips", dir >= 0 ? Limits(dir, entry.channel, number) : nlohmann::json::array()}};
  if (entry.chip == "k10temp" && entry.type == "Tctl") {
    details["note"] = "Tctl can read up to 27 C above the die on some models";
  }
  return details;
}

}  // namespace

namespace {

std::optional<int32_t> LowestTripOfType(const nlohmann::json& details, const char* type) {
  std::optional<int32_t> lowest;
  if (!details.is_object() || !details.contains("trips")) {
    return lowest;
  }
  for (const nlohmann::json& trip : details.at("trips")) {
    if (trip.at("type") == type && trip.at("temp").is_number()) {
      const int32_t temp = trip.at("temp").get<int32_t>();
      lowest = lowest ? std::min(*lowest, temp) : temp;
    }
  }
  return lowest;
}

}  // namespace

std::optional<int32_t> CriticalTripOf(const nlohmann::json& details) {
  return LowestTripOfType(details, "critical");
}

std::optional<int32_t> ChipCriticalLimitOf(const nlohmann::json& details) {
  return LowestTripOfType(details, "crit");
}

nlohmann::json SysfsDetailsOf(CSysfsThermalView& view, const std::wstring& name) {
  const auto snapshot = view.Current();
  const _tagSThermalEntry* zone = snapshot->FindSensor(name);
  const _tagSThermalEntry* entry = zone != nullptr ? zone : snapshot->FindDevice(name);
  if (entry == nullptr) {
    return nullptr;
  }
  CUniqueFd dir(open(entry->path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK));
  if (zone != nullptr && !entry->channel.empty()) {
    return HwmonDetails(*entry, dir.Get());  // an hwmon temperature input
  }
  nlohmann::json details = {{"path", entry->path}, {"type", entry->type}};
  if (zone != nullptr) {
    details["policy"] = dir.Valid() ? Text(dir.Get(), "policy") : nullptr;
    details["mode"] = dir.Valid() ? Text(dir.Get(), "mode") : nullptr;
    details["trips"] = dir.Valid() ? Trips(dir.Get()) : nlohmann::json::array();
  } else if (entry->channel.rfind("pwm", 0) == 0) {
    // An hwmon fan channel: its tachometer of the same number, the mode it
    // is in, and whether it may be written at all.
    const std::string rpm = "fan" + entry->channel.substr(3) + "_input";
    const std::string enable = entry->channel + "_enable";
    uint32_t ignored = 0;
    const bool writable = dir.Valid() &&
                          CSysfsAttribute(dir.Get(), entry->channel).CheckWritable(ignored) &&
                          CSysfsAttribute(dir.Get(), enable).CheckWritable(ignored);
    details["max_state"] = nullptr;
    details["channel"] = entry->channel;
    details["rpm"] = dir.Valid() ? Number(dir.Get(), rpm.c_str()) : nullptr;
    details["pwm"] = dir.Valid() ? Number(dir.Get(), entry->channel.c_str()) : nullptr;
    details["pwm_enable"] = dir.Valid() ? Number(dir.Get(), enable.c_str()) : nullptr;
    details["readOnly"] = !writable;
  } else {
    details["max_state"] = dir.Valid() ? Number(dir.Get(), "max_state") : nullptr;
  }
  return details;
}

void FillSysfsDetails(ParticipantView& view, CSysfsThermalView& thermal) {
  for (DeviceView& device : view.devices) {
    device.sysfs = SysfsDetailsOf(thermal, device.record.Name);
    device.accessFailure = AccessFailureText(device.record.Name);
  }
  for (SensorView& sensor : view.sensors) {
    sensor.sysfs = SysfsDetailsOf(thermal, sensor.record.Name);
    sensor.accessFailure = AccessFailureText(sensor.record.Name);
  }
}
