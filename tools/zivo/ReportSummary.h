// The figures a report's summary table shows, worked out from a run record:
// per managed sensor its highest temperature, the time it spent at or above
// its throttle start and its failed readings; per device its decisions and
// the time it spent at each state; the power actions. A sample's values hold
// until the next sample: the last sample of a record counts no time.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "RunRecord.h"

struct SensorSummary {
  std::optional<int32_t> highest;  // tenths of kelvin; none without a reading
  double secondsAboveStart = 0;
  std::size_t readings = 0;
  std::size_t failedReadings = 0;
};

struct DeviceSummary {
  std::size_t raised = 0;   // throttle and failsafe decisions
  std::size_t lowered = 0;  // release decisions
  std::map<uint32_t, double> secondsAtState;
};

struct RecordSummary {
  double seconds = 0;  // from the first sample to the last
  std::map<std::string, SensorSummary> sensors;
  std::map<std::string, DeviceSummary> devices;
  std::vector<const RecordEvent*> powerActions;  // point into the record
};

// The record must outlive the summary.
RecordSummary SummariseRun(const RunRecord& record);
