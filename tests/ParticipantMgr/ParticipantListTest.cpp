// The manager's lookup by name stays the first participant of that name
// after any direct edit of its lists, for devices and sensors alike: each
// case looks up once (so the name index is in use), edits the list as a
// derived manager may, and looks up again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <type_traits>
#include <vector>

#include "support/SimPlatformTest.h"
#include "support/TestParticipantMgr.h"

namespace {

enum class Edit { Erase, InsertFront, SwapEnds, Rename, PushNamesake, RemoveAndPush, Clear };

struct Lookup {
  const wchar_t* name;
  int expected;  // the participant's place in creation order; -1: none
};

struct Case {
  const char* what;
  Edit edit;
  std::vector<Lookup> lookups;
};

// Participants 0..4 are named C, A, B, A, D; 0 to 3 are listed, 4 waits.
const wchar_t* const kNames[] = {L"C", L"A", L"B", L"A", L"D"};

const std::vector<Case> kCases = {
    {"erase", Edit::Erase, {{L"B", -1}, {L"A", 1}, {L"D", -1}}},
    {"insert before a namesake", Edit::InsertFront, {{L"A", 4}, {L"B", 2}, {L"C", 0}}},
    {"reorder", Edit::SwapEnds, {{L"A", 3}, {L"C", 0}, {L"B", 2}}},
    {"rename", Edit::Rename, {{L"B", -1}, {L"X", 2}, {L"A", 1}}},
    {"append a namesake", Edit::PushNamesake, {{L"A", 1}, {L"D", -1}}},
    {"remove, append again", Edit::RemoveAndPush, {{L"A", 3}, {L"B", 2}}},
    {"clear", Edit::Clear, {{L"A", -1}, {L"C", -1}}},
};

template <typename List, typename Participant>
void Apply(Edit edit, List& list, const std::vector<Participant*>& all,
           std::wstring& (*nameOf)(Participant*)) {
  switch (edit) {
    case Edit::Erase:
      list.erase(list.begin() + 2);
      break;
    case Edit::InsertFront:
      nameOf(all[4]) = L"A";
      list.insert(list.begin(), all[4]);
      break;
    case Edit::SwapEnds: {
      std::vector<Participant*> swapped(list.begin(), list.end());
      std::swap(swapped.front(), swapped.back());
      list.assign(swapped.begin(), swapped.end());
      break;
    }
    case Edit::Rename:
      nameOf(all[2]) = L"X";
      break;
    case Edit::PushNamesake:
      nameOf(all[4]) = L"A";
      list.push_back(all[4]);
      break;
    case Edit::RemoveAndPush:
      list.remove(all[1]);
      list.push_back(all[1]);
      break;
    case Edit::Clear:
      list.clear();
      break;
  }
}

class ParticipantListTest : public CSimPlatformTest {
 protected:
  // Runs every case on the list `List` of a fresh manager, `add` creating
  // one participant there and `find` looking one up as the manager does.
  template <typename Participant, typename Add, typename Find>
  void RunCases(Add add, Find find, std::wstring& (*nameOf)(Participant*)) {
    for (const Case& c : kCases) {
      SCOPED_TRACE(c.what);
      CTestParticipantMgr mgr;
      auto& list = ListOf<Participant>(mgr);
      std::vector<Participant*> all;
      for (const wchar_t* name : kNames) all.push_back(add(mgr, name));
      list.remove(all[4]);
      ASSERT_EQ(find(mgr, L"A"), all[1]);
      ASSERT_EQ(find(mgr, L"C"), all[0]);
      Apply(c.edit, list, all, nameOf);
      for (const Lookup& l : c.lookups) {
        EXPECT_EQ(find(mgr, l.name), l.expected < 0 ? nullptr : all[l.expected])
            << std::string(l.name, l.name + std::wcslen(l.name));
      }
      list.assign(all.begin(), all.end());  // the manager destroys them all
    }
  }

  template <typename Participant>
  static auto& ListOf(CTestParticipantMgr& mgr) {
    if constexpr (std::is_same_v<Participant, CSensor>) {
      return mgr.mSensorList;
    } else {
      return mgr.mDeviceList;
    }
  }
};

TEST_F(ParticipantListTest, LookupFollowsEveryDirectEdit) {
  RunCases<CSensor>([](CTestParticipantMgr& mgr,
                       const wchar_t* name) -> CSensor* { return &mgr.AddFakeSensor(name); },
                    [](CTestParticipantMgr& mgr, const std::wstring& name) {
                      CSensor* found = nullptr;
                      mgr.GetSensorPtr(name, found);
                      return found;
                    },
                    +[](CSensor* s) -> std::wstring& { return s->mSensor.Name; });
  RunCases<CDevice>([](CTestParticipantMgr& mgr,
                       const wchar_t* name) -> CDevice* { return &mgr.AddFakeDevice(name); },
                    [](CTestParticipantMgr& mgr, const std::wstring& name) {
                      CDevice* found = nullptr;
                      mgr.GetDevicePtr(name, found);
                      return found;
                    },
                    +[](CDevice* d) -> std::wstring& { return d->mDevice.Name; });
}

}  // namespace
