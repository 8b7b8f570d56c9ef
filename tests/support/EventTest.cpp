#include "support/EventTest.h"

#include <chrono>

int CRecordingListener::ProcessEvent(VelmarEventListenerType kind, std::wstring name, int eventId,
                                     void* context) {
  std::lock_guard<std::mutex> hold(mLock);
  mHeard.push_back({kind, std::move(name), eventId, std::this_thread::get_id(), context});
  mChanged.notify_all();
  return 0;
}

bool CRecordingListener::WaitUntil(
    const std::function<bool(const std::vector<HeardEvent>&)>& done) {
  std::unique_lock<std::mutex> hold(mLock);
  return mChanged.wait_for(hold, std::chrono::seconds(5), [&] { return done(mHeard); });
}

std::vector<HeardEvent> CRecordingListener::Heard() {
  std::lock_guard<std::mutex> hold(mLock);
  return mHeard;
}

const std::vector<std::wstring>& CEventTest::SensorPaths() {
  static const std::vector<std::wstring> paths = {L"\\\\.\\ZSens0", L"\\\\.\\ZSens1",
                                                  L"\\\\.\\ZSens2"};
  return paths;
}

void CEventTest::SetUp() {
  CManagerTest::SetUp();
  SeedDrivers(SensorPaths(), {});
  for (int i = 0; i < 3; ++i) {
    Notify(i, 0);
  }
  Manager();
}

void CEventTest::Notify(int index, uint32_t value) {
  Registry().SetDword(DRIVER_NOTIFY_KEY, L"Sensor" + std::to_wstring(index), value);
}

uint32_t CEventTest::NotifyValue(int index) {
  uint32_t value = 0xDEAD;
  Registry().ReadDword(DRIVER_NOTIFY_KEY, L"Sensor" + std::to_wstring(index), value);
  return value;
}
