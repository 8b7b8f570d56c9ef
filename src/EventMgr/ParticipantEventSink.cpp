#include "EventMgr/ParticipantEventSink.h"

CParticipantEventSink::CParticipantEventSink(COSEventManager* owner, VelmarEventListenerType kind)
    : mOwner(owner), mKind(kind) {}

HRESULT CParticipantEventSink::Indicate(LONG count, std::shared_ptr<CWbemClassObject>* objects) {
  for (LONG i = 0; i < count; ++i) {
    CVariant target;
    if (!objects[i] || HrFailed(objects[i]->Get(L"TargetInstance", target)) ||
        target.vt != VT_UNKNOWN || !target.punkVal) {
      continue;
    }
    CVariant value;
    const HRESULT hr = target.punkVal->Get(L"InstanceName", value);
    if (HrFailed(hr)) {
      return hr;
    }
    std::wstring name;
    VariantToWString(value, name);
    Deliver(mOwner, std::move(name), mKind, 1);
  }
  return WBEM_S_NO_ERROR;
}
