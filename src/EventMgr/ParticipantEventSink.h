// Receives the creation and deletion events of the firmware's participant
// instances and reports each to the owner with the instance's InstanceName,
// the sink's kind and the event id 1.
#pragma once

#include "EventMgr/EventSink.h"

class CParticipantEventSink : public CEventSink {
 public:
  CParticipantEventSink(COSEventManager* owner, VelmarEventListenerType kind);

  // Skips an object without a readable TargetInstance; ends the call with the
  // failure of an InstanceName that cannot be read.
  HRESULT Indicate(LONG count, std::shared_ptr<CWbemClassObject>* objects) override;

 private:
  COSEventManager* mOwner;  // not owned
  VelmarEventListenerType mKind;
};
