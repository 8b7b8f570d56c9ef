#include "zivorivizo/EventManager.h"

#include <algorithm>
#include <exception>

#include "Log/LogStatement.h"

namespace {

// Calls `handle` with each single-bit kind set in `kinds`, lowest first.
template <typename Handle>
void ForEachKind(int kinds, Handle handle) {
  unsigned remainder = static_cast<unsigned>(kinds);
  for (unsigned probe = 1; remainder != 0 && probe != 0; probe <<= 1) {
    if ((remainder & probe) != 0) {
      handle(static_cast<int>(probe));
      remainder &= remainder - 1;
    }
  }
}

}  // namespace

CEventListener::CEventListener(void* context) : mContext(context) {}

CEventListener::~CEventListener() = default;

int CEventListener::ProcessEvent(VelmarEventListenerType /*kind*/, std::wstring /*name*/,
                                 int /*eventId*/, void* /*context*/) {
  return 0;
}

CEventManager::CEventManager() = default;

CEventManager::~CEventManager() {
  LOG_DEBUG("CEventManager Destructor called");
  std::lock_guard<std::mutex> hold(mLock);
  mListeners.clear();
  mKindMask = 0;
}

CEventManager::CEventManager(const CEventManager& other) {
  std::lock_guard<std::mutex> hold(other.mLock);
  mListeners = other.mListeners;
  mKindMask = other.mKindMask;
}

CEventManager& CEventManager::operator=(const CEventManager& other) {
  if (this != &other) {
    std::scoped_lock hold(mLock, other.mLock);
    mListeners = other.mListeners;
    mKindMask = other.mKindMask;
  }
  return *this;
}

bool CEventManager::AddEventListener(CEventListener* listener, VelmarEventListenerType kinds) {
  LOG_DEBUG("Add Event Listner called for %d", static_cast<int>(kinds));
  {
    std::lock_guard<std::mutex> hold(mLock);
    mKindMask |= kinds;
    ForEachKind(kinds, [&](int kind) {
      std::shared_ptr<const CListenerList>& list = mListeners[kind];
      auto grown =
          list ? std::make_shared<CListenerList>(*list) : std::make_shared<CListenerList>();
      grown->push_back(listener);
      list = std::move(grown);
    });
  }
  LOG_DEBUG("Event Listner Added");
  return false;
}

bool CEventManager::RemoveEventListener(CEventListener* listener, VelmarEventListenerType kinds) {
  std::unique_lock<std::mutex> hold(mLock);
  mKindMask &= ~static_cast<int>(kinds);
  ForEachKind(kinds, [&](int kind) {
    auto found = mListeners.find(kind);
    if (found == mListeners.end() || !found->second) {
      return;
    }
    const CListenerList& list = *found->second;
    auto at = std::find(list.begin(), list.end(), listener);
    if (at == list.end()) {
      return;
    }
    auto shrunk = std::make_shared<CListenerList>(list.begin(), at);
    shrunk->insert(shrunk->end(), at + 1, list.end());
    found->second = std::move(shrunk);
  });
  // A call that another thread started before the removal ends first; the
  // caller's own calls (a listener removing itself) do not hold it up.
  const std::thread::id self = std::this_thread::get_id();
  mCallEnded.wait(hold, [&] {
    return std::none_of(mCalls.begin(), mCalls.end(), [&](const CCall& call) {
      return call.listener == listener && (call.kind & kinds) != 0 && call.thread != self;
    });
  });
  return false;
}

bool CEventManager::Registered(int kind, const CEventListener* listener) const {
  const auto found = mListeners.find(kind);
  return found != mListeners.end() && found->second &&
         std::find(found->second->begin(), found->second->end(), listener) != found->second->end();
}

int CEventManager::Init() {
  return 0;
}

bool CEventManager::isEmpty(VelmarEventListenerType kinds) {
  std::lock_guard<std::mutex> hold(mLock);
  return (kinds & mKindMask) == 0;
}

bool CEventManager::DispatchEvent(VelmarEventListenerType kind, std::wstring name, int eventId) {
  LOG_DEBUG("Event Recieved for %ls, Dispatching", name.c_str());
  std::shared_ptr<const CListenerList> listeners;
  {
    std::lock_guard<std::mutex> hold(mLock);
    auto found = mListeners.find(static_cast<int>(kind));
    if (found != mListeners.end()) {
      listeners = found->second;
    }
  }
  LOG_DEBUG("Number of Elements : %d", listeners ? static_cast<int>(listeners->size()) : 0);
  if (!listeners) {
    return false;
  }
  const CCall call{nullptr, static_cast<int>(kind), std::this_thread::get_id()};
  for (CEventListener* listener : *listeners) {
    {
      std::lock_guard<std::mutex> hold(mLock);
      // Removed since this dispatch began: its host may be deleting it.
      if (!Registered(call.kind, listener)) {
        continue;
      }
      mCalls.push_back({listener, call.kind, call.thread});
    }
    // A listener's failure is its own: the other listeners, and the thread
    // that delivers, go on.
    try {
      listener->ProcessEvent(kind, name, eventId, listener->Context());
    } catch (const std::exception& failure) {
      LOG_ERROR("Listener failed on event %d for %ls: %s", call.kind, name.c_str(), failure.what());
    } catch (...) {
      LOG_ERROR("Listener failed on event %d for %ls: %s", call.kind, name.c_str(),
                "unknown exception");
    }
    {
      std::lock_guard<std::mutex> hold(mLock);
      const auto at = std::find_if(mCalls.begin(), mCalls.end(), [&](const CCall& c) {
        return c.listener == listener && c.kind == call.kind && c.thread == call.thread;
      });
      if (at != mCalls.end()) {
        mCalls.erase(at);
      }
    }
    mCallEnded.notify_all();
  }
  return false;
}

bool CEventManager::NotifyEvent(VelmarEventListenerType kind, std::wstring name, int eventId) {
  return DispatchEvent(kind, std::move(name), eventId);
}
