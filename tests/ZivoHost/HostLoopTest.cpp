// The host loop of zivo run and watch on a simulated handheld: the ticks at
// their moments of simulated time with the model stepped to each, the
// timeline played in its place among them, the events handed over in order,
// and each way the loop ends.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "HostLoop.h"
#include "PlatformOption.h"
#include "support/TempFolder.h"
#include "zivorivizo-sim/SimHandheld.h"

namespace {

// A sensor stepped every 5 s, with a thermal event at 12 s.
const char* kHandheld = R"({"name": "loop", "step_seconds": 5, "ambient": 25.0,
  "devices": [{"wmi": 1, "type": 2, "maximum": 4}],
  "sensors": [{"wmi": 11, "type": 2, "base": 1, "devices": [1]}],
  "timeline": [{"at": 12, "event": "thermal", "wmi": 11, "code": 1}]})";

class HostLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PlatformOptions options;
    options.platform = "sim";
    options.handheldFile = mWork.Write("loop.json", kHandheld);
    std::string error;
    ASSERT_TRUE(InstallChosenPlatform(options, mChosen, error)) << error;
  }

  // A fast simulated clock: 20 s of it take 20 ms.
  static HostPace Fast(std::optional<uint64_t> intervalMs, std::optional<uint64_t> durationMs) {
    HostPace pace;
    pace.intervalMs = intervalMs;
    pace.durationMs = durationMs;
    pace.speed = 1000;
    return pace;
  }

  CTempFolder mWork;
  ChosenPlatform mChosen;
};

struct Tick {
  uint64_t ms;
  uint64_t modelMs;     // how far the model was stepped when it came
  bool timelinePlayed;  // whether the thermal event at 12 s was played
  bool operator==(const Tick&) const = default;
};

TEST_F(HostLoopTest, TicksAtTheirSimulatedMomentsWithTheModelAndTimelineInStep) {
  CHostLoop loop(mChosen, true);
  std::vector<Tick> ticks;
  HostCallbacks callbacks;
  callbacks.tick = [&](uint64_t ms) {
    ticks.push_back({ms, mChosen.handheld->ElapsedMs(), !mChosen.handheld->NextDue()});
  };
  const HostEnd end = loop.Run(Fast(5000, 20000), callbacks);
  EXPECT_EQ(end.kind, HostEnd::Duration);
  // The tick due at the end of the duration is made; none after it. The
  // timeline's moment moves the clock to 12 s before the tick of 15 s; the
  // model then goes on in whole steps from there.
  const std::vector<Tick> expected = {
      {5000, 5000, false}, {10000, 10000, false}, {15000, 12000, true}, {20000, 17000, true}};
  EXPECT_EQ(ticks, expected);
}

TEST_F(HostLoopTest, HandsOverEventsInOrderStampedUntilACallbackEndsIt) {
  CHostLoop loop(mChosen, false);
  CEventListener& listener = loop.Listener();
  for (int id = 1; id <= 3; ++id) {
    listener.ProcessEvent(THERMAL_EVENT, L"sensor " + std::to_wstring(id), id, listener.Context());
  }
  std::vector<int> seen;
  HostCallbacks callbacks;
  callbacks.event = [&](const DaemonEvent& event) {
    EXPECT_EQ(event.name, L"sensor " + std::to_wstring(event.id));
    EXPECT_GE(event.time.year, 1970);
    seen.push_back(event.id);
    return event.id < 2;  // the second ends the loop: the third is not handed over
  };
  HostPace pace = Fast(std::nullopt, std::nullopt);
  pace.timeoutMs = 30000;
  const HostEnd end = loop.Run(pace, callbacks);
  EXPECT_EQ(end.kind, HostEnd::Callback);
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

// How a loop ends, each alone.
TEST_F(HostLoopTest, EndsOnTheFirstOfItsEnds) {
  struct Case {
    const char* what;
    HostPace pace;
    bool goOn;
    HostEnd::Kind end;
    std::size_t ticks;
  };
  HostPace timeout;  // real time: no ticks, no duration
  timeout.timeoutMs = 20;
  const std::vector<Case> cases = {
      {"the reader goes away before anything", Fast(5000, 20000), false, HostEnd::Callback, 0},
      {"a duration shorter than the interval", Fast(5000, 3000), true, HostEnd::Duration, 0},
      {"a duration between two ticks", Fast(5000, 12000), true, HostEnd::Duration, 2},
      {"a real timeout without ticks", timeout, true, HostEnd::Timeout, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    CHostLoop loop(mChosen, true);
    std::size_t ticks = 0;
    HostCallbacks callbacks;
    callbacks.tick = [&](uint64_t) { ++ticks; };
    callbacks.goOn = [&] { return c.goOn; };
    EXPECT_EQ(loop.Run(c.pace, callbacks).kind, c.end);
    EXPECT_EQ(ticks, c.ticks);
  }
}

}  // namespace
