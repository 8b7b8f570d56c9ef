// Creating and deleting the event manager: the singleton, what DeleteInstance
// releases, and that nothing reaches a deleted manager, also while events keep
// coming.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "support/EventTest.h"

namespace {

class LifecycleTest : public CEventTest {};

TEST_F(LifecycleTest, DeleteInstanceCancelsAndReleasesEverythingAndCallsNobodyAfterwards) {
  CRecordingListener listener;
  Events().AddEventListener(&listener, static_cast<VelmarEventListenerType>(31));
  ASSERT_EQ(Events().Init(), 0);
  EXPECT_EQ(Wmi().Subscriptions(), 5);
  EXPECT_EQ(Com().LiveApartments(), 5);
  EXPECT_EQ(Com().LiveStubs(), 5);
  mLog.Clear();
  COSEventManager::DeleteInstance();
  EXPECT_EQ(Wmi().Subscriptions(), 0);
  EXPECT_EQ(Com().LiveApartments(), 0);
  EXPECT_EQ(Com().LiveStubs(), 0);
  EXPECT_EQ(mLog.CountMessage("Released Sink"), 5);
  // In this order (the notification thread may log in between).
  const std::vector<std::string> messages = mLog.Messages();
  auto at = messages.begin();
  for (const char* message :
       {"Deleting Event manager", "COSEventManager Destructor called", "Closed Handle",
        "Released Sink", "CEventManager Destructor called"}) {
    at = std::find(at, messages.end(), message);
    EXPECT_NE(at, messages.end()) << message;
  }

  Wmi().RaiseThermalEvent(L"TZ", 1);
  Firmware().AddSensor(SimSensor(L"S"));
  Notify(0, 1);
  Delivered();
  EXPECT_EQ(listener.Count(), 0u);
  EXPECT_EQ(NotifyValue(0), 1u);  // no thread left to reset it
}

TEST_F(LifecycleTest, ASinkWhoseCancellationFailsStillReachesNobody) {
  CRecordingListener listener;
  Events().AddEventListener(&listener, THERMAL_EVENT);
  ASSERT_EQ(Events().Init(), 0);
  Faults().Fail(FaultOp::WmiCancelAsyncCall, WBEM_E_FAILED);
  COSEventManager::DeleteInstance();
  EXPECT_EQ(Wmi().Subscriptions(), 1);  // the platform still delivers to it
  Wmi().RaiseThermalEvent(L"TZ", 1);
  Delivered();
  EXPECT_EQ(listener.Count(), 0u);
}

TEST_F(LifecycleTest, CreateInitEventsDeleteRepeatedWhileEventsKeepComing) {
  std::atomic<bool> stop{false};
  std::thread source([&] {
    for (uint32_t n = 1; !stop.load(); ++n) {
      Wmi().RaiseThermalEvent(L"TZ", static_cast<int32_t>(n));
      Notify(static_cast<int>(n % 3), 1);
      if (n % 8 == 0) {
        Firmware().AddSensor(SimSensor(L"S"));
        Firmware().Remove(L"S");
      }
    }
  });
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    CRecordingListener listener;
    COSEventManager* manager = COSEventManager::GetInstance();
    manager->AddEventListener(&listener, static_cast<VelmarEventListenerType>(31));
    ASSERT_EQ(manager->Init(), 0);
    // Let something arrive before the manager goes.
    EXPECT_TRUE(listener.WaitFor(1));
    COSEventManager::DeleteInstance();
    const std::size_t heard = listener.Count();
    Delivered();
    EXPECT_EQ(listener.Count(), heard);
  }
  stop = true;
  source.join();
  EXPECT_EQ(Wmi().Subscriptions(), 0);
  EXPECT_EQ(Com().LiveStubs(), 0);
}

}  // namespace
