// The power stand-in's contract, run against the recording simulated power
// and logind power talking to a mock logind on a private bus. Neither may act
// on this machine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "Platform/Linux/LogindPower.h"
#include "Platform/Sim/SimPower.h"
#include "Platform/Text.h"
#include "support/SharedMockLogind.h"

namespace {

// What the machine was asked to do, in the terms every implementation shares.
struct _tagSPowerAction {
  std::string kind;  // "shutdown", "hibernate" or "suspend"
  std::wstring message;
  int64_t timeoutSeconds = 0;
  bool reboot = false;
};

class CPowerEnv {
 public:
  virtual ~CPowerEnv() = default;
  // Why this implementation cannot run here, for a skip; "" when it can.
  virtual std::string Unavailable() { return ""; }
  virtual CPower& Power() = 0;
  virtual void SetPrivilegeHeld(bool held) = 0;
  virtual void SetHibernateAllowed(bool allowed) = 0;
  virtual void SetShutdownAccepted(bool accepted) = 0;
  virtual void SetPowerStateAccepted(bool accepted) = 0;
  virtual std::vector<_tagSPowerAction> Actions() = 0;
};

class CSimPowerEnv : public CPowerEnv {
 public:
  CPower& Power() override { return mPower; }
  void SetPrivilegeHeld(bool held) override { mPower.SetPrivilegeHeld(held); }
  void SetHibernateAllowed(bool allowed) override { mPower.SetHibernateAllowed(allowed); }
  void SetShutdownAccepted(bool accepted) override { mPower.SetShutdownAccepted(accepted); }
  void SetPowerStateAccepted(bool accepted) override { mPower.SetPowerStateAccepted(accepted); }

  std::vector<_tagSPowerAction> Actions() override {
    std::vector<_tagSPowerAction> actions;
    for (const _tagSPowerRequest& r : mPower.Requests()) {
      if (r.kind == _tagSPowerRequest::Kind::Shutdown) {
        actions.push_back({"shutdown", r.message, r.timeoutSeconds, r.reboot});
      } else if (r.kind == _tagSPowerRequest::Kind::SetPowerState) {
        actions.push_back({r.suspend ? "suspend" : "hibernate", L"", 0, false});
      }
    }
    return actions;
  }

 private:
  CSimPower mPower;
};

const char* const kRefusal =
    "raise dbus.exceptions.DBusException('Access denied', "
    "name='org.freedesktop.DBus.Error.AccessDenied')";

class CLogindPowerEnv : public CPowerEnv {
 public:
  CLogindPowerEnv() {
    if (Unavailable().empty() && mMock.Error().empty()) {
      mReady = mMock.Reset();
    }
  }

  std::string Unavailable() override { return CMockLogind::MissingTool(); }
  // The mock runs but could not be prepared: a failure, not a skip.
  std::string Problem() const { return mReady ? "" : "mock logind not ready: " + mMock.Error(); }

  CPower& Power() override { return mPower; }
  void SetPrivilegeHeld(bool held) override {
    mMock.AddMethod("CanPowerOff", "", "s", held ? "ret = 'yes'" : "ret = 'no'");
  }
  void SetHibernateAllowed(bool allowed) override {
    mMock.AddMethod("CanHibernate", "", "s", allowed ? "ret = 'yes'" : "ret = 'no'");
  }
  void SetShutdownAccepted(bool accepted) override {
    mMock.AddMethod("ScheduleShutdown", "st", "", accepted ? "" : kRefusal);
  }
  void SetPowerStateAccepted(bool accepted) override {
    mMock.AddMethod("Hibernate", "b", "", accepted ? "" : kRefusal);
    mMock.AddMethod("Suspend", "b", "", accepted ? "" : kRefusal);
  }

  // A scheduled shutdown carries the wall message set just before it and an
  // absolute time, turned back into a countdown from when the mock got it.
  std::vector<_tagSPowerAction> Actions() override {
    std::vector<_tagSPowerAction> actions;
    std::wstring wall;
    for (const _tagSMockCall& call : mMock.Calls()) {
      if (call.method == "SetWallMessage" && !call.args.empty()) {
        wall = FromUtf8(call.args[0]);
      } else if (call.method == "ScheduleShutdown" && call.args.size() == 2) {
        const int64_t when = static_cast<int64_t>(std::strtoull(call.args[1].c_str(), nullptr, 10));
        actions.push_back({"shutdown", wall, when / 1000000 - static_cast<int64_t>(call.timestamp),
                           call.args[0] == "reboot"});
      } else if (call.method == "Hibernate" || call.method == "Suspend") {
        actions.push_back({call.method == "Hibernate" ? "hibernate" : "suspend", L"", 0, false});
      }
    }
    return actions;
  }

 private:
  CMockLogind& mMock = SharedMockLogind();
  bool mReady = false;
  CLogindPower mPower{mMock.Address()};
};

struct _tagSPowerImpl {
  const char* name;
  std::function<std::unique_ptr<CPowerEnv>()> make;
};

void PrintTo(const _tagSPowerImpl& impl, std::ostream* os) {
  *os << impl.name;
}

class PowerContract : public testing::TestWithParam<_tagSPowerImpl> {
 protected:
  void SetUp() override {
    mEnv = GetParam().make();
    if (const std::string why = mEnv->Unavailable(); !why.empty()) {
      GTEST_SKIP() << why;
    }
    if (auto* logind = dynamic_cast<CLogindPowerEnv*>(mEnv.get())) {
      ASSERT_EQ(logind->Problem(), "");
    }
  }

  std::unique_ptr<CPowerEnv> mEnv;
};

TEST_P(PowerContract, PrivilegeIsHeldOnlyWhenTheSystemGrantsIt) {
  EXPECT_TRUE(mEnv->Power().EnableShutdownPrivilege());
  mEnv->SetPrivilegeHeld(false);
  EXPECT_FALSE(mEnv->Power().EnableShutdownPrivilege());
  EXPECT_TRUE(mEnv->Actions().empty()) << "asking for the privilege acted";
}

TEST_P(PowerContract, ShutdownCarriesItsMessageCountdownAndKind) {
  const std::wstring message = L"Zu hei\u00DF: the system is shutting down...";
  EXPECT_TRUE(mEnv->Power().InitiateShutdown(message, 60, true, false));
  EXPECT_TRUE(mEnv->Power().InitiateShutdown(L"Restarting", 0, false, true));

  const auto actions = mEnv->Actions();
  ASSERT_EQ(actions.size(), 2u);
  EXPECT_EQ(actions[0].kind, "shutdown");
  EXPECT_EQ(actions[0].message, message);
  // A countdown measured on the other side of a bus may lose a second.
  EXPECT_NEAR(actions[0].timeoutSeconds, 60, 2);
  EXPECT_FALSE(actions[0].reboot);
  EXPECT_EQ(actions[1].message, L"Restarting");
  EXPECT_NEAR(actions[1].timeoutSeconds, 0, 2);
  EXPECT_TRUE(actions[1].reboot);
}

TEST_P(PowerContract, ARefusedShutdownIsReportedAsFailed) {
  mEnv->SetShutdownAccepted(false);
  EXPECT_FALSE(mEnv->Power().InitiateShutdown(L"Too hot", 60, true, false));
}

TEST_P(PowerContract, HibernationFollowsThePolicyAndIsAskedAsSuch) {
  EXPECT_TRUE(mEnv->Power().IsHibernateAllowed());
  mEnv->SetHibernateAllowed(false);
  EXPECT_FALSE(mEnv->Power().IsHibernateAllowed());

  EXPECT_TRUE(mEnv->Power().SetPowerState(false, true));
  EXPECT_TRUE(mEnv->Power().SetPowerState(true, false));
  mEnv->SetPowerStateAccepted(false);
  EXPECT_FALSE(mEnv->Power().SetPowerState(false, true));

  const auto actions = mEnv->Actions();
  ASSERT_EQ(actions.size(), 3u);
  EXPECT_EQ(actions[0].kind, "hibernate");
  EXPECT_EQ(actions[1].kind, "suspend");
  EXPECT_EQ(actions[2].kind, "hibernate");
}

INSTANTIATE_TEST_SUITE_P(
    Powers, PowerContract,
    testing::Values(_tagSPowerImpl{"Sim", [] { return std::make_unique<CSimPowerEnv>(); }},
                    _tagSPowerImpl{"Logind", [] { return std::make_unique<CLogindPowerEnv>(); }}),
    [](const testing::TestParamInfo<_tagSPowerImpl>& info) { return info.param.name; });

}  // namespace
