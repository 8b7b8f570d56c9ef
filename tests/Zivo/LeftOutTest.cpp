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
