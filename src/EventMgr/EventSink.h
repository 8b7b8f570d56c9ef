// What the event manager's sinks share: the counted-object plumbing through
// which the platform holds them, and a gate that the manager closes before it
// goes, so that a delivery arriving late reaches nobody.
//
// A sink is created with a count of 0; whoever creates it takes the first
// reference at once. It deletes itself on its last Release. Indicate and
// SetStatus run on the platform's delivery threads.
#pragma once

#include <atomic>
#include <shared_mutex>
#include <string>

#include "Platform/Wmi.h"
#include "zivorivizo/EventManager.h"

class COSEventManager;

class CEventSink : public CWbemObjectSink {
 public:
  // IUnknown and IWbemObjectSink: the sink itself, counted once more.
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // The end of a query: ignored.
  HRESULT SetStatus(LONG flags, HRESULT result, const std::wstring& param,
                    const std::shared_ptr<CWbemClassObject>& object) override;

  // Closes the gate: waits for the events being passed to the owner, and
  // passes none later. Not to be called from inside a delivery of this sink.
  void Detach();

 protected:
  CEventSink();
  ~CEventSink() override;

  // Passes one event to `owner` unless the gate is closed; 0 then.
  int Deliver(COSEventManager* owner, std::wstring name, VelmarEventListenerType kind, int eventId);

 private:
  std::atomic<LONG> mRefCount{0};
  bool mDone = false;
  std::shared_mutex mGate;
  bool mDetached = false;
};
