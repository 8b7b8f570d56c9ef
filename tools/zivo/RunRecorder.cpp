#include "RunRecorder.h"

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

void CRunRecorder::Start(RecordHeader header, const std::string& time) {
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

std::string CRunRecorder::TakeWarning() {
  return std::exchange(mWarning, std::string());
}

RecordHeader RunRecordHeader(const PolicyFindings& findings, CPolicyEngine& engine,
                             CSysfsThermalView* view, const std::string& platform,
                             const std::string& policy, double intervalSeconds, bool dryRun) {
  RecordHeader header;
  header.version = kRunRecordVersion;
  header.platform = platform;
  header.policy = policy;
  header.intervalSeconds = intervalSeconds;
  header.dryRun = dryRun;
  for (const PolicyControl& control : findings.controls) {
    RecordSensor sensor;
    int start = 0;
    int shutdown = 0;
    if (!engine.Thresholds(control.sensor, start, shutdown)) {
      continue;
    }
    sensor.name = ToUtf8(control.sensor);
    sensor.throttleStart = start;
    sensor.release = start - CPolicyEngine::kHysteresis;
    sensor.shutdown = shutdown;
    if (view != nullptr) {
      const nlohmann::json details = SysfsDetailsOf(*view, control.sensor);
      sensor.critical = CriticalTripOf(details);
      if (details.is_object() && details.contains("type") && details.at("type").is_string()) {
        sensor.type = details.at("type").get<std::string>();
      }
    }
    for (const std::wstring& device : control.devices) {
      sensor.devices.push_back(ToUtf8(device));
    }
    header.sensors.push_back(std::move(sensor));
  }
  return header;
}
