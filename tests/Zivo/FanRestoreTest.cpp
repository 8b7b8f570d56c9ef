// The crash path of the fans: a zivo run --apply killed while it held a fan
// channel leaves its record in the state folder, and zivo restore (the
// service's ExecStopPost=) gives the channel back to the chip.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/FakeHwmonChip.h"
#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

TEST(FanRestoreTest, RestorePutsBackTheFansADeadRunLeftInManualControl) {
  CFakeHwmonChip chip;
  CTempFolder state;
  // What the run wrote down before taking pwm2, then its last write.
  const std::string fans = state.Write("fans", chip.Path() + "\t2\t5\t90\n");
  chip.Put("pwm2_enable", "1");
  chip.Put("pwm2", "40");

  const _tagSZivoRun restore = RunZivo({"restore", "--state-dir", state.Path()});
  EXPECT_EQ(restore.status, 0) << restore.err;
  EXPECT_EQ(chip.Get("pwm2"), 90);
  EXPECT_EQ(chip.Get("pwm2_enable"), 5);
  EXPECT_NE(restore.out.find("pwm2: put back to mode 5 at 90"), std::string::npos) << restore.out;
  EXPECT_FALSE(std::filesystem::exists(fans));

  const _tagSZivoRun again = RunZivo({"restore", "--state-dir", state.Path()});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.out.find("nothing to put back"), std::string::npos) << again.out;
}

}  // namespace
