#include "RunRecorder.h"

#include <algorithm>
#include <utility>

#include "JsonText.h"
#include "PolicyFindings.h"
#include "RecordLines.h"
#include "StaleReading.h"
#include "SysfsDetails.h"
#include "zivorivizo/Text.h"

namespace {

class CRecordLineWriter : public CRunLineWriter {
 public:
  explicit CRecordLineWriter(CRunRecorder& recorder) : mRecorder(recorder) {}
  bool Write(const RunLine& line) override {
    mRecorder.Line(JsonText(line.json));
    return true;
  }

 private:
  CRunRecorder& mRecorder;
};

}  // namespace

std::unique_ptr<CRunLineWriter> RecordLineWriter(CRunRecorder& recorder) {
  return std::make_unique<CRecordLineWriter>(recorder);
}

bool CRunRecorder::Open(const std::string& recordPath, const std::string& metricsPath,
                        const std::string& version, std::string& error) {
  if (!recordPath.empty() && !mFile.Open(recordPath, error)) {
    error = "the record " + error;
    return false;
  }
  if (!metricsPath.empty()) {
    mMetrics = std::make_unique<CMetricsTextfile>(metricsPath, version);
  }
  return true;
}

void CRunRecorder::Start(RecordHeader header, const CLinuxSysfsView* view,
                         const std::string& time) {
  mView = view;
  if (mFile.IsOpen()) {
    mFile.Append(JsonText(RecordHeaderLine(header, time)));
    for (const std::string& line : mWaiting) {
      mFile.Append(line);
    }
  }
  mWaiting.clear();
  mHeader = std::move(header);
}

void CRunRecorder::Line(const std::string& json) {
  if (!mFile.IsOpen()) {
    return;
  }
  if (!mHeader) {
    mWaiting.push_back(json);
    return;
  }
  mFile.Append(json);
}

void CRunRecorder::Decision(const PolicyDecision& d) {
  if (!mMetrics) {
    return;
  }
  if (d.action == "warning" && d.status != 0) {
    mMetrics->CountReadError(ToUtf8(d.sensor));
  } else if (d.action == "throttle" || d.action == "failsafe") {
    mMetrics->CountDecision(ToUtf8(d.device), "up", d.cause);
  } else if (d.action == "release") {
    mMetrics->CountDecision(ToUtf8(d.device), "down", d.cause);
  } else if (d.action == "hibernate" || d.action == "shutdown" || d.action == "cancel") {
    mMetrics->CountDecision("", d.action, d.cause);
  }
}

void CRunRecorder::Tick(CPolicyEngine& engine, const std::string& time) {
  if (!Active() || !mHeader) {
    return;
  }
  Joined(engine, time);
  RecordSample sample;
  sample.time = time;
  for (const auto& [name, reading] : engine.Readings()) {
    SensorReading& s = sample.sensors[ToUtf8(name)];
    s.temperature = reading.temperature;
    if (!reading.temperature) {
      s.failure = StaleReadingText(name, reading.status);
    }
  }
  for (const auto& [name, device] : engine.Devices()) {
    sample.devices[ToUtf8(name)] = {device.state, device.max, device.rpm};
  }
  if (mFile.IsOpen() && !mFile.Append(JsonText(RecordSampleLine(sample))) && !mRecordWarned) {
    mRecordWarned = true;
    mWarning = "the record is no longer written: " + mFile.Error();
  }
  std::string error;
  if (mMetrics) {
    if (mMetrics->Write(*mHeader, sample, error)) {
      mMetricsWarned = false;
    } else if (!mMetricsWarned) {
      mMetricsWarned = true;
      mWarning = "the metrics textfile could not be written: " + error;
    }
  }
}

void CRunRecorder::Joined(CPolicyEngine& engine, const std::string& time) {
  for (const auto& [name, reading] : engine.Readings()) {
    const std::string utf8 = ToUtf8(name);
    const auto known = std::find_if(mHeader->sensors.begin(), mHeader->sensors.end(),
                                    [&](const RecordSensor& s) { return s.name == utf8; });
    if (known != mHeader->sensors.end()) {
      continue;
    }
    std::optional<RecordSensor> sensor =
        RunRecordSensor(name, engine.DevicesUsedBy(name), engine, mView);
    if (!sensor) {
      continue;
    }
    if (mFile.IsOpen()) {
      mFile.Append(JsonText(RecordSensorLine(*sensor, time)));
    }
    mHeader->sensors.push_back(std::move(*sensor));
  }
}

std::string CRunRecorder::TakeWarning() {
  return std::exchange(mWarning, std::string());
}

RecordHeader RunRecordHeader(const PolicyFindings& findings, CPolicyEngine& engine,
                             const CLinuxSysfsView* view, const std::string& platform,
                             const std::string& policy, double intervalSeconds, bool dryRun) {
  RecordHeader header;
  header.version = kRunRecordVersion;
  header.platform = platform;
  header.policy = policy;
  header.intervalSeconds = intervalSeconds;
  header.dryRun = dryRun;
  for (const PolicyControl& control : findings.controls) {
    if (std::optional<RecordSensor> sensor =
            RunRecordSensor(control.sensor, control.devices, engine, view)) {
      header.sensors.push_back(std::move(*sensor));
    }
  }
  return header;
}

std::optional<RecordSensor> RunRecordSensor(const std::wstring& name,
                                            const std::vector<std::wstring>& devices,
                                            CPolicyEngine& engine, const CLinuxSysfsView* view) {
  int start = 0;
  int shutdown = 0;
  if (!engine.Thresholds(name, start, shutdown)) {
    return std::nullopt;
  }
  RecordSensor sensor;
  sensor.name = ToUtf8(name);
  sensor.throttleStart = start;
  sensor.release = start - CPolicyEngine::kHysteresis;
  sensor.shutdown = shutdown;
  if (view != nullptr) {
    const nlohmann::json details = SysfsDetailsOf(*view, name);
    sensor.critical = CriticalTripOf(details);
    if (details.is_object() && details.contains("type") && details.at("type").is_string()) {
      sensor.type = details.at("type").get<std::string>();
    }
  }
  for (const std::wstring& device : devices) {
    sensor.devices.push_back(ToUtf8(device));
  }
  return sensor;
}
