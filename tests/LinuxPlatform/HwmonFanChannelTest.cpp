// A fan channel of an hwmon chip on a fake chip folder modelled on a board
// chip (pwm2 in SmartFan mode 5 at 90, fan2_input), alone and behind its
// device handle: states, the floor and the
// driver's bounds, a read-only channel, a driver that drops or refuses manual
// mode, and control given back when the channel goes.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

#include "Platform/DeviceIo.h"
#include "Platform/DriverProtocol.h"
#include "Platform/Linux/Hwmon/HwmonFanChannel.h"
#include "Platform/Linux/Hwmon/HwmonFanHandle.h"
#include "Platform/Linux/Hwmon/HwmonFanNotes.h"
#include "Platform/Linux/SysfsValueWriter.h"
#include "support/DriverCalls.h"
#include "support/FakeHwmonChip.h"
#include "support/LogCapture.h"

namespace {

// Lets a test stand for a driver: refuses or changes some writes.
class CDriverWriter : public CSysfsValueWriter {
 public:
  // Returns the value the driver keeps, or nullopt to refuse the write.
  std::function<std::optional<int64_t>(const std::string&, int64_t)> rule;
  bool Write(int dirFd, const std::string& name, int64_t value, uint32_t& error) override {
    const std::optional<int64_t> kept = rule ? rule(name, value) : value;
    if (!kept) {
      error = DEVICE_ERROR_GEN_FAILURE;
      return false;
    }
    return CSysfsValueWriter::Write(dirFd, name, *kept, error);
  }
};

std::unique_ptr<CHwmonFanChannel> OpenChannel(const CFakeHwmonChip& chip,
                                              std::vector<HwmonFanNote>& notes,
                                              std::shared_ptr<CSysfsValueWriter> writer = nullptr,
                                              uint32_t levels = CHwmonFanChannel::kDefaultLevels) {
  uint32_t error = 0;
  auto channel = CHwmonFanChannel::Open(
      chip.Path(), 2, levels, std::move(writer),
      [&notes](const HwmonFanNote& note) { notes.push_back(note); }, error);
  EXPECT_NE(channel, nullptr) << "error " << error;
  return channel;
}

TEST(HwmonFanChannelTest, StatesWriteAShareOfTheRoomAboveTheFloorWithinTheDriversBounds) {
  struct Case {
    const char* name;
    int64_t found;    // pwm2 when control is taken
    const char* min;  // pwm2_min, empty: none
    const char* max;
    uint32_t levels;
    uint32_t state;
    int64_t pwm;
    uint32_t readBack;
  };
  const Case cases[] = {
      {"half of the room above 90", 90, "", "", 10, 5, 90 + 165 * 5 / 10, 5},
      {"top state is full speed", 90, "", "", 10, 10, 255, 10},
      {"from a stopped fan", 0, "", "", 10, 1, 25, 1},
      {"the driver's minimum", 0, "60", "", 10, 1, 60, 2},
      {"the driver's maximum", 0, "", "200", 10, 10, 200, 8},
      {"fewer levels", 0, "", "", 4, 3, 191, 3},
      {"a fan found at full speed", 255, "", "", 10, 1, 255, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CFakeHwmonChip chip;
    chip.Put("pwm2", std::to_string(c.found));
    if (*c.min) chip.Put("pwm2_min", c.min);
    if (*c.max) chip.Put("pwm2_max", c.max);
    std::vector<HwmonFanNote> notes;
    auto channel = OpenChannel(chip, notes, nullptr, c.levels);
    ASSERT_NE(channel, nullptr);
    uint32_t error = 0;
    ASSERT_TRUE(channel->SetState(c.state, error)) << error;
    EXPECT_EQ(chip.Get("pwm2_enable"), 1);
    EXPECT_EQ(chip.Get("pwm2"), c.pwm);
    uint32_t state = 0;
    ASSERT_TRUE(channel->CurrentState(state, error));
    EXPECT_EQ(state, c.readBack);
    EXPECT_EQ(chip.Get("pwm2_mode"), 1) << "never written";
    EXPECT_TRUE(notes.empty());
  }
}

TEST(HwmonFanChannelTest, StateZeroAndTheEndGiveTheFoundValuesBack) {
  CFakeHwmonChip chip;
  std::vector<HwmonFanNote> notes;
  auto channel = OpenChannel(chip, notes);
  ASSERT_NE(channel, nullptr);
  uint32_t error = 0;
  uint32_t state = 7;
  ASSERT_TRUE(channel->CurrentState(state, error));
  EXPECT_EQ(state, 0u) << "the chip's own mode";
  ASSERT_TRUE(channel->SetState(8, error));
  ASSERT_TRUE(channel->SetState(0, error));
  EXPECT_EQ(chip.Get("pwm2"), 90);
  EXPECT_EQ(chip.Get("pwm2_enable"), 5);
  EXPECT_FALSE(channel->InControl());

  ASSERT_TRUE(channel->SetState(10, error));
  EXPECT_EQ(chip.Get("pwm2"), 255);
  channel.reset();
  EXPECT_EQ(chip.Get("pwm2"), 90);
  EXPECT_EQ(chip.Get("pwm2_enable"), 5);
  EXPECT_TRUE(notes.empty());

  int64_t rpm = 0;
  channel = OpenChannel(chip, notes);
  ASSERT_TRUE(channel->ReadRpm(rpm, error));
  EXPECT_EQ(rpm, 812);
}

TEST(HwmonFanChannelTest, AReadOnlyChannelRefusesEverySetAndWritesNothing) {
  for (const char* file : {"pwm2", "pwm2_enable"}) {
    SCOPED_TRACE(file);
    CFakeHwmonChip chip;
    chip.Put(file, file == std::string("pwm2") ? "90" : "5", 0444);
    std::vector<HwmonFanNote> notes;
    auto channel = OpenChannel(chip, notes);
    ASSERT_NE(channel, nullptr);
    EXPECT_TRUE(channel->ReadOnly());
    uint32_t error = 0;
    EXPECT_FALSE(channel->SetState(3, error));
    EXPECT_EQ(error, DEVICE_ERROR_ACCESS_DENIED);
    EXPECT_EQ(chip.Get("pwm2"), 90);
    EXPECT_EQ(chip.Get("pwm2_enable"), 5);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_TRUE(notes[0].error);
    EXPECT_NE(notes[0].text.find("read-only"), std::string::npos) << notes[0].text;
  }
}

TEST(HwmonFanChannelTest, ControlResetByTheDriverIsTakenAgainWithAWarning) {
  CFakeHwmonChip chip;
  std::vector<HwmonFanNote> notes;
  auto channel = OpenChannel(chip, notes);
  uint32_t error = 0;
  ASSERT_TRUE(channel->SetState(2, error));
  // A resume: the driver is back in its own mode, at its own speed.
  chip.Put("pwm2_enable", "5");
  chip.Put("pwm2", "120");
  uint32_t state = 9;
  ASSERT_TRUE(channel->CurrentState(state, error));
  EXPECT_EQ(state, 0u);
  ASSERT_TRUE(channel->SetState(10, error));
  EXPECT_EQ(chip.Get("pwm2_enable"), 1);
  EXPECT_EQ(chip.Get("pwm2"), 255);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_FALSE(notes[0].error);
  EXPECT_NE(notes[0].text.find("pwm2_enable was reset to 5"), std::string::npos) << notes[0].text;
  channel.reset();
  EXPECT_EQ(chip.Get("pwm2"), 90) << "the values found at the open, not after the resume";
  EXPECT_EQ(chip.Get("pwm2_enable"), 5);
}

TEST(HwmonFanChannelTest, ADriverThatDoesNotKeepManualModeFailsTheSet) {
  CFakeHwmonChip chip;
  auto writer = std::make_shared<CDriverWriter>();
  writer->rule = [](const std::string& name, int64_t value) -> std::optional<int64_t> {
    return name == "pwm2_enable" && value == 1 ? 2 : value;
  };
  std::vector<HwmonFanNote> notes;
  auto channel = OpenChannel(chip, notes, writer);
  uint32_t error = 0;
  EXPECT_FALSE(channel->SetState(4, error));
  EXPECT_FALSE(channel->InControl());
  EXPECT_EQ(chip.Get("pwm2"), 90) << "no speed written without control";
  EXPECT_EQ(chip.Get("pwm2_enable"), 5);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].text.find("did not keep manual control"), std::string::npos);
}

TEST(HwmonFanChannelTest, AFailedGiveBackLeavesTheFanAtFullSpeed) {
  struct Case {
    const char* name;
    std::function<std::optional<int64_t>(const std::string&, int64_t)> refuse;
    int64_t enable;
    int64_t pwm;  // -1: the speed set stays
    const char* last;
  };
  const auto refusing = [](const std::string& file, int64_t bad) {
    return [file, bad](const std::string& name, int64_t value) -> std::optional<int64_t> {
      if (name == file && value == bad) return std::nullopt;
      if (name == "pwm2_enable" && value == 0 && file == "both") return std::nullopt;
      if (name == "pwm2" && value == 90 && file == "both") return std::nullopt;
      return value;
    };
  };
  const Case cases[] = {
      {"found pwm refused", refusing("pwm2", 90), 0, -1, "full speed (pwm2_enable = 0)"},
      {"found mode refused", refusing("pwm2_enable", 5), 0, 90, "full speed (pwm2_enable = 0)"},
      {"full-speed mode refused too", refusing("both", -1), 1, 255, "manual control at 255"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CFakeHwmonChip chip;
    auto writer = std::make_shared<CDriverWriter>();
    std::vector<HwmonFanNote> notes;
    auto channel = OpenChannel(chip, notes, writer);
    uint32_t error = 0;
    ASSERT_TRUE(channel->SetState(7, error));
    const int64_t set = chip.Get("pwm2");
    writer->rule = c.refuse;
    EXPECT_FALSE(channel->GiveBack());
    EXPECT_EQ(chip.Get("pwm2_enable"), c.enable);
    EXPECT_EQ(chip.Get("pwm2"), c.pwm < 0 ? set : c.pwm);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_TRUE(notes[0].error && notes[1].error);
    EXPECT_NE(notes[1].text.find(c.last), std::string::npos) << notes[1].text;
  }
}

TEST(HwmonFanChannelTest, TheHandleIsAnActiveDeviceThatGivesTheFanBackWhenItStopsOrGoes) {
  CFakeHwmonChip chip;
  CLogCapture log;
  TakeLinuxFanNotes();
  uint32_t error = 0;
  bool present = true;
  auto handle = std::make_unique<CHwmonFanHandle>(
      CHwmonFanChannel::Open(chip.Path(), 2, 10, nullptr, LogHwmonFanNotes(L"fan2"), error),
      [&present](uint32_t& why) {
        why = DEVICE_ERROR_FILE_NOT_FOUND;
        return present;
      });
  const auto info = Read<_tagSDeviceInfoBlock>(*handle, DRIVER_DEVICE_GET_INFO);
  EXPECT_EQ(info.Class, 9u);
  EXPECT_EQ(info.MaxState, 10u);
  EXPECT_EQ(Read<uint32_t>(*handle, DRIVER_DEVICE_GET_STATE), 0u);
  ASSERT_TRUE(Send(*handle, DRIVER_DEVICE_SET_STATE, uint32_t{6}));
  EXPECT_EQ(Read<uint32_t>(*handle, DRIVER_DEVICE_GET_STATE), 6u);
  ASSERT_TRUE(Send(*handle, DRIVER_DEVICE_STOP, uint32_t{0}));
  EXPECT_EQ(chip.Get("pwm2_enable"), 5);
  EXPECT_FALSE(Send(*handle, DRIVER_DEVICE_SET_STATE, uint32_t{11})) << "above the top state";

  ASSERT_TRUE(Send(*handle, DRIVER_DEVICE_SET_STATE, uint32_t{3}));
  chip.Put("pwm2_enable", "2");
  ASSERT_TRUE(Send(*handle, DRIVER_DEVICE_SET_STATE, uint32_t{4}));
  EXPECT_EQ(log.LevelOf("fan2: pwm2_enable was reset to 2 by the driver (after a suspend?); "
                        "taking manual control again"),
            "WARNING");
  // The host hears it too, under the fan's name, without reading the log.
  std::vector<LinuxFanNote> kept = TakeLinuxFanNotes();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].device, L"fan2");
  EXPECT_EQ(kept[0].kind, LinuxFanNoteKind::ControlRetaken);
  EXPECT_FALSE(kept[0].error);
  EXPECT_EQ(kept[0].text,
            "pwm2_enable was reset to 2 by the driver (after a suspend?); taking manual control "
            "again");
  EXPECT_TRUE(TakeLinuxFanNotes().empty()) << "taken once";
  present = false;
  EXPECT_FALSE(Send(*handle, DRIVER_DEVICE_SET_STATE, uint32_t{5}, error));
  EXPECT_EQ(error, DEVICE_ERROR_FILE_NOT_FOUND) << "a chip that went";
  handle.reset();
  EXPECT_EQ(chip.Get("pwm2"), 90);
  EXPECT_EQ(chip.Get("pwm2_enable"), 5);

  chip.Put("pwm2", "90", 0444);
  handle = std::make_unique<CHwmonFanHandle>(
      CHwmonFanChannel::Open(chip.Path(), 2, 10, nullptr, LogHwmonFanNotes(L"fan2"), error),
      nullptr);
  EXPECT_FALSE(Send(*handle, DRIVER_DEVICE_SET_STATE, uint32_t{1}, error));
  EXPECT_EQ(error, DEVICE_ERROR_ACCESS_DENIED);
  EXPECT_EQ(Read<uint32_t>(*handle, DRIVER_DEVICE_GET_STATE), 0u) << "still read";
  kept = TakeLinuxFanNotes();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].kind, LinuxFanNoteKind::ReadOnly);
  EXPECT_TRUE(kept[0].error);
}

TEST(HwmonFanChannelTest, NotesNobodyTakesKeepOnlyTheNewest) {
  CHwmonFanNotes notes;
  const std::size_t kept = CHwmonFanNotes::kCapacity;
  for (std::size_t i = 0; i < kept + 44; ++i) {
    notes.Keep(LinuxFanNote{L"fan2", LinuxFanNoteKind::ControlRetaken, false, std::to_string(i)});
  }
  const std::vector<LinuxFanNote> taken = notes.Take();
  ASSERT_EQ(taken.size(), kept);
  EXPECT_EQ(taken.front().text, "44");
  EXPECT_EQ(taken.back().text, std::to_string(kept + 43));
  EXPECT_TRUE(notes.Take().empty());
}

}  // namespace
