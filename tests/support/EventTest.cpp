#include "support/EventTest.h"

#include <algorithm>

int CRecordingListener::ProcessEvent(VelmarEventListenerType kind, std::wstring name, int eventId,
                                     void* context) {
  {
    std::lock_guard<std::mutex> hold(mLock);
    mHeard.push_back({kind, std::move(name), eventId, context, std::this_thread::get_id()});
  }
  mChanged.notify_all();
  return 0;
}

bool CRecordingListener::WaitFor(std::size_t count) {
  std::unique_lock<std::mutex> hold(mLock);
  return mChanged.wait_for(hold, kEventWait, [&] { return mHeard.size() >= count; });
}

bool CRecordingListener::WaitForName(const std::wstring& name) {
  std::unique_lock<std::mutex> hold(mLock);
  return mChanged.wait_for(hold, kEventWait, [&] {
    return std::any_of(mHeard.begin(), mHeard.end(),
                       [&](const _tagSHeardEvent& heard) { return heard.name == name; });
  });
}

std::vector<_tagSHeardEvent> CRecordingListener::Heard() {
  std::lock_guard<std::mutex> hold(mLock);
  return mHeard;
}

std::size_t CRecordingListener::Count() {
  std::lock_guard<std::mutex> hold(mLock);
  return mHeard.size();
}

const std::vector<std::wstring>& CEventTest::SensorPaths() {
  static const std::vector<std::wstring> paths = {L"\\\\.\\ZSens0", L"\\\\.\\ZSens1",
                                                  L"\\\\.\\ZSens2"};
  return paths;
}

void CEventTest::SetUp() {
  CManagerTest::SetUp();
  SeedDrivers(SensorPaths(), {});
  for (int i = 0; i < static_cast<int>(SensorPaths().size()); ++i) {
    Notify(i, 0);
  }
  Manager();
}

void CEventTest::TearDown() {
  COSEventManager::DeleteInstance();
  CManagerTest::TearDown();
}

COSEventManager& CEventTest::Events() {
  return *COSEventManager::GetInstance();
}

void CEventTest::Notify(int index, uint32_t value) {
  Registry().SetDword(DRIVER_NOTIFY_KEY, L"Sensor" + std::to_wstring(index), value);
}

uint32_t CEventTest::NotifyValue(int index) {
  uint32_t value = 0xDEAD;
  Registry().ReadDword(DRIVER_NOTIFY_KEY, L"Sensor" + std::to_wstring(index), value);
  return value;
}

void CEventTest::Delivered() {
  ASSERT_TRUE(Wmi().WaitDelivered(5000)) << "events still undelivered";
}

void CRecordingListener::Clear() {
  std::lock_guard<std::mutex> hold(mLock);
  mHeard.clear();
}
