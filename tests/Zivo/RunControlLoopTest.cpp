// "zivo run --apply" on fake sysfs trees changed between its ticks: who owns
// a device's state, what is put back and when, one controller at a time,
// fail-safe on readings that stop, hysteresis whatever the zone order,
// stalls, reloads while the file is being written, and which policy file it
// reads. Every run passes --platform linux, its own state folder and a dead
// system bus address, so no request ever reaches a real logind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/FakeSysfs.h"
#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

using json = nlohmann::json;

// Two zones sharing the fan (cooling_device0, limit 2); zone 0 also has the
// processor (cooling_device1, limit 1). Zone 2 is a tick marker: its reading
// is broken once the run has started, so every tick prints one warning.
class CLoop {
 public:
  CLoop() {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zivo-test-bus", 1);
    mSys.AddZone(0, "acpitz", 30000);
    mSys.AddZone(1, "x86_pkg_temp", 30000);
    mSys.AddZone(2, "marker", 30000);
    mSys.AddCooling(0, "Fan", 4, 0);
    mSys.AddCooling(1, "Processor", 3, 0);
    mSys.LinkCooling(0, 0, 0);
    mSys.LinkCooling(0, 1, 1);
    mSys.LinkCooling(1, 0, 0);
    WritePolicy(50);
  }

  // `zone0` false: zone 0's record turns its usage off.
  void WritePolicy(int start, const std::string& file = "policy.xml", bool processor = true,
                   bool zone0 = true) {
    std::string sensors;
    for (uint32_t zone = 0; zone < 3; ++zone) {
      sensors += "<Sensor Path=\"" + mSys.ZonePath(zone) +
                 "\" class=\"2\"><Temperature shutdown=\"150\" ThrottleStart=\"" +
                 std::to_string(zone == 2 ? 140 : start) + "\"/><SUsage enable=\"" +
                 (zone == 0 && !zone0 ? "0" : "1") + "\" aux_interval=\"2\"/></Sensor>";
    }
    mPolicy = mWork.Write(
        file,
        "<?xml version=\"1.0\"?><VelmarConfig><Platform><Shutdown option=\"shutdown\" "
        "timer=\"15\"/><Throttling preference=\"Active\"/></Platform><Devices>"
        "<Device Path=\"cooling_device0\" class=\"9\"><Throttle limit=\"2\" step=\"1\" "
        "priority=\"1\"/><DUsage enable=\"1\" shutdown=\"0\"/></Device>" +
            std::string(processor ? "<Device Path=\"cooling_device1\" class=\"2\"><Throttle "
                                    "limit=\"1\" step=\"1\" priority=\"0\"/><DUsage "
                                    "enable=\"1\" shutdown=\"0\"/></Device>"
                                  : "") +
            "</Devices><Sensors>" + sensors + "</Sensors></VelmarConfig>\n");
  }

  std::vector<std::string> Args(const std::vector<std::string>& more = {}) const {
    std::vector<std::string> args = {
        "run",   "--json",     "--platform", "linux",   "--sysfs-root", mSys.Root(), "--config",
        mPolicy, "--interval", "0.02",       "--apply", "--state-dir",  State()};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  std::vector<std::string> Restore() const {
    return {"restore", "--state-dir", State(), "--sysfs-root", mSys.Root()};
  }

  // Starts a run and breaks the marker once its participants are listed.
  std::unique_ptr<CZivoProcess> Start(const std::vector<std::string>& more = {}) {
    auto run = std::make_unique<CZivoProcess>(Args(more), mWork.Path());
    EXPECT_TRUE(run->WaitFor("zivo run: applying", true));
    mSys.WriteAttribute("thermal_zone2", "temp", "no reading\n", 0444);
    return run;
  }

  std::string State() const { return mWork.Path() + "/state"; }
  uint32_t Cur(uint32_t cooling) const {
    std::ifstream in(mSys.Root() + "/devices/virtual/thermal/cooling_device" +
                     std::to_string(cooling) + "/cur_state");
    uint32_t value = 99;
    in >> value;
    return value;
  }
  void SetCur(uint32_t cooling, uint32_t state) {
    mSys.WriteAttribute("cooling_device" + std::to_string(cooling), "cur_state",
                        std::to_string(state) + "\n");
  }
  bool WaitCur(CZivoProcess& run, uint32_t cooling, uint32_t state) {
    return run.WaitUntil([&] { return Cur(cooling) == state; });
  }
  // Waits for `n` more ticks (marker warnings).
  bool WaitTicks(CZivoProcess& run, std::size_t n) {
    const std::string marker = "\"name\":\"" + mSys.ZonePath(2) + "\"";
    const std::size_t target = Count(run.Out(), marker) + n;
    return run.WaitUntil([&] { return Count(run.Out(), marker) >= target; });
  }
  static std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
      ++count;
    }
    return count;
  }

  CFakeSysfs mSys;
  CTempFolder mWork;
  std::string mPolicy;
};

std::vector<json> Lines(const std::string& out, const std::string& action) {
  std::vector<json> lines;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    const json parsed = json::parse(line, nullptr, false);
    if (!parsed.is_discarded() && parsed.value("action", "") == action) {
      lines.push_back(parsed);
    }
  }
  return lines;
}

// Milliseconds of the day of a line's "time" ("2026-12-07 20:03:22.123").
long TimeMs(const json& line) {
  int h = 0, m = 0, s = 0, ms = 0;
  std::sscanf(line.value("time", "").c_str() + 11, "%d:%d:%d.%d", &h, &m, &s, &ms);
  return ((h * 60L + m) * 60 + s) * 1000 + ms;
}

// Makes a file refuse every write, even root's (the immutable flag), or
// accept them again; false where the file system has no such flag.
bool SetImmutable(const std::string& path, bool on) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  int flags = 0;
  const bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                    (flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL,
                     ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
  if (fd >= 0) close(fd);
  return done;
}

struct LoopCase {
  const char* name;
  std::function<void(CLoop&)> script;
};

void PrintTo(const LoopCase& c, std::ostream* out) {
  *out << c.name;
}

class RunControlLoopTest : public testing::TestWithParam<LoopCase> {};

TEST_P(RunControlLoopTest, HoldsOnTheFakeTree) {
  CLoop loop;
  GetParam().script(loop);
}

// Zone `hot` raises the fan to its limit with the other zone; then zone
// `hot` sits in its hold band (49 C, start 50) while the other is cold:
// the fan is held whichever zone comes first, and released once both cool.
void HysteresisCase(CLoop& loop, uint32_t hold) {
  loop.mSys.SetZoneTemp(0, 60000);
  loop.mSys.SetZoneTemp(1, 60000);
  auto run = loop.Start();
  ASSERT_TRUE(loop.WaitCur(*run, 0, 2)) << run->Out();
  loop.mSys.SetZoneTemp(hold, 49000);
  loop.mSys.SetZoneTemp(1 - hold, 30000);
  ASSERT_TRUE(loop.WaitTicks(*run, 4));
  EXPECT_EQ(loop.Cur(0), 2u) << run->Out();
  loop.mSys.SetZoneTemp(hold, 30000);
  EXPECT_TRUE(loop.WaitCur(*run, 0, 0)) << run->Out();
  run->Signal(SIGTERM);
  EXPECT_EQ(run->Finish().status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunControlLoopTest,
    testing::Values(
        // Someone else sets the fan to 3 after run raised it: run never lowers
        // it, and leaves it there when it stops; the processor goes back.
        LoopCase{"NeverLowersAStateSetBySomeoneElse",
                 [](CLoop& loop) {
                   loop.mSys.SetZoneTemp(0, 60000);
                   auto run = loop.Start();
                   ASSERT_TRUE(loop.WaitCur(*run, 1, 1)) << run->Out();
                   EXPECT_EQ(loop.Cur(0), 2u);
                   loop.SetCur(0, 3);
                   loop.mSys.SetZoneTemp(0, 30000);
                   ASSERT_TRUE(loop.WaitCur(*run, 1, 0)) << run->Out();
                   ASSERT_TRUE(loop.WaitTicks(*run, 3));
                   EXPECT_EQ(loop.Cur(0), 3u);
                   run->Signal(SIGTERM);
                   const _tagSZivoRun end = run->Finish();
                   EXPECT_EQ(end.status, 0) << end.err;
                   EXPECT_EQ(loop.Cur(0), 3u);
                   EXPECT_EQ(Lines(end.out, "release").size(), 1u) << end.out;
                   EXPECT_FALSE(std::filesystem::exists(loop.State() + "/devices.json"));
                 }},
        // SIGTERM while throttled: every device goes back to the state found
        // (the fan was found at 1), the last line lists them.
        LoopCase{"PutsDevicesBackOnSigterm",
                 [](CLoop& loop) {
                   loop.SetCur(0, 1);
                   loop.mSys.SetZoneTemp(0, 60000);
                   auto run = loop.Start();
                   ASSERT_TRUE(loop.WaitCur(*run, 1, 1)) << run->Out();
                   run->Signal(SIGTERM);
                   const _tagSZivoRun end = run->Finish();
                   EXPECT_EQ(end.status, 0) << end.err;
                   EXPECT_EQ(loop.Cur(0), 1u);
                   EXPECT_EQ(loop.Cur(1), 0u);
                   const std::string last = Lines(end.out, "stopped").at(0).value("reason", "");
                   EXPECT_NE(last.find("put back " + loop.mSys.CoolingPath(0) + " 2 -> 1, " +
                                       loop.mSys.CoolingPath(1) + " 1 -> 0"),
                             std::string::npos)
                       << last;
                 }},
        // SIGKILL leaves the record; zivo restore puts back what is still as
        // run wrote it and leaves what someone changed since.
        LoopCase{"SigkillThenRestore",
                 [](CLoop& loop) {
                   loop.mSys.SetZoneTemp(0, 60000);
                   auto run = loop.Start();
                   ASSERT_TRUE(loop.WaitCur(*run, 1, 1)) << run->Out();
                   run->Signal(SIGKILL);
                   run->Finish();
                   ASSERT_TRUE(std::filesystem::exists(loop.State() + "/devices.json"));
                   loop.SetCur(1, 3);
                   const _tagSZivoRun restore = RunZivo(loop.Restore());
                   EXPECT_EQ(restore.status, 0) << restore.err;
                   EXPECT_EQ(loop.Cur(0), 0u) << restore.out;
                   EXPECT_EQ(loop.Cur(1), 3u);
                   EXPECT_NE(restore.out.find("set by someone else"), std::string::npos);
                   EXPECT_FALSE(std::filesystem::exists(loop.State() + "/devices.json"));
                   EXPECT_NE(RunZivo(loop.Restore()).out.find("nothing to put back"),
                             std::string::npos);
                 }},
        // A run that finds the record of a killed one puts it back first.
        LoopCase{"ARunPutsBackWhatAKilledOneLeft",
                 [](CLoop& loop) {
                   loop.mSys.SetZoneTemp(0, 60000);
                   auto run = loop.Start();
                   ASSERT_TRUE(loop.WaitCur(*run, 1, 1)) << run->Out();
                   run->Signal(SIGKILL);
                   run->Finish();
                   loop.mSys.SetZoneTemp(0, 30000);
                   auto next = loop.Start();
                   ASSERT_TRUE(next->WaitFor("did not end cleanly: put back"));
                   EXPECT_TRUE(loop.WaitCur(*next, 0, 0));
                   EXPECT_EQ(loop.Cur(1), 0u);
                   next->Signal(SIGINT);
                   EXPECT_EQ(next->Finish().status, 0);
                 }},
        // A second --apply on the same folder ends at once, naming the first.
        LoopCase{"OneControllerAtATime",
                 [](CLoop& loop) {
                   auto run = loop.Start();
                   std::string pid;
                   std::ifstream(loop.State() + "/lock") >> pid;
                   const _tagSZivoRun second = RunZivo(loop.Args());
                   EXPECT_EQ(second.status, 1);
                   EXPECT_NE(second.err.find("(pid " + pid + ")"), std::string::npos) << second.err;
                   EXPECT_EQ(RunZivo(loop.Restore()).status, 1);
                   run->Signal(SIGTERM);
                   EXPECT_EQ(run->Finish().status, 0);
                 }},
        // A zone that stops reading: a warning per tick, then (after 2) its
        // devices to their limit; readings back: released step by step.
        LoopCase{"FailSafeOnReadingsThatStop",
                 [](CLoop& loop) {
                   auto run = loop.Start({"--failsafe-after", "2"});
                   ASSERT_TRUE(loop.WaitTicks(*run, 1));
                   loop.mSys.WriteAttribute("thermal_zone0", "temp", "broken\n", 0444);
                   ASSERT_TRUE(run->WaitUntil([&] {
                     return Lines(run->Out(), "failsafe").size() == 2;
                   })) << run->Out();
                   EXPECT_EQ(loop.Cur(0), 2u);
                   EXPECT_EQ(loop.Cur(1), 1u);
                   const std::vector<json> safe = Lines(run->Out(), "failsafe");
                   EXPECT_NE(safe[0].value("reason", "").find("no fresh reading 2 times"),
                             std::string::npos);
                   const std::string zone = loop.mSys.ZonePath(0);
                   EXPECT_NE(run->Out().find(zone + ": its reading failed ("), std::string::npos);
                   // The file that failed, and why.
                   EXPECT_NE(run->Out().find("): " + zone +
                                             "/temp: not a decimal value, or not a regular file"),
                             std::string::npos)
                       << run->Out();
                   loop.mSys.SetZoneTemp(0, 30000);
                   ASSERT_TRUE(run->WaitFor("\"recovered\""));
                   EXPECT_TRUE(loop.WaitCur(*run, 0, 0));
                   EXPECT_EQ(loop.Cur(1), 0u);
                   run->Signal(SIGTERM);
                   EXPECT_EQ(run->Finish().status, 0);
                 }},
        // The processor refuses its writes: each try is a failure from its
        // state found (never "1 -> ..."), and nothing of it is put back.
        LoopCase{"AFailedWriteIsNotCountedAsRaised",
                 [](CLoop& loop) {
                   const std::string cur =
                       loop.mSys.Root() + "/devices/virtual/thermal/cooling_device1/cur_state";
                   if (!SetImmutable(cur, true)) {
                     GTEST_SKIP() << "no immutable flag here";
                   }
                   loop.mSys.SetZoneTemp(0, 60000);
                   auto run = loop.Start();
                   const std::string failed = "\"applied\":false,\"device\":\"" +
                                              loop.mSys.CoolingPath(1) +
                                              "\",\"dryRun\":false,\"failure\":";
                   const bool seen =
                       run->WaitUntil([&] { return CLoop::Count(run->Out(), failed) >= 2; });
                   run->Signal(SIGTERM);
                   const _tagSZivoRun end = run->Finish();
                   SetImmutable(cur, false);
                   ASSERT_TRUE(seen) << end.out;
                   for (const json& line : Lines(end.out, "throttle")) {
                     if (line.value("device", "") == loop.mSys.CoolingPath(1)) {
                       EXPECT_EQ(line.value("from", 9), 0) << line;
                       EXPECT_FALSE(line.value("applied", true)) << line;
                       EXPECT_EQ(
                           line.value("failure", ""),
                           loop.mSys.CoolingPath(1) + "/cur_state: Operation not permitted (EPERM)")
                           << line;
                     }
                   }
                   const std::string last = Lines(end.out, "stopped").at(0).value("reason", "");
                   EXPECT_EQ(last.find(loop.mSys.CoolingPath(1)), std::string::npos) << last;
                   EXPECT_EQ(loop.Cur(0), 0u);
                 }},
        // max_state falls under the limit: the fan never gets above it.
        LoopCase{"ReadsMaxStateBeforeEachWrite",
                 [](CLoop& loop) {
                   loop.mSys.WriteAttribute("cooling_device0", "max_state", "1\n", 0444);
                   loop.mSys.SetZoneTemp(0, 60000);
                   auto run = loop.Start();
                   ASSERT_TRUE(loop.WaitCur(*run, 1, 1)) << run->Out();
                   EXPECT_EQ(loop.Cur(0), 1u);
                   run->Signal(SIGTERM);
                   const _tagSZivoRun end = run->Finish();
                   EXPECT_EQ(end.status, 0);
                   for (const json& line : Lines(end.out, "throttle")) {
                     EXPECT_LE(line.value("to", 9), 1) << line;
                   }
                 }},
        LoopCase{"HysteresisHoldsWithZone0InItsBand", [](CLoop& loop) { HysteresisCase(loop, 0); }},
        LoopCase{"HysteresisHoldsWithZone1InItsBand", [](CLoop& loop) { HysteresisCase(loop, 1); }},
        // Stopped for ten intervals: one warning with the stall, and the
        // ticks after it one interval apart, not a burst.
        LoopCase{"AStallIsNotMadeUpInABurst",
                 [](CLoop& loop) {
                   auto run = loop.Start();
                   ASSERT_TRUE(loop.WaitTicks(*run, 2));
                   run->Signal(SIGSTOP);
                   // The stall under test: the process stays stopped this long.
                   const auto until =
                       std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
                   run->WaitUntil([&] { return std::chrono::steady_clock::now() >= until; });
                   run->Signal(SIGCONT);
                   ASSERT_TRUE(run->WaitFor("the loop stalled for "));
                   ASSERT_TRUE(loop.WaitTicks(*run, 2));
                   run->Signal(SIGTERM);
                   const _tagSZivoRun end = run->Finish();
                   // Under load a shorter stall may be seen too; the one made
                   // here is the one of 0.15 s and more.
                   const std::vector<json> warnings = Lines(end.out, "warning");
                   std::size_t stall = 0;
                   double seconds = 0;
                   for (; stall < warnings.size(); ++stall) {
                     const std::string reason = warnings[stall].value("reason", "");
                     if (std::sscanf(reason.c_str(), "the loop stalled for %lf", &seconds) == 1 &&
                         seconds >= 0.15) {
                       break;
                     }
                   }
                   // Zone 2 warns at every tick. A burst would read it twice at
                   // once; one interval apart, the second reading comes at least
                   // one interval after the warning, however late the warning was
                   // stamped (under the sanitizers it can be by several ms).
                   ASSERT_LT(stall + 2, warnings.size()) << end.out;
                   EXPECT_GE(TimeMs(warnings[stall + 2]) - TimeMs(warnings[stall]), 20) << end.out;
                 }},
        // A reload stops managing hot zone 0: it no longer holds the fan it
        // shares, which goes down once zone 1 cools. Managed again by the
        // next reload, it raises the fan again and lets it go when it cools.
        LoopCase{"AReloadStopsThenResumesManagingASensor",
                 [](CLoop& loop) {
                   loop.mSys.SetZoneTemp(0, 60000);
                   loop.mSys.SetZoneTemp(1, 60000);
                   auto run = loop.Start();
                   ASSERT_TRUE(loop.WaitCur(*run, 0, 2)) << run->Out();
                   const auto reload = [&](bool zone0, std::size_t count) {
                     loop.WritePolicy(50, "policy.xml", true, zone0);
                     run->Signal(SIGHUP);
                     return run->WaitUntil(
                         [&] { return Lines(run->Out(), "reload").size() == count; });
                   };
                   ASSERT_TRUE(reload(false, 1)) << run->Out();
                   loop.mSys.SetZoneTemp(1, 30000);
                   ASSERT_TRUE(loop.WaitCur(*run, 0, 0)) << run->Out();
                   ASSERT_TRUE(reload(true, 2)) << run->Out();
                   ASSERT_TRUE(loop.WaitCur(*run, 0, 2)) << run->Out();
                   loop.mSys.SetZoneTemp(0, 30000);
                   EXPECT_TRUE(loop.WaitCur(*run, 0, 0)) << run->Out();
                   EXPECT_TRUE(loop.WaitCur(*run, 1, 0)) << run->Out();
                   run->Signal(SIGTERM);
                   EXPECT_EQ(run->Finish().status, 0);
                 }},
        // SIGHUP after SIGHUP while the file flips between a broken one and a
        // good one, written in place as an editor does: the built-in defaults
        // (throttle at 75 C) never apply to the zone at 80 C (start 90), and
        // each reload says what it did.
        LoopCase{"AReloadStormNeverAppliesTheDefaults",
                 [](CLoop& loop) {
                   loop.WritePolicy(90);
                   loop.mSys.SetZoneTemp(0, 80000);
                   auto run = loop.Start();
                   ASSERT_TRUE(loop.WaitTicks(*run, 1));
                   for (int i = 0; i < 60; ++i) {
                     if (i % 2 == 0) {
                       loop.mWork.Write("policy.xml", "<VelmarConfig><Devices>");
                     } else {
                       loop.WritePolicy(i < 59 ? 90 : 95, "policy.xml", i < 59);
                     }
                     run->Signal(SIGHUP);
                     run->WaitFor("\"reload\"", false, std::chrono::milliseconds(1));
                   }
                   // The last file drops a record and changes two.
                   ASSERT_TRUE(run->WaitFor(
                       "the policy is reloaded: 1 removed (device cooling_device1), 2 changed "
                       "(sensor " +
                       loop.mSys.ZonePath(0) + ", sensor " + loop.mSys.ZonePath(1) + ")"));
                   ASSERT_TRUE(loop.WaitTicks(*run, 2));
                   run->Signal(SIGTERM);
                   const _tagSZivoRun end = run->Finish();
                   EXPECT_TRUE(Lines(end.out, "throttle").empty()) << end.out;
                   for (const json& line : Lines(end.out, "reload")) {
                     const std::string reason = line.value("reason", "");
                     EXPECT_TRUE(reason.rfind("the policy is reloaded: ", 0) == 0 ||
                                 reason.rfind("kept the policy in force: ", 0) == 0)
                         << reason;
                   }
                 }},
        // An explicit --config must load: never ./velmarconfig.xml instead.
        LoopCase{"AMissingConfigEndsTheRun",
                 [](CLoop& loop) {
                   loop.WritePolicy(50, "velmarconfig.xml");
                   std::vector<std::string> args = loop.Args();
                   args[7] = loop.mWork.Path() + "/missing.xml";
                   const _tagSZivoRun run = RunZivo(args, loop.mWork.Path());
                   EXPECT_EQ(run.status, 1);
                   EXPECT_NE(run.err.find("missing.xml does not load"), std::string::npos)
                       << run.err;
                   args.erase(args.begin() + 6, args.begin() + 8);
                   const _tagSZivoRun fallback = RunZivo(args, loop.mWork.Path());
                   EXPECT_NE(fallback.err.find("the policy is /etc/zivo/velmarconfig.xml"),
                             std::string::npos)
                       << fallback.err;
                   if (!std::filesystem::exists("/etc/zivo/velmarconfig.xml")) {
                     EXPECT_EQ(fallback.status, 1);
                   }
                   EXPECT_EQ(loop.Cur(0), 0u);
                 }}),
    [](const testing::TestParamInfo<LoopCase>& info) { return std::string(info.param.name); });

// What run says before it starts, and when it refuses to: `edit` changes
// the loop's policy text; the run lasts 0.1 s, with --apply and --json
// unless `textDryRun`. "@" in an expected text stands for the tree's root.
struct StartupCase {
  const char* name;
  std::function<std::string(const CLoop&, std::string)> edit;
  bool textDryRun;
  int status;
  std::vector<std::string> outputs;  // texts on standard output
  std::vector<std::string> errors;   // texts on standard error
};

void PrintTo(const StartupCase& c, std::ostream* out) {
  *out << c.name;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

class RunStartupTest : public testing::TestWithParam<StartupCase> {};

TEST_P(RunStartupTest, SaysWhatItControlsFirst) {
  const StartupCase& c = GetParam();
  CLoop loop;
  std::ifstream in(loop.mPolicy);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  loop.mWork.Write("policy.xml", c.edit(loop, text));
  loop.mSys.SetZoneTemp(0, 60000);
  std::vector<std::string> args = loop.Args({"--duration", "0.1"});
  if (c.textDryRun) {
    args.erase(std::find(args.begin(), args.end(), "--apply"));
    args.erase(std::find(args.begin(), args.end(), "--json"));
  }
  const _tagSZivoRun run = RunZivo(args, loop.mWork.Path());
  EXPECT_EQ(run.status, c.status) << run.err;
  for (const auto& [expected, shown] :
       {std::pair(c.outputs, run.out), std::pair(c.errors, run.err)}) {
    for (const std::string& text : expected) {
      const std::string rooted = Replaced(text, "@", loop.mSys.Root());
      EXPECT_NE(shown.find(rooted), std::string::npos) << rooted << " in\n" << shown;
    }
  }
  if (c.status != 0) {
    // Refused before anything was written or recorded.
    EXPECT_TRUE(run.out.find("\"throttle\"") == std::string::npos) << run.out;
    EXPECT_EQ(loop.Cur(0), 0u);
    EXPECT_FALSE(std::filesystem::exists(loop.State() + "/devices.json"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunStartupTest,
    testing::Values(
        // A record for a zone the tree does not have, and the marker zone
        // with no device: both warned of; the hot zone's devices listed.
        StartupCase{"ARecordThatMatchesNothingWarns",
                    [](const CLoop&, std::string text) {
                      return Replaced(text, "</Sensors>",
                                      "<Sensor Path=\"/nowhere/thermal_zone9\" class=\"2\">"
                                      "<Temperature shutdown=\"150\" ThrottleStart=\"50\"/>"
                                      "<SUsage enable=\"1\" aux_interval=\"2\"/></Sensor>"
                                      "</Sensors>");
                    },
                    false,
                    0,
                    {"\"action\":\"controls\"",
                     "{\"devices\":[\"@/class/thermal/cooling_device0\",\"@/class/thermal/"
                     "cooling_device1\"],",
                     "\"nothingToControl\":false",
                     "\"element\":\"<Sensor Path=\\\"/nowhere/thermal_zone9\\\">\"",
                     "\"action\":\"throttle\""},
                    {}},
        // No record names a zone of the tree: --apply ends at once, saying
        // why, and touches nothing.
        StartupCase{"NothingToControlEndsAnApply",
                    [](const CLoop& loop, std::string text) {
                      return Replaced(text, loop.mSys.Root(), "/nowhere");
                    },
                    false,
                    1,
                    {"\"nothingToControl\":true"},
                    {"zivo run: the policy controls nothing on the "}},
        // The same as a dry run goes on, and says so on standard error.
        StartupCase{"NothingToControlInADryRunIsSaid",
                    [](const CLoop& loop, std::string text) {
                      return Replaced(text, loop.mSys.Root(), "/nowhere");
                    },
                    true,
                    0,
                    {"  stopped: the run's duration passed"},
                    {"Controls:\nNothing to control: no sensor of the platform", "/policy.xml:"}}),
    [](const testing::TestParamInfo<StartupCase>& info) { return std::string(info.param.name); });

}  // namespace
