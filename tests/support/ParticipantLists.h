// Test access to a participant manager's lists, which are protected: tests
// check the order of the lists and the links between their participants.
#pragma once

#include "zivorivizo/ParticipantMgr.h"

struct CParticipantLists : CParticipantMgr {
  static CDeviceList& Devices(CParticipantMgr& manager) {
    return manager.*(&CParticipantLists::mDeviceList);
  }
  static CSensorList& Sensors(CParticipantMgr& manager) {
    return manager.*(&CParticipantLists::mSensorList);
  }
};
