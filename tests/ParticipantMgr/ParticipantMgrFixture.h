// A test manager with an empty pair of lists on a fresh simulated platform,
// the log cleared after its construction.
#pragma once

#include <optional>
#include <string>

#include "support/SimPlatformTest.h"
#include "support/TestParticipantMgr.h"
#include "zivorivizo/StatusCodes.h"

class ParticipantMgrTest : public CSimPlatformTest {
 protected:
  void SetUp() override {
    CSimPlatformTest::SetUp();
    mMgr.emplace();
    mLog.Clear();
  }
  void TearDown() override {
    mMgr.reset();
    CSimPlatformTest::TearDown();
  }

  CTestParticipantMgr& Mgr() { return *mMgr; }

  // The level of the line carrying exactly `message`, "" when none does.
  std::string Level(const std::string& message) const { return mLog.LevelOf(message); }

  std::optional<CTestParticipantMgr> mMgr;
};
