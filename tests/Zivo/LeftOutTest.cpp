// "zivo list" says how many participants discovery left out and why: paths
// too long for the parameters key, entries that cannot be read, a count past
// the limit, thermal class entries that are no folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/FakeSysfs.h"
#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

using json = nlohmann::json;

json Reason(const std::string& reason, int count) {
  return {{"reason", reason}, {"count", count}};
}

TEST(LeftOutTest, ASimulatedRegistryWithEntriesDiscoveryCannotUse) {
  CTempFolder work;
  const std::string tooLong(70, 'x');
  // Sensor1 is missing, Sensor2 too long; Device1 is a number and
  // Device2..Device1023 are missing; the count is 2 past the limit.
  const std::string file = work.Write("leftout.json", R"({
    "devices": [ { "path": "/sim/fan", "maximum": 4 } ],
    "sensors": [ { "path": "/sim/board" } ],
    "registry": [ { "key": "SOFTWARE\\Zelan\\VOVUZER\\Parameters",
                    "values": { "SensorCount": 3, "Sensor2": ")" +
                                                          tooLong + R"(",
                                "DeviceCount": 1026, "Device1": 7 } } ]
  })");
  _tagSZivoRun run = RunZivo({"list", "--platform", "sim:" + file, "--json"}, work.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  const json listing = run.Json();
  EXPECT_EQ(listing.at("devices").size(), 1u);
  EXPECT_EQ(listing.at("leftOut"),
            (json{{"count", 1027},
                  {"reasons",
                   {Reason("listed beyond the 1024 entries read of a count", 2),
                    Reason("path longer than the 63 characters the parameters key holds", 1),
                    Reason("parameters key entry missing or not a text", 1024)}}}));
  EXPECT_NE(run.err.find("Left out: 1027 (listed beyond"), std::string::npos) << run.err;

  // The embedded handheld leaves nothing out.
  run = RunZivo({"list", "--json"}, work.Path());
  EXPECT_EQ(run.Json().at("leftOut"), (json{{"count", 0}, {"reasons", json::array()}}));
}

TEST(LeftOutTest, ASysfsTreeWhosePathsOrEntriesCannotBeUsed) {
  struct _tagSCase {
    std::size_t rootLength;  // 40: every path is longer than 63 characters
    bool danglingZone;
    std::string line;
  };
  const std::vector<_tagSCase> cases = {
      {40, false, "Left out: 3 (path longer than the 63 characters the parameters key holds: 3)"},
      {0, true, "Left out: 1 (thermal class entry that is no readable folder: 1)"},
  };
  for (const _tagSCase& c : cases) {
    CFakeSysfs sysfs(c.rootLength);
    sysfs.AddZone(0, "acpitz", 40000);
    sysfs.AddZone(1, "x86_pkg_temp", 50000);
    sysfs.AddCooling(0, "Fan", 3, 0);
    if (c.danglingZone) {
      ASSERT_EQ(symlink("../../devices/virtual/thermal/thermal_zone9",
                        (sysfs.Root() + "/class/thermal/thermal_zone9").c_str()),
                0);
    }
    CTempFolder work;
    const _tagSZivoRun run =
        RunZivo({"list", "--platform", "linux", "--sysfs-root", sysfs.Root()}, work.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(c.line), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("No thermal zones found.") != std::string::npos, c.rootLength > 0)
        << run.out;
  }
}

}  // namespace
