// The listener table and the dispatch: which listeners an event reaches, in
// which order and with which context, the kind mask, the log lines, and
// changes to the table while dispatches run.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "support/EventTest.h"
#include "support/SimPlatformTest.h"

namespace {

class ListenerTableTest : public CSimPlatformTest {};

// Records its own index in a shared order list, to see the call order across
// listeners.
class COrderListener : public CEventListener {
 public:
  COrderListener(std::vector<int>* order, int index) : CEventListener(order), mIndex(index) {}
  int ProcessEvent(VelmarEventListenerType kind, std::wstring, int, void* context) override {
    // Stored under single kinds only: never called with a combination.
    EXPECT_EQ(kind & (kind - 1), 0);
    static_cast<std::vector<int>*>(context)->push_back(mIndex);
    return 0;
  }

 private:
  int mIndex;
};

struct _tagSRegistration {
  int listener;  // index into the test's listeners
  int kinds;
  bool add;  // false: remove
};

struct _tagSDispatchCase {
  const char* name;
  std::vector<_tagSRegistration> steps;
  int kind;                  // dispatched
  std::vector<int> reached;  // listener indexes, in call order
};

TEST_F(ListenerTableTest, AnEventReachesTheListenersStoredUnderExactlyItsKindInOrder) {
  const std::vector<_tagSDispatchCase> cases = {
      {"two kinds at once, first", {{0, 3, true}}, 1, {0}},
      {"two kinds at once, second", {{0, 3, true}}, 2, {0}},
      {"a combined kind reaches nobody", {{0, 3, true}}, 3, {}},
      {"added twice, called twice", {{0, 2, true}, {0, 2, true}}, 2, {0, 0}},
      {"removed once of twice, called once", {{0, 2, true}, {0, 2, true}, {0, 2, false}}, 2, {0}},
      {"registration order within a kind",
       {{2, 8, true}, {1, 16, true}, {0, 8, true}, {1, 8, true}},
       8,
       {2, 0, 1}},
      {"removal keeps the others' order",
       {{0, 4, true}, {1, 4, true}, {2, 4, true}, {1, 4, false}},
       4,
       {0, 2}},
      {"kinds 0 store nothing", {{0, 0, true}}, 1, {}},
      {"removing a stranger changes nothing", {{0, 1, true}, {1, 1, false}}, 1, {0}},
      {"removed for one kind, kept for the other", {{0, 3, true}, {0, 1, false}}, 2, {0}},
      {"no listener for the kind", {{0, 1, true}}, 16, {}},
  };
  for (const _tagSDispatchCase& c : cases) {
    SCOPED_TRACE(c.name);
    CEventManager manager;
    std::vector<int> order;
    std::vector<std::unique_ptr<COrderListener>> listeners;
    for (int i = 0; i < 3; ++i) {
      listeners.push_back(std::make_unique<COrderListener>(&order, i));
    }
    for (const _tagSRegistration& step : c.steps) {
      auto kinds = static_cast<VelmarEventListenerType>(step.kinds);
      CEventListener* listener = listeners[static_cast<std::size_t>(step.listener)].get();
      EXPECT_FALSE(step.add ? manager.AddEventListener(listener, kinds)
                            : manager.RemoveEventListener(listener, kinds));
    }
    EXPECT_FALSE(manager.DispatchEvent(static_cast<VelmarEventListenerType>(c.kind), L"N", 7));
    EXPECT_EQ(order, c.reached);
  }
}

// Changes the table from inside its own ProcessEvent.
class CSelfRemovingListener : public CEventListener {
 public:
  CSelfRemovingListener(CEventManager& manager, CEventListener& newcomer)
      : mManager(manager), mNewcomer(newcomer) {}
  int ProcessEvent(VelmarEventListenerType kind, std::wstring, int, void*) override {
    ++mCalls;
    mManager.RemoveEventListener(this, kind);
    mManager.AddEventListener(&mNewcomer, kind);
    return 0;
  }
  int mCalls = 0;

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

  manager.DispatchEvent(THERMAL_EVENT, L"z", 1);
  // The dispatch under way walks the list it started with.
  EXPECT_EQ(self.mCalls, 1);
  EXPECT_EQ(after.Count(), 1u);
  EXPECT_EQ(newcomer.Count(), 0u);

  manager.DispatchEvent(THERMAL_EVENT, L"z", 2);
  EXPECT_EQ(self.mCalls, 1);
  EXPECT_EQ(after.Count(), 2u);
  EXPECT_EQ(newcomer.Count(), 1u);
}

// Counts its calls, and apart those made on the thread that created it.
class CCountingListener : public CEventListener {
 public:
  int ProcessEvent(VelmarEventListenerType, std::wstring, int, void*) override {
    mCalls.fetch_add(1);
    if (std::this_thread::get_id() == mOwner) {
      mOwnCalls.fetch_add(1);
    }
    return 0;
  }
  std::atomic<int> mCalls{0};
  std::atomic<int> mOwnCalls{0};

 private:
  const std::thread::id mOwner = std::this_thread::get_id();
};

TEST_F(ListenerTableTest, AddAndRemoveAreSafeWhileOtherThreadsDispatch) {
  CEventManager manager;
  CCountingListener steady;
  manager.AddEventListener(&steady, THERMAL_EVENT);
  std::atomic<bool> stop{false};
  constexpr int kDispatchers = 2;
  std::atomic<int> completed[kDispatchers] = {0, 0};
  std::vector<std::thread> dispatchers;
  for (int t = 0; t < kDispatchers; ++t) {
    dispatchers.emplace_back([&, t] {
      while (!stop.load()) {
        manager.DispatchEvent(THERMAL_EVENT, L"zone", 1);
        completed[t].fetch_add(1);
      }
    });
  }
  for (int round = 0; round < 100; ++round) {
    CCountingListener passing;
    manager.AddEventListener(&passing, static_cast<VelmarEventListenerType>(1 | 2));
    manager.RemoveEventListener(&passing, static_cast<VelmarEventListenerType>(1 | 2));
    // Removed: no dispatch that starts from now on reaches it.
    manager.DispatchEvent(THERMAL_EVENT, L"zone", 1);
    EXPECT_EQ(passing.mOwnCalls.load(), 0);
    // A dispatch that began before the removal may still hold it: let every
    // dispatcher finish the one under way and one more before it goes.
    for (auto& count : completed) {
      const int mark = count.load();
      while (count.load() < mark + 2) {
        std::this_thread::yield();
      }
    }
  }
  stop = true;
  for (std::thread& t : dispatchers) {
    t.join();
  }
  EXPECT_GT(steady.mCalls.load(), 0);
}

}  // namespace
