// The listener table and the dispatch: which listeners an event reaches, in
// which order, and changes to the table while dispatches run.
#include <gtest/gtest.h>

#include "support/EventTest.h"
#include "support/SimPlatformTest.h"

namespace {

class ListenerTableTest : public CSimPlatformTest {};

// Records its own index in a shared order list, to see the call order across
// listeners; it is only ever called with a single kind.
class COrderListener : public CEventListener {
 public:
  COrderListener(std::vector<int>* order, int index) : CEventListener(order), mIndex(index) {}
  int ProcessEvent(VelmarEventListenerType kind, std::wstring, int, void* context) override {
    EXPECT_EQ(kind & (kind - 1), 0);
    static_cast<std::vector<int>*>(context)->push_back(mIndex);
    return 0;
  }

 private:
  int mIndex;
};

struct Step {
  int listener;
  int kinds;
  bool add;  // false: remove
};

TEST_F(ListenerTableTest, AnEventReachesTheListenersStoredUnderExactlyItsKindInOrder) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    int kind;                  // dispatched
    std::vector<int> reached;  // listener indexes, in call order
  };
  const std::vector<Case> cases = {
      {"two kinds at once, first", {{0, 3, true}}, 1, {0}},
      {"two kinds at once, second", {{0, 3, true}}, 2, {0}},
      {"a combined kind reaches nobody", {{0, 3, true}}, 3, {}},
      {"added twice, called twice", {{0, 2, true}, {0, 2, true}}, 2, {0, 0}},
      {"removed once of twice", {{0, 2, true}, {0, 2, true}, {0, 2, false}}, 2, {0}},
      {"in order", {{2, 8, true}, {1, 16, true}, {0, 8, true}, {1, 8, true}}, 8, {2, 0, 1}},
      {"removal keeps order", {{0, 4, true}, {1, 4, true}, {2, 4, true}, {1, 4, false}}, 4, {0, 2}},
      {"kinds 0 store nothing", {{0, 0, true}}, 1, {}},
      {"removing a stranger", {{0, 1, true}, {1, 1, false}}, 1, {0}},
      {"removed for one kind only", {{0, 3, true}, {0, 1, false}}, 2, {0}},
      {"no listener for the kind", {{0, 1, true}}, 16, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CEventManager manager;
    std::vector<int> order;
    std::vector<std::unique_ptr<COrderListener>> listeners;
    for (int i = 0; i < 3; ++i) {
      listeners.push_back(std::make_unique<COrderListener>(&order, i));
    }
    for (const Step& step : c.steps) {
      auto kinds = static_cast<VelmarEventListenerType>(step.kinds);
      CEventListener* listener = listeners[static_cast<std::size_t>(step.listener)].get();
      EXPECT_FALSE(step.add ? manager.AddEventListener(listener, kinds)
                            : manager.RemoveEventListener(listener, kinds));
    }
    EXPECT_FALSE(manager.DispatchEvent(static_cast<VelmarEventListenerType>(c.kind), L"N", 7));
    EXPECT_EQ(order, c.reached);
  }
}

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
