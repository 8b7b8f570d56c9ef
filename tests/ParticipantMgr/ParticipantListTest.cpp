// The manager's lookup by name stays the first participant of that name
// after any direct edit of its lists, for devices and sensors alike: each
// case looks up first (so the name index is in use), edits the list as a
// derived manager may, and looks up again.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "support/SimPlatformTest.h"
#include "support/TestParticipantMgr.h"

namespace {

// Participants 0..4 are named C, A, B, A, D; 0 to 3 are listed, 4 waits.
// Each case: its edit (in the order of RunCases' edits), then each lookup: a
// name and the participant expected, -1 for none.
const struct {
  const char* edit;
  std::vector<std::pair<std::wstring, int>> lookups;
} kCases[] = {
    {"erase", {{L"B", -1}, {L"A", 1}, {L"D", -1}}},
    {"insert before a namesake", {{L"A", 4}, {L"B", 2}, {L"C", 0}}},
    {"reorder", {{L"A", 3}, {L"C", 0}, {L"B", 2}}},
    {"rename", {{L"B", -1}, {L"X", 2}, {L"A", 1}}},
    {"append a namesake", {{L"A", 1}, {L"D", -1}}},
    {"remove, append again", {{L"A", 3}, {L"B", 2}}},
    {"clear", {{L"A", -1}, {L"C", -1}}},
    {"read a namesake by position", {{L"A", 1}, {L"B", 2}}},
};

using M = CTestParticipantMgr;
template <typename Participant>
struct Kind;
template <>
struct Kind<CSensor> {
  static auto& List(M& m) { return m.mSensorList; }
  static CSensor* Add(M& m, const wchar_t* name) { return &m.AddFakeSensor(name); }
  static void Find(M& m, const std::wstring& name, CSensor*& out) { m.GetSensorPtr(name, out); }
  static std::wstring& Name(CSensor* p) { return p->mSensor.Name; }
};
template <>
struct Kind<CDevice> {
  static auto& List(M& m) { return m.mDeviceList; }
  static CDevice* Add(M& m, const wchar_t* name) { return &m.AddFakeDevice(name); }
  static void Find(M& m, const std::wstring& name, CDevice*& out) { m.GetDevicePtr(name, out); }
  static std::wstring& Name(CDevice* p) { return p->mDevice.Name; }
};

template <typename Participant>
Participant* Find(M& m, const std::wstring& name) {
  Participant* found = nullptr;
  Kind<Participant>::Find(m, name, found);
  return found;
}

template <typename Participant>
void RunCases() {
  using K = Kind<Participant>;
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    const auto& c = kCases[i];
    SCOPED_TRACE(c.edit);
    CTestParticipantMgr mgr;
    auto& list = K::List(mgr);
    std::vector<Participant*> all;
    for (const wchar_t* name : {L"C", L"A", L"B", L"A", L"D"}) all.push_back(K::Add(mgr, name));
    list.remove(all[4]);
    ASSERT_EQ(Find<Participant>(mgr, L"A"), all[1]);
    ASSERT_EQ(Find<Participant>(mgr, L"C"), all[0]);
    // The last found is tried first: an edit must not leave it answering.
    ASSERT_EQ(Find<Participant>(mgr, L"B"), all[2]);
    std::vector<Participant*> swapped{all[3], all[1], all[2], all[0]};
    const std::function<void()> edits[] = {
        [&] { list.erase(list.begin() + 2); },
        [&] {
          K::Name(all[4]) = L"A";
          list.insert(list.begin(), all[4]);
        },
        [&] { list.assign(swapped.begin(), swapped.end()); },
        [&] { K::Name(all[2]) = L"X"; },
        [&] {
          K::Name(all[4]) = L"A";
          list.push_back(all[4]);
        },
        [&] {
          list.remove(all[1]);
          list.push_back(all[1]);
        },
        [&] { list.clear(); },
        [&] { list.At(3); },
    };
    const std::uint64_t editsBefore = list.Edits();
    edits[i]();
    // A rename in place and a read by position are no edits of the list;
    // every other case is.
    const std::string edit = c.edit;
    EXPECT_EQ(list.Edits() > editsBefore,
              edit != "rename" && edit != "read a namesake by position");
    for (const auto& [name, expected] : c.lookups) {
      EXPECT_EQ(Find<Participant>(mgr, name), expected < 0 ? nullptr : all[expected])
          << std::string(name.begin(), name.end());
    }
    list.assign(all.begin(), all.end());  // the manager destroys them all
  }
}

class ParticipantListTest : public CSimPlatformTest {};

TEST_F(ParticipantListTest, LookupFollowsEveryDirectEdit) {
  RunCases<CSensor>();
  RunCases<CDevice>();
}

}  // namespace
