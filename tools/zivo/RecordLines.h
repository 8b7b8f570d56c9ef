// The header and sample objects of a run record (RunRecord.h has the format),
// as the run writes them; the other objects of a record are the lines
// zivo run --json prints. Keys are written in a fixed order.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "RunRecord.h"

// {"time", "action": "header", "version", "platform", "policy", "interval",
//  "dryRun", "sensors": [{"name", "type", "throttleStart", "release",
//  "shutdown", "critical", "devices"}]}; "type" and "critical" only when known.
nlohmann::ordered_json RecordHeaderLine(const RecordHeader& header, const std::string& time);
// {"time", "action": "sensor", then the members of a header's sensor}: a
// managed sensor that joined after the header.
nlohmann::ordered_json RecordSensorLine(const RecordSensor& sensor, const std::string& time);
// {"time", "action": "sample", "sensors": {NAME: {"temperature"} or
//  {"failure"}}, "devices": {NAME: {"state", "max", "rpm"}}}; "max" and
// "rpm" only when known.
nlohmann::ordered_json RecordSampleLine(const RecordSample& sample);
