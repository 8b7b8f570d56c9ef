// The process-wide event manager of the platform. Init starts the watch on
// the sensor drivers' notification key (one thread) and subscribes to the
// platform's thermal events; adding the first listener of a participant kind
// (sensor or device arriving or leaving) subscribes to that kind. Every event,
// whatever its source, enters through OnReceiveEvent, which drops events with
// id 0 and dispatches the others to the listeners.
//
// Create it after the participant manager (whose connection to the firmware
// interface the subscriptions use) with GetInstance, call Init, and destroy
// it with DeleteInstance before the participant manager. GetInstance and
// DeleteInstance are called from one host thread, not from a listener.
// DeleteInstance cancels every subscription, stops the notification thread
// and waits for the deliveries under way: once it returns, no listener is
// called any more. A listener that adds listeners while it runs registers
// them, but no new subscription is made for them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "zivorivizo/EventManager.h"
#include "zivorivizo/Export.h"

class CEventSink;
class CPlatform;
class CRegistryKey;
class CUnknown;
class CUnsecuredApartment;
class CWbemObjectSink;

class ZIVO_EXPORT COSEventManager : public CEventManager {
 public:
  static COSEventManager* GetInstance();
  static void DeleteInstance();

  ~COSEventManager() override;
  // One manager owns its subscriptions and its thread: it is not copied.
  COSEventManager(const COSEventManager&) = delete;
  COSEventManager& operator=(const COSEventManager&) = delete;

  // 0; 57 when the driver notification watch could not be set up (nothing
  // subscribed then), 51 when the thermal subscription failed (the watch
  // stays). A further call subscribes again and keeps the one watch thread.
  int Init() override;
  // Registers the listener and subscribes each participant kind in `kinds`
  // that has no subscription yet. Always false.
  bool AddEventListener(CEventListener* listener, VelmarEventListenerType kinds) override;
  bool RemoveEventListener(CEventListener* listener, VelmarEventListenerType kinds) override;

  // Called by the platform's event sinks and the notification thread: drops
  // an event whose id is 0, dispatches the others. Returns 0.
  int OnReceiveEvent(std::wstring name, VelmarEventListenerType kind, int eventId);

 private:
  friend class CEventManagerAccess;  // tests
  struct CSubscription;

  static constexpr int kSlots = 5;

  COSEventManager();

  int RegisterEvent(VelmarEventListenerType kind);
  int UnRegisterEvent(VelmarEventListenerType kind);
  long RegisterAddSensorEvent();
  long RegisterAddDeviceEvent();
  long RegisterRemoveSensorEvent();
  long RegisterRemoveDeviceEvent();
  long RegisterThermalEvent();
  long Subscribe(int slot, VelmarEventListenerType kind, const wchar_t* query);
  int InitDriverEvents();

  // The notification thread: its entry, and one wait with one scan of every
  // sensor. The monitor returns the wait's status.
  static void WorkerThreadMain(COSEventManager* manager, std::stop_token stop);
  // What the thread remembers between scans: the values whose read failed,
  // reported once until they read again.
  struct CScanState {
    std::set<int> unreadable;
  };
  static long WorkerThreadMonitor(CRegistryKey& key, COSEventManager* manager, std::stop_token stop,
                                  CScanState& state);
  // Looks at the value of every sensor: resets what is set and dispatches
  // the events.
  static void ScanSensors(CRegistryKey& key, COSEventManager* manager, CScanState& state);
  static void ResetNotifyValue(CRegistryKey& key, const std::wstring& valueName);

  static COSEventManager* osEventManager;

  // The number of driver-backed sensors, read at each scan.
  std::atomic<int> mSensorCount{0};
  // The last corrupt sensor count logged: each distinct one is logged once.
  std::atomic<uint32_t> mCountLogged{0};
  // Every sink made, with the manager's one reference on each.
  std::list<CEventSink*> mSinks;
  // The latest apartment, stub and stub sink of each subscription slot
  // (references held by the subscription records below).
  std::array<CUnsecuredApartment*, kSlots> mApartments{};
  std::array<CUnknown*, kSlots> mStubs{};
  std::array<CWbemObjectSink*, kSlots> mStubSinks{};
  // Every subscription made, in order, for cancelling at destruction.
  std::vector<std::unique_ptr<CSubscription>> mSubscriptions;
  // Which participant slots have a subscription from a listener.
  std::array<bool, kSlots> mSubscribed{};
  // Guards the sink list, the slot tables and the subscriptions.
  std::mutex mSubscribeLock;
  // Held while a listener's kinds are checked and subscribed, so that two
  // listeners added at once do not subscribe one kind twice.
  std::mutex mRegisterLock;
  // Set when destruction begins, under both locks: no subscription after it.
  bool mClosing = false;
  // The notification threads, one per Init with sensors.
  std::vector<std::jthread> mThreads;
  std::shared_ptr<CPlatform> mPlatform;
};
