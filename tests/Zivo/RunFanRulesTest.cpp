// "zivo run --apply" and the fans of an AMD desktop on a fake hwmon tree:
// each decision shows the fan's speed, a sensor at its chip's critical limit
// sends its fans to full speed at once, a fan that reads stopped gets one
// kick, a driver that takes a fan back (after a suspend) is a warning, and
// --fan-levels changes a fan's states. Every run passes --platform linux, its
// own state folder and a dead system bus address, so no request ever
// reaches a real logind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/FakeHwmonTree.h"
#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

using json = nlohmann::json;

const char kPwm1[] = "fan:nct6798-isa-0290:pwm1";
const char kPwm2[] = "fan:nct6798-isa-0290:pwm2";
const char kResetText[] =
    "pwm2_enable was reset to 5 by the driver (after a suspend?); taking manual control again";

// k10temp's Tctl (hwmon1) at 75 C drives the board chip's pwm2 then pwm1
// (hwmon3, each in the chip's mode 2 at 100, turning at 900 RPM), as the
// skin sensor of a policy that starts throttling at 60 C.
class CDesk {
 public:
  explicit CDesk(int step = 2) {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zivo-test-bus", 1);
    mTree.AddChip(1, "k10temp", "pci0000:00/0000:00:18.3", {});
    Put(1, "temp1_label", "Tctl");
    Put(1, "temp1_input", "75000");
    mTree.AddChip(3, "nct6798", "platform/nct6775.656", {1, 2});
    Put(3, "fan1_input", "900");
    Put(3, "fan2_input", "900");
    std::string devices;
    for (const char* fan : {kPwm2, kPwm1}) {
      devices += std::string("<Device Path=\"") + fan +
                 "\" class=\"9\"><Throttle limit=\"10\" step=\"" + std::to_string(step) +
                 "\" priority=\"" + (fan == kPwm2 ? "0" : "1") +
                 "\"/><DUsage enable=\"1\" shutdown=\"0\"/></Device>";
    }
    mPolicy = mWork.Write(
        "policy.xml",
        "<?xml version=\"1.0\"?><VelmarConfig><Platform><Shutdown option=\"shutdown\" "
        "timer=\"30\"/><Throttling preference=\"Active\"/></Platform><Devices>" +
            devices +
            "</Devices><Sensors><Sensor Path=\"hwmon:k10temp-pci-00c3:Tctl\" class=\"1\" "
            "ThirdParty_DeviceCount=\"2\"><Temperature shutdown=\"95\" ThrottleStart=\"60\"/>"
            "<SUsage enable=\"1\" aux_interval=\"2\"/><DevicePath Device0=\"" +
            kPwm2 + "\" Device1=\"" + kPwm1 + "\"/></Sensor></Sensors></VelmarConfig>\n");
  }

  std::vector<std::string> Args(const std::vector<std::string>& more = {},
                                bool asJson = true) const {
    std::vector<std::string> args = {"run",    "--platform",   "linux",       "--naming",
                                     "stable", "--sysfs-root", mTree.Root(),  "--config",
                                     mPolicy,  "--apply",      "--state-dir", mWork.Path()};
    if (asJson) {
      args.push_back("--json");
    }
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  // Writes an attribute in place, as a driver changes it: a run that keeps
  // the file open reads the new value.
  void Put(uint32_t chip, const std::string& name, const std::string& value) {
    const std::string path = mTree.Class(chip) / name;
    const std::string text = value + "\n";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    EXPECT_EQ(pwrite(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
    EXPECT_EQ(ftruncate(fd, static_cast<off_t>(text.size())), 0);
    close(fd);
  }
  int64_t Get(const std::string& name) const { return mTree.Get(3, name); }

  CFakeHwmonTree mTree;
  CTempFolder mWork;
  std::string mPolicy;
};

// The lines of `action` (about `device`, when given) of a JSON run.
std::vector<json> Lines(const std::string& out, const std::string& action,
                        const std::string& device = "") {
  std::vector<json> lines;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    const json parsed = json::parse(line, nullptr, false);
    if (!parsed.is_discarded() && parsed.value("action", "") == action &&
        (device.empty() || parsed.value("device", "") == device)) {
      lines.push_back(parsed);
    }
  }
  return lines;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

// Stops the run and checks that both fans are back in the chip's mode at
// the speed found; the run's whole output.
std::string StopAndCheckGivenBack(CDesk& desk, CZivoProcess& run) {
  run.Signal(SIGTERM);
  const _tagSZivoRun end = run.Finish();
  EXPECT_EQ(end.status, 0) << end.err;
  for (const char* channel : {"pwm1", "pwm2"}) {
    EXPECT_EQ(desk.Get(std::string(channel) + "_enable"), 2) << channel;
    EXPECT_EQ(desk.Get(channel), 100) << channel;
  }
  return end.out;
}

// A fan that reads stopped (0 RPM, or all ones on some chips) while its state
// should turn it is kicked to its limit once, with one warning for the whole
// stop.
void StoppedFanCase(int rpm) {
  CDesk desk;
  desk.Put(3, "fan2_input", std::to_string(rpm));
  CZivoProcess run(desk.Args({"--interval", "0.05"}));
  // pwm1 reaching its limit takes five more ticks after the kick.
  ASSERT_TRUE(run.WaitUntil([&] { return desk.Get("pwm1") == 255; })) << run.Out();
  const std::string out = StopAndCheckGivenBack(desk, run);
  EXPECT_EQ(Count(out, "fan " + std::string(kPwm2) + " reads stopped (" + std::to_string(rpm) +
                           " RPM) at state 2: kicked once at full speed"),
            1u)
      << out;
  // Kicked, and not stepped back down by the same reading.
  const std::vector<json> pwm2 = Lines(out, "throttle", kPwm2);
  ASSERT_EQ(pwm2.size(), 2u) << out;
  EXPECT_EQ(pwm2[1]["from"], 2);
  EXPECT_EQ(pwm2[1]["to"], 10);
  EXPECT_EQ(pwm2[1]["rpm"], rpm);
  EXPECT_EQ(Count(out, "pwm2 reads stopped"), 2u) << "the warning and the kick";
}

// The driver puts pwm2 back in its own mode while run holds it: the next
// write takes it again, and a warning names the fan.
void DriverResetCase(bool asJson) {
  CDesk desk(1);
  CZivoProcess run(desk.Args({"--interval", "0.1"}, asJson));
  ASSERT_TRUE(run.WaitUntil([&] { return desk.Get("pwm2_enable") == 1; })) << run.Out();
  desk.Put(3, "pwm2_enable", "5");
  ASSERT_TRUE(run.WaitFor(kResetText)) << run.Out();
  EXPECT_TRUE(run.WaitUntil([&] { return desk.Get("pwm2_enable") == 1; })) << "taken again";
  if (asJson) {
    const std::vector<json> warnings = Lines(run.Out(), "warning");
    const auto reset = std::find_if(warnings.begin(), warnings.end(), [](const json& line) {
      return line.value("reason", "") == kResetText;
    });
    ASSERT_NE(reset, warnings.end()) << run.Out();
    EXPECT_EQ(reset->value("name", ""), kPwm2);
  } else {
    EXPECT_NE(run.Out().find("  warning " + std::string(kPwm2) + ": " + kResetText),
              std::string::npos)
        << run.Out();
  }
  EXPECT_EQ(Count(run.Out(), kResetText), 1u) << "one warning for one reset";
  StopAndCheckGivenBack(desk, run);
}

struct FanCase {
  const char* name;
  std::function<void()> script;
};

void PrintTo(const FanCase& c, std::ostream* out) {
  *out << c.name;
}

class RunFanRulesTest : public testing::TestWithParam<FanCase> {};

TEST_P(RunFanRulesTest, HoldsOnTheFakeTree) {
  GetParam().script();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunFanRulesTest,
    testing::Values(
        // Every decision on a fan shows the speed it turned at, in JSON and
        // in text.
        FanCase{"DecisionsShowTheFansSpeed",
                [] {
                  CDesk desk;
                  CZivoProcess run(desk.Args({"--interval", "0.05"}));
                  ASSERT_TRUE(run.WaitUntil([&] { return desk.Get("pwm1") == 255; })) << run.Out();
                  const std::string out = StopAndCheckGivenBack(desk, run);
                  const std::vector<json> pwm2 = Lines(out, "throttle", kPwm2);
                  ASSERT_FALSE(pwm2.empty()) << out;
                  EXPECT_EQ(pwm2.front()["from"], 0);
                  EXPECT_EQ(pwm2.front()["to"], 2);
                  EXPECT_EQ(pwm2.front()["rpm"], 900) << pwm2.front();

                  const _tagSZivoRun text =
                      RunZivo(desk.Args({"--interval", "0.05", "--duration", "0.01"}, false));
                  EXPECT_EQ(text.status, 0) << text.err;
                  EXPECT_NE(text.out.find("throttle " + std::string(kPwm2) +
                                          " 0 -> 2: hwmon:k10temp-pci-00c3:Tctl at 75.0 C"),
                            std::string::npos)
                      << text.out;
                  EXPECT_NE(text.out.find("; fan at 900 RPM\n"), std::string::npos) << text.out;
                }},
        // At or above tempN_crit every fan of the sensor goes to its limit in
        // one decision, whatever the record's step.
        FanCase{"FullSpeedAtTheChipsCriticalLimit",
                [] {
                  CDesk desk;
                  desk.Put(1, "temp1_crit", "70000");
                  CZivoProcess run(desk.Args({"--interval", "0.05"}));
                  ASSERT_TRUE(run.WaitUntil([&] {
                    return desk.Get("pwm1") == 255 && desk.Get("pwm2") == 255;
                  })) << run.Out();
                  const std::string out = StopAndCheckGivenBack(desk, run);
                  for (const char* fan : {kPwm2, kPwm1}) {
                    const std::vector<json> lines = Lines(out, "throttle", fan);
                    ASSERT_EQ(lines.size(), 1u) << out;
                    EXPECT_EQ(lines[0]["from"], 0);
                    EXPECT_EQ(lines[0]["to"], 10);
                    EXPECT_EQ(lines[0]["threshold"], 3432);
                    EXPECT_NE(
                        lines[0]
                            .value("reason", "")
                            .find("at 75.0 C reached the chip's critical limit 70.0 C: its fans "
                                  "go to full speed"),
                        std::string::npos)
                        << lines[0];
                  }
                }},
        // Below the chip's limit the record's step applies.
        FanCase{"BelowTheCriticalLimitThePolicyDecides",
                [] {
                  CDesk desk;
                  desk.Put(1, "temp1_crit", "80000");
                  const _tagSZivoRun run =
                      RunZivo(desk.Args({"--interval", "0.05", "--duration", "0.01"}));
                  EXPECT_EQ(run.status, 0) << run.err;
                  const std::vector<json> lines = Lines(run.out, "throttle", kPwm2);
                  ASSERT_EQ(lines.size(), 1u) << run.out;
                  EXPECT_EQ(lines[0]["to"], 2);
                  EXPECT_EQ(lines[0]["threshold"], 3332) << "the throttle start";
                }},
        FanCase{"OneKickForAStoppedFan", [] { StoppedFanCase(0); }},
        FanCase{"OneKickForAFanThatReadsAllOnes", [] { StoppedFanCase(65535); }},
        FanCase{"ADriverResetIsAWarningInJson", [] { DriverResetCase(true); }},
        FanCase{"ADriverResetIsAWarningInText", [] { DriverResetCase(false); }},
        // Four levels: the top state is 4, at full speed.
        FanCase{"FanLevelsSetTheStatesOfEachFan", [] {
                  CDesk desk(1);
                  CZivoProcess run(desk.Args({"--interval", "0.05", "--fan-levels", "4"}));
                  ASSERT_TRUE(run.WaitUntil([&] { return desk.Get("pwm1") == 255; })) << run.Out();
                  EXPECT_EQ(desk.Get("pwm2"), 255);
                  const std::string out = StopAndCheckGivenBack(desk, run);
                  const std::vector<json> pwm2 = Lines(out, "throttle", kPwm2);
                  ASSERT_EQ(pwm2.size(), 4u) << out;
                  EXPECT_EQ(pwm2.back()["to"], 4);
                }}));

TEST(RunFanRulesOptionTest, FanLevelsIsAWholeNumberFrom1To100OnLinux) {
  const struct {
    std::vector<std::string> args;
    const char* error;  // "" when accepted
  } cases[] = {
      {{"--fan-levels", "0"}, "--fan-levels takes a whole number from 1 to 100, not \"0\""},
      {{"--fan-levels=101"}, "--fan-levels takes a whole number from 1 to 100, not \"101\""},
      {{"--fan-levels", "4x"}, "--fan-levels takes a whole number from 1 to 100, not \"4x\""},
      {{"--fan-levels", "-3"}, "--fan-levels takes a whole number from 1 to 100, not \"-3\""},
      {{"--fan-levels"}, "--fan-levels needs a value"},
      {{"--platform", "sim", "--fan-levels", "4"}, "--fan-levels goes with --platform linux"},
      {{"--fan-levels", "100"}, ""},
  };
  CFakeHwmonTree tree;
  tree.AddChip(3, "nct6798", "platform/nct6775.656", {2});
  for (const auto& c : cases) {
    std::vector<std::string> args = {"list", "--json"};
    if (std::find(c.args.begin(), c.args.end(), "sim") == c.args.end()) {
      args.insert(args.end(), {"--naming", "stable", "--sysfs-root", tree.Root()});
    }
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(args.back());
    const _tagSZivoRun run = RunZivo(args);
    if (*c.error != '\0') {
      EXPECT_EQ(run.status, 2);
      EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
      continue;
    }
    EXPECT_EQ(run.status, 0) << run.err;
    const json out = run.Json();
    ASSERT_EQ(out["devices"].size(), 1u) << run.out;
    EXPECT_EQ(out["devices"][0]["Max"], 100) << "the fan's states";
  }
}

}  // namespace
