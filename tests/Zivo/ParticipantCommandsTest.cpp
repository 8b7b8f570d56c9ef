// "zivo add-device", "add-sensor", "remove-device", "remove-sensor" and
// "status-codes": result codes with their meaning and the links involved.
#include <gtest/gtest.h>

#include "support/FakeSysfs.h"
#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

using json = nlohmann::json;
using Names = std::vector<std::string>;

TEST(ParticipantCommandsTest, AddsAndRemovesOnTheSimulatedHandheld) {
  CTempFolder work;
  const struct {
    const char* command;
    const char* name;
    int result;
    Names links;  // made by an add, taken apart by a remove
    bool published;
  } cases[] = {
      // The hotplug modem is published, then added.
      {"add-device", "ACPI\\PNP0C14\\4_0", 0, {}, true},
      {"add-sensor", "ACPI\\PNP0C14\\13_0", 0, {}, true},
      {"add-device", "ACPI\\PNP0C14\\3_0", 104, {}, false},
      {"add-sensor", "ACPI\\PNP0C14\\10_0", 105, {}, false},
      {"add-device", "/dev/nowhere", 110, {}, false},
      {"remove-device",
       "ACPI\\PNP0C14\\3_0",
       0,
       {"ACPI\\PNP0C14\\10_0", "ACPI\\PNP0C14\\11_0"},
       false},
      {"remove-sensor",
       "ACPI\\PNP0C14\\11_0",
       0,
       {"ACPI\\PNP0C14\\1_0", "ACPI\\PNP0C14\\3_0"},
       false},
      {"remove-sensor", "\\\\.\\ZivoSensor0", 0, {"\\\\.\\ZivoFan0"}, false},
      {"remove-sensor", "nothing", 102, {}, false},
      {"remove-device", "nothing", 101, {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.command) + " " + c.name);
    const _tagSZivoRun run =
        RunZivo({c.command, c.name, "--platform", "sim", "--json"}, work.Path());
    EXPECT_EQ(run.status, c.result == 0 ? 0 : 1) << run.err;
    const json report = run.Json();
    ASSERT_TRUE(report.is_object());
    EXPECT_EQ(report.at("name"), c.name);
    EXPECT_EQ(report.at("result"), c.result);
    EXPECT_EQ(report.at("published"), c.published);
    EXPECT_FALSE(report.at("meaning").get<std::string>().empty());
    const char* key = std::string(c.command).starts_with("add") ? "linksMade" : "linksTakenApart";
    EXPECT_EQ(report.at(key).get<Names>(), c.links);
  }

  // A device added after a sensor that names it is linked to that sensor:
  // a handheld whose hotplug device a present sensor already reports.
  const std::string file = work.Write("late.json", R"({
    "devices": [ { "wmi": 4, "maximum": 2, "hotplug": true } ],
    "sensors": [ { "wmi": 13, "devices": [4] }, { "wmi": 14, "devices": [4, 4] } ]
  })");
  _tagSZivoRun run = RunZivo(
      {"add-device", "ACPI\\PNP0C14\\4_0", "--platform", "sim:" + file, "--json"}, work.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.Json().at("linksMade").get<Names>(),
            (Names{"ACPI\\PNP0C14\\13_0", "ACPI\\PNP0C14\\14_0", "ACPI\\PNP0C14\\14_0"}))
      << "a device named twice is linked twice";

  // In words: the code, its meaning and the links.
  run = RunZivo({"remove-device", "ACPI\\PNP0C14\\3_0", "--platform", "sim"}, work.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("RemoveDevice(ACPI\\PNP0C14\\3_0) returned 0: success"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("Links taken apart: ACPI\\PNP0C14\\10_0, ACPI\\PNP0C14\\11_0"),
            std::string::npos)
      << run.out;
  run = RunZivo({"add-device", "ACPI\\PNP0C14\\3_0", "--platform", "sim"}, work.Path());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("returned 104: a device of that name is already in the list"),
            std::string::npos)
      << run.out;
}

TEST(ParticipantCommandsTest, ChangesRegistryListedParticipantsOnTheLinuxPlatform) {
  CFakeSysfs sysfs;
  sysfs.AddCooling(0, "Fan", 3, 0);
  sysfs.AddZone(0, "skin", 40000);
  sysfs.LinkCooling(0, 0, 0);
  // Removing the fan takes its link apart.
  const _tagSZivoRun run = RunZivo({"remove-device", sysfs.CoolingPath(0), "--platform", "linux",
                                    "--sysfs-root", sysfs.Root(), "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.Json().at("linksTakenApart").get<Names>(), Names{sysfs.ZonePath(0)});
  const _tagSZivoRun again = RunZivo({"add-sensor", sysfs.ZonePath(0), "--platform", "linux",
                                      "--sysfs-root", sysfs.Root(), "--json"});
  EXPECT_EQ(again.Json().at("result"), 105) << "enumeration found the zone already";
}

}  // namespace
