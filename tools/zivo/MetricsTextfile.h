// The metrics of a run in the Prometheus text exposition format, for
// node_exporter's textfile collector: each Write puts the whole file at PATH
// by writing PATH.XXXXXX in the same folder (a name the collector does not
// read) and renaming it over PATH, so a reader never sees half a file.
//
//   zivo_sensor_temperature_celsius{sensor,type}     each managed sensor read
//   zivo_sensor_threshold_celsius{sensor,threshold}  throttle_start, release,
//                                                    shutdown, critical
//   zivo_device_state{device}, zivo_device_max_state{device}, zivo_fan_rpm{device}
//   zivo_decisions_total{device,direction,reason}    direction up, down,
//       shutdown, hibernate or cancel (device "" for the power actions);
//       reason one of DecisionCauseLabel's
//   zivo_read_errors_total{sensor}
//   zivo_dry_run, zivo_build_info{version}
//
// The counters count from the object's creation. Not thread-safe.
#pragma once

#include <map>
#include <string>
#include <tuple>

#include "DecisionCause.h"
#include "RunRecord.h"

class CMetricsTextfile {
 public:
  CMetricsTextfile(std::string path, std::string version);

  void CountDecision(const std::string& device, const std::string& direction, DecisionCause cause);
  void CountReadError(const std::string& sensor);
  // The file for the sensors and thresholds of `header` and the readings of
  // `sample`. False with a one-line `error` when it cannot be written; the
  // file already there then stays as it was.
  bool Write(const RecordHeader& header, const RecordSample& sample, std::string& error) const;
  // The text Write puts in the file.
  std::string Text(const RecordHeader& header, const RecordSample& sample) const;

 private:
  std::string mPath;
  std::string mVersion;
  std::map<std::tuple<std::string, std::string, std::string>, uint64_t> mDecisions;
  std::map<std::string, uint64_t> mReadErrors;
};
