// What zivo run says while it runs, one line per event: its decisions, the
// notes on participants arriving and leaving, reloads, warnings and the line
// that ends the run. Each kind of line has one method here, which makes both
// forms of it at once: the JSON object (the screen with --json, and any other
// writer of JSON lines such as a record of the run) and the text a person
// reads. The format lives here and nowhere else.
//
// Every JSON line is one object with "time" (local, "YYYY-MM-DD
// hh:mm:ss.mmm") and "action", and:
// - a decision ("throttle", "release", "failsafe", "hibernate", "shutdown",
//   "cancel", "pending"): "dryRun", "applied", "status", "sensor",
//   "temperature" and "threshold" (tenths of kelvin), "record", "reason";
//   for a device also "device", "from", "to", "rpm" (a fan with a
//   tachometer) and "failure" (the file and errno of a failed write); for a
//   power action "byLibrary", "alreadyScheduled" and, when it was refused,
//   "error" {"name", "message"};
// - a note ("warning", "recovered", "restore", "unmanaged", "add-sensor",
//   "add-device", "remove-sensor", "remove-device", "reload", "stopped"):
//   "name" (empty when it concerns no participant) and "reason";
// - "controls": what the policy controls (PolicyFindingsJson without its
//   warnings), then one "warning" per finding with "name" "", "file",
//   "line", "element" and "reason".
// In text, a line is the time, two spaces, then the action and its reason;
// the findings go to standard error with run's other start-up lines.
//
// Every line also goes to the library's log at info level. Not thread-safe:
// the run's loop writes all its lines from one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "zivorivizo/Diagnostics.h"

class CPlatform;
struct PolicyChange;
struct PolicyDecision;
struct PolicyFindings;

// One line in its two forms. `text` is absent for a line a person does not
// read on the standard output (the findings, printed on standard error).
struct RunLine {
  nlohmann::json json;
  std::optional<std::string> text;
};

// Where lines go. Write answers false once the line could not be written
// because the reader has gone.
class CRunLineWriter {
 public:
  virtual ~CRunLineWriter() = default;
  virtual bool Write(const RunLine& line) = 0;
};

// The process's resident memory (kB) and thread count, -1 when unknown.
struct RunFootprint {
  long rssKb = -1;
  long threads = -1;
};

// How a run ended, for its last line.
struct RunSummary {
  std::string ending;  // "SIGTERM", "the run's duration passed", ...
  uint64_t decisions = 0;
  std::string devices;  // what became of the devices run changed
  RunFootprint start;
  RunFootprint end;
};

// Why a policy file does not load, in one line: "FILE does not load (CODE:
// MEANING): REASON at line N".
std::string PolicyLoadFailure(const std::string& path, const ConfigLoadReport& report);

class CRunOutput {
 public:
  // Lines go to the standard output, as JSON when `json`, else as text.
  // `apply` and `simulated` shape the wording of a decision ("would ...",
  // a power action the simulated platform only recorded). The time of each
  // line is read from `platform`'s clock.
  CRunOutput(bool json, bool apply, bool simulated, std::shared_ptr<CPlatform> platform);
  ~CRunOutput();

  // Another writer that receives every line after the standard output.
  void AddWriter(std::unique_ptr<CRunLineWriter> writer);

  void Decision(const PolicyDecision& decision);
  // What the policy controls and its warnings, before the run starts.
  void Findings(const PolicyFindings& findings, const std::string& file);
  void Warning(const std::string& text);
  // Something put back as it was found before the run started.
  void Restored(const std::string& text);
  // A participant the policy leaves alone.
  void Unmanaged(const std::wstring& name);
  // A participant that arrived; `status` is what adding it answered.
  void Arrived(bool sensor, const std::wstring& name, int status, bool managed);
  // A participant that left; `status` is what removing it answered.
  void Left(bool sensor, const std::wstring& name, int status);
  // The event manager could not start: the sensors are read at each tick.
  void EventsUnavailable(int status);
  // The loop woke `stalledMs` late; the missed ticks are not made up.
  void Stalled(uint64_t stalledMs);
  // A reload of `path` (SIGHUP); `change` says what changed when it loaded.
  void Reloaded(const std::wstring& path, const ConfigLoadReport& report,
                const PolicyChange& change);
  void Stopped(const RunSummary& summary);
  // A fan whose driver put it back in its own mode (after a suspend): the
  // run took control again before its write, and says so once for each.
  void FanNotes();

  // True once a line could not be written because the reader has gone.
  bool Closed() const { return mClosed; }

 private:
  void Note(const std::string& action, const std::wstring& name, const std::string& text,
            bool nameInText = true);
  void Write(const RunLine& line);
  std::string Now();

  std::vector<std::unique_ptr<CRunLineWriter>> mWriters;  // the screen first
  bool mClosed = false;
  bool mJson;
  bool mApply;
  bool mSimulated;
  std::shared_ptr<CPlatform> mPlatform;
};
