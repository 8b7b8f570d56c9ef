// zivo list on a machine whose fans are in hwmon: each channel with its
// tachometer and, for a channel that may not be written, read-only.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>

#include "support/FakeHwmonTree.h"
#include "support/ZivoProcess.h"

namespace {

TEST(FanListTest, ListsEachChannelWithItsRpmAndWhetherItIsReadOnly) {
  CFakeHwmonTree tree;
  tree.AddChip(4, "nct6798", "platform/nct6775.656", {1, 2});
  std::ofstream(tree.Class(4) / "fan2_input") << "812\n";
  chmod((tree.Class(4) / "pwm1").c_str(), 0444);
  const std::vector<std::string> args = {"list",   "--platform",   "linux",    "--naming",
                                         "stable", "--sysfs-root", tree.Root()};
  const _tagSZivoRun text = RunZivo(args);
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("no RPM, read-only"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("812 RPM"), std::string::npos) << text.out;

  std::vector<std::string> json = args;
  json.push_back("--json");
  const _tagSZivoRun run = RunZivo(json);
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json out = run.Json();
  ASSERT_TRUE(out.contains("devices")) << run.out;
  std::map<std::string, nlohmann::json> byName;
  for (const nlohmann::json& device : out["devices"]) {
    byName[device.value("Name", "")] = device;
  }
  ASSERT_TRUE(byName.count("fan:nct6798-isa-0290:pwm2")) << run.out;
  const nlohmann::json& pwm2 = byName["fan:nct6798-isa-0290:pwm2"]["Sysfs"];
  EXPECT_EQ(pwm2["rpm"], 812) << pwm2;
  EXPECT_EQ(pwm2["pwm_enable"], 2);
  EXPECT_EQ(pwm2["readOnly"], false);
  EXPECT_EQ(byName["fan:nct6798-isa-0290:pwm1"]["Sysfs"]["readOnly"], true);
  EXPECT_TRUE(byName["fan:nct6798-isa-0290:pwm1"]["Sysfs"]["rpm"].is_null());
}

}  // namespace
