#include "ReportSummary.h"

RecordSummary SummariseRun(const RunRecord& record) {
  RecordSummary summary;
  std::map<std::string, int32_t> starts;
  for (const RecordSensor& sensor : record.header.sensors) {
    if (sensor.thresholds) {
      starts[sensor.name] = sensor.throttleStart;
    }
    summary.sensors[sensor.name];
  }
  const std::vector<RecordSample>& samples = record.samples;
  if (!samples.empty()) {
    summary.seconds = samples.back().seconds - samples.front().seconds;
  }
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double held = i + 1 < samples.size() ? samples[i + 1].seconds - samples[i].seconds : 0;
    for (const auto& [name, reading] : samples[i].sensors) {
      SensorSummary& sensor = summary.sensors[name];
      if (!reading.temperature) {
        ++sensor.failedReadings;
        continue;
      }
      ++sensor.readings;
      sensor.highest =
          std::max(sensor.highest.value_or(*reading.temperature), *reading.temperature);
      const auto start = starts.find(name);
      if (start != starts.end() && *reading.temperature >= start->second) {
        sensor.secondsAboveStart += held;
      }
    }
    for (const auto& [name, reading] : samples[i].devices) {
      summary.devices[name].secondsAtState[reading.state] += held;
    }
  }
  for (const RecordEvent& event : record.events) {
    if (IsPowerAction(event.action)) {
      summary.powerActions.push_back(&event);
    } else if (event.action == "throttle" || event.action == "failsafe") {
      ++summary.devices[event.device].raised;
    } else if (event.action == "release") {
      ++summary.devices[event.device].lowered;
    }
  }
  return summary;
}
