// zivo list on a machine whose temperatures are hwmon inputs: each input is
// a sensor under its stable name, with the chip, the label and the chip's
// limits shown read-only, never as aux trips, and k10temp's Tctl with its
// note; nothing is written to the tree.
#include <gtest/gtest.h>

#include "support/FakeHwmon.h"
#include "support/FakeSysfs.h"
#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

using json = nlohmann::json;

TEST(HwmonListTest, ShowsInputsWithTheirChipLimitsAndNotes) {
  CFakeSysfs sysfs;
  CFakeHwmon hwmon(sysfs.Root());
  hwmon.AddChip(0, "nvme", "pci0000:00/0000:01:00.0", "pci");
  hwmon.Write(0, "temp1_input", "38850");
  hwmon.Write(0, "temp1_label", "Composite");
  hwmon.Write(0, "temp1_crit", "65261850");  // garbage, as some disks report
  hwmon.AddChip(1, "k10temp", "pci0000:00/0000:00:18.3", "pci");
  hwmon.Write(1, "temp1_input", "61000");
  hwmon.Write(1, "temp1_label", "Tctl");
  hwmon.Write(1, "temp1_max", "70000");
  hwmon.Write(1, "temp1_crit", "95000");
  const std::string before = sysfs.Snapshot();
  CTempFolder work;
  const std::vector<std::string> args = {"list",       "--platform", "linux", "--sysfs-root",
                                         sysfs.Root(), "--naming",   "stable"};
  std::vector<std::string> jsonArgs = args;
  jsonArgs.push_back("--json");
  const _tagSZivoRun run = RunZivo(jsonArgs, work.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  const json sensors = run.Json().at("sensors");
  ASSERT_EQ(sensors.size(), 2u) << sensors.dump();
  json cpu, disk;
  for (const json& sensor : sensors) {
    (sensor.at("Name") == "hwmon:k10temp-pci-00c3:Tctl" ? cpu : disk) = sensor;
  }
  ASSERT_EQ(disk.at("Name"), "hwmon:nvme-pci-0100:Composite");
  EXPECT_EQ(cpu.at("Class"), 2);
  EXPECT_EQ(cpu.at("TempHistory")[0].at("Temp"), 3342);
  EXPECT_TRUE(cpu.at("TripPoints").empty());
  EXPECT_EQ(cpu.at("Sysfs").at("chip"), "k10temp");
  EXPECT_EQ(cpu.at("Sysfs").at("trips"),
            (json{{{"id", 1}, {"type", "max"}, {"temp", 3432}, {"readOnly", true}},
                  {{"id", 1}, {"type", "crit"}, {"temp", 3682}, {"readOnly", true}}}));
  EXPECT_TRUE(cpu.at("Sysfs").contains("note"));
  EXPECT_TRUE(disk.at("Sysfs").at("trips")[0].at("temp").is_null());
  EXPECT_FALSE(disk.at("Sysfs").contains("note"));

  const _tagSZivoRun table = RunZivo(args, work.Path());
  ASSERT_EQ(table.status, 0) << table.err;
  EXPECT_NE(table.out.find("1 crit 95.0"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("Tctl can read"), std::string::npos) << table.out;
  EXPECT_EQ(sysfs.Snapshot(), before) << "listing wrote to the tree";
}

}  // namespace
