// The record of the fan channels in manual control: written down before
// control is taken, gone once they were given back, and what puts them back
// after a process died holding them.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "Platform/DeviceIo.h"
#include "Platform/Linux/Hwmon/HwmonFanChannel.h"
#include "Platform/Linux/Hwmon/HwmonFanRecord.h"
#include "support/FakeHwmonChip.h"
#include "support/TempFolder.h"
#include "zivorivizo/Platform.h"

namespace {

std::vector<HwmonFanRecordLine> Lines(const std::string& file) {
  std::vector<HwmonFanRecordLine> lines;
  std::string error;
  EXPECT_TRUE(CHwmonFanRecord::Read(file, lines, error)) << error;
  return lines;
}

TEST(HwmonFanRecordTest, AChannelIsWrittenDownBeforeControlAndForgottenOnceGivenBack) {
  CFakeHwmonChip chip;
  CTempFolder state;
  const std::string file = state.Path() + "/fans";
  auto record = std::make_shared<CHwmonFanRecord>(file);
  std::vector<HwmonFanNote> notes;
  uint32_t error = 0;
  auto channel = CHwmonFanChannel::Open(
      chip.Path(), 2, 10, nullptr, [&notes](const HwmonFanNote& n) { notes.push_back(n); }, error,
      record);
  ASSERT_NE(channel, nullptr);
  EXPECT_FALSE(std::filesystem::exists(file)) << "nothing taken yet";
  ASSERT_TRUE(channel->SetState(4, error));
  const auto lines = Lines(file);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].folder, chip.Path());
  EXPECT_EQ(lines[0].index, 2u);
  EXPECT_EQ(lines[0].found.enable, 5);
  EXPECT_EQ(lines[0].found.pwm, 90);
  ASSERT_TRUE(channel->SetState(0, error));
  EXPECT_FALSE(std::filesystem::exists(file));

  // A record that cannot be written: control is not taken.
  auto lost = std::make_shared<CHwmonFanRecord>(state.Path() + "/missing/fans");
  channel = CHwmonFanChannel::Open(
      chip.Path(), 2, 10, nullptr, [&notes](const HwmonFanNote& n) { notes.push_back(n); }, error,
      lost);
  EXPECT_FALSE(channel->SetState(4, error));
  EXPECT_EQ(chip.Get("pwm2_enable"), 5);
  EXPECT_EQ(chip.Get("pwm2"), 90);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].text.find("control not taken"), std::string::npos) << notes[0].text;
}

TEST(HwmonFanRecordTest, ARecordLeftByADeadProcessPutsItsFansBack) {
  struct Case {
    const char* name;
    std::function<void(CFakeHwmonChip&)> since;  // after the process died
    int64_t enable;
    int64_t pwm;
    bool removed;
    const char* said;
  };
  const Case cases[] = {
      {"still as the process left it", [](CFakeHwmonChip&) {}, 5, 90, true,
       "put back to mode 5 at 90"},
      {"taken over since", [](CFakeHwmonChip& chip) { chip.Put("pwm2_enable", "2"); }, 2, 255, true,
       "left alone, its mode is 2 now"},
      {"the driver refuses the found mode",
       [](CFakeHwmonChip& chip) { chip.Put("pwm2_enable", "1", 0444); }, 1, 255, false,
       "left in manual control at 255"},
      {"the chip is gone", [](CFakeHwmonChip& chip) { std::filesystem::remove_all(chip.Path()); },
       -1, -1, true, "the chip is gone"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CFakeHwmonChip chip;
    CTempFolder state;
    const std::string file = state.Path() + "/fans";
    CHwmonFanRecord record(file);
    std::string error;
    ASSERT_TRUE(record.Hold({chip.Path(), 2, {5, 90}}, error)) << error;
    chip.Put("pwm2_enable", "1");
    chip.Put("pwm2", "255");
    c.since(chip);
    std::vector<std::string> said;
    EXPECT_EQ(PutBackLinuxFans(file, said), c.removed);
    EXPECT_EQ(chip.Get("pwm2_enable"), c.enable);
    EXPECT_EQ(chip.Get("pwm2"), c.pwm);
    EXPECT_EQ(std::filesystem::exists(file), !c.removed);
    ASSERT_FALSE(said.empty());
    EXPECT_NE(said.back().find(c.said), std::string::npos) << said.back();
  }
  std::vector<std::string> said;
  EXPECT_TRUE(PutBackLinuxFans("/nonexistent/zivo/fans", said)) << "no record: nothing to do";
  EXPECT_TRUE(said.empty());
}

}  // namespace
