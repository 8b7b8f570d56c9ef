#include "PolicyAgainstPlatform.h"

#include <algorithm>
#include <cstdio>

#include "zivorivizo/Diagnostics.h"
#include "zivorivizo/Text.h"

namespace {

std::string Quoted(const std::wstring& text) {
  return "\"" + ToUtf8(text) + "\"";
}

std::string Joined(const std::vector<std::wstring>& names) {
  std::string text;
  for (const std::wstring& name : names) {
    text += (text.empty() ? "" : ", ") + ToUtf8(name);
  }
  return text;
}

long LineOf(const std::vector<long>& lines, std::size_t index) {
  return index < lines.size() ? lines[index] : 0;
}

std::string DeviceElement(const std::wstring& fragment) {
  return "<Device Path=" + Quoted(fragment) + ">";
}

std::string SensorElement(const std::wstring& name) {
  return "<Sensor Path=" + Quoted(name) + ">";
}

void Warn(PolicyAgainst& against, long line, std::string element, std::string message) {
  against.findings.push_back({false, line, std::move(element), std::move(message)});
}

// Each device goes to the first record that applies, as lookups find it.
void MatchDevices(const ConfigLoadReport& report, const std::vector<std::wstring>& deviceNames,
                  PolicyAgainst& against) {
  for (std::size_t r = 0; r < report.devices.size(); ++r) {
    against.devices.push_back({report.devices[r].strPath, LineOf(report.deviceLines, r), {}});
  }
  for (const std::wstring& device : deviceNames) {
    const auto record = std::find_if(
        against.devices.begin(), against.devices.end(),
        [&](const PolicyAgainst::Device& d) { return DeviceFragmentMatches(device, d.fragment); });
    if (record == against.devices.end()) {
      against.devicesWithoutRecord.push_back(device);
    } else {
      record->appliesTo.push_back(device);
    }
  }
}

// A device record that applies to several devices, or to none, and why none.
void WarnDeviceRecord(std::size_t r, const std::vector<std::wstring>& deviceNames,
                      PolicyAgainst& against) {
  const PolicyAgainst::Device& record = against.devices[r];
  const std::string element = DeviceElement(record.fragment);
  if (record.appliesTo.size() > 1) {
    Warn(against, record.line, element,
         "applies to " + std::to_string(record.appliesTo.size()) + " devices: " +
             Joined(record.appliesTo) + " (a path applies to every device name it occurs in)");
    return;
  }
  if (!record.appliesTo.empty()) {
    return;
  }
  // None: either no name holds the fragment, or earlier records take them.
  const auto holder = std::find_if(deviceNames.begin(), deviceNames.end(), [&](const auto& name) {
    return DeviceFragmentMatches(name, record.fragment);
  });
  if (holder == deviceNames.end()) {
    Warn(against, record.line, element, "occurs in no device name of the platform");
    return;
  }
  const auto earlier = std::find_if(
      against.devices.begin(), against.devices.begin() + static_cast<long>(r),
      [&](const PolicyAgainst::Device& d) { return DeviceFragmentMatches(*holder, d.fragment); });
  Warn(against, record.line, element,
       "applies to no device: " + ToUtf8(*holder) + " takes the earlier " +
           DeviceElement(earlier->fragment) + " (line " + std::to_string(earlier->line) + ")");
}

bool Holds(const std::vector<std::wstring>& names, const std::wstring& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Each sensor record and the devices its <DevicePath> entries name.
void MatchSensors(const ConfigLoadReport& report, const std::vector<std::wstring>& deviceNames,
                  const std::vector<std::wstring>& sensorNames, PolicyAgainst& against) {
  for (std::size_t r = 0; r < report.sensors.size(); ++r) {
    const _tagSSensorConfig& record = report.sensors[r];
    const long line = LineOf(report.sensorLines, r);
    against.sensors.push_back({record.strName, line, Holds(sensorNames, record.strName)});
    if (!against.sensors.back().found) {
      Warn(against, line, SensorElement(record.strName), "names no sensor of the platform");
    }
    for (const std::wstring& path : record.vecDevicePaths) {
      if (!Holds(deviceNames, path)) {
        Warn(against, line, SensorElement(record.strName) + " <DevicePath>",
             Quoted(path) + " names no device of the platform (device paths name devices exactly)");
      }
    }
  }
}

// The participants no record applies to: the library uses its defaults.
void WarnUnrecorded(const ConfigLoadReport& report, const std::vector<std::wstring>& sensorNames,
                    PolicyAgainst& against) {
  for (const std::wstring& sensor : sensorNames) {
    const bool recorded =
        std::any_of(report.sensors.begin(), report.sensors.end(),
                    [&](const _tagSSensorConfig& record) { return record.strName == sensor; });
    if (!recorded) {
      against.sensorsWithoutRecord.push_back(sensor);
      Warn(against, 0, "",
           "sensor " + ToUtf8(sensor) + " has no <Sensor> record: the library uses its defaults");
    }
  }
  for (const std::wstring& device : against.devicesWithoutRecord) {
    Warn(against, 0, "",
         "device " + ToUtf8(device) +
             " has no <Device> record whose Path occurs in its name: the library uses its "
             "defaults");
  }
}

}  // namespace

PolicyAgainst CheckPolicyAgainst(const ConfigLoadReport& report,
                                 const std::vector<std::wstring>& deviceNames,
                                 const std::vector<std::wstring>& sensorNames) {
  PolicyAgainst against;
  MatchDevices(report, deviceNames, against);
  for (std::size_t r = 0; r < against.devices.size(); ++r) {
    WarnDeviceRecord(r, deviceNames, against);
  }
  MatchSensors(report, deviceNames, sensorNames, against);
  WarnUnrecorded(report, sensorNames, against);
  return against;
}

void PrintPolicyAgainst(const std::string& platform, const PolicyAgainst& against) {
  std::printf("Against: %s\n", platform.c_str());
  for (const PolicyAgainst::Device& record : against.devices) {
    std::printf("  %s (line %ld) applies to: %s\n", DeviceElement(record.fragment).c_str(),
                record.line,
                record.appliesTo.empty() ? "no device" : Joined(record.appliesTo).c_str());
  }
  for (const PolicyAgainst::Sensor& record : against.sensors) {
    std::printf("  %s (line %ld): %s\n", SensorElement(record.name).c_str(), record.line,
                record.found ? "found" : "no such sensor");
  }
  std::printf(
      "  Devices without a record: %s\n",
      against.devicesWithoutRecord.empty() ? "none" : Joined(against.devicesWithoutRecord).c_str());
  std::printf(
      "  Sensors without a record: %s\n",
      against.sensorsWithoutRecord.empty() ? "none" : Joined(against.sensorsWithoutRecord).c_str());
}

nlohmann::ordered_json PolicyAgainstJson(const std::string& platform,
                                         const PolicyAgainst& against) {
  const auto names = [](const std::vector<std::wstring>& list) {
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const std::wstring& name : list) {
      out.push_back(ToUtf8(name));
    }
    return out;
  };
  nlohmann::ordered_json devices = nlohmann::ordered_json::array();
  for (const PolicyAgainst::Device& record : against.devices) {
    devices.push_back({{"strPath", ToUtf8(record.fragment)},
                       {"line", record.line},
                       {"appliesTo", names(record.appliesTo)}});
  }
  nlohmann::ordered_json sensors = nlohmann::ordered_json::array();
  for (const PolicyAgainst::Sensor& record : against.sensors) {
    sensors.push_back(
        {{"strName", ToUtf8(record.name)}, {"line", record.line}, {"found", record.found}});
  }
  return {{"platform", platform},
          {"devices", devices},
          {"sensors", sensors},
          {"devicesWithoutRecord", names(against.devicesWithoutRecord)},
          {"sensorsWithoutRecord", names(against.sensorsWithoutRecord)}};
}
