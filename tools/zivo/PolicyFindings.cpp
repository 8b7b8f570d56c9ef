#include "PolicyFindings.h"

#include <algorithm>
#include <set>

#include "SysfsDetails.h"
#include "TextTable.h"
#include "zivorivizo/Diagnostics.h"
#include "zivorivizo/ParticipantRecords.h"
#include "zivorivizo/Text.h"

namespace {

std::vector<std::wstring> Named(const auto& views) {
  std::vector<std::wstring> names;
  for (const auto& view : views) {
    if (!view.record.Name.empty()) {
      names.push_back(view.record.Name);
    }
  }
  return names;
}

std::string SensorElement(const std::wstring& name) {
  return "<Sensor Path=\"" + ToUtf8(name) + "\">";
}

// The first device record that applies to `device`, as lookups find it.
const _tagSDeviceConfig* RecordOf(const ConfigLoadReport& report, const std::wstring& device) {
  for (const _tagSDeviceConfig& record : report.devices) {
    if (DeviceFragmentMatches(device, record.strPath)) {
      return &record;
    }
  }
  return nullptr;
}

const _tagSSensorConfig* RecordOf(const ConfigLoadReport& report, const std::wstring& sensor,
                                  long& line) {
  for (std::size_t r = 0; r < report.sensors.size(); ++r) {
    if (report.sensors[r].strName == sensor) {
      line = r < report.sensorLines.size() ? report.sensorLines[r] : 0;
      return &report.sensors[r];
    }
  }
  return nullptr;
}

// Whether the kernel itself sets the cooling states of `zone`'s devices: its
// governor runs unless the zone is disabled or left to user space.
bool GovernorWrites(const nlohmann::json& zone, std::string& governor) {
  if (!zone.is_object() || !zone.contains("policy") || !zone.at("policy").is_string()) {
    return false;
  }
  governor = zone.at("policy").get<std::string>();
  const bool disabled = zone.contains("mode") && zone.at("mode") == "disabled";
  return !disabled && governor != "user_space";
}

// The findings of one policy on one view, sensor by sensor.
class CFinder {
 public:
  CFinder(const ConfigLoadReport& report, const ParticipantView& view)
      : mReport(report), mView(view) {
    for (const SensorView& sensor : view.sensors) {
      mLinkedToSome.insert(sensor.linkedDevices.begin(), sensor.linkedDevices.end());
    }
  }

  PolicyFindings Find() {
    mFound.against = CheckPolicyAgainst(mReport, Named(mView.devices), Named(mView.sensors));
    mFound.warnings = mFound.against.findings;
    for (const SensorView& sensor : mView.sensors) {
      Control(sensor);
    }
    if (mFound.nothingToControl) {
      mFound.nothingReason =
          mFound.controls.empty()
              ? "no sensor of the platform has a <Sensor> record that enables its usage"
              : "no managed sensor has a device to throttle";
    }
    return std::move(mFound);
  }

 private:
  void Warn(long line, std::string element, std::string message) {
    mFound.warnings.push_back({false, line, std::move(element), std::move(message)});
  }

  // What a sensor with a record controls, and what in it will not work.
  void Control(const SensorView& sensor) {
    const std::wstring& name = sensor.record.Name;
    long line = 0;
    const _tagSSensorConfig* record = name.empty() ? nullptr : RecordOf(mReport, name, line);
    if (record == nullptr) {
      return;
    }
    WarnLimits(sensor, *record, line);
    if (record->iUsageEnable == 0) {
      return;
    }
    PolicyControl control{name, line, {}};
    for (const std::wstring& device : Candidates(sensor, *record)) {
      const _tagSDeviceConfig* deviceRecord = RecordOf(mReport, device);
      if (deviceRecord == nullptr || deviceRecord->iUsageEnable == 0 ||
          std::find(control.devices.begin(), control.devices.end(), device) !=
              control.devices.end()) {
        continue;
      }
      control.devices.push_back(device);
      WarnGoverned(device);
    }
    if (control.devices.empty()) {
      Warn(line, SensorElement(name),
           "controls no device: none of its devices has a <Device> record that enables its "
           "usage");
    } else {
      mFound.nothingToControl = false;
    }
    mFound.controls.push_back(std::move(control));
  }

  // A shutdown temperature the kernel or the chip acts on first.
  void WarnLimits(const SensorView& sensor, const _tagSSensorConfig& record, long line) {
    const std::wstring& name = sensor.record.Name;
    if (const auto critical = CriticalTripOf(sensor.sysfs);
        critical && record.iShutdownTemp >= *critical) {
      Warn(line, SensorElement(name),
           "shutdown temperature " + Celsius(record.iShutdownTemp) +
               " is at or above the zone's critical trip " + Celsius(*critical) +
               ": the kernel powers the machine off first");
    }
    if (const auto limit = ChipCriticalLimitOf(sensor.sysfs);
        limit && record.iShutdownTemp >= *limit) {
      Warn(line, SensorElement(name),
           "shutdown temperature " + Celsius(record.iShutdownTemp) +
               " is at or above the chip's critical limit " + Celsius(*limit) +
               ": the sensor's fans run at full speed first");
    }
  }

  // The sensor's devices, before their records are looked at.
  std::vector<std::wstring> Candidates(const SensorView& sensor,
                                       const _tagSSensorConfig& record) const {
    std::vector<std::wstring> candidates = sensor.linkedDevices;
    if (record.iClass != static_cast<int>(ZIVO_SKIN_SENSOR_CLASS)) {
      return candidates;
    }
    // The links the record's device paths make once the policy is loaded
    // (a view read without it lacks them), then the devices no sensor links.
    for (const DeviceView& device : mView.devices) {
      if (std::find(record.vecDevicePaths.begin(), record.vecDevicePaths.end(),
                    device.record.Name) != record.vecDevicePaths.end()) {
        candidates.push_back(device.record.Name);
      }
    }
    for (const DeviceView& device : mView.devices) {
      if (!device.record.Name.empty() && mLinkedToSome.count(device.record.Name) == 0) {
        candidates.push_back(device.record.Name);
      }
    }
    return candidates;
  }

  // A device a zone's kernel governor also sets, once per device.
  void WarnGoverned(const std::wstring& device) {
    for (const SensorView& zone : mView.sensors) {
      std::string governor;
      if (std::find(zone.linkedDevices.begin(), zone.linkedDevices.end(), device) ==
              zone.linkedDevices.end() ||
          !GovernorWrites(zone.sysfs, governor) || !mGoverned.insert(device).second) {
        continue;
      }
      Warn(0, "",
           "device " + ToUtf8(device) + " is bound to zone " + ToUtf8(zone.record.Name) +
               " whose kernel governor " + governor +
               " will overwrite its state (set the zone's policy to user_space)");
    }
  }

  const ConfigLoadReport& mReport;
  const ParticipantView& mView;
  PolicyFindings mFound;
  std::set<std::wstring> mLinkedToSome;
  std::set<std::wstring> mGoverned;  // devices already warned of
};

}  // namespace

PolicyFindings FindPolicyFindings(const ConfigLoadReport& report, const ParticipantView& view) {
  return CFinder(report, view).Find();
}

PolicyFindings FindPolicyFindings(const ConfigLoadReport& report, CParticipantMgr& manager,
                                  const ChosenPlatform& chosen) {
  ParticipantView view = ReadParticipants(manager);
  if (chosen.thermal) {
    FillSysfsDetails(view, *chosen.thermal);
  }
  return FindPolicyFindings(report, view);
}

void PrintPolicyControls(FILE* out, const PolicyFindings& findings) {
  std::fprintf(out, "Controls:\n");
  for (const PolicyControl& control : findings.controls) {
    std::string devices;
    for (const std::wstring& device : control.devices) {
      devices += (devices.empty() ? "" : ", ") + ToUtf8(device);
    }
    std::fprintf(out, "  %s (<Sensor> line %ld) -> %s\n",
                 TerminalText(ToUtf8(control.sensor)).c_str(), control.line,
                 devices.empty() ? "no device" : TerminalText(devices).c_str());
  }
  if (findings.nothingToControl) {
    std::fprintf(out, "Nothing to control: %s\n", findings.nothingReason.c_str());
  }
}

void PrintPolicyWarnings(FILE* out, const std::string& file, const PolicyFindings& findings) {
  for (const ConfigFinding& warning : findings.warnings) {
    std::fprintf(out, "warning: %s%s: %s%s%s\n", file.c_str(),
                 warning.line > 0 ? (":" + std::to_string(warning.line)).c_str() : "",
                 warning.element.c_str(), warning.element.empty() ? "" : " ",
                 TerminalText(warning.message).c_str());
  }
}

nlohmann::ordered_json PolicyFindingsJson(const PolicyFindings& findings) {
  nlohmann::ordered_json controls = nlohmann::ordered_json::array();
  for (const PolicyControl& control : findings.controls) {
    nlohmann::ordered_json devices = nlohmann::ordered_json::array();
    for (const std::wstring& device : control.devices) {
      devices.push_back(ToUtf8(device));
    }
    controls.push_back(
        {{"sensor", ToUtf8(control.sensor)}, {"line", control.line}, {"devices", devices}});
  }
  nlohmann::ordered_json warnings = nlohmann::ordered_json::array();
  for (const ConfigFinding& warning : findings.warnings) {
    warnings.push_back(
        {{"line", warning.line}, {"element", warning.element}, {"message", warning.message}});
  }
  return {{"controls", controls},
          {"nothingToControl", findings.nothingToControl},
          {"nothingReason", findings.nothingReason},
          {"warnings", warnings}};
}
