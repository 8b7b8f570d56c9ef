// What a host sees of the kernel's side through the exported headers: the
// platform's view names the folder behind a participant, and a folder reads
// its attributes as the library does (no blocking, no links followed, only a
// whole decimal is a number, a file without a write bit is not writable).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "Sim/SimPlatform.h"
#include "support/FakeSysfs.h"
#include "zivorivizo/LinuxSysfsFolder.h"
#include "zivorivizo/LinuxSysfsView.h"
#include "zivorivizo/Platform.h"

namespace {

TEST(LinuxSysfsViewTest, NamesTheFolderBehindEachParticipant) {
  CFakeSysfs tree;
  tree.AddZone(2, "acpitz", 45000);
  tree.AddCooling(0, "Fan", 4, 0);
  // Named like a zone, but a link to nothing: left out.
  ASSERT_EQ(symlink("../../nowhere", (tree.Root() + "/class/thermal/thermal_zone7").c_str()), 0);
  const auto view = CLinuxSysfsView::Of(*CreateLinuxPlatform(tree.Root()));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->Root(), tree.Root());

  const auto zone = view->Find(tree.ZonePathW(2));
  ASSERT_TRUE(zone.has_value());
  EXPECT_TRUE(zone->sensor);
  EXPECT_EQ(zone->folder, tree.ZonePath(2));
  EXPECT_EQ(zone->type, "acpitz");
  EXPECT_EQ(zone->channel, "");
  const auto fan = view->Find(tree.CoolingPathW(0));
  ASSERT_TRUE(fan.has_value());
  EXPECT_FALSE(fan->sensor);
  EXPECT_EQ(fan->type, "Fan");
  EXPECT_FALSE(view->Find(L"thermal_zone2").has_value());  // only the names the platform uses
  EXPECT_EQ(view->LeftOut(), 1u);

  // The view lives on its own, and follows the tree the platform refreshes.
  tree.Remove("thermal_zone2");
  EXPECT_TRUE(view->Find(tree.ZonePathW(2)).has_value());  // nothing refreshed it yet
}

TEST(LinuxSysfsViewTest, NoViewOfAnotherPlatform) {
  EXPECT_EQ(CLinuxSysfsView::Of(CSimPlatform()), nullptr);
}

TEST(LinuxSysfsFolderTest, ReadsAttributesAsTheLibraryDoes) {
  CFakeSysfs tree;
  tree.AddZone(0, "x86_pkg_temp", 51000);
  tree.WriteAttribute("thermal_zone0", "policy", "step_wise\n");
  tree.WriteAttribute("thermal_zone0", "unit", "45000 mC\n");
  tree.WriteAttribute("thermal_zone0", "fixed", "3\n", 0444);
  const std::string folder = tree.ZonePath(0);
  ASSERT_EQ(mkfifo((folder + "/pipe").c_str(), 0644), 0);
  ASSERT_EQ(symlink("temp", (folder + "/alias").c_str()), 0);

  struct Row {
    const char* name;
    bool exists;
    bool writable;
    bool isText;  // ReadText succeeds
    const char* text;
    bool isNumber;  // ReadNumber succeeds
    int64_t number;
  };
  const Row rows[] = {
      {"temp", true, false, true, "51000", true, 51000},  // read-only, as the kernel lays it
      {"policy", true, true, true, "step_wise", false, 0},
      {"unit", true, true, true, "45000 mC", false, 0},  // a number must be the whole line
      {"fixed", true, false, true, "3", true, 3},   // no write bit: not writable, even for root
      {"pipe", true, false, false, "", false, 0},   // fails at once, never blocks
      {"alias", true, false, false, "", false, 0},  // a link is not followed
      {"missing", false, false, false, "", false, 0},
  };
  const CLinuxSysfsFolder dir(folder);
  ASSERT_TRUE(dir.IsOpen());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string text;
    int64_t number = 0;
    EXPECT_EQ(dir.Exists(row.name), row.exists);
    EXPECT_EQ(dir.Writable(row.name), row.writable);
    EXPECT_EQ(dir.ReadText(row.name, text), row.isText);
    EXPECT_EQ(text, row.text);
    EXPECT_EQ(dir.ReadNumber(row.name, number), row.isNumber);
    EXPECT_EQ(number, row.number);
  }

  const CLinuxSysfsFolder gone(tree.Root() + "/class/thermal/thermal_zone9");
  std::string text;
  EXPECT_FALSE(gone.IsOpen());
  EXPECT_FALSE(gone.Exists("temp"));
  EXPECT_FALSE(gone.ReadText("temp", text));
}

}  // namespace
