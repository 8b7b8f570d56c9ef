#include "EventMgr/ThermalEventSink.h"

#include "Log/LogStatement.h"

namespace {

// The event's name and id, or false (with an Error line) when a part of it
// cannot be read.
bool ReadThermalEvent(CWbemClassObject* event, std::wstring& name, int& eventId) {
  CVariant description;
  if (event == nullptr || HrFailed(event->Get(L"event_desc", description)) ||
      description.vt != VT_UNKNOWN || !description.punkVal) {
    LOG_ERROR("Thermal event skipped: %ls cannot be read", L"event_desc");
    return false;
  }
  std::shared_ptr<CWbemClassObject> details = description.punkVal;
  description.Clear();

  CVariant value;
  if (HrFailed(event->Get(L"InstanceName", value)) || value.vt != VT_BSTR) {
    LOG_ERROR("Thermal event skipped: %ls cannot be read", L"InstanceName");
    return false;
  }
  VariantToWString(value, name);
  value.Clear();

  int32_t code = 0;
  if (HrFailed(details->Get(L"EventCode", value)) || HrFailed(VariantToInt32(value, code))) {
    LOG_ERROR("Thermal event skipped: %ls cannot be read", L"EventCode");
    return false;
  }
  eventId = static_cast<int16_t>(static_cast<uint16_t>(code & 0xFFFF));
  return true;
}

}  // namespace

CThermalEventSink::CThermalEventSink(COSEventManager* owner, VelmarEventListenerType kind)
    : mOwner(owner), mKind(kind) {}

HRESULT CThermalEventSink::Indicate(LONG count, std::shared_ptr<CWbemClassObject>* objects) {
  for (LONG i = 0; i < count; ++i) {
    std::wstring name;
    int eventId = 0;
    if (!ReadThermalEvent(objects[i].get(), name, eventId)) {
      continue;
    }
    LOG_DEBUG("Event recieved calling OnRecieve");
    Deliver(mOwner, std::move(name), mKind, eventId);
  }
  return WBEM_S_NO_ERROR;
}
