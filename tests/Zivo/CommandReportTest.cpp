// What zivo tells the user besides a command's own result: the policy it
// loaded or why not, a log it cannot open, a sysfs tree without the thermal
// class or without zones, a broken handheld description, its version, and
// the command-line mistakes each command refuses.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/FakeSysfs.h"
#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

struct ReportCase {
  std::vector<std::string> args;  // "@" stands for the test's work folder
  int status;
  const char* stream;  // "out", "err", or "err0": on the standard error, nothing on the output
  std::string text;    // "@" stands for the work folder; "^" first: the stream starts with it
};

std::string Expand(const std::string& text, const std::string& folder) {
  std::string expanded;
  for (char c : text) {
    expanded += c == '@' ? folder : std::string(1, c);
  }
  return expanded;
}

TEST(CommandReportTest, SaysWhatHappenedAndExitsAccordingly) {
  // clang-format off
  const std::vector<ReportCase> cases = {
      {{"list", "--platform", "sim"}, 0, "out", "Policy: none given (built-in defaults)"},
      // The machine by default; the first line names the platform either way.
      {{"list", "--sysfs-root", "@/empty"}, 0, "out", "^Platform: Linux thermal sysfs under @/empty"},
      {{"list", "--json", "--sysfs-root", "@/empty"}, 0, "err", "^Platform: Linux thermal sysfs under @/empty"},
      {{"list", "--platform", "sim"}, 0, "out", "^Platform: simulated handheld"},
      {{"remove-device", "x", "--sysfs-root", "@/empty"}, 1, "out", "^Platform: Linux thermal sysfs"},
      {{"list", "--platform", "sim", "--config", "@/missing.xml"}, 1, "out",
       "Policy: NOT loaded from @/missing.xml: No such file or directory"},
      {{"list", "--platform", "sim", "--config", "@/garbage.xml"}, 1, "out", "Policy: NOT loaded from @/garbage.xml: status "},
      {{"list", "--platform", "sim", "--json", "--config", "@/missing.xml"}, 1, "err", "Policy: NOT loaded from @/missing.xml"},
      {{"remove-device", "ACPI\\PNP0C14\\3_0", "--platform", "sim", "--config", "@/missing.xml"}, 1, "out",
       "Policy: NOT loaded from @/missing.xml"},
      {{"list", "--platform", "sim", "--log", "@/no/such/folder/zivo.log"}, 1, "err",
       "cannot open the log @/no/such/folder/zivo.log: No such file or directory"},
      // The log: never through a symbolic link (its target is not created), a
      // level only with a log.
      {{"list", "--platform", "sim", "--log", "@/link.log"}, 1, "err",
       "cannot open the log @/link.log: Too many levels of symbolic links (a symbolic link is refused)"},
      {{"list", "--platform", "sim", "--log", "@/l.log", "--log-level", "loud"}, 2, "err0",
       "--log-level takes debug, info, warning, error or fatal"},
      {{"list", "--platform", "sim", "--log-level", "error"}, 2, "err0", "--log-level goes with"},
      {{"watch", "--platform", "sim", "--config", "@/garbage.xml"}, 2, "err0", "unknown option \"--config\""},
      {{"watch", "--wide"}, 2, "err0", "unknown option \"--wide\""},
      {{"list", "--platform", "linux", "--sysfs-root", "@/bare"}, 1, "err", "@/bare/class/thermal: "},
      {{"list", "--platform", "linux", "--sysfs-root", "@/empty"}, 0, "out", "No thermal zones found."},
      {{"--version"}, 0, "out", "zivo 1.0.0"},
      // Handheld descriptions that cannot be used.
      {{"list", "--platform", "sim:@/high.json"}, 1, "err0",
       "@/high.json: devices[1].maximum: must be a whole number from 0 to 4294967295, not \"high\""},
      {{"list", "--platform", "sim:@/syntax.json"}, 1, "err0", "@/syntax.json: line 3:1: JSON syntax error"},
      {{"list", "--platform", "sim:@/none.json"}, 1, "err0", "none.json: file: cannot be opened"},
      {{"list", "--platform=sim:@/off.json"}, 1, "err0", "(1000)"},
      {{"list", "--platform=sim:@/off.json"}, 1, "err0", "thermal management disabled"},
      // A sensor count the notification watch cannot read.
      {{"watch", "--platform", "sim:@/unreadable.json", "--timeout", "5"}, 1, "err",
       "Init failed with 57: the driver notifications could not be set up"},
      // Mistakes on the command line.
      {{"list", "--platform", "windows"}, 2, "err0", "^zivo list: "},
      {{"list", "--platform", "sim", "--sysfs-root", "/tmp"}, 2, "err0", "^zivo list: "},
      {{"list", "--platform", "sim", "--naming", "stable"}, 2, "err0", "^zivo list: "},
      {{"list", "--platform", "linux", "--naming", "random"}, 2, "err0", "^zivo list: "},
      {{"list", "--frobnicate"}, 2, "err0", "^zivo list: "},
      {{"list", "--log"}, 2, "err0", "^zivo list: "},
      {{"list", "extra"}, 2, "err0", "^zivo list: "},
      {{"demo", "--platform", "linux"}, 2, "err", "^zivo demo: "},
      {{"demo", "--json"}, 2, "err", "^zivo demo: "},
      {{"demo", "now"}, 2, "err", "^zivo demo: "},
      {{"demo", "--help"}, 0, "out", "usage: zivo demo"},
      {{"watch", "--kinds", "thermal,boom"}, 2, "err", "unknown kind \"boom\""},
      {{"watch", "--count", "0"}, 2, "err", "--count takes a whole number"},
      {{"watch", "--timeout", "-1"}, 2, "err", "--timeout takes a number of seconds above 0"},
      {{"watch", "--timeout"}, 2, "err", "--timeout needs a value"},
      {{"watch", "--platform", "sim", "--speed", "0"}, 2, "err", "--speed takes a factor above 0"},
      {{"watch", "--speed", "2", "--platform", "linux"}, 2, "err", "--speed goes with a simulated handheld"},
      {{"watch", "extra"}, 2, "err", "unexpected argument \"extra\""},
      {{"run", "--platform", "sim", "--duration", "0.01"}, 1, "err", "no --config: the policy is /etc/zivo/velmarconfig.xml"},
      {{"run", "--failsafe-after", "0"}, 2, "err", "--failsafe-after takes a count"},
      {{"restore", "--state-dir"}, 2, "err", "--state-dir needs a value"},
      {{"restore", "--state-dirx=@"}, 2, "err", "unexpected argument \"--state-dirx=@\""},
      {{"run", "--platform", "sim", "--interval="}, 2, "err", "--interval takes a number of seconds above 0, not \"\""},
      {{"watch", "--count", "2.5"}, 2, "err", "--count takes a whole number of events from 1, not \"2.5\""},
      {{"config", "check", "@/garbage.xml", "--against"}, 2, "err", "--against needs a value"},
      {{"config", "check", "@/garbage.xml", "--dtd="}, 2, "err", "--dtd needs a GRAMMAR file"},
      {{"config", "check", "@/garbage.xml", "@/other.xml"}, 2, "err", "one FILE only (\"@/other.xml\" is extra)"},
      {{"config", "check", "@/garbage.xml", "--naming", "stable"}, 2, "err", "--sysfs-root and --naming go with --against linux"},
      {{"run", "--platform", "sim", "--config", "@/garbage.xml"}, 1, "err", "garbage.xml does not load"},
      {{"run", "--config", "@/garbage.xml", "--platform", "linux", "--speed", "2"}, 2, "err", "--speed goes with"},
      {{"run", "--platform", "sim", "--config", "@/garbage.xml", "--interval", "0"}, 2, "err", "--interval takes"},
            {{"run", "--platform", "sim", "--config", "@/garbage.xml", "--confirm", "0"}, 2, "err", "--confirm takes a number of readings from 1 to 1000, not \"0\""},
      {{"run", "--platform", "sim", "--config", "@/garbage.xml", "--confirm=2x"}, 2, "err", "--confirm takes"},
      {{"add-device"}, 2, "err", "zivo add-device: give exactly one device name"},
      {{"remove-sensor", "s", "--platform", "sim:@/none.json"}, 1, "err0", "zivo remove-sensor: "},
      {{"status-codes", "x1"}, 2, "err", ""},
  };
  // clang-format on
  CTempFolder work;
  work.Write("garbage.xml", "<this is not a policy");
  work.Write("high.json",
             R"({"devices": [{"wmi": 1, "maximum": 2}, {"wmi": 2, "maximum": "high"}]})");
  work.Write("syntax.json", "{\n  \"sensors\": [ {\"wmi\": 1} \n");
  work.Write("off.json", R"({ "velmarstatus": 0 })");
  work.Write("unreadable.json", R"({"sensors": [{"path": "/s0"}],
      "registry": [{"key": "SOFTWARE\\Zelan\\VOVUZER\\Parameters",
                    "values": {"SensorCount": "not a number"}}]})");
  std::filesystem::create_symlink(work.Path() + "/target.log", work.Path() + "/link.log");
  std::filesystem::create_directories(work.Path() + "/bare");
  std::filesystem::create_directories(work.Path() + "/empty/class/thermal");
  for (const ReportCase& c : cases) {
    std::vector<std::string> args;
    for (const std::string& arg : c.args) {
      args.push_back(Expand(arg, work.Path()));
    }
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + args[1] : ""));
    const _tagSZivoRun run = RunZivo(args, work.Path());
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    const std::string stream = c.stream;
    const std::string& seen = stream == "out" ? run.out : run.err;
    const bool start = c.text.starts_with("^");
    const std::size_t at = seen.find(Expand(c.text.substr(start ? 1 : 0), work.Path()));
    EXPECT_TRUE(start ? at == 0 : at != std::string::npos) << c.text << " in\n" << seen;
    if (stream == "err0") {
      EXPECT_EQ(run.out, "");
    }
  }
  EXPECT_FALSE(std::filesystem::exists(work.Path() + "/target.log"));
}

// A listed device whose driver is missing: labelled with its path, never valid.
TEST(CommandReportTest, LabelsAParticipantThatFailedToDescribeItself) {
  CTempFolder work;
  const std::string file = work.Write("ghost.json", R"({
    "name": "ghost",
    "devices": [ { "path": "/sim/fan", "type": 9, "maximum": 4 } ],
    "sensors": [ { "path": "/sim/board", "devices": [0], "temperature": 30.0 } ],
    "registry": [ { "key": "SOFTWARE\\Zelan\\VOVUZER\\Parameters",
                    "values": { "DeviceCount": 2, "Device1": "/sim/ghost" } } ]
  })");
  _tagSZivoRun run = RunZivo({"list", "--json", "--platform", "sim:" + file}, work.Path());
  std::size_t failed = 0;
  const nlohmann::json listing = run.Json();
  for (const nlohmann::json& device : listing.at("devices")) {
    if (device.at("Name") == "") {
      ++failed;
      EXPECT_EQ(device.at("Valid"), 0) << device.dump();
      EXPECT_NE(device.value("Failure", "").find("/sim/ghost"), std::string::npos) << device.dump();
    }
  }
  EXPECT_EQ(failed, 1u) << run.out;
  run = RunZivo({"list", "--platform", "sim:" + file}, work.Path());
  EXPECT_NE(run.out.find("(failed) listed as /sim/ghost"), std::string::npos) << run.out;
}

// Every code zivo prints is known, thrown values included; 16 means one thing
// returned and another thrown.
TEST(CommandReportTest, StatusCodesKnowTheThrownValuesToo) {
  const struct {
    int code;
    std::vector<std::string> kinds;
  } cases[] = {
      {13, {"thrown"}},   {15, {"thrown"}},    {16, {"returned", "thrown"}}, {254, {"thrown"}},
      {1000, {"thrown"}}, {292, {"returned"}}, {4242, {"unknown"}},
  };
  for (const auto& c : cases) {
    const _tagSZivoRun run = RunZivo({"status-codes", "--json", std::to_string(c.code)});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> kinds;
    for (const nlohmann::json& row : run.Json()) {
      EXPECT_EQ(row.at("code"), c.code);
      EXPECT_FALSE(row.at("meaning").get<std::string>().empty());
      kinds.push_back(row.at("kind"));
    }
    EXPECT_EQ(kinds, c.kinds) << c.code;
  }
  // In words; with no code, every code.
  _tagSZivoRun run = RunZivo({"status-codes", "104", "9999"});
  EXPECT_NE(run.out.find("104  returned  a device of that name is already in the list"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("9999  unknown   unknown status"), std::string::npos) << run.out;
  run = RunZivo({"status-codes"});
  ASSERT_EQ(run.status, 0);
  for (const char* code : {"101", "110", "163", "292"}) {
    EXPECT_NE(run.out.find(code), std::string::npos) << code;
  }
}

}  // namespace
