#include <gtest/gtest.h>

#include <cstdio>
#include <latch>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Log/LogStatement.h"
#include "support/SimPlatformTest.h"

class LogConcurrencyTest : public CSimPlatformTest {};

// Statements from several threads at once each reach the log as one whole
// line, never mixed with another thread's pieces. (That each statement is one
// Write per logger is checked exactly in the InitLog program.)
TEST_F(LogConcurrencyTest, LinesFromConcurrentThreadsNeverInterleave) {
  constexpr int kThreads = 8;
  constexpr int kStatements = 1000;
  int statementLine = 0;
  {
    // All threads start together, so their statements overlap.
    std::latch start(kThreads);
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([t, &start, &statementLine] {
        start.arrive_and_wait();
        for (int i = 0; i < kStatements; ++i) {
          if (t == 0 && i == 0) {
            statementLine = __LINE__ + 2;
          }
          LOG_DEBUG("thread %d statement %d of %ls", t, i, L"several");
        }
      });
    }
  }
  const std::string prefix = "2026:01:01 12:00:00:000 DEBUG : [" +
                             std::string(MakeSourcePath(__FILE__).text) + ":" +
                             std::to_string(statementLine) + "] ";
  std::set<std::pair<int, int>> seen;
  const std::vector<std::string> lines = mLog.Lines();
  for (const std::string& line : lines) {
    int t = -1;
    int i = -1;
    std::sscanf(line.c_str() + std::min(line.size(), prefix.size()), "thread %d statement %d", &t,
                &i);
    ASSERT_EQ(line, prefix + "thread " + std::to_string(t) + " statement " + std::to_string(i) +
                        " of several");
    seen.emplace(t, i);
  }
  EXPECT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kStatements));
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kStatements));
  EXPECT_EQ(mLog.Text().back(), '\n');
}
