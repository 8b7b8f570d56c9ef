// The event manager starts the platform's own event source with Init and
// stops it when it goes; a platform without one still starts, with one
// warning.
#include <gtest/gtest.h>

#include "Sim/SimPlatformEvents.h"
#include "support/SimPlatformTest.h"
#include "zivorivizo/OSEventManager.h"
#include "zivorivizo/OSParticipantMgr.h"

namespace {

class OperatingSystemEventsTest : public CSimPlatformTest {
 protected:
  void SetUp() override {
    CSimPlatformTest::SetUp();
    Registry().SetDword(L"SOFTWARE\\Zelan\\VOVUZER\\Parameters", L"SensorCount", 0);
    COSParticipantManager::GetInstance();
  }
  void TearDown() override {
    COSEventManager::DeleteInstance();
    CSimPlatformTest::TearDown();
  }
  int Warnings() {
    int count = 0;
    for (const std::string& line : mLog.Lines()) {
      count += line.find("WARN") != std::string::npos ? 1 : 0;
    }
    return count;
  }
};

TEST_F(OperatingSystemEventsTest, InitStartsTheSourceAndDeleteInstanceStopsIt) {
  EXPECT_EQ(COSEventManager::GetInstance()->Init(), 0);
  EXPECT_TRUE(Sim().SimEvents().Running());
  EXPECT_EQ(Warnings(), 0);
  // A second Init does not start it twice.
  EXPECT_EQ(COSEventManager::GetInstance()->Init(), 0);
  EXPECT_EQ(Sim().SimEvents().Starts(), 1);
  COSEventManager::DeleteInstance();
  EXPECT_FALSE(Sim().SimEvents().Running());
}

TEST_F(OperatingSystemEventsTest, WithoutTheSourceInitSucceedsWithOneWarning) {
  Sim().SimEvents().SetUnavailable("no thermal family");
  EXPECT_EQ(COSEventManager::GetInstance()->Init(), 0);
  EXPECT_FALSE(Sim().SimEvents().Running());
  EXPECT_EQ(Warnings(), 1) << mLog.Text();
  EXPECT_TRUE(mLog.HasMessage("Kernel thermal events are not available: no thermal family"))
      << mLog.Text();
  // The thermal subscription is made all the same.
  EXPECT_TRUE(mLog.HasMessage("Event Registration done..."));
}

// Init that fails before the source is reached leaves it stopped.
TEST_F(OperatingSystemEventsTest, AFailedDriverWatchStartsNothing) {
  Registry().DeleteValue(L"SOFTWARE\\Zelan\\VOVUZER\\Parameters", L"SensorCount");
  EXPECT_EQ(COSEventManager::GetInstance()->Init(), 57);
  EXPECT_FALSE(Sim().SimEvents().Running());
}

}  // namespace
