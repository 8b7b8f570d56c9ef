#include <gtest/gtest.h>

#include <algorithm>
#include <latch>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "support/SimPlatformTest.h"
#include "zivorivizo/OSSystemManager.h"

namespace {

const wchar_t kDefaultMessage[] =
    L"The System Temperature is high enough to Cause a Skin Burn. To protect, System is shutting "
    L"down...";
const wchar_t kHibernateFallback[] =
    L"The System Temperature is high enough to Cause a Skin Burn.To protect, System is shutting "
    L"down since Hibernate is not supported...";

using Kind = _tagSPowerRequest::Kind;

class OSSystemManagerTest : public CSimPlatformTest {
 protected:
  // Through the interface slots, as the sensors and the host call them.
  CSystemManager& Manager() { return *COSSystemManager::GetInstance(); }
};

TEST_F(OSSystemManagerTest, SystemShutdownAsksForAForcedShutdownWithoutRestart) {
  EXPECT_EQ(Manager().SystemShutdown(60, nullptr), 0);
  std::wstring text = L"Closing now";
  EXPECT_EQ(Manager().SystemShutdown(0, text.data()), 0);

  const auto requests = Power().Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].kind, Kind::EnablePrivilege);
  EXPECT_EQ(requests[2].kind, Kind::EnablePrivilege);
  for (const auto& [request, timeout, message] :
       {std::tuple{requests[1], 60u, kDefaultMessage}, {requests[3], 0u, L"Closing now"}}) {
    EXPECT_EQ(std::tie(request.kind, request.timeoutSeconds, request.message, request.force,
                       request.reboot),
              std::make_tuple(Kind::Shutdown, timeout, std::wstring(message), true, false));
  }
}

TEST_F(OSSystemManagerTest, HibernateFallsBackToOneShutdown) {
  Power().SetHibernateAllowed(true);
  EXPECT_EQ(Manager().Hibernate(7), 1);
  auto states = Power().PowerStates();
  ASSERT_EQ(states.size(), 1u);
  EXPECT_FALSE(states[0].suspend);
  EXPECT_TRUE(states[0].force);
  EXPECT_TRUE(Power().Shutdowns().empty());

  // A refused hibernation still counts as asked.
  Faults().Arm({FaultOp::PowerSetState, L"", 1, CFaultPlan::kAlways, 0, true});
  EXPECT_EQ(Manager().Hibernate(0), 1);

  Power().ClearRequests();
  Power().SetHibernateAllowed(false);
  EXPECT_EQ(Manager().Hibernate(0), 1);
  const auto shutdowns = Power().Shutdowns();
  ASSERT_EQ(shutdowns.size(), 1u);
  EXPECT_EQ(std::tie(shutdowns[0].timeoutSeconds, shutdowns[0].message, shutdowns[0].force,
                     shutdowns[0].reboot),
            std::make_tuple(60u, std::wstring(kHibernateFallback), true, false));
  EXPECT_TRUE(Power().PowerStates().empty());

  // Even when that shutdown is refused.
  Faults().Arm({FaultOp::PowerShutdown, L"", 1, CFaultPlan::kAlways, 0, true});
  EXPECT_EQ(Manager().Hibernate(0), 1);
}

// Each way an action can fail leaves an Error line that says so, while the
// result stays what callers have always had; without the privilege, or with a
// negative countdown, the system is not asked at all.
TEST_F(OSSystemManagerTest, EveryFailedActionLeavesAnErrorLine) {
  struct Case {
    bool privilege, shutdownAccepted, hibernationAccepted, hibernate;
    int timeout, result;
    const char* error;
    std::size_t asked;  // shutdown and power-state requests made
  };
  for (const Case& c : std::vector<Case>{
           {false, true, true, false, 60, 0,
            "Shutdown not requested: the shutdown privilege could not be enabled", 0},
           {true, false, true, false, 60, 1, "Shutdown request refused by the system", 1},
           {true, true, true, false, -5, 1, "Shutdown not requested: countdown -5 is negative", 0},
           {false, true, true, true, 0, 0,
            "Hibernate not requested: the shutdown privilege could not be enabled", 0},
           {true, true, false, true, 0, 1, "Hibernate request refused by the system", 1},
       }) {
    Power().SetPrivilegeHeld(c.privilege);
    Power().ClearRequests();
    Faults().Clear();
    if (!c.shutdownAccepted) {
      Faults().Arm({FaultOp::PowerShutdown, L"", 1, CFaultPlan::kAlways, 0, true});
    }
    if (!c.hibernationAccepted) {
      Faults().Arm({FaultOp::PowerSetState, L"", 1, CFaultPlan::kAlways, 0, true});
    }
    EXPECT_EQ(c.hibernate ? Manager().Hibernate(0) : Manager().SystemShutdown(c.timeout, nullptr),
              c.result);
    EXPECT_EQ(mLog.LevelOf(c.error), "ERROR") << mLog.Text();
    EXPECT_EQ(Power().Shutdowns().size() + Power().PowerStates().size(), c.asked) << c.error;
  }
}

// Sensors on several threads may ask for the manager at once: they all get
// the one instance.
TEST_F(OSSystemManagerTest, ThreadsAskingAtOnceShareOneInstance) {
  COSSystemManager::DeleteInstance();
  std::vector<COSSystemManager*> seen(8);
  {
    std::latch start(static_cast<std::ptrdiff_t>(seen.size()));  // all ask at once
    std::vector<std::jthread> threads;
    for (COSSystemManager*& slot : seen) {
      threads.emplace_back([&slot, &start] {
        start.arrive_and_wait();
        slot = COSSystemManager::GetInstance();
      });
    }
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), seen[0]), 8);
}

}  // namespace

// A sensor that stays faulty asks at every reading, for as long as the
// process runs: the recording power counts every request and keeps the last.
TEST_F(OSSystemManagerTest, TheRecordOfRequestsStaysBounded) {
  const std::size_t asked = CSimPower::kRequestsKept + 10;
  for (std::size_t i = 0; i < asked; ++i) {
    std::wstring text = L"Faulty " + std::to_wstring(i);
    Manager().SystemShutdown(60, text.data());
  }
  EXPECT_EQ(Power().RequestCount(), 2 * asked);  // privilege and shutdown each
  const auto kept = Power().Requests();
  ASSERT_EQ(kept.size(), CSimPower::kRequestsKept);
  EXPECT_EQ(kept.back().message, L"Faulty " + std::to_wstring(asked - 1));
  Power().ClearRequests();
  EXPECT_EQ(Power().RequestCount(), 0u);
}
