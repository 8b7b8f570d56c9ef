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
  // Raises a notification on the last sensor and waits for its event, twice:
  // the first may come from a scan that was under way before the call, but
  // the scan that reports the second began after the first was heard, so
  // every value set before the call has then been scanned.
  void Sentinel() {
    const std::wstring& last = SensorPaths()[2];
    const std::size_t before = CRecordingListener::Times(mListener.Heard(), last);
    for (std::size_t round = 1; round <= 2; ++round) {
      Notify(2, 1);
      ASSERT_TRUE(mListener.WaitForName(last, before + round)) << "the sentinel never arrived";
    }
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

// What one scan does with a set value, one row per case. Each row sets
// Sensor1 (after arming its fault), then the sentinel on Sensor2 shows the
// scan is over.
TEST_F(DriverNotifyTest, ScanTable) {
  const std::wstring sensor1 = SensorPaths()[1];
  const auto fail = [](FaultOp op, const wchar_t* target) {
    return [=] { Faults().Fail(op, REG_STATUS_ACCESS_DENIED, target); };
  };
  const std::string unread = "Query Registry failed for Sensor1";
  struct Row {
    const char* name;
    uint32_t value;                   // written to Sensor1
    std::vector<std::wstring> heard;  // names heard for it (the sentinel aside)
    std::string error;                // the Error line, if any
    std::function<void()> arm;
  };
  const std::vector<Row> rows = {
      {"an event", 1, {sensor1}, "", [] {}},
      {"value 2 is discarded",
       2,
       {},
       "Sensor Notify value is not 1, Event discarded for Sensor1",
       [] {}},
      // Not reset: the next scan (the sentinel's) reads it and reports it.
      {"unreadable value", 1, {sensor1}, unread, fail(FaultOp::RegQueryDword, L"Sensor1")},
      {"unreadable name: reset, not dispatched",
       1,
       {},
       unread,
       fail(FaultOp::RegQueryString, L"Sensor1")},
      {"empty name: dispatched under it",
       1,
       {L""},
       "",
       [this] { Registry().SetString(DRIVER_PARAMETERS_KEY, L"Sensor1", L""); }},
      // The value stays set, so the next scan (the sentinel's) reports it.
      {"parameters key missing",
       1,
       {sensor1},
       "Failed to read the Velmar Params Key",
       fail(FaultOp::RegOpen, DRIVER_PARAMETERS_KEY)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    Start();
    row.arm();
    Notify(1, row.value);
    if (!row.error.empty()) {
      ASSERT_TRUE(WaitForMessage(row.error, 1)) << mLog.Text();
      EXPECT_EQ(mLog.LevelOf(row.error), "ERROR");
    }
    Sentinel();
    std::vector<std::wstring> heard;
    for (const HeardEvent& event : mListener.Heard()) {
      EXPECT_EQ(event.kind, THERMAL_EVENT);
      if (event.name != SensorPaths()[2]) {
        heard.push_back(event.name);
      }
    }
    EXPECT_EQ(heard, row.heard);
    EXPECT_EQ(NotifyValue(1), 0u);
    TearDown();
    mListener.Clear();
  }
  SetUp();
}

// A corrupt sensor count is cut, and said once; a value that cannot be read
// is said once until it reads again, not at every scan.
TEST_F(DriverNotifyTest, ACorruptCountIsLoggedOncePerValue) {
  Registry().SetDword(DRIVER_PARAMETERS_KEY, L"SensorCount", 0xFFFFFFFF);
  Start();
  Sentinel();
  mListener.Clear();
  Sentinel();
  COSEventManager::DeleteInstance();
  EXPECT_EQ(mLog.CountMessage("SensorCount 4294967295 is more than 1024: only the first 1024 "
                              "sensors are watched"),
            1);
  EXPECT_EQ(mLog.CountMessage("Query Registry failed for Sensor3"), 1);
  EXPECT_EQ(mLog.CountMessage("Query Registry failed for Sensor1023"), 1);
  EXPECT_EQ(mLog.CountMessage("Query Registry failed for Sensor1024"), 0);
}

}  // namespace
