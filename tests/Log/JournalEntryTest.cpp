// A log line taken apart for the journal: the priority of its level, the
// location piece as a field, the message without the time stamp.
#include <gtest/gtest.h>
#include <syslog.h>

#include "Log/JournalEntry.h"

namespace {

TEST(JournalEntryTest, TakesALineApartIntoPriorityLocationAndMessage) {
  const struct {
    const char* line;
    int priority;
    const char* file;
    const char* number;
    const char* message;
  } cases[] = {
      {"2026:01:01 12:00:00:000 ERROR : [..\\PartMgr\\X.cpp:42] Load failed for a\n", LOG_ERR,
       "..\\PartMgr\\X.cpp", "42", "Load failed for a"},
      {"2026:01:01 12:00:00:000 DEBUG : [src:7] traced", LOG_DEBUG, "src", "7", "traced"},
      {"2026:01:01 12:00:00:000 WARNING : [a:b:9] odd path", LOG_WARNING, "a:b", "9", "odd path"},
      {"FATAL : [f:1] no time stamp (the first line)\n", LOG_CRIT, "f", "1",
       "no time stamp (the first line)"},
      {"2026:01:01 12:00:00:000 INFO : zivo run: host text", LOG_INFO, "", "",
       "zivo run: host text"},
      // A message that mentions a level name keeps it.
      {"2026:01:01 12:00:00:000 DEBUG : [s:2] ERROR : inside", LOG_DEBUG, "s", "2",
       "ERROR : inside"},
      {"a raw piece of the host\n", LOG_INFO, "", "", "a raw piece of the host"},
      {"2026:01:01 12:00:00:000 ERROR : [unclosed bracket", LOG_ERR, "", "", "[unclosed bracket"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const JournalEntry entry = ParseJournalLine(c.line);
    EXPECT_EQ(entry.priority, c.priority);
    EXPECT_EQ(entry.file, c.file);
    EXPECT_EQ(entry.line, c.number);
    EXPECT_EQ(entry.message, c.message);
  }
}

}  // namespace
