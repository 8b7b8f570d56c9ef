// The lines of zivo run in both forms, as another writer (a record of the
// run) receives them: the wording of each kind of decision in a dry run and
// when applied, the JSON fields that go with it, and the notes.
#include "RunOutput.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "PolicyEngine.h"
#include "Sim/SimClock.h"
#include "Sim/SimPlatform.h"

namespace {

class CKeptLines : public CRunLineWriter {
 public:
  explicit CKeptLines(std::vector<RunLine>& lines) : mLines(lines) {}
  bool Write(const RunLine& line) override {
    mLines.push_back(line);
    return true;
  }

 private:
  std::vector<RunLine>& mLines;
};

PolicyDecision Throttle() {
  PolicyDecision d;
  d.action = "throttle";
  d.sensor = L"cpu";
  d.temperature = 3182;  // 45.0 C
  d.threshold = 3132;    // 40.0 C
  d.device = L"fan";
  d.from = 0;
  d.to = 2;
  d.record = "<Sensor> line 7";
  return d;
}

PolicyDecision Power(const std::string& action) {
  PolicyDecision d = Throttle();
  d.action = action;
  d.device.clear();
  d.threshold = 3232;
  return d;
}

class RunOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mPlatform = std::make_shared<CSimPlatform>();
    mPlatform->SimClock().SetLocal({2026, 3, 1, 14, 5, 9, 250});
  }

  // The one line `write` makes in a run that applies or not.
  RunLine Line(bool apply, const std::function<void(CRunOutput&)>& write) {
    std::vector<RunLine> lines;
    CRunOutput output(true, apply, true, mPlatform);
    output.AddWriter(std::make_unique<CKeptLines>(lines));
    write(output);
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? RunLine{} : lines[0];
  }

  std::shared_ptr<CSimPlatform> mPlatform;
};

TEST_F(RunOutputTest, EachDecisionInWordsAndInJson) {
  PolicyDecision withRpm = Throttle();
  withRpm.rpm = 1200;
  withRpm.applied = true;
  PolicyDecision refused = Power("shutdown");
  refused.errorName = "org.example.Denied";
  refused.errorMessage = "not now";
  PolicyDecision accepted = Power("hibernate");
  accepted.applied = true;
  accepted.byLibrary = true;
  PolicyDecision pending = Power("pending");
  pending.reason = "cpu read 45.0 C 1 of 3 times";
  PolicyDecision release = Throttle();
  release.action = "release";
  release.from = 2;
  release.to = 0;
  release.applied = true;
  struct Case {
    PolicyDecision decision;
    bool apply;
    std::string text;  // after the time
    nlohmann::json fields;
  };
  const std::string hot = "cpu at 45.0 C reached its throttle start 40.0 C (<Sensor> line 7)";
  const std::string shutdownHot =
      "cpu at 45.0 C reached its shutdown temperature 50.0 C (<Sensor> line 7)";
  const std::vector<Case> cases = {
      {Throttle(),
       false,
       "would throttle fan 0 -> 2: " + hot + " [dry run]",
       {{"dryRun", true}, {"device", "fan"}, {"from", 0}, {"to", 2}, {"applied", false}}},
      {withRpm,
       true,
       "throttle fan 0 -> 2: " + hot + "; fan at 1200 RPM",
       {{"dryRun", false}, {"rpm", 1200}, {"applied", true}}},
      {release,
       true,
       "release fan 2 -> 0: cpu at 45.0 C below its release temperature 40.0 C (<Sensor> line 7)",
       {{"action", "release"}}},
      {refused,
       true,
       "shutdown: " + shutdownHot + " [failed: org.example.Denied: not now]",
       {{"error", {{"name", "org.example.Denied"}, {"message", "not now"}}},
        {"byLibrary", false},
        {"alreadyScheduled", false}}},
      {accepted,
       true,
       "hibernate: cpu at 45.0 C reached its shutdown temperature 50.0 C (<Sensor> line 7) "
       "[recorded by the simulated platform, not carried out]",
       {{"byLibrary", true}, {"threshold", 3232}, {"temperature", 3182}}},
      // Nothing was asked yet: no "would", no outcome, no error.
      {pending,
       false,
       "pending: cpu read 45.0 C 1 of 3 times (<Sensor> line 7)",
       {{"reason", "cpu read 45.0 C 1 of 3 times"}, {"sensor", "cpu"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const RunLine line = Line(c.apply, [&](CRunOutput& out) { out.Decision(c.decision); });
    ASSERT_TRUE(line.text.has_value());
    EXPECT_EQ(*line.text, "2026-03-01 14:05:09.250  " + c.text);
    EXPECT_EQ(line.json.value("time", ""), "2026-03-01 14:05:09.250");
    EXPECT_EQ(line.json.value("action", ""), c.decision.action);
    EXPECT_EQ(line.json.value("record", ""), "<Sensor> line 7");
    for (const auto& [key, value] : c.fields.items()) {
      EXPECT_EQ(line.json[key], value) << key;
    }
    EXPECT_EQ(line.json.contains("device"), !c.decision.device.empty());
    EXPECT_EQ(line.json.contains("byLibrary"), c.decision.device.empty());
    EXPECT_EQ(line.json.contains("error"), c.decision.action == "shutdown");
  }
}

TEST_F(RunOutputTest, NotesNameTheirParticipantInBothForms) {
  PolicyDecision warning = Throttle();
  warning.action = "warning";
  warning.note = "cpu could not be read";
  struct Case {
    std::function<void(CRunOutput&)> write;
    std::string text;
    std::string action;
    std::string name;
  };
  const std::vector<Case> cases = {
      // A warning's text names its sensor already.
      {[&](CRunOutput& o) { o.Decision(warning); }, "warning: cpu could not be read", "warning",
       "cpu"},
      {[](CRunOutput& o) { o.Arrived(true, L"skin", 0, false); },
       "add-sensor skin: arrived and added; the policy does not manage it: it is neither read "
       "nor acted on",
       "add-sensor", "skin"},
      {[](CRunOutput& o) { o.Arrived(false, L"fan", 0, false); },
       "add-device fan: arrived and added; the policy applies to it", "add-device", "fan"},
      {[](CRunOutput& o) { o.Left(true, L"skin", 0); }, "remove-sensor skin: left and removed",
       "remove-sensor", "skin"},
      {[](CRunOutput& o) { o.Stalled(12500); },
       "warning: the loop stalled for 12.500 s; the next reading is one interval from now, the "
       "missed ones are not made up",
       "warning", ""},
      {[](CRunOutput& o) {
         o.Stopped({"SIGTERM", 4, "devices left as they are", {10, 3}, {11, 3}});
       },
       "stopped: SIGTERM; 4 decisions; event threads stopped, devices left as they are; rss 10 "
       "kB at start, 11 kB at end; threads 3 at start, 3 at end",
       "stopped", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const RunLine line = Line(false, c.write);
    ASSERT_TRUE(line.text.has_value());
    EXPECT_EQ(*line.text, "2026-03-01 14:05:09.250  " + c.text);
    EXPECT_EQ(line.json.value("action", ""), c.action);
    EXPECT_EQ(line.json.value("name", "?"), c.name);
    EXPECT_EQ(line.json.value("reason", ""), c.text.substr(c.text.find(": ") + 2));
  }
}

}  // namespace
