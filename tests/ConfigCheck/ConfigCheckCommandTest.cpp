// "zivo config check", run as a user runs it: the built zivo program on files
// in a temporary folder, which is also its working folder.
#include <gtest/gtest.h>

#include "support/ConfigFileTest.h"
#include "support/ZivoProcess.h"

namespace {

const char kPlatform[] =
    "<Platform><Shutdown option=\"hibernate\" timer=\"15\"/>"
    "<Throttling preference=\"Passive\"/></Platform>";
const char kDevice[] =
    "<Device Path=\"PNP0C14\\1_0\" class=\"3\"><Throttle limit=\"4\" step=\"1\" "
    "priority=\"1\"/><DUsage enable=\"1\" shutdown=\"1\"/></Device>";
const char kSensor[] =
    "<Sensor Path=\"SKIN\" class=\"1\" ThirdParty_DeviceCount=\"1\">\n"
    "<Temperature shutdown=\"45\" ThrottleStart=\"30\"/><SUsage enable=\"1\" aux_interval=\"2\"/>\n"
    "<DevicePath Device0=\"\\\\.\\ZivoFan0\"/></Sensor>";

std::string File(const std::string& platform, const std::string& devices,
                 const std::string& sensors) {
  return "<?xml version=\"1.0\"?>\n<Config>\n" + platform + "\n" + devices + "\n" + sensors +
         "\n</Config>\n";
}

}  // namespace

class ConfigCheckCommandTest : public CConfigFileTest {
 protected:
  _tagSZivoRun Zivo(const std::vector<std::string>& args) { return RunZivo(args, mFolder); }
};

TEST_F(ConfigCheckCommandTest, AValidFileShowsItsRecordsAndExitsZero) {
  Write("good.xml", File(kPlatform, kDevice, kSensor));
  _tagSZivoRun run = Zivo({"config", "check", "good.xml"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Result: 0 (loaded)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Loaded: yes"), std::string::npos);
  EXPECT_NE(run.out.find("strPath=\"PNP0C14\\1_0\" iClass=3 iThrottleLimit=4"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("vecDevicePaths=[\"\\\\.\\ZivoFan0\"]"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "");

  run = Zivo({"config", "check", "good.xml", "--json"});
  EXPECT_EQ(run.status, 0);
  const nlohmann::json out = run.Json();
  EXPECT_EQ(out["result"], 0);
  EXPECT_EQ(out["loaded"], true);
  EXPECT_EQ(out["platform"]["iShutdownOption"], 1);
  EXPECT_EQ(out["platform"]["iShutdownTimer"], 15);
  EXPECT_EQ(out["platform"]["iThrottlePreference"], 0);
  ASSERT_EQ(out["devices"].size(), 1u);
  EXPECT_EQ(out["devices"][0]["strPath"], "PNP0C14\\1_0");
  EXPECT_EQ(out["devices"][0]["iThrottleStep"], 1);
  ASSERT_EQ(out["sensors"].size(), 1u);
  EXPECT_EQ(out["sensors"][0]["strName"], "SKIN");
  EXPECT_EQ(out["sensors"][0]["iShutdownTemp"], 3182);
  EXPECT_EQ(out["sensors"][0]["iAuxInterval"], 20);
  EXPECT_EQ(out["sensors"][0]["vecDevicePaths"], nlohmann::json::array({"\\\\.\\ZivoFan0"}));
  EXPECT_TRUE(out["problems"].empty());
}

TEST_F(ConfigCheckCommandTest, AFileThatDoesNotLoadIsExplainedWithItsLine) {
  Write("broken.xml", "<Config>\n<Platform>\n</Config>\n");
  // A valid default file in the working folder must not make it pass.
  Write("velmarconfig.xml", File(kPlatform, kDevice, kSensor));
  _tagSZivoRun run = Zivo({"config", "check", "broken.xml"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Result: 276"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Loaded: no"), std::string::npos);
  EXPECT_NE(run.err.find("error: broken.xml:3: the file does not load: "), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("3 | </Config>"), std::string::npos) << run.err;

  run = Zivo({"config", "check", "--json", "broken.xml"});
  EXPECT_EQ(run.status, 1);
  const nlohmann::json out = run.Json();
  EXPECT_EQ(out["result"], 276);
  EXPECT_EQ(out["loaded"], false);
  EXPECT_TRUE(out["devices"].empty());
  EXPECT_EQ(out["platform"]["iThrottlePreference"], 10);  // the defaults
  ASSERT_FALSE(out["problems"].empty());
  EXPECT_EQ(out["problems"][0]["line"], 3);

  run = Zivo({"config", "check", "absent.xml"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot read \"absent.xml\": No such file or directory"),
            std::string::npos)
      << run.err;
}

// Each finding on standard error as "error|warning: FILE:LINE: <element> what";
// an error fails the check, a warning only with --strict. (What the loader
// finds is checked in the configuration tests; these rows are the ones only
// the command reports.)
TEST_F(ConfigCheckCommandTest, ReportsEachFindingAndExitsByItsKind) {
  struct _tagSCase {
    std::string file;
    int result;  // the loader's, in the JSON report
    std::string expected;
  };
  const std::vector<_tagSCase> cases = {
      {File(kPlatform,
            std::string(kDevice) + "\n<Device Path=\"BAD\" class=\"2\"><Throttle limit=\"4\" "
                                   "step=\"5\"/></Device>",
            kSensor),
       290, "error: rule.xml:5: <Device Path=\"BAD\"> <Throttle> step 5 is greater than limit 4"},
      {File(kPlatform, kDevice,
            "<Sensor Path=\"SKIN\" class=\"1\"><DevicePath Device0=\"A\"/></Sensor>"),
       290,
       "error: rule.xml:5: <Sensor Path=\"SKIN\"> has a <DevicePath> with Device0 but no "
       "ThirdParty_DeviceCount"},
      {File("", kDevice, kSensor), 15, "error: rule.xml: <Platform> the file has no <Platform>"},
      {File("<Platform><Shutdown option=\"Hibernate\" timer=\"15s\"/>"
            "<Throttling preference=\"active\"/></Platform>",
            "", ""),
       0, "warning: rule.xml:3: <Shutdown> option=\"Hibernate\" is not \"hibernate\""},
      {File(kPlatform, "", ""), 0, ""},
      {File(kPlatform, std::string(kDevice) + "\n<Device Path=\"ACPI\\PNP0C14\\1_0\" class=\"x\"/>",
            ""),
       0, "warning: rule.xml:5: <Device Path=\"ACPI\\PNP0C14\\1_0\"> is never used"},
  };
  for (const _tagSCase& row : cases) {
    Write("rule.xml", row.file);
    const bool error = row.expected.starts_with("error");
    _tagSZivoRun run = Zivo({"config", "check", "rule.xml", "--json"});
    EXPECT_EQ(run.status, error ? 1 : 0) << row.expected;
    EXPECT_EQ(run.Json()["result"], row.result) << row.expected;
    EXPECT_EQ(run.Json()["loaded"], row.result == 0);
    EXPECT_NE(run.err.find(row.expected), std::string::npos) << run.err;
    run = Zivo({"config", "check", "--strict", "rule.xml"});
    EXPECT_EQ(run.status, row.expected.empty() ? 0 : 1) << row.expected << run.err;
  }
}

TEST_F(ConfigCheckCommandTest, DecidesFromTheLoaderNotFromItsLogText) {
  // Values that read like the library's log lines once logged.
  Write("lookalike.xml",
        File(kPlatform,
             "<Device Path=\"A&#10;] Trying Default file&#10;\" class=\"3\"><Throttle limit=\"4\" "
             "step=\"1\" priority=\"1\"/><DUsage enable=\"1\" shutdown=\"1\"/></Device>",
             "<Sensor Path=\"B&#10;] ReadDevices failed for x\" class=\"2\">"
             "<Temperature shutdown=\"45\" ThrottleStart=\"30\"/></Sensor>"));
  const _tagSZivoRun run = Zivo({"config", "check", "lookalike.xml", "--json"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.Json()["result"], 0);
  EXPECT_EQ(run.Json()["loaded"], true);
  EXPECT_EQ(run.Json()["devices"].size(), 1u);
}

TEST_F(ConfigCheckCommandTest, ListsEveryParseProblemInTheFileWhereItIs) {
  Write("rules.dtd",
        "<!ELEMENT Config (Platform, b*)>\n<!ELEMENT Platform ANY>\n"
        "<!ELEMENT b EMPTY>\n<!ATTLIST b n CDATA #REQUIRED>\n");
  Write("two.xml",
        "<!DOCTYPE Config SYSTEM \"rules.dtd\">\n<Config><Platform/>\n<b/>\n<c/>\n</Config>\n");
  _tagSZivoRun run = Zivo({"config", "check", "two.xml"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("error: two.xml:3: the file does not load: "), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("error: two.xml:4: "), std::string::npos) << run.err;

  Write("broken.dtd", "<!ELEMENT Config ANY>\n\n<!ATTLIST Config n CDATA #WRONG>\n");
  Write("uses.xml", "<!DOCTYPE Config SYSTEM \"broken.dtd\">\n<Config/>\n");
  run = Zivo({"config", "check", "uses.xml", "--json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("error: broken.dtd:3: the file does not load: "), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("  3 | <!ATTLIST Config n CDATA #WRONG>"), std::string::npos) << run.err;
  ASSERT_FALSE(run.Json()["problems"].empty());
  EXPECT_EQ(run.Json()["problems"][0]["file"], "broken.dtd");
  EXPECT_EQ(run.Json()["problems"][0]["line"], 3);
}

TEST_F(ConfigCheckCommandTest, ValidatesAgainstAGivenGrammar) {
  const std::string grammar =
      (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "docs" /
       "velmarconfig.dtd")
          .string();
  // No DOCTYPE: the library checks only that it is well-formed.
  Write("free.xml", File(kPlatform, kDevice, kSensor));
  _tagSZivoRun run = Zivo({"config", "check", "free.xml"});
  EXPECT_EQ(run.status, 0) << run.err;
  run = Zivo({"config", "check", "free.xml", "--dtd", grammar});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("does not follow the DTD " + grammar + ": "), std::string::npos)
      << run.err;
  EXPECT_NE(run.out.find("Result: 0 (loaded)"), std::string::npos);  // the library's verdict

  Write("documented.xml", "<VelmarConfig>\n" + std::string(kPlatform) + "\n<Devices>" + kDevice +
                              "</Devices>\n<Sensors>" + kSensor + "</Sensors>\n</VelmarConfig>\n");
  run = Zivo({"config", "check", "documented.xml", "--dtd=" + grammar});
  EXPECT_EQ(run.status, 0) << run.err;
  run = Zivo({"config", "check", "documented.xml", "--dtd", "absent.dtd"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("absent.dtd"), std::string::npos) << run.err;
  run = Zivo({"config", "check", "documented.xml", "--dtd"});
  EXPECT_EQ(run.status, 2);
}

TEST_F(ConfigCheckCommandTest, UsageMistakesExitTwoAndHelpExitsZero) {
  _tagSZivoRun run = Zivo({"config", "check", "--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("usage: zivo config check FILE [--json]"), std::string::npos);
  run = Zivo({"config", "check"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("FILE is missing"), std::string::npos);
  run = Zivo({"config", "check", "a.xml", "--yaml"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("unknown option \"--yaml\""), std::string::npos);
  run = Zivo({"--help"});
  EXPECT_NE(run.out.find("config check"), std::string::npos);
}
