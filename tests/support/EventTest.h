// Fixture and helpers for the event tests: a recording listener that a test
// can wait on, test access to the event manager's private operations, and a
// simulated platform with a participant manager connected, three
// driver-listed sensors and the DriverNotify key.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Platform/DriverProtocol.h"
#include "support/ManagerTest.h"
#include "zivorivizo/EventManager.h"
#include "zivorivizo/OSEventManager.h"

struct HeardEvent {
  VelmarEventListenerType kind;
  std::wstring name;
  int eventId;
  std::thread::id thread = {};
  void* context = nullptr;

  bool operator==(const HeardEvent& other) const {
    return kind == other.kind && name == other.name && eventId == other.eventId;
  }
};

// Records every ProcessEvent call. Thread-safe. The waits give up after five
// seconds.
class CRecordingListener : public CEventListener {
 public:
  explicit CRecordingListener(void* context = nullptr) : CEventListener(context) {}
  int ProcessEvent(VelmarEventListenerType kind, std::wstring name, int eventId,
                   void* context) override;
  bool WaitFor(std::size_t count) {
    return WaitUntil([&](auto& heard) { return heard.size() >= count; });
  }
  // Until `name` was heard `times` times.
  bool WaitForName(const std::wstring& name, std::size_t times = 1) {
    return WaitUntil([&](auto& heard) { return Times(heard, name) >= times; });
  }
  // How many of `heard` are for `name`.
  static std::size_t Times(const std::vector<HeardEvent>& heard, const std::wstring& name) {
    return static_cast<std::size_t>(
        std::count_if(heard.begin(), heard.end(), [&](auto& h) { return h.name == name; }));
  }
  std::vector<HeardEvent> Heard();
  std::size_t Count() { return Heard().size(); }
  void Clear() {
    std::lock_guard<std::mutex> hold(mLock);
    mHeard.clear();
  }

 private:
  bool WaitUntil(const std::function<bool(const std::vector<HeardEvent>&)>& done);

  std::mutex mLock;
  std::condition_variable mChanged;
  std::vector<HeardEvent> mHeard;
};

// A firmware sensor with nothing but a name.
inline _tagSSimWmiSensor SimSensor(std::wstring name) {
  _tagSSimWmiSensor sensor;
  sensor.instanceName = std::move(name);
  return sensor;
}

// The event manager's private parts, for tests.
class CEventManagerAccess {
 public:
  static int RegisterEvent(COSEventManager& manager, int kind) {
    return manager.RegisterEvent(static_cast<VelmarEventListenerType>(kind));
  }
  static std::size_t Sinks(COSEventManager& manager) { return manager.mSinks.size(); }
  static std::size_t Threads(COSEventManager& manager) { return manager.mThreads.size(); }
};

class CEventTest : public CManagerTest {
 protected:
  // Sensor paths of the parameters key; "Sensor<i>" names the i-th.
  static const std::vector<std::wstring>& SensorPaths();

  void SetUp() override;

  COSEventManager& Events() { return *COSEventManager::GetInstance(); }
  // Sets the DriverNotify value of sensor `index`, as its driver does.
  void Notify(int index, uint32_t value);
  uint32_t NotifyValue(int index);
  // Waits until the platform has delivered every event raised so far.
  void Delivered() { ASSERT_TRUE(Wmi().WaitDelivered(5000)) << "events still undelivered"; }
};
