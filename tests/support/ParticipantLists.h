// Test access to a participant manager's lists, which are protected: tests
// check the order of the lists and the links between their participants.
#pragma once

#include <list>

#include "zivorivizo/ParticipantMgr.h"

struct CParticipantLists : CParticipantMgr {
  static std::list<CDevice*>& Devices(CParticipantMgr& manager) {
    return manager.*(&CParticipantLists::mDeviceList);
  }
  static std::list<CSensor*>& Sensors(CParticipantMgr& manager) {
    return manager.*(&CParticipantLists::mSensorList);
  }
};
