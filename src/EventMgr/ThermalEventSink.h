// Receives the platform's DTMEvent objects and reports each to the owner as a
// thermal event named with the event's InstanceName, whose id is the low 16
// bits of its description's EventCode taken as a signed number.
#pragma once

#include "EventMgr/EventSink.h"

class CThermalEventSink : public CEventSink {
 public:
  CThermalEventSink(COSEventManager* owner, VelmarEventListenerType kind);

  // An object whose event_desc, InstanceName or EventCode cannot be read is
  // skipped with an Error line; the others are still reported.
  HRESULT Indicate(LONG count, std::shared_ptr<CWbemClassObject>* objects) override;

 private:
  COSEventManager* mOwner;  // not owned
  VelmarEventListenerType mKind;
};
