#include <gtest/gtest.h>

#include "Log/LogStatement.h"
#include "support/SimPlatformTest.h"

class LogStatementTest : public CSimPlatformTest {};

TEST_F(LogStatementTest, WritesOneWholeLineWithTimeStampAndLocation) {
  Clock().SetLocal({2026, 3, 4, 5, 6, 7, 8});
  LOG_DEBUG("hello %ls %d", L"world", 7);
  const std::string text = mLog.Text();
  EXPECT_EQ(text.rfind("2026:03:04 05:06:07:008 DEBUG : [..\\..\\tests\\Log\\", 0),
            std::string::npos);
  EXPECT_NE(text.find("2026:03:04 05:06:07:008 DEBUG : ["), std::string::npos);
  EXPECT_NE(text.find("] hello world 7\n"), std::string::npos);
}
