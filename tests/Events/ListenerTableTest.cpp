// The listener table: changes made to it from inside a dispatch.
#include <gtest/gtest.h>

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
