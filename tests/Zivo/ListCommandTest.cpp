// "zivo list" as a user runs it: on the embedded handheld, on a handheld
// described in a file, on a broken description and on a fake sysfs tree.
#include <gtest/gtest.h>

#include "support/FakeSysfs.h"
#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

using json = nlohmann::json;

const json* ByName(const json& list, const std::string& name) {
  for (const json& entry : list) {
    if (entry.at("Name") == name) {
      return &entry;
    }
  }
  ADD_FAILURE() << name << " is not listed in " << list.dump();
  return nullptr;
}

std::vector<std::string> Strings(const json& list) {
  return list.get<std::vector<std::string>>();
}

// The named fields of a listed record, so that one comparison says them all.
json Pick(const json* record, std::initializer_list<const char*> keys) {
  json picked = json::object();
  for (const char* key : keys) {
    if (record != nullptr && record->contains(key)) {
      picked[key] = record->at(key);
    }
  }
  return picked;
}

TEST(ListCommandTest, ListsTheEmbeddedHandheldWithRecordFieldsAndLinks) {
  CTempFolder work;  // no velmarconfig.xml here: the default policy
  _tagSZivoRun run = RunZivo({"list", "--platform", "sim", "--json"}, work.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  const json listing = run.Json();
  ASSERT_TRUE(listing.is_object());
  EXPECT_EQ(listing.size(), 3u) << "only devices, sensors and what was left out";
  const json& devices = listing.at("devices");
  const json& sensors = listing.at("sensors");
  EXPECT_EQ(devices.size(), 4u) << "the hotplug device is not enumerated";
  EXPECT_EQ(sensors.size(), 4u);

  // The skin sensor shows on its device too.
  EXPECT_EQ(Pick(ByName(devices, "ACPI\\PNP0C14\\3_0"),
                 {"Class", "Max", "Current", "Caps", "Valid", "LinkedSensors"}),
            json::parse(R"({"Class": 9, "Max": 4, "Current": 0, "Caps": 3, "Valid": 1,
                "LinkedSensors": ["ACPI\\PNP0C14\\10_0", "ACPI\\PNP0C14\\11_0"]})"));
  const json* die = ByName(sensors, "ACPI\\PNP0C14\\11_0");
  ASSERT_NE(die, nullptr);
  EXPECT_EQ(Pick(die, {"Class", "Base", "Devices", "LinkedDevices", "TripPoints"}),
            json::parse(R"({"Class": 2, "Base": 1,
                "Devices": ["ACPI\\PNP0C14\\1_0", "ACPI\\PNP0C14\\3_0"],
                "LinkedDevices": ["ACPI\\PNP0C14\\1_0", "ACPI\\PNP0C14\\3_0"],
                "TripPoints": [{"AuxType": 0, "Temp": 3482}, {"AuxType": 1, "Temp": 3682}]})"));
  EXPECT_EQ(die->at("TempHistory")[0].at("Temp"), 3252);
  // The history holds the readings taken, not the empty slots of the ring.
  for (const json& sensor : sensors) {
    ASSERT_FALSE(sensor.at("TempHistory").empty()) << sensor.dump();
    for (const json& sample : sensor.at("TempHistory")) {
      EXPECT_GT(sample.at("TimeStamp"), 0) << sensor.dump();
    }
  }
  const json* board = ByName(sensors, "\\\\.\\ZivoSensor0");
  ASSERT_NE(board, nullptr);
  EXPECT_EQ(board->at("TempHistory")[0].at("Temp"), 3142) << "41 degrees from a Celsius driver";
  EXPECT_EQ(Strings(board->at("LinkedDevices")), (std::vector<std::string>{"\\\\.\\ZivoFan0"}));

  // The table shows the same, temperatures in both units.
  run = RunZivo({"list", "--platform", "sim"}, work.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Devices (4)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Sensors (4)"), std::string::npos);
  EXPECT_NE(run.out.find("52.0 °C (3252)"), std::string::npos);
  EXPECT_NE(run.out.find("ACPI\\PNP0C14\\10_0, ACPI\\PNP0C14\\11_0"), std::string::npos);
}

TEST(ListCommandTest, ListsTheLinuxPlatformOnAFakeSysfsTreeWithoutWritingIt) {
  CFakeSysfs sysfs;
  sysfs.AddCooling(0, "Fan", 3, 1);
  sysfs.AddCooling(1, "Processor", 10, 0);
  sysfs.AddZone(0, "skin", 40000);
  sysfs.SetTrip(0, 0, 45000);
  sysfs.SetTrip(0, 1, 50000);
  sysfs.LinkCooling(0, 0, 0);
  sysfs.AddZone(1, "x86_pkg_temp", 61500);
  sysfs.LinkCooling(1, 0, 1);
  sysfs.LinkCooling(1, 1, 0);
  const std::string before = sysfs.Snapshot();
  CTempFolder work;
  const _tagSZivoRun run =
      RunZivo({"list", "--platform", "linux", "--sysfs-root", sysfs.Root(), "--json"}, work.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  const json listing = run.Json();
  ASSERT_EQ(listing.at("devices").size(), 2u);
  ASSERT_EQ(listing.at("sensors").size(), 2u);
  const json* skin = ByName(listing.at("sensors"), sysfs.ZonePath(0));
  const json* package = ByName(listing.at("sensors"), sysfs.ZonePath(1));
  ASSERT_TRUE(skin && package);
  EXPECT_EQ(Pick(skin, {"Class", "LinkedDevices"}),
            (json{{"Class", 1}, {"LinkedDevices", {sysfs.CoolingPath(0)}}}));
  EXPECT_EQ(skin->at("TripPoints")[0], (json{{"AuxType", 0}, {"Temp", 3182}}));
  EXPECT_EQ(skin->at("TempHistory")[0].at("Temp"), 3132);
  EXPECT_EQ(package->at("TempHistory")[0].at("Temp"), 3347);
  EXPECT_EQ(Pick(ByName(listing.at("devices"), sysfs.CoolingPath(0)),
                 {"Class", "Max", "Current", "LinkedSensors"}),
            (json{{"Class", 9},
                  {"Max", 3},
                  {"Current", 1},
                  {"LinkedSensors", {sysfs.ZonePath(0), sysfs.ZonePath(1)}}}));

  EXPECT_EQ(sysfs.Snapshot(), before) << "listing wrote to the tree";
}

// With the stable naming the names come from the kernel types, and each
// participant shows its folder with the kernel's governor, mode and
// max_state, in JSON and in the table.
TEST(ListCommandTest, ShowsStableNamesNextToTheKernelsValues) {
  CFakeSysfs sysfs;
  sysfs.AddCooling(4, "Fan", 3, 1);
  sysfs.AddZone(2, "acpitz", 40000);
  sysfs.WriteAttribute("thermal_zone2", "policy", "step_wise\n");
  sysfs.LinkCooling(2, 0, 4);
  sysfs.AddZone(5, "acpitz", 41000);  // no policy file: shown as unknown
  // Every trip shows with its type; the kernel's own (critical, hot) are
  // read-only even where the file could be written.
  sysfs.SetTrip(2, 0, 80000, true, "passive");
  sysfs.SetTrip(2, 1, 105000, true, "critical");
  sysfs.SetTrip(2, 2, 100000, true, "hot");
  const std::vector<std::string> linux = {"list",       "--platform", "linux", "--sysfs-root",
                                          sysfs.Root(), "--naming",   "stable"};

  std::vector<std::string> args = linux;
  args.push_back("--json");
  _tagSZivoRun run = RunZivo(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const json listing = run.Json();
  const json* first = ByName(listing.at("sensors"), "zone:acpitz:0");
  const json* second = ByName(listing.at("sensors"), "zone:acpitz:1");
  const json* fan = ByName(listing.at("devices"), "cooling:Fan:0");
  ASSERT_TRUE(first && second && fan);
  EXPECT_EQ(first->at("Sysfs"), (json{{"path", sysfs.ZonePath(2)},
                                      {"type", "acpitz"},
                                      {"policy", "step_wise"},
                                      {"mode", "enabled"},
                                      {"trips", json::parse(R"([
          {"id": 0, "type": "passive", "temp": 3532, "readOnly": false},
          {"id": 1, "type": "critical", "temp": 3782, "readOnly": true},
          {"id": 2, "type": "hot", "temp": 3732, "readOnly": true}])")}}));
  EXPECT_EQ(second->at("Sysfs").at("trips"), json::array());
  EXPECT_TRUE(second->at("Sysfs").at("policy").is_null());
  EXPECT_EQ(fan->at("Sysfs"),
            (json{{"path", sysfs.CoolingPath(4)}, {"type", "Fan"}, {"max_state", 3}}));
  EXPECT_EQ(Strings(first->at("LinkedDevices")), (std::vector<std::string>{"cooling:Fan:0"}));

  run = RunZivo(linux);
  ASSERT_EQ(run.status, 0) << run.err;
  for (const std::string& text :
       {std::string("max_state"), std::string("Policy"),
        std::string("zone:acpitz:1  thermal_zone5"), std::string("step_wise  enabled"),
        std::string("stable names"),
        std::string("0 passive 80.0 °C (3532), 1 critical 105.0 °C "
                    "(3782) read-only, 2 hot 100.0 °C (3732) read-only")}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text << " in\n" << run.out;
  }
}

// A participant whose files fail shows the file and the reason, not only
// that its driver failed.
TEST(ListCommandTest, NamesTheFileAndTheReasonOfAFailedAccess) {
  const struct {
    bool zone;
    const char* file;
    const char* text;
  } cases[] = {
      {false, "cur_state", "stuck\n"},
      {true, "temp", "warm\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    CFakeSysfs sysfs;
    if (c.zone) {
      sysfs.AddZone(0, "acpitz", 40000);
    } else {
      sysfs.AddCooling(0, "Fan", 3, 0);
    }
    sysfs.WriteAttribute(c.zone ? "thermal_zone0" : "cooling_device0", c.file, c.text);
    const std::string file = (c.zone ? sysfs.ZonePath(0) : sysfs.CoolingPath(0)) + "/" + c.file;
    const _tagSZivoRun run = RunZivo({"list", "--sysfs-root", sysfs.Root(), "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json listed = run.Json().at(c.zone ? "sensors" : "devices");
    ASSERT_EQ(listed.size(), 1u) << run.out;
    const std::string failure = listed[0].value("Failure", "");
    EXPECT_NE(failure.find(file + ": not a decimal value"), std::string::npos) << failure;
  }
}

}  // namespace
