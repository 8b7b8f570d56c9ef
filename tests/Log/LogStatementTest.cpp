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

TEST_F(LogStatementTest, AStatementIsOneLineWithPaddedTimeStampLevelLocationAndMessage) {
  const int line = __LINE__ + 1;
  LOG_DEBUG("hello %ls %d", L"world", 7);
  EXPECT_EQ(mLog.Text(), Prefix("2026:03:04 05:06:07:008", "DEBUG", line) + "hello world 7\n");

  mLog.Clear();
  Clock().SetLocal({2026, 11, 29, 23, 59, 58, 999});
  const int errorLine = __LINE__ + 1;
  LOG_ERROR("failed %d", 114);
  EXPECT_EQ(mLog.Text(), Prefix("2026:11:29 23:59:58:999", "ERROR", errorLine) + "failed 114\n");

  mLog.Clear();
  Clock().SetLocal({987, 1, 2, 0, 0, 0, 0});
  LOG_WARN("careful");
  EXPECT_EQ(mLog.Text().rfind("0987:01:02 00:00:00:000 WARNING : [", 0), 0u);
}

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
  LOG_DEBUG("dropped too");
  EXPECT_EQ(mLog.Text(), "");

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

// The host's own level operations and raw pieces keep their old form: a
// level name with no time stamp and no line end, and raw text under the level
// of the last level operation.
TEST_F(LogStatementTest, HostLevelOperationsAndRawPiecesKeepTheirForm) {
  CPrint::Info("i%d", 1);
  CPrint::Debug("d");
  CPrint::Warn("w");
  CPrint::Error("e");
  CPrint::Fatal("f");
  CPrint::Print("|raw %s|", "piece");
  EXPECT_EQ(mLog.Text(), "INFO : i1DEBUG : dWARNING : wERROR : eFATAL : f|raw piece|");

  mLog.Clear();
  myPrint.SetLogLevel(LEVEL_ERROR);
  CPrint::Debug("hidden");
  CPrint::Print("hidden raw");
  CPrint::Error("shown");
  CPrint::Print(" raw");
  EXPECT_EQ(mLog.Text(), "ERROR : shown raw");

  // A level with several bits is named after its highest one.
  mLog.Clear();
  myPrint.SetLogLevel(LEVEL_ALL);
  CPrint::Statement(static_cast<LEVEL>(0x0A), "where", 3, "two bits");
  EXPECT_EQ(mLog.Text(), "2026:03:04 05:06:07:008 ERROR : [where:3] two bits\n");
}

// A piece longer than its buffer is cut to what one piece holds; the line
// keeps its end.
TEST_F(LogStatementTest, AnOverlongPieceIsTruncatedAndTheLineKeepsItsEnd) {
  const std::string longText(3000, 'x');
  const std::string piece(1023, 'x');
  const int line = __LINE__ + 1;
  LOG_DEBUG("%s", longText.c_str());
  EXPECT_EQ(mLog.Text(), Prefix("2026:03:04 05:06:07:008", "DEBUG", line) + piece + "\n");

  mLog.Clear();
  CPrint::Debug("%s", longText.c_str());
  EXPECT_EQ(mLog.Text(), "DEBUG : " + piece.substr(8));
  mLog.Clear();
  CPrint::Print("%s", longText.c_str());
  EXPECT_EQ(mLog.Text(), piece);

  // However long the location, the message and the line end follow it.
  mLog.Clear();
  CPrint::Statement(LEVEL_DEBUG, longText.c_str(), 1, "message");
  const std::string text = mLog.Text();
  EXPECT_EQ(text.size(), 1023u + 8u);
  EXPECT_TRUE(text.ends_with("xmessage\n"));
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
       }) {
    EXPECT_EQ(got, want);
  }
}

TEST_F(LogStatementTest, TheLocationNamesTheSourceFromTheModuleFolder) {
  static_assert(
      std::string_view(MakeSourcePath("/b/zivo/src/SystemMgr/OSSystemManager.cpp").text) ==
      "..\\SystemMgr\\OSSystemManager.cpp");
  static_assert(std::string_view(
                    MakeSourcePath("/b/src/OSIndep/ParticipantManager/ParticipantMgr.cpp").text) ==
                "..\\..\\OSIndep\\ParticipantManager\\ParticipantMgr.cpp");
  static_assert(std::string_view(MakeSourcePath("src/Log/Print.cpp").text) == "..\\Log\\Print.cpp");
  constexpr _tagSSourcePath longPath = MakeSourcePath(
      "/src/OSIndep/"
      "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/"
      "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb."
      "cpp");
  static_assert(std::string_view(longPath.text).size() == sizeof(longPath.text) - 1);

  COSSystemManager::DeleteInstance();
  EXPECT_NE(mLog.Text().find(" DEBUG : [..\\SystemMgr\\OSSystemManager.cpp:"), std::string::npos);
}
