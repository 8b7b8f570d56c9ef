// What zivo tells the user besides a command's own result: the policy it
// loaded or why not, a log it cannot open, a sysfs tree without the thermal
// class, a tree without zones, and its version.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/FakeSysfs.h"
#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

struct _tagSReportCase {
  const char* what;
  std::vector<std::string> args;  // "@" stands for the test's work folder
  int status;
  const char* stream;  // "out" or "err": where the text must show
  std::string text;    // "@" stands for the work folder
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
  const std::vector<_tagSReportCase> cases = {
      {"no policy given", {"list"}, 0, "out", "Policy: none given (built-in defaults)"},
      {"a policy file that is missing", {"list", "--config", "@/missing.xml"}, 1, "out",
       "Policy: NOT loaded from @/missing.xml: No such file or directory"},
      {"a policy file that is not a policy", {"list", "--config", "@/garbage.xml"}, 1, "out",
       "Policy: NOT loaded from @/garbage.xml: status "},
      {"with --json the policy goes to the standard error",
       {"list", "--json", "--config", "@/missing.xml"}, 1, "err", "Policy: NOT loaded from @/missing.xml"},
      {"a change with a policy that is missing",
       {"remove-device", "ACPI\\PNP0C14\\3_0", "--config", "@/missing.xml"}, 1, "out",
       "Policy: NOT loaded from @/missing.xml"},
      {"a log that cannot be opened", {"list", "--log", "@/no/such/folder/zivo.log"}, 1, "err",
       "cannot open the log @/no/such/folder/zivo.log: No such file or directory"},
      {"a sysfs root without the thermal class",
       {"list", "--platform", "linux", "--sysfs-root", "@/bare"}, 1, "err", "@/bare/class/thermal: "},
      {"a thermal class without zones",
       {"list", "--platform", "linux", "--sysfs-root", "@/empty"}, 0, "out", "No thermal zones found."},
      {"the version", {"--version"}, 0, "out", "zivo 1.0.0"},
  };
  // clang-format on
  for (const _tagSReportCase& c : cases) {
    CTempFolder work;
    work.Write("garbage.xml", "<this is not a policy");
    std::filesystem::create_directories(work.Path() + "/bare");
    std::filesystem::create_directories(work.Path() + "/empty/class/thermal");
    std::vector<std::string> args;
    for (const std::string& arg : c.args) {
      args.push_back(Expand(arg, work.Path()));
    }
    const _tagSZivoRun run = RunZivo(args, work.Path());
    EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.out << run.err;
    const std::string& seen = std::string(c.stream) == "out" ? run.out : run.err;
    EXPECT_NE(seen.find(Expand(c.text, work.Path())), std::string::npos)
        << c.what << ": " << c.stream << " was\n"
        << seen;
  }
}

// A table fits a terminal: paths show their last folder, in full with --wide
// and in JSON; the kernel's type text follows the type number.
TEST(CommandReportTest, TablesShortenPathsUnlessWide) {
  CFakeSysfs sysfs;
  sysfs.AddZone(0, "acpitz", 45000);
  sysfs.AddCooling(0, "Fan", 4, 0);
  sysfs.LinkCooling(0, 0, 0);
  const std::vector<std::string> base = {"list", "--platform", "linux", "--sysfs-root",
                                         sysfs.Root()};
  const struct {
    const char* extra;
    bool full;
  } cases[] = {{nullptr, false}, {"--wide", true}, {"--json", true}};
  for (const auto& c : cases) {
    std::vector<std::string> args = base;
    if (c.extra != nullptr) {
      args.push_back(c.extra);
    }
    const _tagSZivoRun run = RunZivo(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string extra = c.extra ? c.extra : "plain";
    EXPECT_EQ(run.out.find(sysfs.ZonePath(0)) != std::string::npos, c.full) << extra << run.out;
    EXPECT_NE(run.out.find("thermal_zone0"), std::string::npos) << extra;
    if (c.extra == nullptr || std::string(c.extra) == "--wide") {
      EXPECT_NE(run.out.find("(acpitz)"), std::string::npos) << extra << run.out;
      EXPECT_NE(run.out.find("(Fan)"), std::string::npos) << extra << run.out;
    }
  }
}

// A handheld without a skin sensor: the demo says so first and leaves out the
// chapters that need one.
TEST(CommandReportTest, DemoSkipsTheChaptersAHandheldLacks) {
  CTempFolder work;
  const std::string file = work.Write("tiny.json", R"({
    "name": "tiny",
    "devices": [ { "path": "/sim/fan", "type": 9, "maximum": 4, "current": 2 } ],
    "sensors": [ { "path": "/sim/board", "type": 2, "base": 0, "devices": [0],
                   "temperature": 26.7 } ]
  })");
  const _tagSZivoRun run = RunZivo({"demo", "--platform", "sim:" + file}, work.Path());
  const std::size_t said = run.out.find("no skin sensor (type 1): chapters 3, 4 and 5 are skipped");
  ASSERT_NE(said, std::string::npos) << run.out << run.err;
  EXPECT_LT(said, run.out.find("1. Start-up")) << "said at the start";
  EXPECT_EQ(run.out.find("3. The machine heats up"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("4. Throttling the fans"), std::string::npos);
  EXPECT_NE(run.out.find("7. A sensor turns faulty"), std::string::npos);
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
  const nlohmann::json devices = run.Json().at("devices");
  std::size_t failed = 0;
  for (const nlohmann::json& device : devices) {
    if (device.at("Name") == "") {
      ++failed;
      EXPECT_EQ(device.at("Valid"), 0) << device.dump();
      ASSERT_TRUE(device.contains("Failure")) << device.dump();
      EXPECT_NE(device.at("Failure").get<std::string>().find("/sim/ghost"), std::string::npos);
    }
  }
  EXPECT_EQ(failed, 1u) << devices.dump();
  run = RunZivo({"list", "--platform", "sim:" + file}, work.Path());
  EXPECT_NE(run.out.find("(failed) listed as /sim/ghost"), std::string::npos) << run.out;
}

// The JSON history holds the readings taken, not the empty slots of the ring.
TEST(CommandReportTest, JsonHistoryHoldsOnlyRealSamples) {
  CTempFolder work;
  const _tagSZivoRun run = RunZivo({"list", "--json"}, work.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json listing = run.Json();
  for (const nlohmann::json& sensor : listing.at("sensors")) {
    ASSERT_FALSE(sensor.at("TempHistory").empty()) << sensor.dump();
    for (const nlohmann::json& sample : sensor.at("TempHistory")) {
      EXPECT_GT(sample.at("TimeStamp"), 0) << sensor.at("Name") << ": " << sample.dump();
    }
  }
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
    const nlohmann::json rows = run.Json();
    std::vector<std::string> kinds;
    for (const nlohmann::json& row : rows) {
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
  EXPECT_EQ(RunZivo({"status-codes", "x1"}).status, 2);
}

}  // namespace
