// Events and their listeners. An event is a kind (one bit of
// VelmarEventListenerType), a name (the participant or source it is about)
// and an event id. The host derives its listeners from CEventListener and
// registers them with the event manager, for one kind or several at once (a
// bitwise OR of kinds); the manager calls each listener registered for an
// event's kind, in the order of registration.
//
// The manager holds listener pointers only: the host owns its listeners, and a
// listener must stay alive while it is registered and while a dispatch that
// may have picked it up is under way.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "zivorivizo/Export.h"

// One bit per kind of event. A listener is registered for several kinds with
// their bitwise OR; an event carries exactly one kind.
enum VelmarEventListenerType : int {
  THERMAL_EVENT = 1,         // a platform thermal event or a sensor driver's notification
  ADD_SENSOR_EVENT = 2,      // a firmware sensor instance appeared
  REMOVE_SENSOR_EVENT = 4,   // a firmware sensor instance went away
  ADD_DEVICE_EVENT = 8,      // a firmware device instance appeared
  REMOVE_DEVICE_EVENT = 16,  // a firmware device instance went away
};

// The host's listener. Override ProcessEvent; it is called on the thread that
// delivers the event (a platform delivery thread, the driver notification
// thread, or the host's own thread through NotifyEvent), possibly on several
// threads at once.
class ZIVO_EXPORT CEventListener {
 public:
  // `context` is handed back unchanged as the last argument of every
  // ProcessEvent call made to this listener.
  explicit CEventListener(void* context = nullptr);
  virtual ~CEventListener();
  CEventListener(const CEventListener&) = default;
  CEventListener& operator=(const CEventListener&) = default;

  // Called once per event of a kind the listener is registered for (twice if
  // registered twice). The result is ignored. The base does nothing and
  // returns 0.
  virtual int ProcessEvent(VelmarEventListenerType kind, std::wstring name, int eventId,
                           void* context);

  void* Context() const { return mContext; }

 private:
  void* mContext;
};

// The platform-independent event manager: the listener table and the
// dispatch. Thread-safe: listeners may be added and removed while dispatches
// run on other threads, and from inside ProcessEvent. A dispatch calls the
// listeners registered when it started that are still registered when their
// turn comes. Once RemoveEventListener returns, the listener is not called
// again for the kinds removed: the removal waits for a call already under way
// on another thread (a listener removing itself from inside its own
// ProcessEvent does not wait for itself). So a listener must not remove
// another listener whose ProcessEvent may be waiting to remove it in turn.
//
// A listener that throws is logged at Error with the event's kind and name;
// the dispatch goes on with the next listener.
class ZIVO_EXPORT CEventManager {
 public:
  CEventManager();
  // Forgets every registration; no listener is called or deleted.
  virtual ~CEventManager();
  // Copies the registrations (the pointers, not the listeners) and the mask.
  CEventManager(const CEventManager& other);
  CEventManager& operator=(const CEventManager& other);

  // Appends the listener to the list of each kind set in `kinds`, lowest bit
  // first, and sets those bits in the kind mask. Always returns false.
  virtual bool AddEventListener(CEventListener* listener, VelmarEventListenerType kinds);
  // Removes the first entry of the listener from the list of each kind set in
  // `kinds` (ignoring kinds where it is absent) and clears those bits in the
  // kind mask, even when other listeners of the kind remain. Returns once no
  // other thread is calling the listener for those kinds. Always false.
  virtual bool RemoveEventListener(CEventListener* listener, VelmarEventListenerType kinds);
  // Does nothing here; returns 0.
  virtual int Init();

  // True when no bit of `kinds` is set in the kind mask (bits are set by an
  // add and cleared by any remove of that kind).
  bool isEmpty(VelmarEventListenerType kinds);
  // Calls ProcessEvent of every listener stored under exactly `kind`, in
  // registration order, with that listener's context. A combination of kinds
  // reaches nobody. Always returns false.
  bool DispatchEvent(VelmarEventListenerType kind, std::wstring name, int eventId);
  // The host's way to inject an event: DispatchEvent's result.
  bool NotifyEvent(VelmarEventListenerType kind, std::wstring name, int eventId);

 private:
  using CListenerList = std::vector<CEventListener*>;
  // A ProcessEvent call under way: who is called, for which kind, on which
  // thread.
  struct CCall {
    CEventListener* listener;
    int kind;
    std::thread::id thread;
  };

  // Whether `listener` is in the list of `kind`; mLock held.
  bool Registered(int kind, const CEventListener* listener) const;

  // The lists are never changed in place: an add or remove stores a new list,
  // so a dispatch walks the list it took without holding the lock.
  mutable std::mutex mLock;
  std::map<int, std::shared_ptr<const CListenerList>> mListeners;
  int mKindMask = 0;
  // The calls under way, and the signal that one ended.
  std::vector<CCall> mCalls;
  std::condition_variable mCallEnded;
};
