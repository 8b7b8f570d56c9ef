// What logind power does beyond the shared power contract: how it reads
// logind's answers, the exact calls it makes, and that it touches no bus
// before it is used.
#include <gtest/gtest.h>

#include <ctime>
#include <memory>

#include "Platform/Linux/LinuxPlatform.h"
#include "Platform/Linux/LogindPower.h"
#include "support/SharedMockLogind.h"

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

  CMockLogind& mMock = SharedMockLogind();
};

TEST_F(LogindPowerTest, OnlyAnswersThatAllowCountAsYes) {
  CLogindPower power(mMock.Address());
  const std::pair<const char*, bool> powerOff[] = {
      {"yes", true}, {"challenge", true}, {"no", false}, {"na", false}};
  for (const auto& [answer, held] : powerOff) {
    mMock.AddMethod("CanPowerOff", "", "s", std::string("ret = '") + answer + "'");
    EXPECT_EQ(power.EnableShutdownPrivilege(), held) << answer;
  }
  // Hibernating at once cannot wait for someone to authenticate.
  const std::pair<const char*, bool> hibernate[] = {
      {"yes", true}, {"challenge", false}, {"no", false}, {"na", false}};
  for (const auto& [answer, allowed] : hibernate) {
    mMock.AddMethod("CanHibernate", "", "s", std::string("ret = '") + answer + "'");
    EXPECT_EQ(power.IsHibernateAllowed(), allowed) << answer;
  }
}

TEST_F(LogindPowerTest, ShutdownSetsTheWallMessageThenSchedulesAtAnAbsoluteTime) {
  CLogindPower power(mMock.Address());
  const uint64_t before = static_cast<uint64_t>(time(nullptr));
  ASSERT_TRUE(power.InitiateShutdown(L"Too hot", 30, true, false));
  const uint64_t after = static_cast<uint64_t>(time(nullptr)) + 1;

  const auto calls = mMock.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].method, "SetWallMessage");
  EXPECT_EQ(calls[0].args, (std::vector<std::string>{"Too hot", "true"}));
  EXPECT_EQ(calls[1].method, "ScheduleShutdown");
  ASSERT_EQ(calls[1].args.size(), 2u);
  EXPECT_EQ(calls[1].args[0], "poweroff");
  const uint64_t when = std::stoull(calls[1].args[1]);
  EXPECT_GE(when, (before + 30) * 1000000);
  EXPECT_LE(when, (after + 30) * 1000000);
}

// The message is a courtesy; the shutdown is the protection.
TEST_F(LogindPowerTest, ARefusedWallMessageDoesNotHoldTheShutdownBack) {
  mMock.AddMethod("SetWallMessage", "sb", "",
                  "raise dbus.exceptions.DBusException('no', "
                  "name='org.freedesktop.DBus.Error.AccessDenied')");
  CLogindPower power(mMock.Address());
  EXPECT_TRUE(power.InitiateShutdown(L"Too hot", 60, true, false));
  const auto calls = mMock.Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().method, "ScheduleShutdown");
}

TEST_F(LogindPowerTest, SleepIsNeverInteractive) {
  CLogindPower power(mMock.Address());
  ASSERT_TRUE(power.SetPowerState(false, true));
  ASSERT_TRUE(power.SetPowerState(true, true));
  const auto calls = mMock.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].method, "Hibernate");
  EXPECT_EQ(calls[0].args, std::vector<std::string>{"false"});
  EXPECT_EQ(calls[1].method, "Suspend");
  EXPECT_EQ(calls[1].args, std::vector<std::string>{"false"});
}

TEST_F(LogindPowerTest, ConnectsOnTheFirstCallNotBefore) {
  const auto before = mMock.Connections();
  auto platform = std::make_shared<CLinuxPlatform>("/nonexistent-zv-root", mMock.Address());
  EXPECT_EQ(mMock.Connections(), before);
  EXPECT_TRUE(platform->Power().IsHibernateAllowed());
  EXPECT_EQ(mMock.Connections().size(), before.size() + 1);
  // Later calls reuse the connection.
  EXPECT_TRUE(platform->Power().EnableShutdownPrivilege());
  EXPECT_EQ(mMock.Connections().size(), before.size() + 1);
}

}  // namespace

// Without a bus there is no logind to grant anything.
TEST(LogindPowerWithoutBusTest, EveryRequestFails) {
  CLogindPower power("unix:path=/nonexistent-zv-bus/socket");
  EXPECT_FALSE(power.EnableShutdownPrivilege());
  EXPECT_FALSE(power.InitiateShutdown(L"Too hot", 60, true, false));
  EXPECT_FALSE(power.IsHibernateAllowed());
  EXPECT_FALSE(power.SetPowerState(false, true));
}
