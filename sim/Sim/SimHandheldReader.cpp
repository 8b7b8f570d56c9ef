// Reads a handheld description (docs/simulated-handheld.md) into the
// handheld's participants, registry values and timeline, refusing the first
// thing it cannot use with the place where it stands.
#include "zivorivizo-sim/SimHandheld.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "Platform/Text.h"
#include "Sim/HandheldDescription.h"

namespace {

using json = nlohmann::json;

// Tenths of kelvin of -273.2 and 3000.0 degrees Celsius.
constexpr int32_t kMinTenths = 0;
constexpr int32_t kMaxTenths = CSimHandheld::kMaxTemp;
// What the registry's 128-byte path buffer holds.
constexpr std::size_t kMaxPathChars = 63;

struct _tagSRefusal {
  std::string place;
  std::string problem;
};

std::string Describe(const json& value) {
  std::string text = value.dump();
  if (text.size() > 40) {
    text = text.substr(0, 37) + "...";
  }
  return text;
}

}  // namespace

// Turns the JSON document into the handheld's participants, refusing the
// first thing it cannot use with the place where it stands.
class CHandheldReader {
 public:
  explicit CHandheldReader(CSimHandheld& handheld) : mHandheld(handheld) {}

  void Read(const json& root) {
    if (!root.is_object()) {
      Refuse("top level", "the description must be a JSON object, not " + Describe(root));
    }
    Known(root, "",
          {"name", "velmarstatus", "step_seconds", "ambient", "devices", "sensors", "registry",
           "timeline"});
    if (root.contains("name")) {
      mHandheld.mName = Text(root["name"], "name");
    }
    if (root.contains("velmarstatus")) {
      mHandheld.mVelmarStatus =
          static_cast<int32_t>(Integer(root["velmarstatus"], "velmarstatus", -32768, 32767));
    }
    if (root.contains("step_seconds")) {
      mHandheld.mStepSeconds =
          static_cast<uint32_t>(Integer(root["step_seconds"], "step_seconds", 1, 3600));
    }
    if (root.contains("ambient")) {
      mHandheld.mAmbient = Temperature(root["ambient"], "ambient");
    }
    if (root.contains("devices")) {
      const json& devices = List(root["devices"], "devices");
      for (std::size_t i = 0; i < devices.size(); ++i) {
        mHandheld.mDevices.push_back(ReadDevice(devices[i], Index("devices", i)));
      }
    }
    if (root.contains("sensors")) {
      const json& sensors = List(root["sensors"], "sensors");
      for (std::size_t i = 0; i < sensors.size(); ++i) {
        mHandheld.mSensors.push_back(ReadSensor(sensors[i], Index("sensors", i)));
      }
    }
    CheckCoolers();
    if (root.contains("registry")) {
      const json& keys = List(root["registry"], "registry");
      for (std::size_t i = 0; i < keys.size(); ++i) {
        ReadRegistryKey(keys[i], Index("registry", i));
      }
    }
    if (root.contains("timeline")) {
      ReadTimeline(List(root["timeline"], "timeline"));
    }
  }

 private:
  [[noreturn]] static void Refuse(std::string place, std::string problem) {
    throw _tagSRefusal{std::move(place), std::move(problem)};
  }

  static std::string Index(const std::string& place, std::size_t i) {
    return place + "[" + std::to_string(i) + "]";
  }
  static std::string Member(const std::string& place, const std::string& key) {
    return place.empty() ? key : place + "." + key;
  }

  // Every key of `object` must be one of `keys`: a misspelt key is refused
  // rather than silently ignored.
  static void Known(const json& object, const std::string& place,
                    std::initializer_list<const char*> keys) {
    for (auto it = object.begin(); it != object.end(); ++it) {
      const std::string& key = it.key();
      if (std::none_of(keys.begin(), keys.end(), [&](const char* k) { return key == k; })) {
        std::string list;
        for (const char* k : keys) {
          list += (list.empty() ? "" : ", ") + std::string(k);
        }
        Refuse(Member(place, key), "unknown key (known here: " + list + ")");
      }
    }
  }

  static const json& List(const json& value, const std::string& place) {
    if (!value.is_array()) {
      Refuse(place, "must be a list, not " + Describe(value));
    }
    return value;
  }

  static std::string Text(const json& value, const std::string& place) {
    if (!value.is_string()) {
      Refuse(place, "must be a text, not " + Describe(value));
    }
    return value.get<std::string>();
  }

  static bool Flag(const json& value, const std::string& place) {
    if (!value.is_boolean()) {
      Refuse(place, "must be true or false, not " + Describe(value));
    }
    return value.get<bool>();
  }

  static int64_t Integer(const json& value, const std::string& place, int64_t low, int64_t high) {
    const std::string range =
        "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
    if (!value.is_number_integer()) {
      Refuse(place, "must be " + range + ", not " + Describe(value));
    }
    int64_t number = 0;
    if (value.is_number_unsigned()) {
      const auto u = value.get<uint64_t>();
      if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        Refuse(place, "must be " + range + ", not " + Describe(value));
      }
      number = static_cast<int64_t>(u);
    } else {
      number = value.get<int64_t>();
    }
    if (number < low || number > high) {
      Refuse(place, "must be " + range + ", not " + std::to_string(number));
    }
    return number;
  }

  static uint32_t Word(const json& value, const std::string& place) {
    return static_cast<uint32_t>(Integer(value, place, 0, 0xFFFFFFFFll));
  }

  // Degrees Celsius with at most one decimal, as tenths of kelvin.
  static int32_t Temperature(const json& value, const std::string& place) {
    if (!value.is_number()) {
      Refuse(place, "must be a temperature in degrees Celsius, not " + Describe(value));
    }
    const double tenths = value.get<double>() * 10.0;
    const double rounded = std::round(tenths);
    if (std::fabs(tenths - rounded) > 1e-6) {
      Refuse(place, "has more than one decimal: " + Describe(value));
    }
    const double kelvin = rounded + 2732.0;
    if (kelvin < kMinTenths || kelvin > kMaxTenths) {
      Refuse(place, "must be from -273.2 to 3000.0 degrees Celsius, not " + Describe(value));
    }
    return static_cast<int32_t>(kelvin);
  }

  // A change per step in degrees Celsius, as tenths.
  static int32_t Rate(const json& value, const std::string& place) {
    if (!value.is_number()) {
      Refuse(place, "must be degrees Celsius per step, not " + Describe(value));
    }
    const double tenths = value.get<double>() * 10.0;
    const double rounded = std::round(tenths);
    if (std::fabs(tenths - rounded) > 1e-6) {
      Refuse(place, "has more than one decimal: " + Describe(value));
    }
    if (rounded < 0 || rounded > 10000) {
      Refuse(place, "must be from 0 to 1000.0 degrees per step, not " + Describe(value));
    }
    return static_cast<int32_t>(rounded);
  }

  // "wmi" or "path", exactly one, with the checks that keep names unique.
  void ReadIdentity(const json& object, const std::string& place,
                    _tagSHandheldParticipant& participant) {
    const bool wmi = object.contains("wmi");
    const bool path = object.contains("path");
    if (wmi == path) {
      Refuse(place, wmi ? "has both \"wmi\" and \"path\"; give one"
                        : "needs \"wmi\" (a firmware participant number) or \"path\" (a "
                          "registry-listed driver)");
    }
    if (wmi) {
      participant.firmware = true;
      participant.number =
          static_cast<int32_t>(Integer(object["wmi"], Member(place, "wmi"), 0, 999999));
      participant.name = CSimHandheld::FirmwareName(participant.number);
      auto [it, fresh] = mNumbers.emplace(participant.number, Member(place, "wmi"));
      if (!fresh) {
        Refuse(Member(place, "wmi"), "number " + std::to_string(participant.number) +
                                         " is already used by " + it->second);
      }
    } else {
      const std::string text = Text(object["path"], Member(place, "path"));
      if (text.empty()) {
        Refuse(Member(place, "path"), "must not be empty");
      }
      participant.name = FromUtf8(text);
      if (participant.name.size() > kMaxPathChars) {
        Refuse(Member(place, "path"),
               "has " + std::to_string(participant.name.size()) +
                   " characters; the parameters key holds paths of at most 63");
      }
      auto [it, fresh] = mPaths.emplace(text, Member(place, "path"));
      if (!fresh) {
        Refuse(Member(place, "path"), "\"" + text + "\" is already used by " + it->second);
      }
    }
    if (object.contains("label")) {
      participant.label = Text(object["label"], Member(place, "label"));
    }
    if (object.contains("caps")) {
      participant.caps = Word(object["caps"], Member(place, "caps"));
    }
    if (object.contains("type")) {
      participant.type = Word(object["type"], Member(place, "type"));
    }
    if (object.contains("hotplug")) {
      participant.hotplug = Flag(object["hotplug"], Member(place, "hotplug"));
    }
  }

  _tagSHandheldParticipant ReadDevice(const json& object, const std::string& place) {
    if (!object.is_object()) {
      Refuse(place, "a device must be a JSON object, not " + Describe(object));
    }
    Known(object, place, {"wmi", "path", "label", "caps", "type", "current", "maximum", "hotplug"});
    _tagSHandheldParticipant device;
    ReadIdentity(object, place, device);
    if (!object.contains("maximum")) {
      Refuse(place, "needs \"maximum\", the highest throttle state");
    }
    device.maximum = Word(object["maximum"], Member(place, "maximum"));
    if (object.contains("current")) {
      device.current = Word(object["current"], Member(place, "current"));
      if (device.current > device.maximum) {
        Refuse(Member(place, "current"), "throttle state " + std::to_string(device.current) +
                                             " is above the maximum " +
                                             std::to_string(device.maximum));
      }
    }
    mDeviceNames.insert(device.name);
    return device;
  }

  _tagSHandheldParticipant ReadSensor(const json& object, const std::string& place) {
    if (!object.is_object()) {
      Refuse(place, "a sensor must be a JSON object, not " + Describe(object));
    }
    Known(object, place,
          {"wmi", "path", "label", "caps", "type", "hotplug", "base", "devices", "trips",
           "aux_count", "readings", "temperature", "heat", "cooling", "cooled_by"});
    _tagSHandheldParticipant sensor;
    ReadIdentity(object, place, sensor);
    if (object.contains("base")) {
      sensor.base = static_cast<uint16_t>(Integer(object["base"], Member(place, "base"), 0, 2));
    }
    if (object.contains("devices")) {
      ReadSensorDevices(object["devices"], Member(place, "devices"), sensor);
    }
    if (object.contains("trips")) {
      ReadSensorTrips(object["trips"], Member(place, "trips"), sensor);
    }
    sensor.auxCount = static_cast<uint32_t>(sensor.trips.size());
    if (object.contains("aux_count")) {
      if (sensor.firmware) {
        Refuse(Member(place, "aux_count"), "only a registry-listed driver reports an aux count");
      }
      sensor.auxCount = Word(object["aux_count"], Member(place, "aux_count"));
    }
    if (object.contains("readings")) {
      ReadFixedReadings(object, place, sensor);
    } else {
      ReadLoadModel(object, place, sensor);
    }
    return sensor;
  }

  void ReadSensorDevices(const json& value, const std::string& at,
                         _tagSHandheldParticipant& sensor) {
    const json& numbers = List(value, at);
    if (!sensor.firmware && numbers.size() > 5) {
      Refuse(at,
             "a driver reports at most 5 device numbers, not " + std::to_string(numbers.size()));
    }
    for (std::size_t i = 0; i < numbers.size(); ++i) {
      sensor.devices.push_back(static_cast<uint32_t>(
          Integer(numbers[i], Index(at, i), 0, sensor.firmware ? 999999 : 0xFFFF)));
    }
  }

  void ReadSensorTrips(const json& value, const std::string& at, _tagSHandheldParticipant& sensor) {
    const json& trips = List(value, at);
    if (!sensor.firmware && trips.size() > 2) {
      Refuse(at, "a driver holds at most 2 trip points, not " + std::to_string(trips.size()));
    }
    for (std::size_t i = 0; i < trips.size(); ++i) {
      const std::string tripAt = Index(at, i);
      if (!trips[i].is_object()) {
        Refuse(tripAt,
               "a trip point must be { \"id\": N, \"temp\": C }, not " + Describe(trips[i]));
      }
      Known(trips[i], tripAt, {"id", "temp"});
      if (!trips[i].contains("id") || !trips[i].contains("temp")) {
        Refuse(tripAt, "a trip point needs \"id\" and \"temp\"");
      }
      _tagSHandheldTrip trip;
      trip.id = static_cast<uint32_t>(Integer(trips[i]["id"], Member(tripAt, "id"), 0, 0xFFFF));
      trip.temp = Temperature(trips[i]["temp"], Member(tripAt, "temp"));
      sensor.trips.push_back(trip);
    }
  }

  void ReadFixedReadings(const json& object, const std::string& place,
                         _tagSHandheldParticipant& sensor) {
    for (const char* model : {"temperature", "heat", "cooling", "cooled_by"}) {
      if (object.contains(model)) {
        Refuse(Member(place, model),
               "a sensor with fixed \"readings\" is not heated by the load model");
      }
    }
    const std::string at = Member(place, "readings");
    const json& readings = List(object["readings"], at);
    if (readings.empty()) {
      Refuse(at, "needs at least one reading");
    }
    for (std::size_t i = 0; i < readings.size(); ++i) {
      sensor.readings.push_back(Temperature(readings[i], Index(at, i)));
    }
    sensor.start = sensor.readings.back();
  }

  void ReadLoadModel(const json& object, const std::string& place,
                     _tagSHandheldParticipant& sensor) {
    sensor.start = object.contains("temperature")
                       ? Temperature(object["temperature"], Member(place, "temperature"))
                       : mHandheld.mAmbient;
    if (object.contains("heat")) {
      sensor.heat = Rate(object["heat"], Member(place, "heat"));
    }
    if (object.contains("cooling")) {
      sensor.cooling = Rate(object["cooling"], Member(place, "cooling"));
    }
    if (object.contains("cooled_by")) {
      const std::string at = Member(place, "cooled_by");
      const json& names = List(object["cooled_by"], at);
      for (std::size_t i = 0; i < names.size(); ++i) {
        sensor.cooledBy.push_back(FromUtf8(Text(names[i], Index(at, i))));
      }
    }
  }

  // Devices are read before sensors, so every device name is known here.
  void CheckCoolers() {
    for (std::size_t s = 0; s < mHandheld.mSensors.size(); ++s) {
      const auto& names = mHandheld.mSensors[s].cooledBy;
      for (std::size_t i = 0; i < names.size(); ++i) {
        if (mDeviceNames.count(names[i]) == 0) {
          Refuse(Index(Index("sensors", s) + ".cooled_by", i),
                 "\"" + ToUtf8(names[i]) + "\" names no device of the handheld");
        }
      }
    }
  }

  void ReadRegistryKey(const json& object, const std::string& place) {
    if (!object.is_object()) {
      Refuse(place, "a registry entry must be { \"key\": ..., \"values\": {...} }, not " +
                        Describe(object));
    }
    Known(object, place, {"key", "values"});
    if (!object.contains("key")) {
      Refuse(place, "needs \"key\", a key path under HKEY_LOCAL_MACHINE");
    }
    const std::wstring key = FromUtf8(Text(object["key"], Member(place, "key")));
    if (key.empty()) {
      Refuse(Member(place, "key"), "must not be empty");
    }
    mHandheld.mRegistry.push_back({key, L"", false, 0, L""});
    if (!object.contains("values")) {
      return;
    }
    const std::string at = Member(place, "values");
    const json& values = object["values"];
    if (!values.is_object()) {
      Refuse(at, "must be a JSON object of value names, not " + Describe(values));
    }
    for (const auto& [name, value] : values.items()) {
      _tagSHandheldRegistryValue entry{key, FromUtf8(name), false, 0, L""};
      if (value.is_string()) {
        entry.isString = true;
        entry.text = FromUtf8(value.get<std::string>());
      } else if (value.is_number_integer()) {
        entry.dword = Word(value, Member(at, name));
      } else {
        Refuse(Member(at, name),
               "must be a whole number (REG_DWORD) or a text (REG_SZ), not " + Describe(value));
      }
      mHandheld.mRegistry.push_back(std::move(entry));
    }
  }

  // The longest a timeline runs: one day of simulated time.
  static constexpr double kMaxTimelineSeconds = 86400.0;

  void ReadTimeline(const json& entries) {
    struct Placed {
      SimTimelineEvent event;
      std::string place;
    };
    std::vector<Placed> placed;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::string place = Index("timeline", i);
      placed.push_back({ReadTimelineEntry(entries[i], place), place});
    }
    // Played in time order; entries due at the same time keep the file's order.
    std::stable_sort(placed.begin(), placed.end(),
                     [](const Placed& a, const Placed& b) { return a.event.atMs < b.event.atMs; });
    // Who is there as the timeline goes on: an arrival needs an absent
    // participant, everything else a present one.
    std::map<std::wstring, bool> present;
    for (const auto* list : {&mHandheld.mDevices, &mHandheld.mSensors}) {
      for (const auto& participant : *list) {
        present[participant.name] = !participant.hotplug;
      }
    }
    for (const Placed& entry : placed) {
      const SimTimelineEvent& event = entry.event;
      bool& here = present[event.name];
      const std::string who = "\"" + ToUtf8(event.name) + "\"";
      if (event.kind == SimTimelineEvent::Kind::Arrive) {
        if (here) {
          Refuse(entry.place, who + " is already there at " + Seconds(event.atMs) +
                                  " (only a hotplug participant, or one that left, arrives)");
        }
        here = true;
      } else if (!here) {
        Refuse(entry.place, who + " is not there at " + Seconds(event.atMs) +
                                (event.kind == SimTimelineEvent::Kind::Leave
                                     ? ""
                                     : " (a hotplug participant must arrive first)"));
      } else if (event.kind == SimTimelineEvent::Kind::Leave) {
        here = false;
      }
      mHandheld.mTimeline.push_back(event);
    }
  }

  static std::string Seconds(uint64_t ms) {
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
      char fraction[8];
      std::snprintf(fraction, sizeof fraction, ".%03u", static_cast<unsigned>(ms % 1000));
      text += fraction;
    }
    return text + " s";
  }

  SimTimelineEvent ReadTimelineEntry(const json& object, const std::string& place) {
    if (!object.is_object()) {
      Refuse(place, "a timeline entry must be a JSON object, not " + Describe(object));
    }
    Known(object, place, {"at", "event", "wmi", "path", "code", "value"});
    if (!object.contains("at")) {
      Refuse(place, "needs \"at\", the time in seconds after start");
    }
    const json& at = object["at"];
    if (!at.is_number()) {
      Refuse(Member(place, "at"), "must be a time in seconds, not " + Describe(at));
    }
    const double seconds = at.get<double>();
    const double ms = std::round(seconds * 1000.0);
    if (std::fabs(seconds * 1000.0 - ms) > 1e-6) {
      Refuse(Member(place, "at"), "has more than three decimals: " + Describe(at));
    }
    if (seconds < 0 || seconds > kMaxTimelineSeconds) {
      Refuse(Member(place, "at"), "must be from 0 to 86400 seconds, not " + Describe(at));
    }
    SimTimelineEvent event;
    event.atMs = static_cast<uint64_t>(ms);
    if (!object.contains("event")) {
      Refuse(place, "needs \"event\": thermal, notify, arrive or leave");
    }
    const std::string kind = Text(object["event"], Member(place, "event"));
    if (kind == "thermal") {
      event.kind = SimTimelineEvent::Kind::Thermal;
    } else if (kind == "notify") {
      event.kind = SimTimelineEvent::Kind::Notify;
    } else if (kind == "arrive") {
      event.kind = SimTimelineEvent::Kind::Arrive;
    } else if (kind == "leave") {
      event.kind = SimTimelineEvent::Kind::Leave;
    } else {
      Refuse(Member(place, "event"),
             "must be thermal, notify, arrive or leave, not \"" + kind + "\"");
    }
    const _tagSHandheldParticipant& participant = Participant(object, place);
    event.name = participant.name;
    event.sensor = mHandheld.FindSensor(participant.name) != nullptr;
    if (object.contains("code") && event.kind != SimTimelineEvent::Kind::Thermal) {
      Refuse(Member(place, "code"), "only a thermal event has a code");
    }
    if (object.contains("value") && event.kind != SimTimelineEvent::Kind::Notify) {
      Refuse(Member(place, "value"), "only a driver notification has a value");
    }
    if (event.kind == SimTimelineEvent::Kind::Thermal) {
      if (!event.sensor || !participant.firmware) {
        Refuse(place,
               "a thermal event comes from the firmware, on a firmware sensor (\"wmi\"); a "
               "registry-listed sensor reports through \"notify\"");
      }
      if (!object.contains("code")) {
        Refuse(place, "a thermal event needs \"code\", its event code");
      }
      event.code = static_cast<int32_t>(Integer(object["code"], Member(place, "code"), 0, 65535));
    }
    if (event.kind == SimTimelineEvent::Kind::Notify) {
      if (!event.sensor || participant.firmware) {
        Refuse(place,
               "a driver notification comes from a registry-listed sensor (\"path\"); the "
               "firmware raises \"thermal\" events");
      }
      if (object.contains("value")) {
        event.value = Word(object["value"], Member(place, "value"));
      }
    }
    return event;
  }

  // The participant an entry names with "wmi" or "path".
  const _tagSHandheldParticipant& Participant(const json& object, const std::string& place) {
    const bool wmi = object.contains("wmi");
    if (wmi == object.contains("path")) {
      Refuse(place, wmi ? "has both \"wmi\" and \"path\"; give one"
                        : "needs \"wmi\" or \"path\", the participant it is about");
    }
    std::wstring name;
    if (wmi) {
      name = CSimHandheld::FirmwareName(
          static_cast<int32_t>(Integer(object["wmi"], Member(place, "wmi"), 0, 999999)));
    } else {
      name = FromUtf8(Text(object["path"], Member(place, "path")));
    }
    const _tagSHandheldParticipant* participant = mHandheld.FindSensor(name);
    participant = participant ? participant : mHandheld.FindDevice(name);
    if (participant == nullptr || participant->firmware != wmi) {
      Refuse(Member(place, wmi ? "wmi" : "path"), "\"" + ToUtf8(name) + "\" names no " +
                                                      (wmi ? "firmware" : "registry-listed") +
                                                      " participant of the handheld");
    }
    return *participant;
  }

  CSimHandheld& mHandheld;
  std::map<int32_t, std::string> mNumbers;
  std::map<std::string, std::string> mPaths;
  std::set<std::wstring> mDeviceNames;
};

std::string _tagSHandheldError::Text() const {
  return file + ": " + place + ": " + problem;
}

std::unique_ptr<CSimHandheld> CSimHandheld::Parse(std::string_view text, const std::string& source,
                                                  _tagSHandheldError& error) {
  json root;
  try {
    root = json::parse(text.begin(), text.end());
  } catch (const json::parse_error& e) {
    // Line and column of the byte the parser stopped at (1-based).
    const std::size_t stop = std::min<std::size_t>(e.byte == 0 ? 0 : e.byte - 1, text.size());
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < stop; ++i) {
      if (text[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    std::string problem = e.what();
    const std::size_t colon = problem.find(": ");
    if (colon != std::string::npos) {
      problem = problem.substr(colon + 2);
    }
    error = {source, "line " + std::to_string(line) + ":" + std::to_string(column),
             "JSON syntax error: " + problem};
    return nullptr;
  }
  std::unique_ptr<CSimHandheld> handheld(new CSimHandheld());
  try {
    CHandheldReader(*handheld).Read(root);
  } catch (const _tagSRefusal& refusal) {
    error = {source, refusal.place, refusal.problem};
    return nullptr;
  }
  return handheld;
}

std::unique_ptr<CSimHandheld> CSimHandheld::Load(const std::string& path,
                                                 _tagSHandheldError& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = {path, "file", "cannot be opened for reading"};
    return nullptr;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    error = {path, "file", "cannot be read"};
    return nullptr;
  }
  return Parse(text.str(), path, error);
}

std::unique_ptr<CSimHandheld> CSimHandheld::Default() {
  _tagSHandheldError error;
  auto handheld = Parse(kHandheldDescription, "embedded handheld", error);
  // The embedded description is tested; a refusal here is a build defect.
  if (!handheld) {
    std::abort();
  }
  return handheld;
}

std::string_view CSimHandheld::DefaultDescription() {
  return kHandheldDescription;
}
