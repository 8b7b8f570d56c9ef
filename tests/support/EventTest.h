// Fixture and helpers for the event tests: a recording listener that a test
// can wait on, test access to the event manager's private operations, and a
// simulated platform with a participant manager connected, driver-listed
// sensors and the DriverNotify key.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Platform/DriverProtocol.h"
#include "support/ManagerTest.h"
#include "zivorivizo/EventManager.h"
#include "zivorivizo/OSEventManager.h"

struct _tagSHeardEvent {
  VelmarEventListenerType kind;
  std::wstring name;
  int eventId;
  void* context;
  std::thread::id thread;

  bool operator==(const _tagSHeardEvent& other) const {
    return kind == other.kind && name == other.name && eventId == other.eventId;
  }
};

// Records every ProcessEvent call. Thread-safe.
class CRecordingListener : public CEventListener {
 public:
  explicit CRecordingListener(void* context = nullptr) : CEventListener(context) {}

  int ProcessEvent(VelmarEventListenerType kind, std::wstring name, int eventId,
                   void* context) override;
  // Waits (at most five seconds) until `count` events have been heard.
  bool WaitFor(std::size_t count);
  // Waits (at most five seconds) until an event named `name` has been heard.
  bool WaitForName(const std::wstring& name);
  std::vector<_tagSHeardEvent> Heard();
  std::size_t Count();
  void Clear();

 private:
  std::mutex mLock;
  std::condition_variable mChanged;
  std::vector<_tagSHeardEvent> mHeard;
};

inline constexpr std::chrono::seconds kEventWait{5};

// Firmware participants with nothing but a name.
inline _tagSSimWmiSensor SimSensor(std::wstring name) {
  _tagSSimWmiSensor sensor;
  sensor.instanceName = std::move(name);
  return sensor;
}
inline _tagSSimWmiDevice SimDevice(std::wstring name) {
  _tagSSimWmiDevice device;
  device.instanceName = std::move(name);
  return device;
}

// The event manager's private parts, for tests.
class CEventManagerAccess {
 public:
  static int RegisterEvent(COSEventManager& manager, int kind) {
    return manager.RegisterEvent(static_cast<VelmarEventListenerType>(kind));
  }
  static int UnRegisterEvent(COSEventManager& manager, int kind) {
    return manager.UnRegisterEvent(static_cast<VelmarEventListenerType>(kind));
  }
  static std::size_t Sinks(COSEventManager& manager) { return manager.mSinks.size(); }
  static std::size_t Threads(COSEventManager& manager) { return manager.mThreads.size(); }
};

class CEventTest : public CManagerTest {
 protected:
  // Sensor paths of the parameters key; "Sensor<i>" names the i-th.
  static const std::vector<std::wstring>& SensorPaths();

  void SetUp() override;
  void TearDown() override;

  // The event manager, created on first use after the participant manager.
  COSEventManager& Events();
  // Sets the DriverNotify value of sensor `index`, as its driver does.
  void Notify(int index, uint32_t value);
  uint32_t NotifyValue(int index);
  // Waits until the platform has delivered every event raised so far.
  void Delivered();
};
