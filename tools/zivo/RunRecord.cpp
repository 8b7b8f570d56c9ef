#include "RunRecord.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <type_traits>

namespace {

using json = nlohmann::json;

std::string Text(const json& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// A member that is a number T can hold; none otherwise (a temperature of
// 1e300 in a damaged record is no temperature, not undefined behaviour).
template <typename T>
std::optional<T> Number(const json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_number()) {
    return std::nullopt;
  }
  if (found->is_number_float()) {
    const double value = found->get<double>();
    if constexpr (std::is_floating_point_v<T>) {
      return std::isfinite(value) ? std::optional<T>(value) : std::nullopt;
    } else {
      if (!(value >= static_cast<double>(std::numeric_limits<T>::min()) &&
            value <= static_cast<double>(std::numeric_limits<T>::max()))) {
        return std::nullopt;
      }
      return static_cast<T>(value);
    }
  }
  if (found->is_number_unsigned()) {
    const uint64_t value = found->get<uint64_t>();
    if (value > static_cast<uint64_t>(std::numeric_limits<T>::max())) {
      return std::nullopt;
    }
    return static_cast<T>(value);
  }
  const int64_t value = found->get<int64_t>();
  if constexpr (!std::is_floating_point_v<T>) {
    if (value < static_cast<int64_t>(std::numeric_limits<T>::min()) ||
        (value > 0 &&
         static_cast<uint64_t>(value) > static_cast<uint64_t>(std::numeric_limits<T>::max()))) {
      return std::nullopt;
    }
  }
  return static_cast<T>(value);
}

bool Flag(const json& object, const char* key, bool otherwise) {
  const auto found = object.find(key);
  return found != object.end() && found->is_boolean() ? found->get<bool>() : otherwise;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// A header's sensor entry, or a "sensor" object.
RecordSensor ReadSensor(const json& s) {
  RecordSensor sensor;
  sensor.name = Text(s, "name");
  sensor.type = Text(s, "type");
  sensor.throttleStart = Number<int32_t>(s, "throttleStart").value_or(0);
  sensor.release = Number<int32_t>(s, "release").value_or(0);
  sensor.shutdown = Number<int32_t>(s, "shutdown").value_or(0);
  sensor.critical = Number<int32_t>(s, "critical");
  if (const auto devices = s.find("devices"); devices != s.end() && devices->is_array()) {
    for (const json& d : *devices) {
      if (d.is_string()) {
        sensor.devices.push_back(d.get<std::string>());
      }
    }
  }
  return sensor;
}

bool ReadHeader(const json& line, RecordHeader& header, std::string& error) {
  header.version = Number<int>(line, "version").value_or(0);
  if (header.version < 1) {
    error = "its header has no version";
    return false;
  }
  if (header.version > kRunRecordVersion) {
    error = "it is of version " + std::to_string(header.version) + "; this zivo reads up to " +
            std::to_string(kRunRecordVersion);
    return false;
  }
  header.platform = Text(line, "platform");
  header.policy = Text(line, "policy");
  header.intervalSeconds = Number<double>(line, "interval").value_or(0);
  header.dryRun = Flag(line, "dryRun", true);
  const auto sensors = line.find("sensors");
  if (sensors == line.end() || !sensors->is_array()) {
    return true;
  }
  for (const json& s : *sensors) {
    if (s.is_object()) {
      header.sensors.push_back(ReadSensor(s));
    }
  }
  return true;
}

bool Named(const RecordHeader& header, const std::string& name) {
  return std::any_of(header.sensors.begin(), header.sensors.end(),
                     [&](const RecordSensor& s) { return s.name == name; });
}

// The sensors the samples read that the header and the "sensor" objects do
// not name, in the order they first appear: charted without thresholds.
void AddSampledSensors(RunRecord& record) {
  std::set<std::string> named;
  for (const RecordSensor& sensor : record.header.sensors) {
    named.insert(sensor.name);
  }
  for (const RecordSample& sample : record.samples) {
    for (const auto& [name, reading] : sample.sensors) {
      if (named.insert(name).second) {
        RecordSensor sensor;
        sensor.name = name;
        sensor.thresholds = false;
        record.header.sensors.push_back(std::move(sensor));
      }
    }
  }
}

void ReadSample(const json& line, RecordSample& sample) {
  if (const auto sensors = line.find("sensors"); sensors != line.end() && sensors->is_object()) {
    for (const auto& [name, value] : sensors->items()) {
      if (!value.is_object()) {
        continue;
      }
      SensorReading reading;
      reading.temperature = Number<int32_t>(value, "temperature");
      reading.failure = Text(value, "failure");
      sample.sensors.emplace(name, std::move(reading));
    }
  }
  if (const auto devices = line.find("devices"); devices != line.end() && devices->is_object()) {
    for (const auto& [name, value] : devices->items()) {
      if (!value.is_object()) {
        continue;
      }
      DeviceReading reading;
      reading.state = Number<uint32_t>(value, "state").value_or(0);
      reading.max = Number<uint32_t>(value, "max");
      reading.rpm = Number<uint32_t>(value, "rpm");
      sample.devices.emplace(name, reading);
    }
  }
}

RecordEvent ReadEvent(const json& line, std::string action) {
  RecordEvent event;
  event.action = std::move(action);
  event.sensor = Text(line, "sensor");
  if (event.sensor.empty()) {
    event.sensor = Text(line, "name");
  }
  event.device = Text(line, "device");
  event.from = Number<uint32_t>(line, "from").value_or(0);
  event.to = Number<uint32_t>(line, "to").value_or(0);
  event.temperature = Number<int32_t>(line, "temperature");
  event.reason = Text(line, "reason");
  event.applied = Flag(line, "applied", false);
  event.dryRun = Flag(line, "dryRun", true);
  return event;
}

}  // namespace

bool IsDecision(const std::string& action) {
  return action == "throttle" || action == "release" || action == "failsafe" ||
         IsPowerAction(action);
}

bool IsPowerAction(const std::string& action) {
  return action == "hibernate" || action == "shutdown" || action == "cancel";
}

std::optional<double> RecordSeconds(const std::string& time) {
  // "YYYY-MM-DD HH:MM:SS.mmm", digits checked one by one: this runs once a line.
  if (time.size() != 23 || time[4] != '-' || time[7] != '-' || time[10] != ' ' || time[13] != ':' ||
      time[16] != ':' || time[19] != '.') {
    return std::nullopt;
  }
  const auto digits = [&](std::size_t at, std::size_t count, int64_t& value) {
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
      if (time[i] < '0' || time[i] > '9') {
        return false;
      }
      value = value * 10 + (time[i] - '0');
    }
    return true;
  };
  int64_t y, mo, d, h, mi, s, ms;
  if (!digits(0, 4, y) || !digits(5, 2, mo) || !digits(8, 2, d) || !digits(11, 2, h) ||
      !digits(14, 2, mi) || !digits(17, 2, s) || !digits(20, 3, ms) || mo < 1 || mo > 12 || d < 1 ||
      d > 31 || h > 23 || mi > 59 || s > 60) {
    return std::nullopt;
  }
  const int64_t days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  return static_cast<double>(days * 86400 + h * 3600 + mi * 60 + s) + ms / 1000.0;
}

std::string RecordTimeText(double seconds) {
  const auto ms = static_cast<int64_t>(std::llround(seconds * 1000));
  int64_t days = (ms >= 0 ? ms : ms - 86399999) / 86400000;
  const int64_t rest = ms - days * 86400000;
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2);
  char text[96];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld.%03lld",
                static_cast<long long>(y), static_cast<long long>(m), static_cast<long long>(d),
                static_cast<long long>(rest / 3600000), static_cast<long long>(rest / 60000 % 60),
                static_cast<long long>(rest / 1000 % 60), static_cast<long long>(rest % 1000));
  return text;
}

bool ReadRunRecord(const std::string& path, RunRecord& record, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + " cannot be opened";
    return false;
  }
  std::ostringstream whole;
  whole << in.rdbuf();
  return ParseRunRecord(whole.str(), path, record, error);
}

bool ParseRunRecord(const std::string& text, const std::string& path, RunRecord& record,
                    std::string& error) {
  record = RunRecord();
  std::optional<double> origin;
  std::size_t lineNumber = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    const bool last = end == std::string::npos || end + 1 >= text.size();
    if (end == std::string::npos) {
      end = text.size();
    }
    ++lineNumber;
    const std::string_view view(text.data() + at, end - at);
    at = end + 1;
    if (view.empty()) {
      continue;
    }
    const json line = json::parse(view, nullptr, false);
    const std::string where = path + ":" + std::to_string(lineNumber) + ": ";
    if (!line.is_object()) {
      if (last && lineNumber > 1) {
        ++record.cutLines;
        continue;
      }
      error = where + "not a JSON object";
      return false;
    }
    const std::string action = Text(line, "action");
    if (record.header.version == 0) {
      if (action != "header") {
        error = where + "a record starts with its header object";
        return false;
      }
      if (!ReadHeader(line, record.header, error)) {
        error = where + error;
        return false;
      }
    }
    const std::string time = Text(line, "time");
    const std::optional<double> seconds = RecordSeconds(time);
    if (!seconds) {
      error = where + "its time \"" + time + "\" is not YYYY-MM-DD HH:MM:SS.mmm";
      return false;
    }
    if (!origin) {
      origin = seconds;
      record.origin = *seconds;
    }
    if (action == "header") {
      continue;
    }
    if (action == "sensor") {
      // A sensor that joined; one the record already names keeps its entry.
      if (RecordSensor sensor = ReadSensor(line);
          !sensor.name.empty() && !Named(record.header, sensor.name)) {
        record.header.sensors.push_back(std::move(sensor));
      }
      continue;
    }
    if (action == "sample") {
      RecordSample sample;
      sample.seconds = *seconds - *origin;
      sample.time = time;
      ReadSample(line, sample);
      record.samples.push_back(std::move(sample));
      continue;
    }
    RecordEvent event = ReadEvent(line, action);
    event.seconds = *seconds - *origin;
    event.time = time;
    record.events.push_back(std::move(event));
  }
  if (record.header.version == 0) {
    error = path + " is empty: a record starts with its header object";
    return false;
  }
  AddSampledSensors(record);
  return true;
}
