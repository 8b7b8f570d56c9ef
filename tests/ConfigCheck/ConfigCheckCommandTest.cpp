// "zivo config check", run as a user runs it: the built zivo program on files
// in a temporary folder, which is also its working folder.
#include <gtest/gtest.h>

#include "support/ConfigFileTest.h"
#include "support/ZivoProcess.h"

namespace {

using json = nlohmann::json;

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
  // Asserts the exit status and that each text shows on standard output
  // (or, starting with '!', on standard error).
  _tagSZivoRun Expect(const std::vector<std::string>& args, int status,
                      const std::vector<std::string>& texts) {
    _tagSZivoRun run = Zivo(args);
    EXPECT_EQ(run.status, status) << args.back() << "\n" << run.out << run.err;
    for (const std::string& text : texts) {
      const bool err = text.starts_with("!");
      EXPECT_NE((err ? run.err : run.out).find(text.substr(err ? 1 : 0)), std::string::npos)
          << text << " in\n"
          << (err ? run.err : run.out);
    }
    return run;
  }
};

// Each finding on standard error as "error|warning: FILE:LINE: <element> what";
// an error fails the check, a warning only with --strict. (What the loader
// finds is checked in the configuration tests; these rows are the ones only
// the command reports.)
TEST_F(ConfigCheckCommandTest, ReportsEachFindingAndExitsByItsKind) {
  const struct {
    std::string file;
    int result;  // the loader's, in the JSON report
    std::string expected;
  } cases[] = {
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
      {File("<Platform><Shutdown timer=\"15\"/><Throttling preference=\"active\"/></Platform>", "",
            ""),
       0, "warning: rule.xml:3: <Shutdown> has no option attribute"},
      {File(kPlatform, "", ""), 0, ""},
      {File(kPlatform, std::string(kDevice) + "\n<Device Path=\"ACPI\\PNP0C14\\1_0\" class=\"x\"/>",
            ""),
       0, "warning: rule.xml:5: <Device Path=\"ACPI\\PNP0C14\\1_0\"> is never used"},
  };
  for (const auto& row : cases) {
    Write("rule.xml", row.file);
    const bool error = row.expected.starts_with("error");
    const json out =
        Expect({"config", "check", "rule.xml", "--json"}, error ? 1 : 0, {"!" + row.expected})
            .Json();
    EXPECT_EQ(out["result"], row.result) << row.expected;
    EXPECT_EQ(out["loaded"], row.result == 0);
    Expect({"config", "check", "--strict", "rule.xml"}, row.expected.empty() ? 0 : 1, {});
  }
}

TEST_F(ConfigCheckCommandTest, ListsEveryParseProblemAndChecksAGivenGrammar) {
  Write("rules.dtd",
        "<!ELEMENT Config (Platform, b*)>\n<!ELEMENT Platform ANY>\n"
        "<!ELEMENT b EMPTY>\n<!ATTLIST b n CDATA #REQUIRED>\n");
  Write("two.xml",
        "<!DOCTYPE Config SYSTEM \"rules.dtd\">\n<Config><Platform/>\n<b/>\n<c/>\n</Config>\n");
  Expect({"config", "check", "two.xml"}, 1,
         {"!error: two.xml:3: the file does not load: ", "!error: two.xml:4: "});
  Write("broken.dtd", "<!ELEMENT Config ANY>\n\n<!ATTLIST Config n CDATA #WRONG>\n");
  Write("uses.xml", "<!DOCTYPE Config SYSTEM \"broken.dtd\">\n<Config/>\n");
  const json out = Expect({"config", "check", "uses.xml", "--json"}, 1,
                          {"!error: broken.dtd:3: the file does not load: ",
                           "!  3 | <!ATTLIST Config n CDATA #WRONG>"})
                       .Json();
  ASSERT_FALSE(out["problems"].empty());
  EXPECT_EQ(out["problems"][0]["file"], "broken.dtd");
  EXPECT_EQ(out["problems"][0]["line"], 3);

  // Without a DOCTYPE the library checks only that the file is well-formed;
  // --dtd holds it to a grammar, the library's verdict still shown.
  const std::filesystem::path docs = std::filesystem::path(ZIVO_SOURCE_DIR) / "docs";
  const std::string grammar = (docs / "velmarconfig.dtd").string();
  Write("free.xml", File(kPlatform, kDevice, kSensor));
  Expect({"config", "check", "free.xml"}, 0, {});
  Expect({"config", "check", "free.xml", "--dtd", grammar}, 1,
         {"!does not follow the DTD " + grammar + ": ", "Result: 0 (loaded)"});
  Write("documented.xml", "<VelmarConfig>\n" + std::string(kPlatform) + "\n<Devices>" + kDevice +
                              "</Devices>\n<Sensors>" + kSensor + "</Sensors>\n</VelmarConfig>\n");
  Expect({"config", "check", "documented.xml", "--dtd=" + grammar}, 0, {});
  Expect({"config", "check", "documented.xml", "--dtd", "absent.dtd"}, 1, {"!absent.dtd"});

  // The shipped example policy and the built-in handheld name the same
  // participants, record for record: the demo loads the two together.
  Expect({"config", "check", (docs / "velmarconfig.xml").string(), "--against", "sim", "--strict"},
         0, {"Devices without a record: none", "Sensors without a record: none"});
}
