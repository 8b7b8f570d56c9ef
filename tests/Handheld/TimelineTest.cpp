// The handheld's scripted event timeline: what a broken one is refused with,
// and what playing one does on the platform.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "Sim/SimHandheld.h"
#include "support/RecordingSink.h"
#include "support/SimPlatformTest.h"

namespace {

const wchar_t kParameters[] = L"SOFTWARE\\Zelan\\VOVUZER\\Parameters";
const wchar_t kNotify[] = L"Software\\Zelan\\VOVUZER\\DriverNotify";

// A handheld with one participant of each sort, and `timeline` as its timeline.
std::string WithTimeline(const std::string& timeline) {
  return R"({"devices": [{"wmi": 1, "maximum": 2}, {"path": "/d0", "maximum": 1, "hotplug": true}],
             "sensors": [{"wmi": 10}, {"path": "/s0"}, {"path": "/s1"},
                         {"wmi": 11, "hotplug": true}],
             "timeline": )" +
         timeline + "}";
}

TEST(TimelineTest, ABrokenTimelineIsRefusedWithThePlaceAndProblem) {
  struct Case {
    const char* timeline;
    const char* place;
    const char* problem;  // a part of it
  };
  const Case cases[] = {
      {"5", "timeline", "must be a list"},
      {"[3]", "timeline[0]", "must be a JSON object"},
      {R"([{"at": 1, "event": "thermal", "wmi": 10, "code": 1, "when": 2}])", "timeline[0].when",
       "unknown key"},
      {R"([{"event": "thermal", "wmi": 10, "code": 1}])", "timeline[0]", "needs \"at\""},
      {R"([{"at": -1, "event": "thermal", "wmi": 10, "code": 1}])", "timeline[0].at",
       "from 0 to 86400"},
      {R"([{"at": 86401, "event": "thermal", "wmi": 10, "code": 1}])", "timeline[0].at",
       "from 0 to 86400"},
      {R"([{"at": 1.0005, "event": "thermal", "wmi": 10, "code": 1}])", "timeline[0].at",
       "more than three decimals"},
      {R"([{"at": "soon", "event": "thermal", "wmi": 10, "code": 1}])", "timeline[0].at",
       "must be a time in seconds"},
      {R"([{"at": 1, "wmi": 10}])", "timeline[0]", "needs \"event\""},
      {R"([{"at": 1, "event": "boom", "wmi": 10}])", "timeline[0].event",
       "must be thermal, notify, arrive or leave"},
      {R"([{"at": 1, "event": "leave"}])", "timeline[0]", "needs \"wmi\" or \"path\""},
      {R"([{"at": 1, "event": "leave", "wmi": 1, "path": "/d0"}])", "timeline[0]", "both"},
      {R"([{"at": 1, "event": "leave", "wmi": 99}])", "timeline[0].wmi",
       "names no firmware participant"},
      {R"([{"at": 1, "event": "leave", "path": "/none"}])", "timeline[0].path",
       "names no registry-listed participant"},
      {R"([{"at": 1, "event": "thermal", "path": "/s0", "code": 1}])", "timeline[0]",
       "comes from the firmware"},
      {R"([{"at": 1, "event": "thermal", "wmi": 1, "code": 1}])", "timeline[0]",
       "comes from the firmware"},
      {R"([{"at": 1, "event": "thermal", "wmi": 10}])", "timeline[0]", "needs \"code\""},
      {R"([{"at": 1, "event": "thermal", "wmi": 10, "code": 65536}])", "timeline[0].code",
       "from 0 to 65535"},
      {R"([{"at": 1, "event": "notify", "wmi": 10}])", "timeline[0]", "registry-listed sensor"},
      {R"([{"at": 1, "event": "notify", "path": "/d0"}])", "timeline[0]", "registry-listed sensor"},
      {R"([{"at": 1, "event": "notify", "path": "/s0", "code": 1}])", "timeline[0].code",
       "only a thermal event has a code"},
      {R"([{"at": 1, "event": "leave", "path": "/s0", "value": 1}])", "timeline[0].value",
       "only a driver notification has a value"},
      {R"([{"at": 1, "event": "arrive", "wmi": 10}])", "timeline[0]", "is already there at 1 s"},
      {R"([{"at": 2.5, "event": "leave", "wmi": 11}])", "timeline[0]", "is not there at 2.500 s"},
      // Played in time order: the leave at 3 s comes before the arrival at 5 s.
      {R"([{"at": 5, "event": "arrive", "wmi": 11}, {"at": 3, "event": "leave", "wmi": 11}])",
       "timeline[1]", "is not there at 3 s"},
      {R"([{"at": 1, "event": "leave", "wmi": 10}, {"at": 2, "event": "thermal", "wmi": 10,
            "code": 1}])",
       "timeline[1]", "is not there at 2 s"},
      {R"([{"at": 1, "event": "thermal", "wmi": 11, "code": 1}])", "timeline[0]",
       "must arrive first"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.timeline);
    _tagSHandheldError error;
    EXPECT_EQ(CSimHandheld::Parse(WithTimeline(c.timeline), "t.json", error), nullptr);
    EXPECT_EQ(error.place, c.place);
    EXPECT_NE(error.problem.find(c.problem), std::string::npos) << error.problem;
  }
}

TEST(TimelineTest, TheEmbeddedHandheldRaisesEveryKindWithinItsFirstMinute) {
  auto handheld = CSimHandheld::Default();
  std::set<std::string> kinds;
  for (const SimTimelineEvent& event : handheld->Timeline()) {
    EXPECT_LE(event.atMs, 60000u);
    switch (event.kind) {
      case SimTimelineEvent::Kind::Thermal:
      case SimTimelineEvent::Kind::Notify:
        kinds.insert("thermal");
        break;
      case SimTimelineEvent::Kind::Arrive:
        kinds.insert(event.sensor ? "add-sensor" : "add-device");
        break;
      case SimTimelineEvent::Kind::Leave:
        kinds.insert(event.sensor ? "remove-sensor" : "remove-device");
        break;
    }
  }
  EXPECT_EQ(kinds, (std::set<std::string>{"thermal", "add-sensor", "remove-sensor", "add-device",
                                          "remove-device"}));
}

class TimelinePlayTest : public CSimPlatformTest {};

TEST_F(TimelinePlayTest, PlaysWhatIsDueInTimeOrderAndKeepsTheRegistryInStep) {
  _tagSHandheldError error;
  auto handheld = CSimHandheld::Parse(WithTimeline(R"([
      {"at": 2, "event": "leave", "path": "/s0"},
      {"at": 1.5, "event": "notify", "path": "/s1", "value": 2},
      {"at": 1, "event": "thermal", "wmi": 10, "code": 3},
      {"at": 3, "event": "arrive", "path": "/d0"},
      {"at": 4, "event": "notify", "path": "/s1"},
      {"at": 5, "event": "leave", "wmi": 1}])"),
                                      "t.json", error);
  ASSERT_NE(handheld, nullptr) << error.Text();
  handheld->Install(mPlatform);
  CEventRecorder recorder(Wmi().Connect());
  const uint64_t start = Clock().UtcSeconds();

  EXPECT_TRUE(handheld->PlayUntil(999).empty());
  EXPECT_EQ(handheld->NextDue(), 1000u);
  auto played = handheld->PlayUntil(1000);
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(played[0].kind, SimTimelineEvent::Kind::Thermal);
  ASSERT_TRUE(recorder.WaitFor(1));
  EXPECT_EQ(recorder.Lines()[0], "thermal ACPI\\PNP0C14\\10_0 3");
  EXPECT_EQ(Clock().UtcSeconds(), start + 1);

  // /s0 leaves: /s1 moves up to Sensor0 and reports under that value from then on.
  played = handheld->PlayUntil(2500);
  ASSERT_EQ(played.size(), 2u);
  uint32_t value = 0;
  EXPECT_TRUE(Registry().ReadDword(kNotify, L"Sensor1", value));
  EXPECT_EQ(value, 2u);
  EXPECT_TRUE(Registry().ReadDword(kParameters, L"SensorCount", value));
  EXPECT_EQ(value, 1u);
  std::wstring name;
  EXPECT_TRUE(Registry().ReadString(kParameters, L"Sensor0", name));
  EXPECT_EQ(name, L"/s1");
  EXPECT_FALSE(Registry().ReadString(kParameters, L"Sensor1", name));
  EXPECT_FALSE(handheld->IsPublished(L"/s0"));

  played = handheld->PlayUntil(60000);
  ASSERT_EQ(played.size(), 3u);
  EXPECT_FALSE(handheld->NextDue().has_value());
  EXPECT_TRUE(Registry().ReadDword(kNotify, L"Sensor0", value));
  EXPECT_EQ(value, 1u);
  EXPECT_TRUE(Registry().ReadDword(kParameters, L"DeviceCount", value));
  EXPECT_EQ(value, 1u);
  EXPECT_TRUE(Registry().ReadString(kParameters, L"Device0", name));
  EXPECT_EQ(name, L"/d0");
  EXPECT_EQ(Wmi().Instance(L"DtmDeviceParticipantInformation", L"ACPI\\PNP0C14\\1_0"), nullptr);
  EXPECT_EQ(Clock().UtcSeconds(), start + 60);

  ASSERT_TRUE(recorder.WaitFor(4));
  EXPECT_EQ(recorder.Lines().size(), 4u);
  const auto lines = recorder.Lines();
  const std::multiset<std::string> got(lines.begin() + 1, lines.end());
  EXPECT_EQ(got, (std::multiset<std::string>{"remove-sensor /s0", "add-device /d0",
                                             "remove-device ACPI\\PNP0C14\\1_0"}));
}

TEST_F(TimelinePlayTest, AParticipantThatLeftMayArriveAgain) {
  _tagSHandheldError error;
  auto handheld = CSimHandheld::Parse(WithTimeline(R"([
      {"at": 1, "event": "leave", "path": "/s0"},
      {"at": 2, "event": "arrive", "path": "/s0"},
      {"at": 3, "event": "arrive", "wmi": 11},
      {"at": 4, "event": "leave", "wmi": 11},
      {"at": 5, "event": "arrive", "wmi": 11}])"),
                                      "t.json", error);
  ASSERT_NE(handheld, nullptr) << error.Text();
  handheld->Install(mPlatform);
  EXPECT_EQ(handheld->PlayUntil(2000).size(), 2u);
  std::wstring name;
  EXPECT_TRUE(Registry().ReadString(kParameters, L"Sensor0", name));
  EXPECT_EQ(name, L"/s1");
  EXPECT_TRUE(Registry().ReadString(kParameters, L"Sensor1", name));
  EXPECT_EQ(name, L"/s0");
  EXPECT_TRUE(handheld->IsPublished(L"/s0"));
  EXPECT_EQ(handheld->PlayUntil(5000).size(), 3u);
  EXPECT_NE(Wmi().Instance(L"DtmSensorParticipantInformation", L"ACPI\\PNP0C14\\11_0"), nullptr);
  // Neither the timeline nor a host publishes a participant that is there.
  EXPECT_FALSE(handheld->Publish(L"/s0"));
  EXPECT_FALSE(handheld->Publish(L"ACPI\\PNP0C14\\11_0"));
}

}  // namespace
