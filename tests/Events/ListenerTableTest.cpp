// The listener table: changes made to it from inside a dispatch.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
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

}  // namespace

namespace {

// The listener rules, one row each: what a sequence of adds and removes
// leaves, which listeners an event reaches (each with its own context), and
// the kind mask.
TEST_F(ListenerTableTest, ListenerRules) {
  struct Step {
    bool add;
    int listener;  // 0 or 1
    int kinds;
  };
  struct Row {
    const char* name;
    std::vector<Step> steps;
    int kind, eventId;       // the event dispatched
    std::vector<int> heard;  // how often each listener hears it
    int probe;               // isEmpty(probe) ...
    bool empty;              // ... is this
  };
  const std::vector<Row> rows = {
      {"added twice, removed once: called once",
       {{true, 0, 1}, {true, 0, 1}, {false, 0, 1}},
       1,
       1,
       {1, 0},
       1,
       true},
      {"added twice: called twice", {{true, 0, 1}, {true, 0, 1}}, 1, 1, {2, 0}, 1, false},
      {"kinds 3 hears kind 2", {{true, 0, 3}}, 2, 1, {1, 0}, 2, false},
      {"kind 3 reaches nobody", {{true, 0, 3}, {true, 1, 1}}, 3, 1, {0, 0}, 3, false},
      {"one of two removed: the mask says empty, the other still hears",
       {{true, 0, 2}, {true, 1, 2}, {false, 0, 2}},
       2,
       1,
       {0, 1},
       2,
       true},
      {"removing a stranger clears the bit", {{true, 0, 4}, {false, 1, 4}}, 4, 1, {1, 0}, 4, true},
      {"kinds 0 stores nothing", {{true, 0, 0}}, 1, 1, {0, 0}, 31, true},
      {"id 0 is dispatched to both, in order",
       {{true, 1, 1}, {true, 0, 1}},
       1,
       0,
       {1, 1},
       1,
       false},
      {"a new manager is empty", {}, 2, 1, {0, 0}, 2, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    int contexts[2] = {};
    CRecordingListener first(&contexts[0]), second(&contexts[1]);
    CRecordingListener* listeners[2] = {&first, &second};
    CEventManager manager;
    for (const Step& step : row.steps) {
      const auto kinds = static_cast<VelmarEventListenerType>(step.kinds);
      if (step.add) {
        manager.AddEventListener(listeners[step.listener], kinds);
      } else {
        manager.RemoveEventListener(listeners[step.listener], kinds);
      }
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
    int ProcessEvent(VelmarEventListenerType, std::wstring, int, void*) override {
      throw std::runtime_error("no room");
    }
  } throwing;
  struct CThrowingAnything : CEventListener {
    int ProcessEvent(VelmarEventListenerType, std::wstring, int, void*) override { throw 7; }
  } anything;
  CRecordingListener after;
  CEventManager manager;
  manager.AddEventListener(&throwing, REMOVE_DEVICE_EVENT);
  manager.AddEventListener(&anything, REMOVE_DEVICE_EVENT);
  manager.AddEventListener(&after, REMOVE_DEVICE_EVENT);
  std::thread delivery([&] { manager.DispatchEvent(REMOVE_DEVICE_EVENT, L"fan", 1); });
  delivery.join();
  EXPECT_EQ(after.Count(), 1u);
  EXPECT_EQ(mLog.LevelOf("Listener failed on event 16 for fan: no room"), "ERROR");
  EXPECT_EQ(mLog.LevelOf("Listener failed on event 16 for fan: unknown exception"), "ERROR");
}

}  // namespace
