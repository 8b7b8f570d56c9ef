// The record of a zivo run (--record FILE), read back: JSON Lines, every
// object with a "time" ("YYYY-MM-DD HH:MM:SS.mmm", the platform's local
// time) and an "action". The first object is the "header" (the record's
// version, the platform, the policy file, the interval, each managed sensor
// with its thresholds and devices); then one "sample" per tick (each managed
// sensor's temperature or why it could not be read, each device's state,
// max and a fan's RPM) among the objects zivo run --json prints (decisions,
// warnings, arrivals, reloads, ...). A managed sensor that joins after the
// header (it arrived, a reload made it managed, or it could first be read
// later) gets a "sensor" object, its header entry, before its first sample;
// the reader adds it to the header's sensors, as it does any sensor it meets
// only in samples (without thresholds). Temperatures are tenths of kelvin.
//
// A record is read whole into memory: a simulated week at a 5 s interval is
// about 120,000 samples. A last line cut short (a run that crashed while
// writing it) is left out and counted; any other line that is not a JSON
// object makes the record unreadable.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The version a record's header carries; a reader refuses a newer one.
inline constexpr int kRunRecordVersion = 1;

struct RecordSensor {
  std::string name;
  std::string type;  // the zone's type where the platform has one
  int32_t throttleStart = 0;
  int32_t release = 0;
  int32_t shutdown = 0;
  std::optional<int32_t> critical;  // the zone's critical trip
  std::vector<std::string> devices;
  // False for a sensor the record names only in its samples: the three
  // temperatures above are then unknown.
  bool thresholds = true;
};

struct RecordHeader {
  int version = 0;
  std::string platform;
  std::string policy;
  double intervalSeconds = 0;
  bool dryRun = true;
  std::vector<RecordSensor> sensors;  // in the order the record names them
};

struct SensorReading {
  std::optional<int32_t> temperature;  // none: the reading failed
  std::string failure;                 // why, when it failed
};

struct DeviceReading {
  uint32_t state = 0;
  std::optional<uint32_t> max;
  std::optional<uint32_t> rpm;
};

struct RecordSample {
  double seconds = 0;  // since the first object of the record
  std::string time;
  std::map<std::string, SensorReading> sensors;
  std::map<std::string, DeviceReading> devices;
};

// A decision or any other object that is not a sample.
struct RecordEvent {
  double seconds = 0;
  std::string time;
  std::string action;
  std::string sensor;  // the deciding sensor; for notes, the name they give
  std::string device;  // throttle, release, failsafe
  uint32_t from = 0;
  uint32_t to = 0;
  std::optional<int32_t> temperature;
  std::string reason;
  bool applied = false;
  bool dryRun = true;
};

struct RunRecord {
  RecordHeader header;
  std::vector<RecordSample> samples;
  std::vector<RecordEvent> events;
  double origin = 0;         // RecordSeconds of the first object's time
  std::size_t cutLines = 0;  // a last line cut short
};

// True for the actions that are decisions (they change a device or ask for a
// power action): throttle, release, failsafe, hibernate, shutdown, cancel.
bool IsDecision(const std::string& action);
// True for hibernate, shutdown and cancel.
bool IsPowerAction(const std::string& action);

// Seconds since 1970 of a record's "time" text, as if it were UTC; none when
// it is not one.
std::optional<double> RecordSeconds(const std::string& time);

// The inverse: "YYYY-MM-DD HH:MM:SS.mmm" of seconds since 1970.
std::string RecordTimeText(double seconds);

// Reads the record at `path`. False with a one-line `error` naming the line
// when it cannot be read, has no header first or is of a newer version.
bool ReadRunRecord(const std::string& path, RunRecord& record, std::string& error);
// The same for a record's `text`; `path` names it in the error.
bool ParseRunRecord(const std::string& text, const std::string& path, RunRecord& record,
                    std::string& error);
