// The driver notification thread: what one scan does with each notification
// value, the rows where a read fails, sensors listed after Init, and waits
// that fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "EventMgr/NotifyBackoff.h"
#include "support/EventTest.h"

namespace {

class DriverNotifyTest : public CEventTest {
 protected:
  // Init with a listener for thermal events.
  void Start() {
    Events().AddEventListener(&mListener, THERMAL_EVENT);
    ASSERT_EQ(Events().Init(), 0);
  }
  // Raises a notification on the last sensor and waits for its event: every
  // value set before it has then been scanned.
  void Sentinel() {
    Notify(2, 1);
    ASSERT_TRUE(mListener.WaitForName(SensorPaths()[2])) << "the sentinel never arrived";
  }
  // Waits (at most five seconds) until the log holds `count` lines of `message`.
  bool WaitForMessage(const std::string& message, int count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (mLog.CountMessage(message) < count) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      std::this_thread::yield();
    }
    return true;
  }

  CRecordingListener mListener;
};

// Failed waits are retried after a pause; the thread recovers, and a wait that
// always fails does not hold up DeleteInstance (the test's time limit bounds it).
TEST_F(DriverNotifyTest, AFailingWaitIsRetriedAfterAPause) {
  const std::string failed = "Worker Thread: RegNotifyChangeKeyValue Failed";
  for (int failures : {3, 0}) {
    SCOPED_TRACE(failures);
    SetUp();
    Faults().Fail(FaultOp::RegWait, REG_STATUS_ACCESS_DENIED, DRIVER_NOTIFY_KEY, 1, failures);
    Start();
    ASSERT_TRUE(WaitForMessage(failed, failures == 0 ? 2 : failures));
    if (failures != 0) {
      Sentinel();  // a value set after the failures is still seen
    }
    COSEventManager::DeleteInstance();
    if (failures != 0) {
      EXPECT_EQ(mLog.CountMessage(failed), failures);
    }
    TearDown();
    mListener.Clear();
  }
  SetUp();
}

}  // namespace
