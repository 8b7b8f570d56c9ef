// The power stand-in's contract, run against the recording simulated power
// and logind power talking to a mock logind on a private bus, each behind the
// fault decorator. Neither may act on this machine.
#include <cstdlib>
#include <vector>

#include "Platform/Linux/Logind/LogindPower.h"
#include "Platform/Text.h"
#include "PlatformContract/Contract.h"
#include "Sim/FaultyPower.h"
#include "support/MockLogind.h"
#include "zivorivizo-sim/SimPower.h"

namespace {

// What the machine was asked to do, in the terms every implementation shares.
struct _tagSPowerAction {
  std::string kind;  // "shutdown", "hibernate" or "suspend"
  std::wstring message;
  int64_t timeoutSeconds = 0;
  bool reboot = false;
};

class CPowerEnv : public CContractEnv {
 public:
  CPower& Power() { return *mFaulty; }
  virtual void SetPrivilegeHeld(bool held) = 0;
  virtual void SetHibernateAllowed(bool allowed) = 0;
  // The system receives the requests and refuses them.
  virtual void RefuseRequests() = 0;
  virtual std::vector<_tagSPowerAction> Actions() = 0;

 protected:
  void Wrap(CPower& inner) {
    mFaulty = std::make_shared<CFaultyPower>(std::shared_ptr<CPower>(mPlan, &inner), mPlan);
  }

 private:
  std::shared_ptr<CFaultyPower> mFaulty;
};

// The simulated system accepts every request: a refusal is a fault that
// proceeds, so the request is still recorded.
class CSimPowerEnv : public CPowerEnv {
 public:
  CSimPowerEnv() { Wrap(mPower); }
  void SetPrivilegeHeld(bool held) override { mPower.SetPrivilegeHeld(held); }
  void SetHibernateAllowed(bool allowed) override { mPower.SetHibernateAllowed(allowed); }
  void RefuseRequests() override {
    for (FaultOp op : {FaultOp::PowerShutdown, FaultOp::PowerSetState}) {
      mPlan->Arm({op, L"", 1, CFaultPlan::kAlways, 0, true});
    }
  }

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
    Wrap(mPower);
    if (Unavailable().empty() && mMock.Error().empty()) {
      mReady = mMock.Reset();
    }
  }

  std::string Unavailable() override { return CMockLogind::MissingTool(); }
  std::string Problem() override { return mReady ? "" : "mock logind not ready: " + mMock.Error(); }

  void SetPrivilegeHeld(bool held) override {
    mMock.AddMethod("CanPowerOff", "", "s", held ? "ret = 'yes'" : "ret = 'no'");
  }
  void SetHibernateAllowed(bool allowed) override {
    mMock.AddMethod("CanHibernate", "", "s", allowed ? "ret = 'yes'" : "ret = 'no'");
  }
  void RefuseRequests() override {
    mMock.AddMethod("ScheduleShutdown", "st", "", kRefusal);
    mMock.AddMethod("Hibernate", "b", "", kRefusal);
    mMock.AddMethod("Suspend", "b", "", kRefusal);
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
  CMockLogind& mMock = CMockLogind::Shared();
  bool mReady = false;
  CLogindPower mPower{mMock.Address()};
};

using PowerContract = CContractTest<CPowerEnv>;

TEST_P(PowerContract, PrivilegeIsHeldOnlyWhenTheSystemGrantsIt) {
  EXPECT_TRUE(E().Power().EnableShutdownPrivilege());
  E().SetPrivilegeHeld(false);
  EXPECT_FALSE(E().Power().EnableShutdownPrivilege());
  EXPECT_TRUE(E().Actions().empty()) << "asking for the privilege acted";
}

TEST_P(PowerContract, ShutdownCarriesItsMessageCountdownAndKind) {
  const std::wstring message = L"Zu hei\u00DF: the system is shutting down...";
  EXPECT_TRUE(E().Power().InitiateShutdown(message, 60, true, false));
  EXPECT_TRUE(E().Power().InitiateShutdown(L"Restarting", 0, false, true));

  const auto actions = E().Actions();
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

TEST_P(PowerContract, HibernationFollowsThePolicyAndRefusalsAreReported) {
  EXPECT_TRUE(E().Power().IsHibernateAllowed());
  E().SetHibernateAllowed(false);
  EXPECT_FALSE(E().Power().IsHibernateAllowed());

  EXPECT_TRUE(E().Power().SetPowerState(false, true));
  EXPECT_TRUE(E().Power().SetPowerState(true, false));
  E().RefuseRequests();
  EXPECT_FALSE(E().Power().SetPowerState(false, true));
  EXPECT_FALSE(E().Power().InitiateShutdown(L"Too hot", 60, true, false));

  const auto actions = E().Actions();
  ASSERT_EQ(actions.size(), 4u);
  EXPECT_EQ(actions[0].kind, "hibernate");
  EXPECT_EQ(actions[1].kind, "suspend");
  EXPECT_EQ(actions[2].kind, "hibernate");
  EXPECT_EQ(actions[3].kind, "shutdown");
}

// Every power says why a request failed, and takes a shutdown back.
TEST_P(PowerContract, TheLastAnswerSaysWhyAndAShutdownCanBeCancelled) {
  EXPECT_TRUE(E().Power().InitiateShutdown(L"Too hot", 60, true, false));
  EXPECT_TRUE(E().Power().LastAnswer().accepted);
  EXPECT_TRUE(E().Power().CancelShutdown());
  EXPECT_TRUE(E().Power().LastAnswer().accepted);
  E().RefuseRequests();
  EXPECT_FALSE(E().Power().InitiateShutdown(L"Too hot", 60, true, false));
  const PowerAnswer answer = E().Power().LastAnswer();
  EXPECT_FALSE(answer.accepted);
  EXPECT_NE(answer.errorName, "");
  EXPECT_NE(answer.errorMessage, "");
}

// A fault that does not proceed keeps the request from the system: no test
// that arms one can reach the machine's power.
TEST_P(PowerContract, AFailedCallNeverReachesTheSystem) {
  Plan().Fail(FaultOp::Any, 0, L"", 1, CFaultPlan::kAlways);
  EXPECT_FALSE(E().Power().EnableShutdownPrivilege());
  EXPECT_FALSE(E().Power().InitiateShutdown(L"Too hot", 0, true, false));
  EXPECT_FALSE(E().Power().IsHibernateAllowed());
  EXPECT_FALSE(E().Power().SetPowerState(false, true));
  EXPECT_TRUE(E().Actions().empty());
  EXPECT_EQ(Plan().Fired(), 4);
}

ZIVO_CONTRACT_SUITE(PowerContract, {"Sim", Make<CSimPowerEnv, CPowerEnv>},
                    {"Logind", Make<CLogindPowerEnv, CPowerEnv>});

}  // namespace
