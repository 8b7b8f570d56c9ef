#include <gtest/gtest.h>

#include <latch>
#include <string>
#include <thread>
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

TEST_F(OSSystemManagerTest, GetInstanceKeepsOneManagerUntilDeleted) {
  COSSystemManager* first = COSSystemManager::GetInstance();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(COSSystemManager::GetInstance(), first);

  COSSystemManager::DeleteInstance();
  EXPECT_TRUE(mLog.HasMessage("Deleting System manager"));
  EXPECT_TRUE(mLog.HasMessage("COSSystem manager Destructor called"));
  // Deleting again finds nothing to destroy.
  COSSystemManager::DeleteInstance();
  EXPECT_EQ(mLog.CountMessage("Deleting System manager"), 2);
  EXPECT_EQ(mLog.CountMessage("COSSystem manager Destructor called"), 1);
  EXPECT_NE(COSSystemManager::GetInstance(), nullptr);
}

TEST_F(OSSystemManagerTest, SystemShutdownAsksForAForcedShutdownWithoutRestart) {
  EXPECT_EQ(Manager().SystemShutdown(60, nullptr), 0);
  std::wstring text = L"Closing now";
  EXPECT_EQ(Manager().SystemShutdown(0, text.data()), 0);

  const auto requests = Power().Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].kind, Kind::EnablePrivilege);
  EXPECT_EQ(requests[1].kind, Kind::Shutdown);
  EXPECT_EQ(requests[1].timeoutSeconds, 60u);
  EXPECT_EQ(requests[1].message, kDefaultMessage);
  EXPECT_TRUE(requests[1].force);
  EXPECT_FALSE(requests[1].reboot);
  EXPECT_EQ(requests[2].kind, Kind::EnablePrivilege);
  EXPECT_EQ(requests[3].timeoutSeconds, 0u);
  EXPECT_EQ(requests[3].message, L"Closing now");
  EXPECT_TRUE(requests[3].force);
  EXPECT_FALSE(requests[3].reboot);
  EXPECT_EQ(mLog.CountMessage("Shutdown called"), 2);
  EXPECT_EQ(mLog.LevelOf("Shutdown called"), "DEBUG");

  // A refused shutdown is the only 1.
  Power().SetShutdownAccepted(false);
  EXPECT_EQ(Manager().SystemShutdown(60, nullptr), 1);

  // A negative countdown is refused before the system is asked, rather than
  // taken as an immediate shutdown.
  Power().SetShutdownAccepted(true);
  Power().ClearRequests();
  EXPECT_EQ(Manager().SystemShutdown(-1, nullptr), 1);
  EXPECT_TRUE(Power().Shutdowns().empty());
}

TEST_F(OSSystemManagerTest, WithoutThePrivilegeNothingIsAsked) {
  Power().SetPrivilegeHeld(false);
  EXPECT_EQ(Manager().SystemShutdown(60, nullptr), 0);
  EXPECT_EQ(Manager().Hibernate(0), 0);
  const auto requests = Power().Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].kind, Kind::EnablePrivilege);
  EXPECT_EQ(requests[1].kind, Kind::EnablePrivilege);
  EXPECT_TRUE(mLog.HasMessage("Shutdown called"));
  EXPECT_TRUE(mLog.HasMessage("Hibernate called"));
  EXPECT_FALSE(mLog.HasMessage("Hibernate is allowed"));
  EXPECT_FALSE(mLog.HasMessage("Hibernate is NOT allowed. Hence doing shutdown"));
}

TEST_F(OSSystemManagerTest, HibernateFallsBackToOneShutdown) {
  Power().SetHibernateAllowed(true);
  EXPECT_EQ(Manager().Hibernate(7), 1);
  auto states = Power().PowerStates();
  ASSERT_EQ(states.size(), 1u);
  EXPECT_FALSE(states[0].suspend);
  EXPECT_TRUE(states[0].force);
  EXPECT_TRUE(Power().Shutdowns().empty());
  EXPECT_EQ(mLog.LevelOf("Hibernate is allowed"), "DEBUG");

  // A refused hibernation still counts as asked.
  Power().SetPowerStateAccepted(false);
  EXPECT_EQ(Manager().Hibernate(0), 1);

  Power().ClearRequests();
  Power().SetHibernateAllowed(false);
  EXPECT_EQ(Manager().Hibernate(0), 1);
  const auto shutdowns = Power().Shutdowns();
  ASSERT_EQ(shutdowns.size(), 1u);
  EXPECT_EQ(shutdowns[0].timeoutSeconds, 60u);
  EXPECT_EQ(shutdowns[0].message, kHibernateFallback);
  EXPECT_TRUE(shutdowns[0].force);
  EXPECT_FALSE(shutdowns[0].reboot);
  EXPECT_TRUE(Power().PowerStates().empty());
  EXPECT_TRUE(mLog.HasMessage("Hibernate is NOT allowed. Hence doing shutdown"));

  // Even when that shutdown is refused.
  Power().SetShutdownAccepted(false);
  EXPECT_EQ(Manager().Hibernate(0), 1);
}

// Each way an action can fail leaves an Error line that says so, while the
// result stays what callers have always had.
TEST_F(OSSystemManagerTest, EveryFailedActionLeavesAnErrorLine) {
  struct _tagSCase {
    const char* what;
    bool privilege = true;
    bool shutdownAccepted = true;
    bool hibernateAllowed = true;
    bool powerStateAccepted = true;
    bool hibernate = false;
    int timeout = 60;
    int result;
    const char* error;  // nullptr: no Error line
  };
  for (const _tagSCase& c : std::vector<_tagSCase>{
           {"shutdown without privilege", false, true, true, true, false, 60, 0,
            "Shutdown not requested: the shutdown privilege could not be enabled"},
           {"shutdown refused", true, false, true, true, false, 60, 1,
            "Shutdown request refused by the system"},
           {"negative countdown", true, true, true, true, false, -5, 1,
            "Shutdown not requested: countdown -5 is negative"},
           {"shutdown under way", true, true, true, true, false, 60, 0, nullptr},
           {"hibernate without privilege", false, true, true, true, true, 60, 0,
            "Hibernate not requested: the shutdown privilege could not be enabled"},
           {"hibernation refused", true, true, true, false, true, 60, 1,
            "Hibernate request refused by the system"},
           {"fallback shutdown refused", true, false, false, true, true, 60, 1,
            "Shutdown request refused by the system"},
           {"hibernation under way", true, true, true, true, true, 60, 1, nullptr},
       }) {
    mLog.Clear();
    Power().SetPrivilegeHeld(c.privilege);
    Power().SetShutdownAccepted(c.shutdownAccepted);
    Power().SetHibernateAllowed(c.hibernateAllowed);
    Power().SetPowerStateAccepted(c.powerStateAccepted);
    const int result =
        c.hibernate ? Manager().Hibernate(0) : Manager().SystemShutdown(c.timeout, nullptr);
    EXPECT_EQ(result, c.result) << c.what;
    if (c.error == nullptr) {
      EXPECT_EQ(mLog.Text().find("ERROR"), std::string::npos) << c.what << "\n" << mLog.Text();
    } else {
      EXPECT_EQ(mLog.LevelOf(c.error), "ERROR") << c.what << "\n" << mLog.Text();
    }
  }
}

// Sensors on several threads may ask for the manager at once: they all get
// the one instance, and deleting it meanwhile leaves no second one behind.
TEST_F(OSSystemManagerTest, ThreadsAskingAtOnceShareOneInstance) {
  COSSystemManager::DeleteInstance();
  mLog.Clear();
  constexpr int kThreads = 8;
  std::vector<COSSystemManager*> seen(kThreads);
  {
    std::latch start(kThreads);
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([t, &start, &seen] {
        start.arrive_and_wait();
        seen[static_cast<std::size_t>(t)] = COSSystemManager::GetInstance();
      });
    }
  }
  for (COSSystemManager* manager : seen) {
    EXPECT_EQ(manager, seen[0]);
  }
  EXPECT_NE(seen[0], nullptr);

  {
    std::latch start(2);
    std::jthread deleter([&start] {
      start.arrive_and_wait();
      COSSystemManager::DeleteInstance();
    });
    std::jthread getter([&start] {
      start.arrive_and_wait();
      COSSystemManager::GetInstance();
    });
  }
  // Whichever came first, one more DeleteInstance leaves none alive (the
  // sanitizer builds see a lost or doubly deleted instance).
  COSSystemManager::DeleteInstance();
  const int destroyed = mLog.CountMessage("COSSystem manager Destructor called");
  EXPECT_TRUE(destroyed == 1 || destroyed == 2) << destroyed;
}

}  // namespace
