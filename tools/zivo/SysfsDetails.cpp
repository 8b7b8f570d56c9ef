#include "SysfsDetails.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "AccessFailure.h"
#include "zivorivizo/LinuxSysfsFolder.h"
#include "zivorivizo/LinuxSysfsView.h"
#include "zivorivizo/SysfsUnits.h"

namespace {

nlohmann::json Text(const CLinuxSysfsFolder& dir, const std::string& name) {
  std::string text;
  return dir.ReadText(name, text) ? nlohmann::json(text) : nlohmann::json();
}

nlohmann::json Number(const CLinuxSysfsFolder& dir, const std::string& name) {
  int64_t value = 0;
  return dir.ReadNumber(name, value) ? nlohmann::json(value) : nlohmann::json();
}

// N of an attribute prefix "tempN"; 0 when `channel` is not `prefix` and digits.
uint32_t ChannelNumber(const std::string& channel, const std::string& prefix) {
  uint32_t number = 0;
  if (channel.rfind(prefix, 0) != 0 || channel.size() == prefix.size()) {
    return 0;
  }
  const char* end = channel.data() + channel.size();
  const auto [at, error] = std::from_chars(channel.data() + prefix.size(), end, number);
  return error == std::errc() && at == end ? number : 0;
}

// Far more than any zone has; bounds the walk on a strange tree.
constexpr int kMaxTrips = 256;

// Every trip_point_K of a zone, up to the first gap.
nlohmann::json Trips(const CLinuxSysfsFolder& dir) {
  nlohmann::json trips = nlohmann::json::array();
  for (int k = 0; k < kMaxTrips; ++k) {
    const std::string prefix = "trip_point_" + std::to_string(k) + "_";
    if (!dir.Exists(prefix + "temp")) {
      break;
    }
    const nlohmann::json type = Text(dir, prefix + "type");
    const nlohmann::json milli = Number(dir, prefix + "temp");
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
nlohmann::json Limits(const CLinuxSysfsFolder& dir, const std::string& channel, uint32_t number) {
  nlohmann::json trips = nlohmann::json::array();
  for (const char* limit : {"max", "crit", "emergency"}) {
    const std::string file = channel + "_" + limit;
    if (!dir.Exists(file)) {
      continue;
    }
    const nlohmann::json milli = Number(dir, file);
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

nlohmann::json HwmonDetails(const LinuxSysfsEntry& entry, const CLinuxSysfsFolder& dir) {
  const uint32_t number = ChannelNumber(entry.channel, "temp");
  nlohmann::json details = {{"path", entry.folder + "/" + entry.channel + "_input"},
                            {"type", entry.type.empty() ? entry.channel : entry.type},
                            {"chip", entry.chip},
                            {"trips", Limits(dir, entry.channel, number)}};
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

nlohmann::json SysfsDetailsOf(const CLinuxSysfsView& view, const std::wstring& name) {
  const std::optional<LinuxSysfsEntry> entry = view.Find(name);
  if (!entry) {
    return nullptr;
  }
  // A folder that does not open reads as nothing: every attribute null, no trips.
  const CLinuxSysfsFolder dir(entry->folder);
  if (entry->sensor && !entry->channel.empty()) {
    return HwmonDetails(*entry, dir);  // an hwmon temperature input
  }
  nlohmann::json details = {{"path", entry->folder}, {"type", entry->type}};
  if (entry->sensor) {
    details["policy"] = Text(dir, "policy");
    details["mode"] = Text(dir, "mode");
    details["trips"] = Trips(dir);
  } else if (entry->channel.rfind("pwm", 0) == 0) {
    // An hwmon fan channel: its tachometer of the same number, the mode it
    // is in, and whether it may be written at all.
    const std::string rpm = "fan" + entry->channel.substr(3) + "_input";
    const std::string enable = entry->channel + "_enable";
    details["max_state"] = nullptr;
    details["channel"] = entry->channel;
    details["rpm"] = Number(dir, rpm);
    details["pwm"] = Number(dir, entry->channel);
    details["pwm_enable"] = Number(dir, enable);
    details["readOnly"] = !(dir.Writable(entry->channel) && dir.Writable(enable));
  } else {
    details["max_state"] = Number(dir, "max_state");
  }
  return details;
}

void FillSysfsDetails(ParticipantView& view, const CLinuxSysfsView& thermal) {
  for (DeviceView& device : view.devices) {
    device.sysfs = SysfsDetailsOf(thermal, device.record.Name);
    device.accessFailure = AccessFailureText(device.record.Name);
  }
  for (SensorView& sensor : view.sensors) {
    sensor.sysfs = SysfsDetailsOf(thermal, sensor.record.Name);
    sensor.accessFailure = AccessFailureText(sensor.record.Name);
  }
}
