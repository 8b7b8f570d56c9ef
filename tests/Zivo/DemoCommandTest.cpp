// "zivo demo", the README's first command: it ends with status 0, shows each
// part of the tour and keeps the library's log when asked.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

TEST(DemoCommandTest, TheTourCompletesAndKeepsTheLog) {
  CTempFolder work;
  const std::string log = work.Path() + "/demo.log";
  const _tagSZivoRun run = RunZivo({"demo", "--log", log}, work.Path());
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  for (const char* line :
       {"1. Start-up", "COSParticipantManager::Enumerate    0 (success)",
        "2. Participants, links and policy", "3. The machine heats up",
        "History of the skin sensor ACPI\\PNP0C14\\10_0", "4. Throttling the fans",
        "Current 4 of 4, Valid 1  holds state 4", "5. Trip points of the skin sensor",
        "6. A participant arrives and leaves",
        "AddSensor(ACPI\\PNP0C14\\13_0 (modem))  0 (success)", "7. A sensor turns faulty",
        "8. Events a listener receives", "THERMAL_EVENT, ACPI\\PNP0C14\\10_0, id 3",
        "THERMAL_EVENT, \\\\.\\ZivoSensor0, id 1", "ADD_DEVICE_EVENT, ACPI\\PNP0C14\\4_0, id 1",
        "Shutdown requests the library made (recorded by the simulated power, never carried out): "
        "1",
        "countdown 60 s, force yes, reboot no", "0 not as expected", "Demo complete."}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << "missing: " << line << "\n" << run.out;
  }
  EXPECT_EQ(run.out.find("!!"), std::string::npos) << run.out;
  // The last line says where a report of the policy at work can be written.
  EXPECT_EQ(run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1),
            "A report of the policy at work on this handheld: zivo demo --report FILE\n");

  std::ifstream in(log);
  std::ostringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("CWmiParticipantManager Enumerate Succedded"), std::string::npos);
  EXPECT_NE(text.str().find("One of the Non WMI sensors is faulty"), std::string::npos);
}

TEST(DemoCommandTest, WritesTheReportOfARecordedRunWhenAsked) {
  CTempFolder work;
  const std::string report = work.Path() + "/demo.html";
  const _tagSZivoRun run = RunZivo({"demo", "--report", report}, work.Path());
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("9. A report of the policy at work"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(" 0 not as expected"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1),
            "A report of the policy at work on this handheld: " + report + "\n");
  std::ifstream in(report);
  std::ostringstream page;
  page << in.rdbuf();
  EXPECT_NE(page.str().find("<svg class=\"chart\""), std::string::npos);
  EXPECT_NE(page.str().find("<g class=\"decision"), std::string::npos);
  // --report without a file is a mistake.
  EXPECT_EQ(RunZivo({"demo", "--report"}).status, 2);
}

}  // namespace
