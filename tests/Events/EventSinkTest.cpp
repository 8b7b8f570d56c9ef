// The sinks on their own: what each Indicate reports for the objects it gets,
// the objects it skips, and the counted-object plumbing.
#include <gtest/gtest.h>

#include <functional>

#include "EventMgr/ParticipantEventSink.h"
#include "EventMgr/ThermalEventSink.h"
#include "support/EventTest.h"

namespace {

class EventSinkTest : public CEventTest {
 public:
  std::shared_ptr<CWbemClassObject> Creation(const std::wstring& name) {
    return Sim().Reachable(Wmi().MakeObject(
        L"__InstanceCreationEvent",
        {{L"TargetInstance",
          CVariant::Object(Wmi().MakeObject(L"DtmSensorParticipantInformation",
                                            {{L"InstanceName", CVariant::Bstr(name)}}))}}));
  }
  std::shared_ptr<CWbemClassObject> Thermal(CWmiPropertyMap event, CWmiPropertyMap description) {
    if (!description.empty()) {
      event[L"event_desc"] =
          CVariant::Object(Wmi().MakeObject(L"DTMEventDescription", std::move(description)));
    }
    return Sim().Reachable(Wmi().MakeObject(L"DTMEvent", std::move(event)));
  }
};

struct _tagSParticipantRow {
  const char* name;
  std::vector<std::function<std::shared_ptr<CWbemClassObject>(EventSinkTest&, CMemoryWmi&)>>
      objects;
  HRESULT result;
  std::vector<std::wstring> reported;
};

TEST_F(EventSinkTest, ParticipantSinkReportsEachInstanceSkipsBrokenEventsAndStopsAtABrokenName) {
  auto good = [](const wchar_t* name) {
    return [name](EventSinkTest& t, CMemoryWmi&) { return t.Creation(name); };
  };
  auto noTarget = [](EventSinkTest&, CMemoryWmi& w) {
    return w.MakeObject(L"__InstanceCreationEvent", {});
  };
  auto targetNotObject = [](EventSinkTest&, CMemoryWmi& w) {
    return w.MakeObject(L"__InstanceCreationEvent", {{L"TargetInstance", CVariant::I4(4)}});
  };
  auto noName = [](EventSinkTest&, CMemoryWmi& w) {
    return w.MakeObject(L"__InstanceCreationEvent",
                        {{L"TargetInstance", CVariant::Object(w.MakeObject(L"X", {}))}});
  };
  auto missing = [](EventSinkTest&, CMemoryWmi&) { return std::shared_ptr<CWbemClassObject>(); };
  const std::vector<_tagSParticipantRow> rows = {
      {"none", {}, WBEM_S_NO_ERROR, {}},
      {"in array order", {good(L"A"), good(L"B"), good(L"C")}, WBEM_S_NO_ERROR, {L"A", L"B", L"C"}},
      {"no target, skipped", {noTarget, good(L"B")}, WBEM_S_NO_ERROR, {L"B"}},
      {"target not an object, skipped", {targetNotObject, good(L"B")}, WBEM_S_NO_ERROR, {L"B"}},
      {"no object, skipped", {missing, good(L"B")}, WBEM_S_NO_ERROR, {L"B"}},
      {"no name ends the call", {good(L"A"), noName, good(L"C")}, WBEM_E_NOT_FOUND, {L"A"}},
  };
  for (const _tagSParticipantRow& row : rows) {
    SCOPED_TRACE(row.name);
    CRecordingListener listener;
    Events().AddEventListener(&listener, ADD_SENSOR_EVENT);
    std::vector<std::shared_ptr<CWbemClassObject>> objects;
    for (const auto& make : row.objects) {
      objects.push_back(make(*this, Wmi()));
    }
    auto sink =
        CComPtr<CParticipantEventSink>(new CParticipantEventSink(&Events(), ADD_SENSOR_EVENT));
    EXPECT_EQ(sink->Indicate(static_cast<LONG>(objects.size()), objects.data()), row.result);
    std::vector<std::wstring> reported;
    for (const _tagSHeardEvent& heard : listener.Heard()) {
      EXPECT_EQ(heard.kind, ADD_SENSOR_EVENT);
      EXPECT_EQ(heard.eventId, 1);
      reported.push_back(heard.name);
    }
    EXPECT_EQ(reported, row.reported);
    Events().RemoveEventListener(&listener, ADD_SENSOR_EVENT);
  }
}

struct _tagSThermalRow {
  const char* name;
  CWmiPropertyMap event;
  CWmiPropertyMap description;
  std::function<void(CMemoryWmi&)> arm;
  std::string error;  // "" when reported
};

TEST_F(EventSinkTest, ThermalSinkSkipsAnEventWhosePartsCannotBeRead) {
  const CWmiPropertyMap named = {{L"InstanceName", CVariant::Bstr(L"TZ")}};
  const CWmiPropertyMap coded = {{L"EventCode", CVariant::I4(12)}};
  auto none = [](CMemoryWmi&) {};
  auto failGet = [](const wchar_t* property) {
    return [property](CMemoryWmi&) { Faults().Fail(FaultOp::WmiGet, WBEM_E_FAILED, property); };
  };
  const std::vector<_tagSThermalRow> rows = {
      {"complete", named, coded, none, ""},
      {"event_desc missing", named, {}, none, "Thermal event skipped: event_desc cannot be read"},
      {"event_desc fails", named, coded, failGet(L"event_desc"),
       "Thermal event skipped: event_desc cannot be read"},
      {"event_desc not an object",
       {{L"InstanceName", CVariant::Bstr(L"TZ")}, {L"event_desc", CVariant::I4(1)}},
       {},
       none,
       "Thermal event skipped: event_desc cannot be read"},
      {"InstanceName missing",
       {},
       coded,
       none,
       "Thermal event skipped: InstanceName cannot be read"},
      {"InstanceName fails", named, coded, failGet(L"InstanceName"),
       "Thermal event skipped: InstanceName cannot be read"},
      {"InstanceName null",
       {{L"InstanceName", CVariant::Null()}},
       coded,
       none,
       "Thermal event skipped: InstanceName cannot be read"},
      {"EventCode missing",
       named,
       {{L"Other", CVariant::I4(1)}},
       none,
       "Thermal event skipped: EventCode cannot be read"},
      {"EventCode fails", named, coded, failGet(L"EventCode"),
       "Thermal event skipped: EventCode cannot be read"},
      {"EventCode a text",
       named,
       {{L"EventCode", CVariant::Bstr(L"12")}},
       none,
       "Thermal event skipped: EventCode cannot be read"},
  };
  for (const _tagSThermalRow& row : rows) {
    SCOPED_TRACE(row.name);
    CRecordingListener listener;
    Events().AddEventListener(&listener, THERMAL_EVENT);
    std::vector<std::shared_ptr<CWbemClassObject>> objects = {
        Thermal(row.event, row.description), Thermal(named, {{L"EventCode", CVariant::I4(7)}})};
    auto sink = CComPtr<CThermalEventSink>(new CThermalEventSink(&Events(), THERMAL_EVENT));
    mLog.Clear();
    row.arm(Wmi());
    EXPECT_EQ(sink->Indicate(2, objects.data()), WBEM_S_NO_ERROR);
    Faults().Clear();
    std::vector<_tagSHeardEvent> expected;
    if (row.error.empty()) {
      expected.push_back({THERMAL_EVENT, L"TZ", 12, nullptr, {}});
      EXPECT_EQ(mLog.CountMessage("Event recieved calling OnRecieve"), 2);
    } else {
      EXPECT_EQ(mLog.LevelOf(row.error), "ERROR");
      EXPECT_EQ(mLog.CountMessage("Event recieved calling OnRecieve"), 1);
    }
    // The object behind the broken one is still reported.
    expected.push_back({THERMAL_EVENT, L"TZ", 7, nullptr, {}});
    EXPECT_EQ(listener.Heard(), expected);
    Events().RemoveEventListener(&listener, THERMAL_EVENT);
  }
  for (const std::string& line : mLog.Lines()) {
    if (line.find("Event recieved calling OnRecieve") != std::string::npos) {
      EXPECT_NE(line.find("[..\\EventMgr\\ThermalEventSink.cpp:"), std::string::npos) << line;
    }
  }
}

}  // namespace
