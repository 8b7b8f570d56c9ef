// The option reader every zivo command uses: both spellings of a value, the
// values it refuses and how, the first mistake kept, and the arguments it
// leaves to the caller.
#include "OptionReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What one reading found: the options, then the error ("" when none).
struct Read {
  std::string state = "-";
  uint64_t intervalMs = 0;
  long confirm = 0;
  double speed = 0;
  std::vector<std::string> skipped;
  std::string error;
};

Read ReadAll(const ZivoArgs& args) {
  Read read;
  COptionReader reader(args);
  while (reader.More()) {
    if (!reader.TakeValue("--state", read.state) &&
        !reader.TakeSeconds("--interval", 60, read.intervalMs) &&
        !reader.TakeWhole("--confirm", 1, 9, "a count from 1 to 9", read.confirm) &&
        !reader.TakeFactor("--speed", read.speed)) {
      read.skipped.push_back(reader.Skip());
    }
  }
  read.error = reader.Error();
  return read;
}

Read Found(std::string state, uint64_t intervalMs, long confirm, double speed,
           std::vector<std::string> skipped = {}) {
  return {std::move(state), intervalMs, confirm, speed, std::move(skipped), ""};
}

Read Refused(std::string error) {
  Read read;
  read.error = std::move(error);
  return read;
}

TEST(OptionReaderTest, ReadsEachSpellingAndRefusesBadValuesWithTheirReason) {
  struct Case {
    ZivoArgs args;
    Read expected;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {{"--state", "a", "--interval=2.5", "--confirm", "3", "--speed=10"}, Found("a", 2500, 3, 10)},
      // A separate value is taken whatever it looks like; the last one given counts.
      {{"--state", "-odd", "--state=b"}, Found("b", 0, 0, 0)},
      // Seconds round up to a whole millisecond.
      {{"--interval", "0.0001"}, Found("-", 1, 0, 0)},
      // Not an option of the reader's caller: left to it, in order.
      {{"x", "--statex", "--state", "s", "--"}, Found("s", 0, 0, 0, {"x", "--statex", "--"})},
      {{"--state"}, Refused("--state needs a value")},
      {{"--state="}, Refused("--state needs a value")},
      {{"--interval"}, Refused("--interval needs a value")},
      {{"--interval="}, Refused("--interval takes a number of seconds above 0, not \"\"")},
      {{"--interval", "0"}, Refused("--interval takes a number of seconds above 0, not \"0\"")},
      {{"--interval", "61"}, Refused("--interval takes a number of seconds above 0, not \"61\"")},
      {{"--interval", "nan"}, Refused("--interval takes a number of seconds above 0, not \"nan\"")},
      {{"--interval", "1e999"}, Refused("--interval takes a number of seconds above 0, not \"1e999\"")},
      {{"--confirm", "10"}, Refused("--confirm takes a count from 1 to 9, not \"10\"")},
      {{"--confirm", "2x"}, Refused("--confirm takes a count from 1 to 9, not \"2x\"")},
      {{"--confirm", "99999999999999999999"}, Refused("--confirm takes a count from 1 to 9, not \"99999999999999999999\"")},
      {{"--speed", "0"}, Refused("--speed takes a factor above 0 (at most 1000000), not \"0\"")},
      {{"--speed", "1000001"}, Refused("--speed takes a factor above 0 (at most 1000000), not \"1000001\"")},
      {{"--speed", "inf"}, Refused("--speed takes a factor above 0 (at most 1000000), not \"inf\"")},
      // The first mistake is kept and ends the reading.
      {{"--confirm", "0", "--speed", "0"}, Refused("--confirm takes a count from 1 to 9, not \"0\"")},
  };
  // clang-format on
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& arg : c.args) {
      shown += arg + " ";
    }
    SCOPED_TRACE(shown);
    const Read read = ReadAll(c.args);
    EXPECT_EQ(read.error, c.expected.error);
    if (c.expected.error.empty()) {
      EXPECT_EQ(read.state, c.expected.state);
      EXPECT_EQ(read.intervalMs, c.expected.intervalMs);
      EXPECT_EQ(read.confirm, c.expected.confirm);
      EXPECT_EQ(read.speed, c.expected.speed);
      EXPECT_EQ(read.skipped, c.expected.skipped);
    } else {
      // A refused value leaves the variable as it was.
      EXPECT_EQ(read.state, "-");
      EXPECT_EQ(read.intervalMs, 0u);
      EXPECT_EQ(read.confirm, 0);
      EXPECT_EQ(read.speed, 0);
    }
  }
}

TEST(OptionReaderTest, FlagsAreExactAndRestTakesWhatFollows) {
  const ZivoArgs args = {"--apply=1", "--apply", "--", "--apply", "x"};
  COptionReader reader(args);
  EXPECT_FALSE(reader.TakeFlag("--apply"));
  EXPECT_TRUE(reader.Is("--apply"));  // the option, spelt with a value
  EXPECT_EQ(reader.Skip(), "--apply=1");
  EXPECT_TRUE(reader.TakeFlag("--apply"));
  EXPECT_EQ(reader.Rest(), (ZivoArgs{"--apply", "x"}));
  EXPECT_FALSE(reader.More());
  EXPECT_FALSE(reader.Failed());
}

}  // namespace
