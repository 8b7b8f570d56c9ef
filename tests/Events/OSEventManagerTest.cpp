// The OS event manager: Init and its failure rows, the subscriptions of the
// five kinds, OnReceiveEvent, and events from the simulated firmware reaching
// the listeners on the platform's delivery threads.
#include <gtest/gtest.h>

#include <functional>

#include "support/EventTest.h"
#include "zivorivizo/StatusCodes.h"

namespace {

class OSEventManagerTest : public CEventTest {};

const wchar_t kThermalQuery[] = L"SELECT * FROM DTMEvent";
const wchar_t kAddSensorQuery[] =
    L"SELECT * FROM __InstanceCreationEvent WITHIN 1 WHERE TargetInstance ISA "
    L"\"DtmSensorParticipantInformation\"";

struct _tagSInitRow {
  const char* name;
  std::function<void(CEventTest&, CMemoryRegistry&, CMemoryCom&, CMemoryWmi&)> arm;
  int code;
  std::vector<std::string> errors;  // Error lines, in order
  int subscriptions;                // left in the namespace
  std::size_t threads;
};

TEST_F(OSEventManagerTest, InitReportsEachFailingStepWithItsCode) {
  const std::vector<_tagSInitRow> rows = {
      {"parameters key",
       [](auto&, CMemoryRegistry&, auto&, auto&) {
         Faults().Fail(FaultOp::RegOpen, REG_STATUS_ACCESS_DENIED, DRIVER_PARAMETERS_KEY);
       },
       ZIVO_EVENT_DRIVER_EVENTS_FAILED,
       {"Failed to read the Velmar Key", "InitDriverEvents Failed"},
       0,
       0},
      {"sensor count",
       [](auto&, CMemoryRegistry&, auto&, auto&) {
         Faults().Fail(FaultOp::RegQueryDword, REG_STATUS_NOT_FOUND, L"SensorCount");
       },
       ZIVO_EVENT_DRIVER_EVENTS_FAILED,
       {"Query Registry failed for SensorCount", "InitDriverEvents Failed"},
       0,
       0},
      {"apartment",
       [](auto&, auto&, CMemoryCom&, auto&) {
         Faults().Fail(FaultOp::CreateUnsecuredApartment, REGDB_E_CLASSNOTREG);
       },
       ZIVO_EVENT_THERMAL_FAILED,
       {"RegisterThermalEvent Failed"},
       0,
       1},
      {"stub",
       [](auto&, auto&, CMemoryCom&, auto&) {
         Faults().Fail(FaultOp::CreateObjectStub, E_OUTOFMEMORY);
       },
       ZIVO_EVENT_THERMAL_FAILED,
       {"RegisterThermalEvent Failed"},
       0,
       1},
      {"stub sink",
       [](auto&, auto&, CMemoryCom&, auto&) {
         Faults().Fail(FaultOp::StubQueryInterface, E_NOINTERFACE);
       },
       ZIVO_EVENT_THERMAL_FAILED,
       {"RegisterThermalEvent Failed"},
       0,
       1},
      {"query",
       [](auto&, auto&, auto&, CMemoryWmi&) {
         Faults().Fail(FaultOp::WmiExecNotificationQueryAsync, WBEM_E_ACCESS_DENIED, kThermalQuery);
       },
       ZIVO_EVENT_THERMAL_FAILED,
       {"RegisterThermalEvent Failed"},
       0,
       1},
      {"no sensors",
       [](CEventTest&, CMemoryRegistry& r, auto&, auto&) {
         r.SetDword(DRIVER_PARAMETERS_KEY, L"SensorCount", 0);
       },
       0,
       {},
       1,
       0},
      {"everything works", [](auto&, auto&, auto&, auto&) {}, 0, {}, 1, 1},
  };
  for (const _tagSInitRow& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    row.arm(*this, Registry(), Com(), Wmi());
    mLog.Clear();
    EXPECT_EQ(Events().Init(), row.code);
    std::vector<std::string> errors;
    for (const std::string& line : mLog.Lines()) {
      if (line.find(" ERROR : ") != std::string::npos) {
        errors.push_back(line.substr(line.find("] ") + 2));
      }
    }
    EXPECT_EQ(errors, row.errors);
    EXPECT_EQ(Wmi().Subscriptions(), row.subscriptions);
    EXPECT_EQ(CEventManagerAccess::Threads(Events()), row.threads);
    EXPECT_EQ(mLog.HasMessage("Event Registration done..."), row.code == 0);
    TearDown();
    // Whatever a failed Init made is released with the manager.
    EXPECT_EQ(Com().LiveApartments(), 0);
    EXPECT_EQ(Com().LiveStubs(), 0);
    EXPECT_EQ(Wmi().Subscriptions(), 0);
  }
  SetUp();
}

TEST_F(OSEventManagerTest, RegisterEventSubscribesOneSingleKindAndReportsItsOwnCode) {
  struct _tagSRow {
    int kind;
    int failureCode;  // 0: the kind subscribes nothing
  };
  const std::vector<_tagSRow> rows = {
      {THERMAL_EVENT, ZIVO_EVENT_THERMAL_FAILED},
      {ADD_SENSOR_EVENT, ZIVO_EVENT_ADD_SENSOR_FAILED},
      {REMOVE_SENSOR_EVENT, ZIVO_EVENT_REMOVE_SENSOR_FAILED},
      {ADD_DEVICE_EVENT, ZIVO_EVENT_ADD_DEVICE_FAILED},
      {REMOVE_DEVICE_EVENT, ZIVO_EVENT_REMOVE_DEVICE_FAILED},
      {0, 0},
      {3, 0},
      {32, 0},
      {-1, 0},
  };
  for (const _tagSRow& row : rows) {
    SCOPED_TRACE(row.kind);
    const int before = Wmi().Subscriptions();
    const std::size_t sinks = CEventManagerAccess::Sinks(Events());
    EXPECT_EQ(CEventManagerAccess::RegisterEvent(Events(), row.kind), 0);
    EXPECT_EQ(Wmi().Subscriptions(), before + (row.failureCode != 0 ? 1 : 0));
    Faults().Fail(FaultOp::WmiExecNotificationQueryAsync, WBEM_E_FAILED);
    EXPECT_EQ(CEventManagerAccess::RegisterEvent(Events(), row.kind), row.failureCode);
    Faults().Clear();
    // The sink made before the failing step stays in the list.
    EXPECT_EQ(CEventManagerAccess::Sinks(Events()), sinks + (row.failureCode != 0 ? 2 : 0));
    EXPECT_EQ(CEventManagerAccess::UnRegisterEvent(Events(), row.kind), 0);
  }
}

TEST_F(OSEventManagerTest, OnReceiveEventDropsIdZeroAndDispatchesTheRest) {
  CRecordingListener listener;
  Events().AddEventListener(&listener, THERMAL_EVENT);
  mLog.Clear();
  EXPECT_EQ(Events().OnReceiveEvent(L"zone", THERMAL_EVENT, 0), 0);
  EXPECT_EQ(listener.Count(), 0u);
  EXPECT_EQ(mLog.LevelOf("Recived Event for 0 EventID, Dropping..."), "ERROR");
  EXPECT_EQ(Events().OnReceiveEvent(L"zone", THERMAL_EVENT, -5), 0);
  ASSERT_EQ(listener.Count(), 1u);
  EXPECT_EQ(listener.Heard()[0].eventId, -5);
  EXPECT_TRUE(mLog.HasMessage("Received event: From->zone EventType->1 EventID-> -5"));
}

struct _tagSFirmwareRow {
  const char* name;
  int kinds;
  std::function<void(CSimFirmware&, CMemoryWmi&)> act;
  std::vector<_tagSHeardEvent> expected;
};

_tagSHeardEvent Heard(int kind, std::wstring name, int id) {
  return {static_cast<VelmarEventListenerType>(kind), std::move(name), id, nullptr, {}};
}

TEST_F(OSEventManagerTest, FirmwareEventsReachTheListenersOnThePlatformsThreads) {
  const std::wstring s = L"ACPI\\PNP0C14\\7_0";
  const std::wstring d = FirmwareDeviceName(3);
  const std::vector<_tagSFirmwareRow> rows = {
      {"sensor arrives and leaves",
       ADD_SENSOR_EVENT | REMOVE_SENSOR_EVENT,
       [&](CSimFirmware& f, auto&) {
         f.AddSensor(SimSensor(s));
         f.AddSensor(SimSensor(s));  // replaced, not new
         f.Remove(s);
       },
       {Heard(ADD_SENSOR_EVENT, s, 1), Heard(REMOVE_SENSOR_EVENT, s, 1)}},
      {"device arrives and leaves",
       ADD_DEVICE_EVENT | REMOVE_DEVICE_EVENT,
       [&](CSimFirmware& f, auto&) {
         f.AddDevice(SimDevice(d));
         f.Remove(d);
       },
       {Heard(ADD_DEVICE_EVENT, d, 1), Heard(REMOVE_DEVICE_EVENT, d, 1)}},
      {"only the kinds listened to",
       ADD_DEVICE_EVENT,
       [&](CSimFirmware& f, auto&) {
         f.AddSensor(SimSensor(s));
         f.AddDevice(SimDevice(d));
         f.Remove(d);
       },
       {Heard(ADD_DEVICE_EVENT, d, 1)}},
      {"thermal codes, 0 dropped, high codes negative",
       THERMAL_EVENT,
       [&](auto&, CMemoryWmi& w) {
         w.RaiseThermalEvent(L"TZ0", 0x52);
         w.RaiseThermalEvent(L"TZ0", 0);
         w.RaiseThermalEvent(L"TZ1", 0x8001);
         w.RaiseThermalEvent(L"TZ2", 0x10005);
       },
       {Heard(THERMAL_EVENT, L"TZ0", 0x52), Heard(THERMAL_EVENT, L"TZ1", -32767),
        Heard(THERMAL_EVENT, L"TZ2", 5)}},
  };
  for (const _tagSFirmwareRow& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    ASSERT_EQ(Events().Init(), 0);
    CRecordingListener listener;
    Events().AddEventListener(&listener, static_cast<VelmarEventListenerType>(row.kinds));
    row.act(Firmware(), Wmi());
    Delivered();
    // Different subscriptions deliver on different threads: compare as sets
    // of kinds, in order within each kind.
    std::vector<_tagSHeardEvent> heard = listener.Heard();
    std::stable_sort(heard.begin(), heard.end(),
                     [](const auto& a, const auto& b) { return a.kind < b.kind; });
    EXPECT_EQ(heard, row.expected);
    for (const _tagSHeardEvent& event : heard) {
      EXPECT_NE(event.thread, std::this_thread::get_id());
    }
    TearDown();
  }
  SetUp();
}

TEST_F(OSEventManagerTest, EachParticipantKindIsSubscribedOnceWhateverTheListenersDo) {
  ASSERT_EQ(Events().Init(), 0);
  CRecordingListener a, b;
  Events().AddEventListener(&a, static_cast<VelmarEventListenerType>(ADD_SENSOR_EVENT | 1));
  Events().AddEventListener(&b, ADD_SENSOR_EVENT);
  Events().RemoveEventListener(&a, ADD_SENSOR_EVENT);
  Events().RemoveEventListener(&b, ADD_SENSOR_EVENT);
  Events().AddEventListener(&a, ADD_SENSOR_EVENT);
  EXPECT_EQ(Wmi().Subscriptions(), 2);  // thermal and sensor arrival
  Firmware().AddSensor(SimSensor(L"S"));
  Delivered();
  EXPECT_EQ(a.Count(), 1u);  // once, not once per subscription

  // A subscription that fails is logged and tried again by the next listener.
  Faults().Fail(FaultOp::WmiExecNotificationQueryAsync, WBEM_E_FAILED);
  Events().AddEventListener(&b, REMOVE_DEVICE_EVENT);
  EXPECT_TRUE(mLog.HasMessage("RegisterEvent failed for 16, status 55"));
  EXPECT_EQ(Wmi().Subscriptions(), 2);
  Events().AddEventListener(&b, REMOVE_DEVICE_EVENT);
  EXPECT_EQ(Wmi().Subscriptions(), 3);
  EXPECT_EQ(Events().RemoveEventListener(&b, REMOVE_DEVICE_EVENT), false);
  EXPECT_TRUE(mLog.HasMessage("RemoveEventListener called"));
}

}  // namespace
