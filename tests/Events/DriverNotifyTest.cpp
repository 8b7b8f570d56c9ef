// The driver notification thread: what one scan does with each notification
// value, the rows where a read fails, and a wait that keeps failing.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "EventMgr/NotifyBackoff.h"
#include "Sim/SimSensorDriver.h"
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

  // Waits (at most five seconds) until the log holds `count` lines of
  // `message`.
  bool WaitForMessage(const std::string& message, int count) {
    const auto deadline = std::chrono::steady_clock::now() + kEventWait;
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

// A value that is not checked: it depends on how many scans ran.
constexpr uint32_t kAnyValue = 0xFFFFFFFF;

struct _tagSScanRow {
  const char* name;
  uint32_t value;  // written to Sensor1
  std::function<void(CMemoryRegistry&)> arm;
  bool dispatched;
  uint32_t left;      // Sensor1 afterwards
  std::string error;  // "" when none
};

TEST_F(DriverNotifyTest, EachNotificationValueIsResetAndOnlyAOneWithANameIsDispatched) {
  auto none = [](CMemoryRegistry&) {};
  const std::vector<_tagSScanRow> rows = {
      {"an event", 1, none, true, 0, ""},
      {"an undefined value", 2, none, false, 0,
       "Sensor Notify value is not 1, Event discarded for Sensor1"},
      {"an unreadable value is not acted on", 1,
       [](CMemoryRegistry&) {
         Faults().Fail(FaultOp::RegQueryDword, REG_STATUS_ACCESS_DENIED, L"Sensor1", 1, 0);
       },
       false, 1, "Query Registry failed for Sensor1"},
      {"a value that cannot be reset still reports", 1,
       [](CMemoryRegistry&) {
         Faults().Fail(FaultOp::RegSet, REG_STATUS_ACCESS_DENIED, L"Sensor1");
       },
       true, kAnyValue, "RegSetValueEx Registry failed for Sensor1"},
      {"an unreadable name is not reported", 1,
       [](CMemoryRegistry&) {
         Faults().Fail(FaultOp::RegQueryString, REG_STATUS_MORE_DATA, L"Sensor1", 1, 0);
       },
       false, 0, "Query Registry failed for Sensor1"},
      {"an empty name is not reported", 1,
       [](CMemoryRegistry& r) { r.SetString(DRIVER_PARAMETERS_KEY, L"Sensor1", L""); }, false, 0,
       "Sensor name is empty for Sensor1, Event discarded"},
      {"no parameters key ends the scan", 1,
       [](CMemoryRegistry&) {
         Faults().Fail(FaultOp::RegOpen, REG_STATUS_NOT_FOUND, DRIVER_PARAMETERS_KEY);
       },
       false, 0, "Failed to read the Velmar Params Key"},
  };
  for (const _tagSScanRow& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    Start();
    row.arm(Registry());
    Notify(1, row.value);
    Sentinel();
    COSEventManager::DeleteInstance();  // every scan has ended
    const _tagSHeardEvent sensor1 = {THERMAL_EVENT, SensorPaths()[1], 1, nullptr, {}};
    const std::vector<_tagSHeardEvent> heard = mListener.Heard();
    EXPECT_EQ(std::count(heard.begin(), heard.end(), sensor1) > 0, row.dispatched);
    for (const _tagSHeardEvent& event : heard) {
      EXPECT_NE(event.thread, std::this_thread::get_id());
    }
    if (!row.error.empty()) {
      EXPECT_EQ(mLog.LevelOf(row.error), "ERROR");
    }
    if (row.left != kAnyValue) {
      EXPECT_EQ(NotifyValue(1), row.left);
    }
    EXPECT_EQ(NotifyValue(2), 0u);
    EXPECT_TRUE(mLog.HasMessage("Sensor: Sensor0 is quiet"));
    TearDown();
    mListener.Clear();
  }
  SetUp();
}

TEST_F(DriverNotifyTest, ASimulatedDriverReportsThroughItsOwnValue) {
  Start();
  auto driver = std::make_shared<CSimSensorDriver>();
  EXPECT_EQ(driver->Notify(), REG_STATUS_NOT_FOUND);  // no value assigned yet
  driver->SetNotifyValue(Registry().shared_from_this(), L"Sensor1");
  EXPECT_EQ(driver->Notify(), REG_STATUS_SUCCESS);
  ASSERT_TRUE(mListener.WaitFor(1));
  EXPECT_EQ(mListener.Heard()[0].name, SensorPaths()[1]);
}

TEST_F(DriverNotifyTest, ASensorListedAfterInitIsWatchedAndACorruptCountIsCut) {
  Start();
  Registry().SetString(DRIVER_PARAMETERS_KEY, L"Sensor3", L"\\\\.\\ZSens3");
  Registry().SetDword(DRIVER_PARAMETERS_KEY, L"SensorCount", 4);
  Notify(3, 1);
  ASSERT_TRUE(mListener.WaitForName(L"\\\\.\\ZSens3"));
  EXPECT_EQ(NotifyValue(3), 0u);
  COSEventManager::DeleteInstance();

  Registry().SetDword(DRIVER_PARAMETERS_KEY, L"SensorCount", 0xFFFFFFFF);
  Start();
  Sentinel();  // the scan ends: it walks the first sensors only
  EXPECT_EQ(mLog.LevelOf("SensorCount 4294967295 is more than 1024: only the first 1024 "
                         "sensors are watched"),
            "ERROR");
}

TEST_F(DriverNotifyTest, AMissingNotifyKeyEndsTheThreadQuietly) {
  Faults().Fail(FaultOp::RegOpen, REG_STATUS_NOT_FOUND, DRIVER_NOTIFY_KEY);
  Start();
  COSEventManager::DeleteInstance();  // joins the thread, which has ended
  EXPECT_EQ(mLog.LevelOf("Failed to open key"), "DEBUG");
}

TEST_F(DriverNotifyTest, AFailingWaitIsRetriedAfterAPauseAndTheThreadRecovers) {
  Faults().Fail(FaultOp::RegWait, REG_STATUS_ACCESS_DENIED, DRIVER_NOTIFY_KEY, 1, 3);
  Start();
  ASSERT_TRUE(WaitForMessage("Worker Thread: RegNotifyChangeKeyValue Failed", 3));
  // A value set after the failures is still seen.
  Sentinel();
  COSEventManager::DeleteInstance();
  EXPECT_EQ(mLog.CountMessage("Worker Thread: RegNotifyChangeKeyValue Failed"), 3);
}

TEST_F(DriverNotifyTest, AWaitThatAlwaysFailsDoesNotHoldUpDeleteInstance) {
  Faults().Fail(FaultOp::RegWait, REG_STATUS_ACCESS_DENIED, DRIVER_NOTIFY_KEY, 1, 0);
  Start();
  // Deleting stops the thread in its pause; the test's own time limit bounds
  // this call.
  COSEventManager::DeleteInstance();
  EXPECT_TRUE(mLog.HasMessage("Closed Handle"));
}

TEST(NotifyBackoffTest, DoublesFromTenMillisecondsUpToOneSecond) {
  const std::vector<std::pair<int, int>> rows = {{1, 10},   {2, 20},   {3, 40},     {7, 640},
                                                 {8, 1000}, {9, 1000}, {1000, 1000}};
  for (const auto& [failures, ms] : rows) {
    EXPECT_EQ(NotifyBackoff(failures).count(), ms) << failures;
  }
}

}  // namespace
