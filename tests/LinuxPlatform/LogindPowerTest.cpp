// What logind power does beyond the shared power contract: how it reads
// logind's answers, the exact calls it makes, and that it touches no bus
// before it is used.
#include <gtest/gtest.h>

#include <memory>

#include "Platform/Linux/LinuxPlatform.h"
#include "Platform/Linux/Logind/LogindPower.h"
#include "support/MockLogind.h"

namespace {

class LogindPowerTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const std::string missing = CMockLogind::MissingTool(); !missing.empty()) {
      GTEST_SKIP() << missing;
    }
    ASSERT_EQ(mMock.Error(), "");
    ASSERT_TRUE(mMock.Reset());
  }

  CMockLogind& mMock = CMockLogind::Shared();
  CLogindPower mPower{mMock.Address()};
};

// Hibernating at once cannot wait for someone to authenticate.
TEST_F(LogindPowerTest, OnlyAnswersThatAllowCountAsYes) {
  const std::tuple<const char*, bool, bool> answers[] = {
      {"yes", true, true}, {"challenge", true, false}, {"no", false, false}, {"na", false, false}};
  for (const auto& [answer, powerOff, hibernate] : answers) {
    mMock.AddMethod("CanPowerOff", "", "s", std::string("ret = '") + answer + "'");
    mMock.AddMethod("CanHibernate", "", "s", std::string("ret = '") + answer + "'");
    EXPECT_EQ(mPower.EnableShutdownPrivilege(), powerOff) << answer;
    EXPECT_EQ(mPower.IsHibernateAllowed(), hibernate) << answer;
  }
}

// The wall message is a courtesy; the shutdown is the protection, and goes
// ahead when the message is refused. Sleep is never interactive.
TEST_F(LogindPowerTest, ARefusedWallMessageDoesNotHoldTheShutdownBackAndSleepAsksNobody) {
  ASSERT_TRUE(mPower.SetPowerState(false, true));
  ASSERT_TRUE(mPower.SetPowerState(true, true));
  mMock.AddMethod("SetWallMessage", "sb", "",
                  "raise dbus.exceptions.DBusException('no', "
                  "name='org.freedesktop.DBus.Error.AccessDenied')");
  EXPECT_TRUE(mPower.InitiateShutdown(L"Too hot", 60, true, false));
  const auto calls = mMock.Calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0].method, "Hibernate");
  EXPECT_EQ(calls[1].method, "Suspend");
  EXPECT_EQ(calls[0].args, std::vector<std::string>{"false"});
  EXPECT_EQ(calls[1].args, std::vector<std::string>{"false"});
  EXPECT_EQ(calls.back().method, "ScheduleShutdown");
}

TEST_F(LogindPowerTest, ConnectsOnTheFirstCallNotBefore) {
  const auto before = mMock.Connections();
  auto platform = std::make_shared<CLinuxPlatform>("/nonexistent-zv-root", mMock.Address());
  EXPECT_EQ(mMock.Connections(), before);
  EXPECT_TRUE(platform->Power().IsHibernateAllowed());
  EXPECT_TRUE(platform->Power().EnableShutdownPrivilege());  // on the same connection
  EXPECT_EQ(mMock.Connections().size(), before.size() + 1);
}

int Scheduled(CMockLogind& mock) {
  int count = 0;
  for (const _tagSMockCall& call : mock.Calls()) {
    count += call.method == "ScheduleShutdown" ? 1 : 0;
  }
  return count;
}

// A sensor that stays faulty asks again at every reading: each new
// ScheduleShutdown would restart logind's countdown and the machine would
// never go down. Only a sooner or different shutdown is sent; a cancel ends
// the one pending.
TEST_F(LogindPowerTest, AShutdownPendingIsNotScheduledAgain) {
  ASSERT_TRUE(mPower.InitiateShutdown(L"Too hot", 60, true, false));
  EXPECT_FALSE(mPower.LastAnswer().alreadyScheduled);
  const struct {
    uint32_t timeout;
    bool reboot;
    bool sent;
  } steps[] = {{60, false, false}, {120, false, false}, {30, false, true}, {30, true, true}};
  int expected = 1;
  for (const auto& step : steps) {
    EXPECT_TRUE(mPower.InitiateShutdown(L"Too hot", step.timeout, true, step.reboot));
    const PowerAnswer answer = mPower.LastAnswer();
    EXPECT_TRUE(answer.accepted);
    EXPECT_EQ(answer.alreadyScheduled, !step.sent) << step.timeout;
    expected += step.sent ? 1 : 0;
    EXPECT_EQ(Scheduled(mMock), expected) << step.timeout;
  }
  ASSERT_TRUE(mPower.CancelShutdown());
  EXPECT_EQ(mMock.Calls().back().method, "CancelScheduledShutdown");
  EXPECT_TRUE(mPower.InitiateShutdown(L"Too hot", 60, true, true));
  EXPECT_EQ(Scheduled(mMock), expected + 1);
}

// A refusal keeps logind's words; a later success clears them.
TEST_F(LogindPowerTest, ARefusalKeepsLogindsErrorNameAndMessage) {
  mMock.AddMethod("ScheduleShutdown", "st", "",
                  "raise dbus.exceptions.DBusException('Operation not permitted by policy.', "
                  "name='org.freedesktop.login1.NotPermitted')");
  EXPECT_FALSE(mPower.InitiateShutdown(L"Too hot", 60, true, false));
  PowerAnswer answer = mPower.LastAnswer();
  EXPECT_FALSE(answer.accepted);
  EXPECT_EQ(answer.errorName, "org.freedesktop.login1.NotPermitted");
  EXPECT_NE(answer.errorMessage.find("Operation not permitted by policy."), std::string::npos)
      << answer.errorMessage;
  // Refused, so nothing is pending: the next request is sent.
  mMock.AddMethod("ScheduleShutdown", "st", "", "");
  EXPECT_TRUE(mPower.InitiateShutdown(L"Too hot", 60, true, false));
  EXPECT_EQ(Scheduled(mMock), 2);
  answer = mPower.LastAnswer();
  EXPECT_TRUE(answer.accepted);
  EXPECT_EQ(answer.errorName, "");
  mMock.AddMethod("CanPowerOff", "", "s", "ret = 'no'");
  EXPECT_FALSE(mPower.EnableShutdownPrivilege());
  EXPECT_EQ(mPower.LastAnswer().errorMessage, "CanPowerOff answered \"no\"");
}

}  // namespace

// Without a bus there is no logind to grant anything.
TEST(LogindPowerWithoutBusTest, EveryRequestFails) {
  CLogindPower power("unix:path=/nonexistent-zv-bus/socket");
  EXPECT_FALSE(power.EnableShutdownPrivilege());
  EXPECT_FALSE(power.InitiateShutdown(L"Too hot", 60, true, false));
  EXPECT_FALSE(power.IsHibernateAllowed());
  EXPECT_FALSE(power.SetPowerState(false, true));
  EXPECT_FALSE(power.CancelShutdown());
  const PowerAnswer answer = power.LastAnswer();
  EXPECT_FALSE(answer.accepted);
  EXPECT_NE(answer.errorName, "");
  EXPECT_NE(answer.errorMessage.find("cannot reach the bus at unix:path=/nonexistent-zv-bus"),
            std::string::npos)
      << answer.errorMessage;
}
