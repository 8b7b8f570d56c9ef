// What zivo run keeps of a run besides its output: the record of
// --record FILE (RunRecord.h: a header, one sample per tick and every
// object run --json prints) and the metrics textfile of --metrics-textfile
// PATH, rewritten at each tick. The objects run --json prints reach the
// record through Line, written by the same code as --json; lines given
// before Start wait for the header. Owns the record file. Not thread-safe:
// the run's one thread drives it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MetricsTextfile.h"
#include "PolicyEngine.h"
#include "RecordFile.h"
#include "RunOutput.h"
#include "RunRecord.h"

struct PolicyFindings;
class CLinuxSysfsView;

class CRunRecorder {
 public:
  // Either path may be empty. False with a one-line `error` when the record
  // cannot be created.
  bool Open(const std::string& recordPath, const std::string& metricsPath,
            const std::string& version, std::string& error);
  // True when a record or the metrics are kept at all.
  bool Active() const { return mFile.IsOpen() || mMetrics != nullptr; }
  bool Records() const { return mFile.IsOpen(); }

  // Writes the header, then the lines given so far. `view` (may be null;
  // it must outlive the recorder) gives a sensor that joins later its
  // zone's type and critical trip.
  void Start(RecordHeader header, const CLinuxSysfsView* view, const std::string& time);
  // An object run --json prints, as its text.
  void Line(const std::string& json);
  // Counts a decision (and a failed reading's warning) for the metrics.
  void Decision(const PolicyDecision& d);
  // After the policy was applied to every sensor: a "sensor" object for each
  // managed sensor read that the header does not have (it joins the header,
  // so the metrics cover it too), one sample, and the metrics rewritten.
  void Tick(CPolicyEngine& engine, const std::string& time);
  // Why the record or the metrics could not be written, once per failure
  // episode; empty otherwise.
  std::string TakeWarning();

 private:
  CRecordFile mFile;
  std::unique_ptr<CMetricsTextfile> mMetrics;
  void Joined(CPolicyEngine& engine, const std::string& time);

  std::optional<RecordHeader> mHeader;
  const CLinuxSysfsView* mView = nullptr;
  std::vector<std::string> mWaiting;
  std::string mWarning;
  bool mRecordWarned = false;
  bool mMetricsWarned = false;
};

// A writer of the run's output lines that hands each, as its JSON, to
// `recorder`, which must outlive it.
std::unique_ptr<CRunLineWriter> RecordLineWriter(CRunRecorder& recorder);

// The header of a run's record: each sensor run controls, with the
// thresholds of its record, its zone's critical trip and type where the
// kernel's view has them (`view` may be null), and its devices.
// One managed sensor's header entry, throttling `devices`; none when the
// policy does not manage it.
std::optional<RecordSensor> RunRecordSensor(const std::wstring& name,
                                            const std::vector<std::wstring>& devices,
                                            CPolicyEngine& engine, const CLinuxSysfsView* view);

RecordHeader RunRecordHeader(const PolicyFindings& findings, CPolicyEngine& engine,
                             const CLinuxSysfsView* view, const std::string& platform,
                             const std::string& policy, double intervalSeconds, bool dryRun);
