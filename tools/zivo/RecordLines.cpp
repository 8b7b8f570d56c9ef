#include "RecordLines.h"

namespace {

// A sensor's members after what comes before them in `out`.
void AddSensor(const RecordSensor& s, nlohmann::ordered_json& out) {
  out["name"] = s.name;
  if (!s.type.empty()) {
    out["type"] = s.type;
  }
  out["throttleStart"] = s.throttleStart;
  out["release"] = s.release;
  out["shutdown"] = s.shutdown;
  if (s.critical) {
    out["critical"] = *s.critical;
  }
  out["devices"] = s.devices;
}

}  // namespace

nlohmann::ordered_json RecordHeaderLine(const RecordHeader& header, const std::string& time) {
  nlohmann::ordered_json sensors = nlohmann::ordered_json::array();
  for (const RecordSensor& s : header.sensors) {
    nlohmann::ordered_json sensor = nlohmann::ordered_json::object();
    AddSensor(s, sensor);
    sensors.push_back(std::move(sensor));
  }
  return {{"time", time},
          {"action", "header"},
          {"version", kRunRecordVersion},
          {"platform", header.platform},
          {"policy", header.policy},
          {"interval", header.intervalSeconds},
          {"dryRun", header.dryRun},
          {"sensors", std::move(sensors)}};
}

nlohmann::ordered_json RecordSampleLine(const RecordSample& sample) {
  nlohmann::ordered_json sensors = nlohmann::ordered_json::object();
  for (const auto& [name, reading] : sample.sensors) {
    sensors[name] = reading.temperature
                        ? nlohmann::ordered_json{{"temperature", *reading.temperature}}
                        : nlohmann::ordered_json{{"failure", reading.failure}};
  }
  nlohmann::ordered_json devices = nlohmann::ordered_json::object();
  for (const auto& [name, reading] : sample.devices) {
    nlohmann::ordered_json device = {{"state", reading.state}};
    if (reading.max) {
      device["max"] = *reading.max;
    }
    if (reading.rpm) {
      device["rpm"] = *reading.rpm;
    }
    devices[name] = std::move(device);
  }
  return {{"time", sample.time},
          {"action", "sample"},
          {"sensors", std::move(sensors)},
          {"devices", std::move(devices)}};
}

nlohmann::ordered_json RecordSensorLine(const RecordSensor& sensor, const std::string& time) {
  nlohmann::ordered_json line = {{"time", time}, {"action", "sensor"}};
  AddSensor(sensor, line);
  return line;
}
