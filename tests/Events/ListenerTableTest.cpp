// The listener table: changes made to it from inside a dispatch.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <sstream>
#include <stdexcept>

#include "support/EventTest.h"
#include "support/SimPlatformTest.h"

namespace {

class ListenerTableTest : public CSimPlatformTest {};

// Removes itself and adds a newcomer from inside its own ProcessEvent.
class CSelfRemovingListener : public CRecordingListener {
 public:
  CSelfRemovingListener(CEventManager& manager, CEventListener& newcomer)
      : mManager(manager), mNewcomer(newcomer) {}
  int ProcessEvent(VelmarEventListenerType kind, std::wstring name, int id, void* c) override {
    mManager.RemoveEventListener(this, kind);
    mManager.AddEventListener(&mNewcomer, kind);
    return CRecordingListener::ProcessEvent(kind, std::move(name), id, c);
  }

 private:
  CEventManager& mManager;
  CEventListener& mNewcomer;
};

TEST_F(ListenerTableTest, ListenersMayChangeTheTableFromInsideProcessEvent) {
  CEventManager manager;
  CRecordingListener newcomer, after;
  CSelfRemovingListener self(manager, newcomer);
  manager.AddEventListener(&self, THERMAL_EVENT);
  manager.AddEventListener(&after, THERMAL_EVENT);
  // The dispatch under way walks the list it started with.
  for (std::size_t round : {1u, 2u}) {
    manager.DispatchEvent(THERMAL_EVENT, L"z", 1);
    EXPECT_EQ(self.Count(), 1u);
    EXPECT_EQ(after.Count(), round);
    EXPECT_EQ(newcomer.Count(), round - 1);
  }
}

// The listener rules, one row each: what adds ("+0:3", listener 0 for kinds
// 3) and removes ("-0:3") leave, which listeners an event reaches (each with
// its own context), and the kind mask.
TEST_F(ListenerTableTest, ListenerRules) {
  struct Row {
    const char* name;
    const char* steps;
    int kind, eventId;  // the event dispatched
    int heard[2];       // how often each listener hears it
    int probe;          // isEmpty(probe) ...
    bool empty;         // ... is this
  };
  const Row rows[] = {
      {"added twice, removed once: called once", "+0:1 +0:1 -0:1", 1, 1, {1, 0}, 1, true},
      {"added twice: called twice", "+0:1 +0:1", 1, 1, {2, 0}, 1, false},
      {"kinds 3 hears kind 2", "+0:3", 2, 1, {1, 0}, 2, false},
      {"kind 3 reaches nobody", "+0:3 +1:1", 3, 1, {0, 0}, 3, false},
      {"one of two removed: mask empty, the other hears", "+0:2 +1:2 -0:2", 2, 1, {0, 1}, 2, true},
      {"removing a stranger clears the bit", "+0:4 -1:4", 4, 1, {1, 0}, 4, true},
      {"kinds 0 stores nothing", "+0:0", 1, 1, {0, 0}, 31, true},
      {"id 0 is dispatched", "+1:1 +0:1", 1, 0, {1, 1}, 1, false},
      {"a new manager is empty", "", 2, 1, {0, 0}, 2, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    int contexts[2] = {};
    CRecordingListener first(&contexts[0]), second(&contexts[1]);
    CRecordingListener* listeners[2] = {&first, &second};
    CEventManager manager;
    std::istringstream steps(row.steps);
    char sign = 0, colon = 0;
    int who = 0, kinds = 0;
    while (steps >> sign >> who >> colon >> kinds) {
      const auto as = static_cast<VelmarEventListenerType>(kinds);
      sign == '+' ? manager.AddEventListener(listeners[who], as)
                  : manager.RemoveEventListener(listeners[who], as);
    }
    const auto kind = static_cast<VelmarEventListenerType>(row.kind);
    manager.DispatchEvent(kind, L"n", row.eventId);
    for (int i = 0; i < 2; ++i) {
      const std::vector<HeardEvent> heard = listeners[i]->Heard();
      EXPECT_EQ(heard.size(), static_cast<std::size_t>(row.heard[i])) << i;
      for (const HeardEvent& event : heard) {
        EXPECT_EQ(event, (HeardEvent{kind, L"n", row.eventId}));
        EXPECT_EQ(event.context, &contexts[i]);
      }
    }
    EXPECT_EQ(manager.isEmpty(static_cast<VelmarEventListenerType>(row.probe)), row.empty);
  }
}

// Blocks in ProcessEvent until released; says when it is inside.
class CBlockingListener : public CRecordingListener {
 public:
  int ProcessEvent(VelmarEventListenerType kind, std::wstring name, int id, void* c) override {
    mInside.set_value();
    mRelease.get_future().wait();
    // The removal running on another thread must not have returned yet.
    mRemovedBeforeReturn = mRemoved ? mRemoved->load() : false;
    return CRecordingListener::ProcessEvent(kind, std::move(name), id, c);
  }
  std::promise<void> mInside, mRelease;
  std::atomic<bool>* mRemoved = nullptr;
  bool mRemovedBeforeReturn = false;
};

// Once RemoveEventListener returns the listener is not called again: the
// removal waits for the call under way, and a dispatch under way skips a
// listener removed before its turn.
TEST_F(ListenerTableTest, ARemovedListenerIsNotCalledAfterTheRemovalReturns) {
  CEventManager manager;
  CBlockingListener blocking;
  CRecordingListener later;
  std::atomic<bool> removed{false};
  blocking.mRemoved = &removed;
  manager.AddEventListener(&blocking, THERMAL_EVENT);
  manager.AddEventListener(&later, THERMAL_EVENT);
  std::thread dispatch([&] { manager.DispatchEvent(THERMAL_EVENT, L"z", 1); });
  blocking.mInside.get_future().wait();
  // `later` is not being called: its removal returns at once, and the
  // dispatch under way passes it by.
  manager.RemoveEventListener(&later, THERMAL_EVENT);
  std::promise<void> removing;
  std::thread remover([&] {
    removing.set_value();
    manager.RemoveEventListener(&blocking, THERMAL_EVENT);
    removed = true;
  });
  removing.get_future().wait();
  blocking.mRelease.set_value();
  remover.join();
  dispatch.join();
  EXPECT_FALSE(blocking.mRemovedBeforeReturn);
  EXPECT_EQ(blocking.Count(), 1u);
  EXPECT_EQ(later.Count(), 0u);
}

// A listener that throws is logged with the kind and the name; the others are
// still called, and the delivering thread goes on.
TEST_F(ListenerTableTest, AThrowingListenerIsLoggedAndTheDispatchGoesOn) {
  struct CThrowing : CEventListener {
    explicit CThrowing(bool standard) : standard(standard) {}
    int ProcessEvent(VelmarEventListenerType, std::wstring, int, void*) override {
      standard ? throw std::runtime_error("no room") : throw 7;
    }
    bool standard;
  } throwing(true), anything(false);
  CRecordingListener after;
  CEventManager manager;
  for (CEventListener* listener :
       std::initializer_list<CEventListener*>{&throwing, &anything, &after}) {
    manager.AddEventListener(listener, REMOVE_DEVICE_EVENT);
  }
  std::thread([&] { manager.DispatchEvent(REMOVE_DEVICE_EVENT, L"fan", 1); }).join();
  EXPECT_EQ(after.Count(), 1u);
  EXPECT_EQ(mLog.LevelOf("Listener failed on event 16 for fan: no room"), "ERROR");
  EXPECT_EQ(mLog.LevelOf("Listener failed on event 16 for fan: unknown exception"), "ERROR");
}

}  // namespace
