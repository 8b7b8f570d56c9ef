#include "EventMgr/EventSink.h"

#include <mutex>

#include "zivorivizo/OSEventManager.h"

CEventSink::CEventSink() = default;

CEventSink::~CEventSink() {
  mDone = true;
}

HRESULT CEventSink::QueryInterface(REFIID riid, void** object) {
  if (riid == IID_IUnknown || riid == IID_IWbemObjectSink) {
    *object = static_cast<CWbemObjectSink*>(this);
    AddRef();
    return WBEM_S_NO_ERROR;
  }
  return E_NOINTERFACE;
}

ULONG CEventSink::AddRef() {
  return static_cast<ULONG>(++mRefCount);
}

ULONG CEventSink::Release() {
  const LONG left = --mRefCount;
  if (left == 0) {
    delete this;
  }
  return static_cast<ULONG>(left);
}

HRESULT CEventSink::SetStatus(LONG /*flags*/, HRESULT /*result*/, const std::wstring& /*param*/,
                              const std::shared_ptr<CWbemClassObject>& /*object*/) {
  return WBEM_S_NO_ERROR;
}

void CEventSink::Detach() {
  std::unique_lock<std::shared_mutex> hold(mGate);
  mDetached = true;
}

int CEventSink::Deliver(COSEventManager* owner, std::wstring name, VelmarEventListenerType kind,
                        int eventId) {
  std::shared_lock<std::shared_mutex> hold(mGate);
  if (mDetached || owner == nullptr) {
    return 0;
  }
  return owner->OnReceiveEvent(std::move(name), kind, eventId);
}
