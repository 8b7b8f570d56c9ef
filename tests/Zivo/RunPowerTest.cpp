// zivo run's power actions on a fake sysfs tree, with logind played by a mock
// on a private bus (or no bus at all): how many readings confirm an action,
// that it is asked once and cancelled when the zone cools, what is printed
// when logind refuses or cannot be reached, and the library's own shutdown
// of a faulty sensor. Nothing reaches this machine's logind: the system bus
// address given to zivo is always the mock's or one that does not exist.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/FakeSysfs.h"
#include "support/MockLogind.h"
#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

using json = nlohmann::json;

constexpr const char* kZone = "zone:x86_pkg_temp:0";
constexpr const char* kBusVariable = "DBUS_SYSTEM_BUS_ADDRESS";
const std::string kNoBus = "unix:path=/nonexistent-zv-bus/socket";

std::string Policy(const std::string& option) {
  return R"(<?xml version="1.0"?>
<VelmarConfig>
  <Platform><Shutdown option=")" +
         option + R"(" timer="60"/></Platform>
  <Devices>
    <Device Path="cooling:Fan:0" class="9"><Throttle limit="2" step="1" priority="0"/><DUsage enable="0" shutdown="0"/></Device>
  </Devices>
  <Sensors>
    <Sensor Path="zone:x86_pkg_temp:0" class="2"><Temperature shutdown="90" ThrottleStart="80"/><SUsage enable="1" aux_interval="2"/></Sensor>
  </Sensors>
</VelmarConfig>
)";
}

struct PowerCase {
  const char* name;
  std::vector<std::string> extra = {};     // beside the common arguments
  std::vector<std::string> expected = {};  // the power lines, summed up
  std::map<std::string, int> calls = {};   // logind calls by method
  const char* option = "shutdown";         // the policy's power option
  int64_t milli = 95000;                   // the zone's temperature at start
  // Once a line holding `after` is out, the zone goes to `thenMilli`.
  std::string after = {};
  int64_t thenMilli = 30000;
  // Logind refuses ScheduleShutdown, or there is no bus: every request
  // fails, and how many are made depends on the readings the run takes.
  bool refused = false;
  const char* canHibernate = "yes";
  bool bus = true;
  // A faulty zone the policy does not name, read only once by discovery.
  bool unmanagedFaulty = false;
};

void PrintTo(const PowerCase& c, std::ostream* out) {
  *out << c.name;
}

// "action[ library][ applied][ already]" for each power decision,
// "unmanaged NAME" for the sensors left alone.
std::vector<std::string> PowerLines(const std::vector<json>& lines) {
  std::vector<std::string> summary;
  for (const json& line : lines) {
    const std::string action = line.value("action", "");
    if (action == "unmanaged") {
      summary.push_back(action + " " + line.value("name", ""));
    } else if (line.contains("byLibrary")) {
      summary.push_back(action + (line.value("byLibrary", false) ? " library" : "") +
                        (line.value("applied", false) ? " applied" : "") +
                        (line.value("alreadyScheduled", false) ? " already" : ""));
    }
  }
  return summary;
}

const char* const kRefusal =
    "raise dbus.exceptions.DBusException('Access denied', "
    "name='org.freedesktop.DBus.Error.AccessDenied')";

class RunPowerTest : public testing::TestWithParam<PowerCase> {
 protected:
  void SetUp() override {
    if (const std::string missing = CMockLogind::MissingTool(); !missing.empty()) {
      GTEST_SKIP() << missing;
    }
    ASSERT_EQ(mMock.Error(), "");
    ASSERT_TRUE(mMock.Reset());
  }
  CMockLogind& mMock = CMockLogind::Shared();
};

TEST_P(RunPowerTest, ActsOnConfirmedReadingsAndReportsWhatLogindDid) {
  const PowerCase& c = GetParam();
  ASSERT_TRUE(
      mMock.AddMethod("CanHibernate", "", "s", std::string("ret = '") + c.canHibernate + "'"));
  if (c.refused) {
    ASSERT_TRUE(mMock.AddMethod("ScheduleShutdown", "st", "", kRefusal));
  }
  // zivo inherits it: its logind is the mock, or no bus at all.
  setenv(kBusVariable, c.bus ? mMock.Address().c_str() : kNoBus.c_str(), 1);
  CFakeSysfs sysfs;
  sysfs.AddCooling(0, "Fan", 3, 0);
  sysfs.AddZone(0, "x86_pkg_temp", c.milli);
  sysfs.LinkCooling(0, 0, 0);
  if (c.unmanagedFaulty) {
    sysfs.AddZone(1, "acpitz", 260000);
  }
  CTempFolder work;
  const std::string policy = work.Write("policy.xml", Policy(c.option));
  std::vector<std::string> args = {"run",        "--json", "--platform",   "linux",
                                   "--naming",   "stable", "--sysfs-root", sysfs.Root(),
                                   "--config",   policy,   "--interval",   "0.25",
                                   "--duration", "3",      "--state-dir",  work.Path()};
  args.insert(args.end(), c.extra.begin(), c.extra.end());
  CZivoProcess daemon(args, work.Path());
  if (!c.after.empty()) {
    ASSERT_TRUE(daemon.WaitFor(c.after));
    sysfs.SetZoneTemp(0, c.thenMilli);
  }
  const _tagSZivoRun run = daemon.Finish();
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<json> lines;
  std::istringstream out(run.out);
  for (std::string text; std::getline(out, text);) {
    lines.push_back(json::parse(text));
  }
  const std::vector<std::string> summary = PowerLines(lines);
  if (c.refused || !c.bus) {
    // How many readings the run takes depends on the machine: every request
    // fails with logind's words, and fewer are made than readings.
    int failed = 0;
    for (const json& line : lines) {
      if (line.value("action", "") != "shutdown") {
        continue;
      }
      ++failed;
      EXPECT_FALSE(line.value("applied", true)) << line;
      EXPECT_NE(line.value("status", 0), 0) << line;
      const json error = line.value("error", json::object());
      EXPECT_EQ(error.value("name", ""), c.bus ? "org.freedesktop.DBus.Error.AccessDenied"
                                               : "org.freedesktop.DBus.Error.FileNotFound")
          << line;
      EXPECT_NE(error.value("message", ""), "") << line;
      EXPECT_NE(line.value("reason", "").find("asked again "), std::string::npos) << line;
    }
    EXPECT_GE(failed, 2) << run.out;
    EXPECT_LE(failed, 5) << run.out;
    if (c.bus) {
      int scheduled = 0;
      for (const _tagSMockCall& call : mMock.Calls()) {
        scheduled += call.method == "ScheduleShutdown" ? 1 : 0;
      }
      EXPECT_EQ(scheduled, failed);
    } else {
      EXPECT_NE(run.out.find("cannot reach the system bus: "), std::string::npos) << run.out;
    }
  } else {
    EXPECT_EQ(summary, c.expected) << run.out;
  }
  std::map<std::string, int> calls;
  for (const _tagSMockCall& call : mMock.Calls()) {
    if (c.calls.count(call.method) != 0) {
      ++calls[call.method];
    }
  }
  for (const auto& [method, count] : c.calls) {
    EXPECT_EQ(calls[method], count) << method << "\n" << run.out;
  }
  // Every power line gives its reason with the sensor's temperature.
  for (const json& line : lines) {
    if (line.contains("byLibrary") && !line.value("byLibrary", false)) {
      EXPECT_EQ(line.value("sensor", ""), kZone) << line;
      EXPECT_NE(line.value("reason", "").find(kZone), std::string::npos) << line;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunPowerTest,
    testing::Values(
        // Hot all along: the third reading confirms, and the shutdown is
        // scheduled once although the zone stays hot for many more.
        PowerCase{.name = "AConfirmedShutdownIsAskedOnce",
                  .extra = {"--apply"},
                  .expected = {"pending", "pending", "shutdown applied"},
                  .calls = {{"ScheduleShutdown", 1}, {"CancelScheduledShutdown", 0}}},
        PowerCase{.name = "ADryRunAsksNothing",
                  .expected = {"pending", "pending", "shutdown"},
                  .calls = {{"ScheduleShutdown", 0}, {"CanPowerOff", 0}}},
        PowerCase{.name = "OneReadingWhenAskedFor",
                  .extra = {"--apply", "--confirm", "1"},
                  .expected = {"shutdown applied"},
                  .calls = {{"ScheduleShutdown", 1}}},
        // One hot sample, then cool: nothing is asked. The longer interval
        // leaves the test a second to cool the zone.
        PowerCase{.name = "OneHotSampleIsNotEnough",
                  .extra = {"--apply", "--interval", "1"},
                  .expected = {"pending"},
                  .calls = {{"ScheduleShutdown", 0}},
                  .after = "\"pending\""},
        // Cool again after the shutdown was scheduled: it is cancelled.
        PowerCase{.name = "CoolingCancelsTheShutdown",
                  .extra = {"--apply"},
                  .expected = {"pending", "pending", "shutdown applied", "cancel applied"},
                  .calls = {{"ScheduleShutdown", 1}, {"CancelScheduledShutdown", 1}},
                  .after = "\"action\":\"shutdown\""},
        PowerCase{
            .name = "ARefusalIsAskedAgainWithABackOff", .extra = {"--apply"}, .refused = true},
        PowerCase{.name = "NoBusIsAFailureWithItsReason", .extra = {"--apply"}, .bus = false},
        // The library's Hibernate answers 1 after asking: logind accepted,
        // so it is applied.
        PowerCase{.name = "AnAcceptedHibernationIsApplied",
                  .extra = {"--apply"},
                  .expected = {"pending", "pending", "hibernate applied"},
                  .calls = {{"Hibernate", 1}, {"ScheduleShutdown", 0}},
                  .option = "hibernate"},
        // Not allowed to hibernate, the library shuts down instead; that
        // shutdown is run's, and is cancelled when the zone cools.
        PowerCase{
            .name = "AHibernationsFallbackShutdownIsCancelledToo",
            .extra = {"--apply"},
            .expected = {"pending", "pending", "hibernate applied", "cancel applied"},
            .calls = {{"Hibernate", 0}, {"ScheduleShutdown", 1}, {"CancelScheduledShutdown", 1}},
            .option = "hibernate",
            .after = "\"action\":\"hibernate\"",
            .canHibernate = "no"},
        // A faulty zone: the library asks at discovery and at every
        // reading; logind is asked once, its deadline never moved, and the
        // requests show once each (discovery, then the first reading).
        PowerCase{.name = "AFaultySensorsShutdownIsScheduledOnce",
                  .extra = {"--apply"},
                  .expected = {"shutdown library applied", "shutdown library applied already",
                               "pending", "pending", "shutdown applied already"},
                  .calls = {{"ScheduleShutdown", 1}, {"CancelScheduledShutdown", 0}},
                  .milli = 260000},
        // A faulty zone the policy does not name is read once, when it is
        // discovered, and never by run.
        PowerCase{.name = "AnUnmanagedFaultyZoneIsNotRead",
                  .expected = {"shutdown library", "unmanaged zone:acpitz:0"},
                  .calls = {{"ScheduleShutdown", 0}},
                  .milli = 30000,
                  .unmanagedFaulty = true}),
    [](const testing::TestParamInfo<PowerCase>& info) { return std::string(info.param.name); });

}  // namespace
