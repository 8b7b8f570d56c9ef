// The sinks on their own: what each Indicate reports for the objects it gets
// and the objects it skips.
#include <gtest/gtest.h>

#include <functional>

#include "EventMgr/ParticipantEventSink.h"
#include "EventMgr/ThermalEventSink.h"
#include "support/EventTest.h"

namespace {

class EventSinkTest : public CEventTest {
 protected:
  std::shared_ptr<CWbemClassObject> Creation(CVariant target) {
    return Sim().Reachable(
        Wmi().MakeObject(L"__InstanceCreationEvent", {{L"TargetInstance", target}}));
  }
  std::shared_ptr<CWbemClassObject> Named(const wchar_t* name) {
    return Creation(CVariant::Object(Wmi().MakeObject(L"DtmSensorParticipantInformation",
                                                      {{L"InstanceName", CVariant::Bstr(name)}})));
  }
};

TEST_F(EventSinkTest, ParticipantSinkReportsEachInstanceSkipsBrokenEventsAndStopsAtABrokenName) {
  using Make = std::function<std::shared_ptr<CWbemClassObject>()>;
  const auto good = [this](const wchar_t* name) { return [=, this] { return Named(name); }; };
  const Make noTarget = [this] {
    return Sim().Reachable(Wmi().MakeObject(L"__InstanceCreationEvent", {}));
  };
  const Make notObject = [this] { return Creation(CVariant::I4(4)); };
  const Make noName = [this] { return Creation(CVariant::Object(Wmi().MakeObject(L"X", {}))); };
  const Make missing = [] { return nullptr; };
  struct Row {
    const char* name;
    std::vector<Make> objects;
    HRESULT result;
    std::vector<std::wstring> reported;
  };
  const std::vector<Row> rows = {
      {"none", {}, WBEM_S_NO_ERROR, {}},
      {"in array order", {good(L"A"), good(L"B"), good(L"C")}, WBEM_S_NO_ERROR, {L"A", L"B", L"C"}},
      {"no target, skipped", {noTarget, good(L"B")}, WBEM_S_NO_ERROR, {L"B"}},
      {"target not an object, skipped", {notObject, good(L"B")}, WBEM_S_NO_ERROR, {L"B"}},
      {"no object, skipped", {missing, good(L"B")}, WBEM_S_NO_ERROR, {L"B"}},
      {"no name ends the call", {good(L"A"), noName, good(L"C")}, WBEM_E_NOT_FOUND, {L"A"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CRecordingListener listener;
    Events().AddEventListener(&listener, ADD_SENSOR_EVENT);
    std::vector<std::shared_ptr<CWbemClassObject>> objects;
    for (const Make& make : row.objects) {
      objects.push_back(make());
    }
    auto sink =
        CComPtr<CParticipantEventSink>(new CParticipantEventSink(&Events(), ADD_SENSOR_EVENT));
    EXPECT_EQ(sink->Indicate(static_cast<LONG>(objects.size()), objects.data()), row.result);
    std::vector<HeardEvent> expected;
    for (const std::wstring& name : row.reported) {
      expected.push_back({ADD_SENSOR_EVENT, name, 1});
    }
    EXPECT_EQ(listener.Heard(), expected);
    Events().RemoveEventListener(&listener, ADD_SENSOR_EVENT);
  }
}

TEST_F(EventSinkTest, AnswersOnlyForTheSinkInterfaces) {
  auto sink =
      CComPtr<CParticipantEventSink>(new CParticipantEventSink(&Events(), ADD_SENSOR_EVENT));
  void* object = nullptr;
  EXPECT_EQ(sink->QueryInterface(IID_IUnsecuredApartment, &object), E_NOINTERFACE);
  ASSERT_EQ(sink->QueryInterface(IID_IWbemObjectSink, &object), WBEM_S_NO_ERROR);
  EXPECT_EQ(object, static_cast<CWbemObjectSink*>(sink.Get()));
  static_cast<CWbemObjectSink*>(object)->Release();
}

TEST_F(EventSinkTest, ThermalSinkSkipsAnEventWhosePartsCannotBeRead) {
  const CWmiPropertyMap named = {{L"InstanceName", CVariant::Bstr(L"TZ")}};
  const CWmiPropertyMap coded = {{L"EventCode", CVariant::I4(12)}};
  const std::string desc = "event_desc", name = "InstanceName", code = "EventCode";
  struct Row {
    const char* what;
    CWmiPropertyMap event;
    CWmiPropertyMap description;  // empty: no event_desc
    const wchar_t* failGet;       // a property whose Get fails
    std::string unread;           // "" when reported
  };
  const std::vector<Row> rows = {
      {"complete", named, coded, nullptr, ""},
      {"event_desc missing", named, {}, nullptr, desc},
      {"event_desc fails", named, coded, L"event_desc", desc},
      {"event_desc not an object",
       {{L"InstanceName", CVariant::Bstr(L"TZ")}, {L"event_desc", CVariant::I4(1)}},
       {},
       nullptr,
       desc},
      {"InstanceName missing", {}, coded, nullptr, name},
      {"InstanceName fails", named, coded, L"InstanceName", name},
      {"InstanceName null", {{L"InstanceName", CVariant::Null()}}, coded, nullptr, name},
      {"EventCode missing", named, {{L"Other", CVariant::I4(1)}}, nullptr, code},
      {"EventCode fails", named, coded, L"EventCode", code},
      {"EventCode a text", named, {{L"EventCode", CVariant::Bstr(L"12")}}, nullptr, code},
  };
  const auto thermal = [&](CWmiPropertyMap event, CWmiPropertyMap description) {
    if (!description.empty()) {
      event[L"event_desc"] =
          CVariant::Object(Wmi().MakeObject(L"DTMEventDescription", std::move(description)));
    }
    return Sim().Reachable(Wmi().MakeObject(L"DTMEvent", std::move(event)));
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CRecordingListener listener;
    Events().AddEventListener(&listener, THERMAL_EVENT);
    std::vector<std::shared_ptr<CWbemClassObject>> objects = {
        thermal(row.event, row.description), thermal(named, {{L"EventCode", CVariant::I4(7)}})};
    auto sink = CComPtr<CThermalEventSink>(new CThermalEventSink(&Events(), THERMAL_EVENT));
    mLog.Clear();
    if (row.failGet != nullptr) {
      Faults().Fail(FaultOp::WmiGet, WBEM_E_FAILED, row.failGet);
    }
    EXPECT_EQ(sink->Indicate(2, objects.data()), WBEM_S_NO_ERROR);
    Faults().Clear();
    std::vector<HeardEvent> expected;
    if (row.unread.empty()) {
      expected.push_back({THERMAL_EVENT, L"TZ", 12});
    } else {
      EXPECT_EQ(mLog.LevelOf("Thermal event skipped: " + row.unread + " cannot be read"), "ERROR");
    }
    // The object behind the broken one is still reported.
    expected.push_back({THERMAL_EVENT, L"TZ", 7});
    EXPECT_EQ(listener.Heard(), expected);
    Events().RemoveEventListener(&listener, THERMAL_EVENT);
  }
}

}  // namespace
