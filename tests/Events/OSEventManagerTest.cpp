// The OS event manager: Init and its failure rows, the subscriptions of the
// five kinds, events from the simulated firmware reaching the listeners on
// the platform's delivery threads, and what DeleteInstance releases, also
// while events keep coming.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>

#include "Sim/SimPlatformEvents.h"
#include "support/EventTest.h"
#include "zivorivizo/StatusCodes.h"

namespace {

class OSEventManagerTest : public CEventTest {
 protected:
  // Waits (at most five seconds) for `done`.
  static bool WaitUntilTrue(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      std::this_thread::yield();
    }
    return true;
  }
  // The Error and Warning lines of the log, as "LEVEL message".
  std::vector<std::string> Complaints() {
    std::vector<std::string> lines;
    for (const std::string& message : mLog.Messages()) {
      const std::string level = mLog.LevelOf(message);
      if (level == "ERROR" || level == "WARNING") {
        lines.push_back(level + " " + message);
      }
    }
    return lines;
  }
};

TEST_F(OSEventManagerTest, InitReportsEachFailingStepWithItsCode) {
  using Arm = std::function<void()>;
  const auto com = [](FaultOp op, HRESULT hr) { return [=] { Faults().Fail(op, hr); }; };
  const Arm noKey = [] {
    Faults().Fail(FaultOp::RegOpen, REG_STATUS_ACCESS_DENIED, DRIVER_PARAMETERS_KEY);
  };
  const Arm noCount = [this] { Registry().DeleteValue(DRIVER_PARAMETERS_KEY, L"SensorCount"); };
  const Arm noQuery = [] {
    Faults().Fail(FaultOp::WmiExecNotificationQueryAsync, WBEM_E_ACCESS_DENIED,
                  L"SELECT * FROM DTMEvent");
  };
  const Arm zero = [this] { Registry().SetDword(DRIVER_PARAMETERS_KEY, L"SensorCount", 0); };
  const Arm noSource = [this] { Sim().SimEvents().SetUnavailable("none"); };
  const std::string driver = "ERROR InitDriverEvents Failed",
                    thermal = "ERROR RegisterThermalEvent Failed";
  const std::string keyError = "ERROR Failed to read the Velmar Key";
  const std::string countError = "ERROR Query Registry failed for SensorCount";
  const std::string noEvents = "WARNING Kernel thermal events are not available: none";
  const int kDriver = ZIVO_EVENT_DRIVER_EVENTS_FAILED, kThermal = ZIVO_EVENT_THERMAL_FAILED;
  struct Row {
    const char* name;
    Arm arm;
    int code;
    std::vector<std::string> complaints;
    int subscriptions, threads;  // left in the namespace; notification threads
    bool started;                // the platform's own event source
  };
  const Arm apartment = com(FaultOp::CreateUnsecuredApartment, E_FAIL);
  const Arm stub = com(FaultOp::CreateObjectStub, E_OUTOFMEMORY);
  const Arm stubSink = com(FaultOp::StubQueryInterface, E_NOINTERFACE);
  const std::vector<Row> rows = {
      {"parameters key", noKey, kDriver, {keyError, driver}, 0, 0, false},
      {"sensor count", noCount, kDriver, {countError, driver}, 0, 0, false},
      {"apartment", apartment, kThermal, {thermal}, 0, 1, true},
      {"stub", stub, kThermal, {thermal}, 0, 1, true},
      {"stub sink", stubSink, kThermal, {thermal}, 0, 1, true},
      {"query", noQuery, kThermal, {thermal}, 0, 1, true},
      {"no sensors", zero, 0, {}, 1, 0, true},
      {"no kernel events", noSource, 0, {noEvents}, 1, 1, false},
      {"everything works", [] {}, 0, {}, 1, 1, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    row.arm();
    mLog.Clear();
    EXPECT_EQ(Events().Init(), row.code);
    EXPECT_EQ(Complaints(), row.complaints);
    EXPECT_EQ(Wmi().Subscriptions(), row.subscriptions);
    EXPECT_EQ(CEventManagerAccess::Threads(Events()), static_cast<std::size_t>(row.threads));
    EXPECT_EQ(Sim().SimEvents().Running(), row.started);
    EXPECT_EQ(mLog.HasMessage("Event Registration done..."), row.code == 0);
    TearDown();
    // Whatever a failed Init made is released with the manager.
    EXPECT_FALSE(Sim().SimEvents().Running());
    EXPECT_EQ(Com().LiveApartments(), 0);
    EXPECT_EQ(Com().LiveStubs(), 0);
    EXPECT_EQ(Wmi().Subscriptions(), 0);
  }
  SetUp();
}

TEST_F(OSEventManagerTest, RegisterEventSubscribesOneSingleKindAndReportsItsOwnCode) {
  const std::pair<int, int> rows[] = {// kind, code of a failure (0: subscribes nothing)
                                      {THERMAL_EVENT, ZIVO_EVENT_THERMAL_FAILED},
                                      {ADD_SENSOR_EVENT, ZIVO_EVENT_ADD_SENSOR_FAILED},
                                      {REMOVE_SENSOR_EVENT, ZIVO_EVENT_REMOVE_SENSOR_FAILED},
                                      {ADD_DEVICE_EVENT, ZIVO_EVENT_ADD_DEVICE_FAILED},
                                      {REMOVE_DEVICE_EVENT, ZIVO_EVENT_REMOVE_DEVICE_FAILED},
                                      {0, 0},
                                      {3, 0},
                                      {32, 0},
                                      {-1, 0}};
  for (const auto& [kind, failure] : rows) {
    SCOPED_TRACE(kind);
    const int before = Wmi().Subscriptions();
    const std::size_t sinks = CEventManagerAccess::Sinks(Events());
    EXPECT_EQ(CEventManagerAccess::RegisterEvent(Events(), kind), 0);
    EXPECT_EQ(Wmi().Subscriptions(), before + (failure != 0 ? 1 : 0));
    Faults().Fail(FaultOp::WmiExecNotificationQueryAsync, WBEM_E_FAILED);
    EXPECT_EQ(CEventManagerAccess::RegisterEvent(Events(), kind), failure);
    Faults().Clear();
    // The sink made before the failing step stays in the list.
    EXPECT_EQ(CEventManagerAccess::Sinks(Events()), sinks + (failure != 0 ? 2 : 0));
  }
}

// Each kind's subscription reaches the listeners of that kind, on the
// platform's threads; event code 0 is dropped, the code is the low 16 bits,
// signed.
TEST_F(OSEventManagerTest, FirmwareEventsReachTheListenersOnThePlatformsThreads) {
  ASSERT_EQ(Events().Init(), 0);
  CRecordingListener listener;
  Events().AddEventListener(&listener, static_cast<VelmarEventListenerType>(31));
  const std::wstring s = L"ACPI\\PNP0C14\\7_0", d = FirmwareDeviceName(3);
  _tagSSimWmiDevice device;
  device.instanceName = d;
  Firmware().AddSensor(SimSensor(s));
  Firmware().AddSensor(SimSensor(s));  // replaced, not new
  Firmware().AddDevice(device);
  Firmware().Remove(s);
  Firmware().Remove(d);
  for (int32_t code : {0x52, 0, 0x8001, 0x10005}) {
    Wmi().RaiseThermalEvent(L"TZ", code);
  }
  Delivered();
  // Different subscriptions deliver on different threads: compare as sets
  // of kinds, in order within each kind.
  std::vector<HeardEvent> heard = listener.Heard();
  std::stable_sort(heard.begin(), heard.end(), [](auto& a, auto& b) { return a.kind < b.kind; });
  EXPECT_EQ(heard, (std::vector<HeardEvent>{{THERMAL_EVENT, L"TZ", 0x52},
                                            {THERMAL_EVENT, L"TZ", -32767},
                                            {THERMAL_EVENT, L"TZ", 5},
                                            {ADD_SENSOR_EVENT, s, 1},
                                            {REMOVE_SENSOR_EVENT, s, 1},
                                            {ADD_DEVICE_EVENT, d, 1},
                                            {REMOVE_DEVICE_EVENT, d, 1}}));
  for (const HeardEvent& event : heard) {
    EXPECT_NE(event.thread, std::this_thread::get_id());
  }
}

TEST_F(OSEventManagerTest, CreateInitEventsDeleteRepeatedWhileEventsKeepComing) {
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
    EXPECT_TRUE(listener.WaitFor(1));  // something arrives before the manager goes
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

// Init tried again after its thermal subscription failed subscribes again
// and keeps the one notification thread it started.
TEST_F(OSEventManagerTest, InitTriedAgainKeepsOneNotificationThread) {
  Faults().Fail(FaultOp::WmiExecNotificationQueryAsync, WBEM_E_ACCESS_DENIED,
                L"SELECT * FROM DTMEvent");
  EXPECT_EQ(Events().Init(), ZIVO_EVENT_THERMAL_FAILED);
  EXPECT_EQ(Events().Init(), 0);
  EXPECT_EQ(Events().Init(), 0);
  EXPECT_EQ(CEventManagerAccess::Threads(Events()), 1u);
  // The one thread still reports.
  CRecordingListener listener;
  Events().AddEventListener(&listener, THERMAL_EVENT);
  Notify(1, 1);
  EXPECT_TRUE(listener.WaitForName(SensorPaths()[1]));
}

// A listener that adds a listener for a participant kind while the manager is
// being deleted: no subscription outlives the manager, and the deletion
// finishes.
TEST_F(OSEventManagerTest, AListenerAddingListenersDuringDeleteInstanceLeavesNothingBehind) {
  class CLateListener : public CRecordingListener {
   public:
    explicit CLateListener(CLogCapture& log) : mLog(log) {}
    int ProcessEvent(VelmarEventListenerType kind, std::wstring name, int id, void* c) override {
      if (!mDone.exchange(true)) {
        // Hold the delivery until the manager's deletion has begun.
        while (!mLog.HasMessage("COSEventManager Destructor called")) {
          std::this_thread::yield();
        }
        COSEventManager::GetInstance()->AddEventListener(&mExtra, REMOVE_DEVICE_EVENT);
      }
      return CRecordingListener::ProcessEvent(kind, std::move(name), id, c);
    }
    CLogCapture& mLog;
    std::atomic<bool> mDone{false};
    CRecordingListener mExtra;
  } late(mLog);
  COSEventManager* manager = COSEventManager::GetInstance();
  ASSERT_EQ(manager->Init(), 0);
  manager->AddEventListener(&late, ADD_SENSOR_EVENT);
  Firmware().AddSensor(SimSensor(L"S"));
  ASSERT_TRUE(WaitUntilTrue([&] { return late.mDone.load(); }));
  COSEventManager::DeleteInstance();
  EXPECT_EQ(Wmi().Subscriptions(), 0);
  EXPECT_EQ(Com().LiveStubs(), 0);
  // A removal raised now reaches no manager and no listener.
  Firmware().Remove(L"S");
  Delivered();
  EXPECT_EQ(late.mExtra.Count(), 0u);
}

}  // namespace
