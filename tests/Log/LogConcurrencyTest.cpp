#include <gtest/gtest.h>

#include <latch>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Log/LogStatement.h"
#include "support/SimPlatformTest.h"

class LogConcurrencyTest : public CSimPlatformTest {};

// Statements from several threads at once each reach the log as one whole
// line, never mixed with another thread's pieces.
TEST_F(LogConcurrencyTest, LinesFromConcurrentThreadsNeverInterleave) {
  constexpr int kThreads = 8;
  constexpr int kStatements = 1000;
  {
    // All threads start together, so their statements overlap.
    std::latch start(kThreads);
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([t, &start] {
        start.arrive_and_wait();
        for (int i = 0; i < kStatements; ++i) {
          LOG_DEBUG("thread %d statement %d of %ls", t, i, L"several");
        }
      });
    }
  }
  const std::regex whole(
      R"(\d{4}:\d\d:\d\d \d\d:\d\d:\d\d:\d{3} DEBUG : \[[^\]]+:\d+\] thread (\d+) statement (\d+) of several)");
  std::set<std::pair<int, int>> seen;
  const std::vector<std::string> lines = mLog.Lines();
  for (const std::string& line : lines) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, whole)) << line;
    seen.emplace(std::stoi(match[1]), std::stoi(match[2]));
  }
  EXPECT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kStatements));
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kStatements));
  EXPECT_EQ(mLog.Text().back(), '\n');
}
