#include <gtest/gtest.h>

#include <clocale>
#include <cstdarg>
#include <string>
#include <vector>

#include "Log/LogStatement.h"
#include "Log/MessageFormat.h"
#include "support/SimPlatformTest.h"
#include "zivorivizo/OSSystemManager.h"

namespace {

const std::string kHere = MakeSourcePath(__FILE__).text;

// The prefix of a line made by a statement of this file at `line`.
std::string Prefix(const char* stamp, const char* level, int line) {
  return std::string(stamp) + " " + level + " : [" + kHere + ":" + std::to_string(line) + "] ";
}

}  // namespace

class LogStatementTest : public CSimPlatformTest {
 protected:
  void SetUp() override {
    CSimPlatformTest::SetUp();
    Clock().SetLocal({2026, 3, 4, 5, 6, 7, 8});
  }
};

// Every piece of a statement, its time stamp included, passes or fails by the
// statement's own level; the level it leaves behind still governs a host's
// raw pieces.
TEST_F(LogStatementTest, APieceIsFilteredByItsOwnStatementsLevel) {
  EXPECT_EQ(myPrint.SetLogLevel(LEVEL_ERROR), LEVEL_ALL);  // the previous mask
  LOG_DEBUG("dropped");
  const int line = __LINE__ + 1;
  LOG_ERROR("kept");
  EXPECT_EQ(mLog.Text(), Prefix("2026:03:04 05:06:07:008", "ERROR", line) + "kept\n");

  mLog.Clear();
  int evaluated = 0;
  LOG_DEBUG("dropped too %d", ++evaluated);
  EXPECT_EQ(mLog.Text(), "");
  EXPECT_EQ(evaluated, 0);  // a dropped statement's arguments are not evaluated
  LOG_ERROR("kept %d", ++evaluated);
  EXPECT_EQ(evaluated, 1);
  mLog.Clear();

  // Mask 0: nothing at all, but the current level still follows.
  EXPECT_EQ(myPrint.SetLogLevel(static_cast<LEVEL>(0)), LEVEL_ERROR);
  EXPECT_EQ(myPrint.GetLogLevel(), 0u);
  LOG_ERROR("silent");
  CPrint::Error("silent");
  CPrint::Print("silent");
  EXPECT_EQ(mLog.Text(), "");
  myPrint.SetLogLevel(LEVEL_ERROR);
  CPrint::Print("raw after error");
  LOG_DEBUG("silent");
  CPrint::Print(" raw after debug");
  EXPECT_EQ(mLog.Text(), "raw after error");
}

static std::string Formatted(int capacity, const char* format, ...) {
  std::string buffer(static_cast<std::size_t>(capacity), '#');
  va_list args;
  va_start(args, format);
  buffer.resize(static_cast<std::size_t>(FormatLogMessage(buffer.data(), capacity, format, args)));
  va_end(args);
  return buffer;
}

// Wide arguments reach the log as UTF-8 under the C locale, which cannot
// narrow them, and the statement keeps its other arguments.
TEST_F(LogStatementTest, WideArgumentsAreWrittenAsUtf8WhateverTheLocale) {
  ASSERT_STREQ(setlocale(LC_ALL, nullptr), "C");
  LOG_ERROR("Error %d, Sensor %ls ", 109, L"caf\u00e9 \u2103");
  EXPECT_TRUE(mLog.Text().ends_with("] Error 109, Sensor caf\xc3\xa9 \xe2\x84\x83 \n"));
  const wchar_t* none = nullptr;
  for (const auto& [got, want] : std::vector<std::pair<std::string, std::string>>{
           {Formatted(64, "%ls|%ls|%ls|%lc", L"\U0001F600", L"\xD800", none, L'\u20ac'),
            "\xf0\x9f\x98\x80|\xef\xbf\xbd|(null)|\xe2\x82\xac"},
           {Formatted(64, "[%5ls][%-*ls][%.3ls][%.2ls]", L"\u00e9", 3, L"a", L"a\u00e9b",
                      L"a\u00e9"),
            "[   \xc3\xa9][a  ][a\xc3\xa9][a]"},
           {Formatted(64, "%s %c %.1f %% %x %lu %lld %zu %p %*d %03d %ls %q", "n", 'c', 2.5, 31,
                      4000000000ul, -5ll, std::size_t{9}, nullptr, 3, 7, 5, L"w"),
            "n c 2.5 % 1f 4000000000 -5 9 (nil)   7 005 w %q"},
           {Formatted(5, "%ls", L"ab\u00e9\u00e9"), "ab\xc3\xa9"},  // never cut inside a character
           {Formatted(4, "%ls", L"ab\u00e9"), "ab"},
           {Formatted(64, "%2$ls %1$d", 3, L"b"), "b 3"},
           {Formatted(64, "[%.0ls]", L"abc"), "[]"},
           // Bare decimals at their limits, and cut to the buffer as the C
           // formatter cuts them.
           {Formatted(96, "%d %ld %u %lu %i %ls", -2147483647 - 1, -9223372036854775807l - 1,
                      4294967295u, 18446744073709551615ul, -0, L""),
            "-2147483648 -9223372036854775808 4294967295 18446744073709551615 0 "},
           {Formatted(6, "%ls%d", L"a", 123456), "a1234"},
           {Formatted(6, "%ls%5d|%-3u|%+d", L"", 1, 2u, 3), "    1"},
           {Formatted(64, "%ls%+d|%-3u|%ld|%hd", L"", 3, 2u, 7l, 65537), "+3|2  |7|1"},
           {Formatted(4, "%ls", L"abcdef"), "abc"},
       }) {
    EXPECT_EQ(got, want);
  }
}
