// What a load reports to the tools that explain a policy file: the loader's
// own status and records, and each finding with its element and line.
#include <gtest/gtest.h>

#include "Platform/Text.h"
#include "support/ConfigFileTest.h"
#include "zivorivizo/Diagnostics.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/StatusCodes.h"

namespace {

const std::string kDevice =
    "<Device Path=\"DEV\" class=\"3\"><Throttle limit=\"4\" step=\"1\" priority=\"1\"/>"
    "<DUsage enable=\"1\" shutdown=\"1\"/></Device>";
const std::string kSensorChildren =
    "<Temperature shutdown=\"45\" ThrottleStart=\"30\"/><SUsage enable=\"1\" aux_interval=\"2\"/>";

std::string Findings(const ConfigLoadReport& report) {
  std::string text;
  for (const ConfigFinding& finding : report.findings) {
    text += (finding.error ? "error " : "warning ") + std::to_string(finding.line) + " " +
            finding.element + " " + finding.message + "\n";
  }
  return text;
}

}  // namespace

class ConfigReportTest : public CConfigFileTest {};

TEST_F(ConfigReportTest, ReportsEachFindingWithItsElementAndLine) {
  struct _tagSCase {
    std::string body;  // on the lines after the platform (line 3 on)
    int result;
    bool error;
    long line;
    std::string element;
    std::string message;
  };
  const std::string longPath(300, 'p');
  const std::vector<_tagSCase> cases = {
      {"<Sensor Path=\"CPU\" class=\"2\"><SUsage enable=\"1\" aux_interval=\"2\"/></Sensor>", 0,
       false, 4, "<Sensor Path=\"CPU\">",
       "has no <Temperature>; its shutdown and throttle-start temperatures are 0 kelvin"},
      {"<Device Path=\"DEV\" class=\"3\"><Throttle limit=\"4\" step=\"1\" priority=\"1\"/>"
       "</Device>",
       0, false, 4, "<Device Path=\"DEV\">", "has no <DUsage>; iUsageEnable and iUsageShutdown"},
      {"<Device Path=\"" + longPath +
           "\" class=\"3\"><DUsage enable=\"1\" shutdown=\"1\"/></Device>",
       0, false, 4, "<Device>", "Path is longer than 254 characters; only its first 254 are used"},
      {"<Sensor Path=\"SKIN\" class=\"1\" ThirdParty_DeviceCount=\"two\">" + kSensorChildren +
           "</Sensor>",
       0, false, 4, "<Sensor Path=\"SKIN\">",
       "ThirdParty_DeviceCount=\"two\" is not a number; 0 is used"},
      {kDevice +
           "\n<Device Path=\"X\" class=\" 7 s\"><DUsage enable=\"1\" shutdown=\"1\"/></Device>",
       0, false, 5, "<Device Path=\"X\">", "class=\" 7 s\" is read as 7; the rest is ignored"},
      {"\n<Device Path=\"X\" class=\"99999999999\"><DUsage enable=\"x\" shutdown=\"1\"/></Device>",
       0, false, 5, "<Device Path=\"X\">", "class=\"99999999999\" is out of range; 2147483647"},
      {"<Device Path=\"X\" class=\"1\"><DUsage enable=\"x\" shutdown=\"1\"/></Device>", 0, false, 4,
       "<Device Path=\"X\"> <DUsage>", "enable=\"x\" is not a number; 0 is used"},
      {"<Device class=\"1\"><DUsage enable=\"1\" shutdown=\"1\"/></Device>", 0, false, 4,
       "<Device>", "has no Path attribute; it applies to every device"},
      {"<Device Path=\"X\" class=\"1\"><DUsage shutdown=\"1\"/></Device>", 0, false, 4,
       "<Device Path=\"X\"> <DUsage>", "has no enable attribute; 0 is used"},
      {kDevice + "\n<Device Path=\"BAD\" class=\"2\">\n<Throttle limit=\"4\" step=\"5\"/></Device>",
       ZIVO_CONFIG_RULE_BROKEN, true, 6, "<Device Path=\"BAD\"> <Throttle>",
       "step 5 is greater than limit 4"},
      {"<Sensor Path=\"CPU\" class=\"2\"><Temperature shutdown=\"x\" "
       "ThrottleStart=\"30\"/></Sensor>",
       ZIVO_CONFIG_RULE_BROKEN, true, 4, "<Sensor Path=\"CPU\"> <Temperature>",
       "ThrottleStart 30 degrees Celsius is not below shutdown (no number, 0 kelvin)"},
      {"<Sensor Path=\"SKIN\" class=\"1\" ThirdParty_DeviceCount=\"2\">" + kSensorChildren +
           "<DevicePath Device0=\"A\"/></Sensor>",
       ZIVO_CONFIG_RULE_BROKEN, true, 4, "<Sensor Path=\"SKIN\">",
       "ThirdParty_DeviceCount is 2 but 1 device path was found"},
      {"<Sensor Path=\"SKIN\" class=\"1\" ThirdParty_DeviceCount=\"0\">" + kSensorChildren +
           "<DevicePath Device0=\"A\"/></Sensor>",
       ZIVO_CONFIG_RULE_BROKEN, true, 4, "<Sensor Path=\"SKIN\">",
       "ThirdParty_DeviceCount is 0 but 1 device path was found; one <DevicePath> must hold "
       "Device0 only when the count is above 0"},
      {"<Sensor Path=\"SKIN\" class=\"1\">" + kSensorChildren + "</Sensor>",
       ZIVO_CONFIG_RULE_BROKEN, true, 4, "<Sensor Path=\"SKIN\">",
       "a skin sensor (class 1) needs ThirdParty_DeviceCount; give 0 when it governs no "
       "further devices"},
      {"<Sensor Path=\"SKIN\" class=\"1\" ThirdParty_DeviceCount=\"1\">" + kSensorChildren +
           "</Sensor>",
       ZIVO_CONFIG_RULE_BROKEN, true, 4, "<Sensor Path=\"SKIN\">",
       "ThirdParty_DeviceCount is 1 but the sensor has no <DevicePath> element"},
  };
  for (const _tagSCase& row : cases) {
    const ConfigLoadReport report = CheckConfigFile(Write("check.xml", ConfigText(row.body)));
    EXPECT_EQ(report.result, row.result) << row.body;
    EXPECT_EQ(report.loaded, row.result == 0);
    const std::string findings = Findings(report);
    const std::string expected = std::string(row.error ? "error " : "warning ") +
                                 std::to_string(row.line) + " " + row.element + " " + row.message;
    EXPECT_NE(findings.find(expected), std::string::npos) << expected << "\nin:\n" << findings;
  }
}
