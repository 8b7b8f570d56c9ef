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

constexpr uint32_t kAnyValue = 0xFFFFFFFF;  // depends on how many scans ran

TEST_F(DriverNotifyTest, EachNotificationValueIsResetAndOnlyAOneWithANameIsDispatched) {
  const auto fail = [](FaultOp op, long status, int count = 0) {
    return [=](CMemoryRegistry&) { Faults().Fail(op, status, L"Sensor1", 1, count); };
  };
  struct Row {
    const char* name;
    uint32_t value;  // written to Sensor1
    std::function<void(CMemoryRegistry&)> arm;
    bool dispatched;
    uint32_t left;      // Sensor1 afterwards
    std::string error;  // "" when none
  };
  const std::vector<Row> rows = {
      {"an event", 1, [](auto&) {}, true, 0, ""},
      {"an undefined value", 2, [](auto&) {}, false, 0,
       "Sensor Notify value is not 1, Event discarded for Sensor1"},
      {"an unreadable value", 1, fail(FaultOp::RegQueryDword, REG_STATUS_ACCESS_DENIED), false, 1,
       "Query Registry failed for Sensor1"},
      {"a value that cannot be reset", 1, fail(FaultOp::RegSet, REG_STATUS_ACCESS_DENIED, 1), true,
       kAnyValue, "RegSetValueEx Registry failed for Sensor1"},
      {"an unreadable name", 1, fail(FaultOp::RegQueryString, REG_STATUS_MORE_DATA), false, 0,
       "Query Registry failed for Sensor1"},
      {"an empty name", 1,
       [](CMemoryRegistry& r) { r.SetString(DRIVER_PARAMETERS_KEY, L"Sensor1", L""); }, false, 0,
       "Sensor name is empty for Sensor1, Event discarded"},
      {"no parameters key", 1,
       [](CMemoryRegistry&) {
         Faults().Fail(FaultOp::RegOpen, REG_STATUS_NOT_FOUND, DRIVER_PARAMETERS_KEY);
       },
       false, 0, "Failed to read the Velmar Params Key"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    Start();
    row.arm(Registry());
    Notify(1, row.value);
    Sentinel();
    COSEventManager::DeleteInstance();  // every scan has ended
    const std::vector<HeardEvent> heard = mListener.Heard();
    const HeardEvent sensor1 = {THERMAL_EVENT, SensorPaths()[1], 1};
    EXPECT_EQ(std::count(heard.begin(), heard.end(), sensor1) > 0, row.dispatched);
    for (const HeardEvent& event : heard) {
      EXPECT_NE(event.thread, std::this_thread::get_id());
    }
    if (!row.error.empty()) {
      EXPECT_EQ(mLog.LevelOf(row.error), "ERROR");
    }
    if (row.left != kAnyValue) {
      EXPECT_EQ(NotifyValue(1), row.left);
    }
    EXPECT_EQ(NotifyValue(2), 0u);
    TearDown();
    mListener.Clear();
  }
  SetUp();
}

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
