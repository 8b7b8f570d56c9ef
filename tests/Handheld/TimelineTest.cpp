// The handheld's scripted event timeline: what a broken one is refused with,
// and what playing one does on the platform.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/EventTest.h"
#include "zivorivizo-sim/SimHandheld.h"
#include "zivorivizo/OSParticipantMgr.h"

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
    const char* place;    // after "timeline"
    const char* problem;  // a part of it
  };
  const Case cases[] = {
      {"5", "", "must be a list"},
      {"[3]", "[0]", "must be a JSON object"},
      {R"([{"at":1,"event":"thermal","wmi":10,"code":1,"when":2}])", "[0].when", "unknown key"},
      {R"([{"event":"thermal","wmi":10,"code":1}])", "[0]", "needs \"at\""},
      {R"([{"at":-1,"event":"thermal","wmi":10,"code":1}])", "[0].at", "from 0 to 86400"},
      {R"([{"at":86401,"event":"thermal","wmi":10,"code":1}])", "[0].at", "from 0 to 86400"},
      {R"([{"at":1.0005,"event":"thermal","wmi":10,"code":1}])", "[0].at", "three decimals"},
      {R"([{"at":"soon","event":"thermal","wmi":10,"code":1}])", "[0].at", "a time in seconds"},
      {R"([{"at":1,"wmi":10}])", "[0]", "needs \"event\""},
      {R"([{"at":1,"event":"boom","wmi":10}])", "[0].event", "thermal, notify, arrive or leave"},
      {R"([{"at":1,"event":"leave"}])", "[0]", "needs \"wmi\" or \"path\""},
      {R"([{"at":1,"event":"leave","wmi":1,"path":"/d0"}])", "[0]", "both"},
      {R"([{"at":1,"event":"leave","wmi":99}])", "[0].wmi", "names no firmware participant"},
      {R"([{"at":1,"event":"leave","path":"/none"}])", "[0].path", "no registry-listed"},
      {R"([{"at":1,"event":"thermal","path":"/s0","code":1}])", "[0]", "comes from the firmware"},
      {R"([{"at":1,"event":"thermal","wmi":1,"code":1}])", "[0]", "comes from the firmware"},
      {R"([{"at":1,"event":"thermal","wmi":10}])", "[0]", "needs \"code\""},
      {R"([{"at":1,"event":"thermal","wmi":10,"code":65536}])", "[0].code", "from 0 to 65535"},
      {R"([{"at":1,"event":"notify","wmi":10}])", "[0]", "registry-listed sensor"},
      {R"([{"at":1,"event":"notify","path":"/d0"}])", "[0]", "registry-listed sensor"},
      {R"([{"at":1,"event":"notify","path":"/s0","code":1}])", "[0].code", "only a thermal"},
      {R"([{"at":1,"event":"leave","path":"/s0","value":1}])", "[0].value", "only a driver"},
      {R"([{"at":1,"event":"arrive","wmi":10}])", "[0]", "is already there at 1 s"},
      {R"([{"at":2.5,"event":"leave","wmi":11}])", "[0]", "is not there at 2.500 s"},
      // Played in time order: the leave at 3 s comes before the arrival at 5 s.
      {R"([{"at":5,"event":"arrive","wmi":11},{"at":3,"event":"leave","wmi":11}])", "[1]",
       "is not there at 3 s"},
      {R"([{"at":1,"event":"leave","wmi":10},{"at":2,"event":"thermal","wmi":10,"code":1}])", "[1]",
       "is not there at 2 s"},
      {R"([{"at":1,"event":"thermal","wmi":11,"code":1}])", "[0]", "must arrive first"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.timeline);
    _tagSHandheldError error;
    EXPECT_EQ(CSimHandheld::Parse(WithTimeline(c.timeline), "t.json", error), nullptr);
    EXPECT_EQ(error.place, std::string("timeline") + c.place);
    EXPECT_NE(error.problem.find(c.problem), std::string::npos) << error.problem;
  }
}

// Plays a timeline on the platform, with a host listening to every kind of
// event; the driver notification values are left to the test.
class TimelinePlayTest : public CSimPlatformTest {
 protected:
  void Play(const std::string& timeline) {
    _tagSHandheldError error;
    mHandheld = CSimHandheld::Parse(WithTimeline(timeline), "t.json", error);
    ASSERT_NE(mHandheld, nullptr) << error.Text();
    mHandheld->Install(mPlatform);
    COSParticipantManager::GetInstance();
    COSEventManager* events = COSEventManager::GetInstance();
    events->AddEventListener(&mHost, static_cast<VelmarEventListenerType>(31));
    ASSERT_EQ(CEventManagerAccess::RegisterEvent(*events, THERMAL_EVENT), 0);
  }
  std::wstring Read(const wchar_t* key, const wchar_t* name) {
    std::wstring text = L"(none)";
    uint32_t value = 0;
    return Registry().ReadString(key, name, text)   ? text
           : Registry().ReadDword(key, name, value) ? std::to_wstring(value)
                                                    : text;
  }

  std::unique_ptr<CSimHandheld> mHandheld;
  CRecordingListener mHost;
};

TEST_F(TimelinePlayTest, PlaysWhatIsDueInTimeOrderAndKeepsTheRegistryInStep) {
  Play(
      R"([{"at":2,"event":"leave","path":"/s0"}, {"at":1.5,"event":"notify","path":"/s1","value":2},
           {"at":1,"event":"thermal","wmi":10,"code":3}, {"at":3,"event":"arrive","path":"/d0"},
           {"at":4,"event":"notify","path":"/s1"}, {"at":5,"event":"leave","wmi":1}])");
  const uint64_t start = Clock().UtcSeconds();
  EXPECT_TRUE(mHandheld->PlayUntil(999).empty());
  EXPECT_EQ(mHandheld->NextDue(), 1000u);
  auto played = mHandheld->PlayUntil(1000);
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(played[0].kind, SimTimelineEvent::Kind::Thermal);
  ASSERT_TRUE(mHost.WaitFor(1));
  EXPECT_EQ(mHost.Heard()[0], (HeardEvent{THERMAL_EVENT, L"ACPI\\PNP0C14\\10_0", 3}));
  EXPECT_EQ(Clock().UtcSeconds(), start + 1);

  // /s0 leaves: /s1 moves up to Sensor0 and reports under that value from then on.
  EXPECT_EQ(mHandheld->PlayUntil(2500).size(), 2u);
  EXPECT_EQ(Read(kNotify, L"Sensor1"), L"2");
  EXPECT_EQ(Read(kParameters, L"SensorCount"), L"1");
  EXPECT_EQ(Read(kParameters, L"Sensor0"), L"/s1");
  EXPECT_EQ(Read(kParameters, L"Sensor1"), L"(none)");
  EXPECT_FALSE(mHandheld->IsPublished(L"/s0"));

  EXPECT_EQ(mHandheld->PlayUntil(60000).size(), 3u);
  EXPECT_FALSE(mHandheld->NextDue().has_value());
  EXPECT_EQ(Read(kNotify, L"Sensor0"), L"1");
  EXPECT_EQ(Read(kParameters, L"DeviceCount"), L"1");
  EXPECT_EQ(Read(kParameters, L"Device0"), L"/d0");
  EXPECT_EQ(Wmi().Instance(L"DtmDeviceParticipantInformation", L"ACPI\\PNP0C14\\1_0"), nullptr);
  EXPECT_EQ(Clock().UtcSeconds(), start + 60);

  ASSERT_TRUE(mHost.WaitFor(4));
  auto heard = mHost.Heard();
  std::sort(heard.begin(), heard.end(), [](auto& a, auto& b) { return a.kind < b.kind; });
  EXPECT_EQ(heard, (std::vector<HeardEvent>{{THERMAL_EVENT, L"ACPI\\PNP0C14\\10_0", 3},
                                            {REMOVE_SENSOR_EVENT, L"/s0", 1},
                                            {ADD_DEVICE_EVENT, L"/d0", 1},
                                            {REMOVE_DEVICE_EVENT, L"ACPI\\PNP0C14\\1_0", 1}}));
}

}  // namespace
