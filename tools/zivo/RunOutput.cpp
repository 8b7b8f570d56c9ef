#include "RunOutput.h"

#include <cstdio>

#include "AccessFailure.h"
#include "JsonText.h"
#include "LocalTimeText.h"
#include "OutputPipe.h"
#include "PolicyEngine.h"
#include "PolicyFindings.h"
#include "PolicyInForce.h"
#include "StatusText.h"
#include "TextTable.h"
#include "zivorivizo/Log.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/Text.h"

namespace {

// The standard output: text, or JSON lines with --json.
class CScreenWriter : public CRunLineWriter {
 public:
  explicit CScreenWriter(bool json) : mJson(json) {}
  bool Write(const RunLine& line) override {
    if (mJson) {
      std::printf("%s\n", JsonText(line.json).c_str());
    } else if (line.text) {
      std::printf("%s\n", line.text->c_str());
    } else {
      return true;
    }
    return !OutputClosed();
  }

 private:
  bool mJson;
};

std::string Seconds(uint64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", ms / 1000.0);
  return text;
}

std::string StatusWords(int status) {
  return std::to_string(status) + ": " + StatusText(status);
}

// Why a decision was taken, in words.
std::string DecisionReason(const PolicyDecision& d) {
  if (d.action == "failsafe") {
    return d.note;
  }
  if (!d.reason.empty()) {
    return d.reason;
  }
  const bool power = d.device.empty();
  const bool release = d.action == "release";
  return ToUtf8(d.sensor) + " at " + CelsiusText(d.temperature) +
         (release ? " below " : " reached ") +
         (power     ? "its shutdown temperature "
          : release ? "its release temperature "
                    : "its throttle start ") +
         CelsiusText(d.threshold);
}

// What came of a decision, in words (empty when there is nothing to add),
// and the file and errno of a failed write.
struct DecisionOutcome {
  std::string text;
  std::string failure;
};

DecisionOutcome OutcomeOf(const PolicyDecision& d, bool apply, bool simulated) {
  const bool power = d.device.empty();
  DecisionOutcome outcome;
  if (d.action == "pending") {
    // Nothing was asked yet; the reason says how many readings are in.
  } else if (!d.applied && !d.note.empty() && d.action != "failsafe") {
    outcome.text = d.note;
  } else if (!apply) {
    outcome.text = "dry run";
  } else if (!d.applied && power) {
    outcome.text = "failed: " + (d.errorName.empty() ? "" : d.errorName + ": ") + d.errorMessage;
  } else if (!d.applied) {
    outcome.failure = AccessFailureText(d.device);
    outcome.text = "failed with " + StatusWords(d.status) +
                   (outcome.failure.empty() ? "" : ": " + outcome.failure);
  } else if (d.alreadyScheduled) {
    outcome.text = "a shutdown already pending stands; its deadline is unchanged";
  } else if (power && simulated) {
    outcome.text = "recorded by the simulated platform, not carried out";
  }
  return outcome;
}

nlohmann::json DecisionJson(const PolicyDecision& d, const std::string& reason,
                            const DecisionOutcome& outcome, bool apply) {
  nlohmann::json line = {
      {"action", d.action},       {"dryRun", !apply},           {"applied", d.applied},
      {"status", d.status},       {"sensor", ToUtf8(d.sensor)}, {"temperature", d.temperature},
      {"threshold", d.threshold}, {"record", d.record},         {"reason", reason}};
  if (!d.device.empty()) {
    line["device"] = ToUtf8(d.device);
    line["from"] = d.from;
    line["to"] = d.to;
    if (d.rpm) {
      line["rpm"] = *d.rpm;
    }
    if (!outcome.failure.empty()) {
      line["failure"] = outcome.failure;
    }
  } else {
    line["byLibrary"] = d.byLibrary;
    line["alreadyScheduled"] = d.alreadyScheduled;
    if (apply && !d.applied && d.action != "pending") {
      line["error"] = {{"name", d.errorName}, {"message", d.errorMessage}};
    }
  }
  return line;
}

}  // namespace

std::string PolicyLoadFailure(const std::string& path, const ConfigLoadReport& report) {
  std::string text = path + " does not load (" + StatusWords(report.result) + ")";
  if (report.parseError.code != 0) {
    text += ": " + ToUtf8(report.parseError.reason);
    if (report.parseError.line > 0) {
      text += " at line " + std::to_string(report.parseError.line);
    }
  }
  return text;
}

CRunOutput::CRunOutput(bool json, bool apply, bool simulated, std::shared_ptr<CPlatform> platform)
    : mJson(json), mApply(apply), mSimulated(simulated), mPlatform(std::move(platform)) {
  mWriters.push_back(std::make_unique<CScreenWriter>(json));
}

CRunOutput::~CRunOutput() = default;

void CRunOutput::AddWriter(std::unique_ptr<CRunLineWriter> writer) {
  mWriters.push_back(std::move(writer));
}

void CRunOutput::Decision(const PolicyDecision& d) {
  if (d.action == "warning" || d.action == "recovered") {
    // A warning's text names its sensor already.
    Note(d.action, d.sensor, d.note, d.action != "warning");
    return;
  }
  const std::string reason = DecisionReason(d);
  const DecisionOutcome outcome = OutcomeOf(d, mApply, mSimulated);
  std::string what = std::string(mApply || d.action == "pending" ? "" : "would ") + d.action;
  if (!d.device.empty()) {
    what += " " + ToUtf8(d.device) + " " + std::to_string(d.from) + " -> " + std::to_string(d.to);
  }
  RunLine line;
  const std::string now = Now();
  line.json = DecisionJson(d, reason, outcome, mApply);
  line.json["time"] = now;
  line.text = now + "  " + what + ": " + reason + " (" + d.record + ")" +
              (outcome.text.empty() ? "" : " [" + outcome.text + "]") +
              (d.rpm ? "; fan at " + std::to_string(*d.rpm) + " RPM" : "");
  Write(line);
  CPrint::Info("zivo run: %s: %s (%s)%s", what.c_str(), reason.c_str(), d.record.c_str(),
               mApply ? "" : " [dry run]");
}

void CRunOutput::Findings(const PolicyFindings& findings, const std::string& file) {
  if (!mJson) {
    PrintPolicyControls(stderr, findings);
    PrintPolicyWarnings(stderr, file, findings);
  }
  RunLine controls;
  controls.json = PolicyFindingsJson(findings);
  controls.json.erase("warnings");
  controls.json["time"] = Now();
  controls.json["action"] = "controls";
  Write(controls);
  for (const ConfigFinding& warning : findings.warnings) {
    Write({nlohmann::json{{"time", Now()},
                          {"action", "warning"},
                          {"name", ""},
                          {"file", file},
                          {"line", warning.line},
                          {"element", warning.element},
                          {"reason", warning.message}},
           std::nullopt});
  }
}

void CRunOutput::Warning(const std::string& text) {
  Note("warning", L"", text);
}

void CRunOutput::Restored(const std::string& text) {
  Note("restore", L"", text);
}

void CRunOutput::Unmanaged(const std::wstring& name) {
  Note("unmanaged", name,
       "the policy has no record for it or its usage is off: it is neither read nor acted on");
}

void CRunOutput::Arrived(bool sensor, const std::wstring& name, int status, bool managed) {
  Note(sensor ? "add-sensor" : "add-device", name,
       status != 0          ? "arrived, not added: " + StatusWords(status)
       : !sensor || managed ? "arrived and added; the policy applies to it"
                            : "arrived and added; the policy does not manage it: it is neither "
                              "read nor acted on");
}

void CRunOutput::Left(bool sensor, const std::wstring& name, int status) {
  Note(sensor ? "remove-sensor" : "remove-device", name,
       status == 0 ? "left and removed" : "left; removing it answered " + StatusWords(status));
}

void CRunOutput::EventsUnavailable(int status) {
  Warning("the event manager's Init failed with " + StatusWords(status) +
          "; the sensors are read at each interval only");
}

void CRunOutput::Stalled(uint64_t stalledMs) {
  Warning("the loop stalled for " + Seconds(stalledMs) +
          "; the next reading is one interval from now, the missed ones are not made up");
}

void CRunOutput::Reloaded(const std::wstring& path, const ConfigLoadReport& report,
                          const PolicyChange& change) {
  Note("reload", path,
       report.loaded ? "the policy is reloaded: " + change.Text()
                     : "kept the policy in force: " + PolicyLoadFailure(ToUtf8(path), report));
}

void CRunOutput::Stopped(const RunSummary& s) {
  Note("stopped", L"",
       s.ending + "; " + std::to_string(s.decisions) + " decisions; event threads stopped, " +
           s.devices + "; rss " + std::to_string(s.start.rssKb) + " kB at start, " +
           std::to_string(s.end.rssKb) + " kB at end; threads " + std::to_string(s.start.threads) +
           " at start, " + std::to_string(s.end.threads) + " at end");
}

void CRunOutput::FanNotes() {
  for (const LinuxFanNote& note : TakeLinuxFanNotes()) {
    if (note.kind == LinuxFanNoteKind::ControlRetaken) {
      Note("warning", note.device, note.text);
    }
  }
}

void CRunOutput::Note(const std::string& action, const std::wstring& name, const std::string& text,
                      bool nameInText) {
  const std::string now = Now();
  Write(
      {nlohmann::json{{"time", now}, {"action", action}, {"name", ToUtf8(name)}, {"reason", text}},
       now + "  " + action + (name.empty() || !nameInText ? "" : " " + ToUtf8(name)) + ": " +
           text});
  CPrint::Info("zivo run: %s %s: %s", action.c_str(), ToUtf8(name).c_str(), text.c_str());
}

void CRunOutput::Write(const RunLine& line) {
  // Only the screen's reader going away ends the run; another writer that
  // fails says so itself.
  if (!mWriters.front()->Write(line)) {
    mClosed = true;
  }
  for (std::size_t i = 1; i < mWriters.size(); ++i) {
    mWriters[i]->Write(line);
  }
}

std::string CRunOutput::Now() {
  return LocalTimeText(mPlatform->Clock().LocalNow());
}
