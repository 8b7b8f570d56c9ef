#include "ReportCsv.h"

#include <cstdio>
#include <set>

namespace {

std::string Field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    return text;
  }
  std::string out = "\"";
  for (const char c : text) {
    out += c == '"' ? "\"\"" : std::string(1, c);
  }
  return out + "\"";
}

}  // namespace

std::string ReportCsv(const RunRecord& record) {
  std::vector<std::string> sensors;
  for (const RecordSensor& sensor : record.header.sensors) {
    sensors.push_back(sensor.name);
  }
  std::set<std::string> devices, fans;
  for (const RecordSample& s : record.samples) {
    for (const auto& [name, reading] : s.devices) {
      devices.insert(name);
      if (reading.rpm) {
        fans.insert(name);
      }
    }
  }
  std::string out = "time,seconds";
  for (const std::string& name : sensors) {
    out += "," + Field(name + " C");
  }
  for (const std::string& name : devices) {
    out += "," + Field(name + " state");
  }
  for (const std::string& name : fans) {
    out += "," + Field(name + " rpm");
  }
  out += "\n";
  char number[32];
  for (const RecordSample& s : record.samples) {
    std::snprintf(number, sizeof number, "%.3f", s.seconds);
    out += s.time + "," + number;
    for (const std::string& name : sensors) {
      out += ",";
      const auto found = s.sensors.find(name);
      if (found != s.sensors.end() && found->second.temperature) {
        std::snprintf(number, sizeof number, "%.1f", (*found->second.temperature - 2732) / 10.0);
        out += number;
      }
    }
    for (const std::string& name : devices) {
      out += ",";
      const auto found = s.devices.find(name);
      if (found != s.devices.end()) {
        out += std::to_string(found->second.state);
      }
    }
    for (const std::string& name : fans) {
      out += ",";
      const auto found = s.devices.find(name);
      if (found != s.devices.end() && found->second.rpm) {
        out += std::to_string(*found->second.rpm);
      }
    }
    out += "\n";
  }
  return out;
}
