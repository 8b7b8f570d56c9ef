// The abstract device participant. The participant manager owns every device
// object; mLinkedSensors holds plain pointers to sensors that the manager also
// owns and keeps consistent with the sensors' mLinkedDevices.
#pragma once

#include <vector>

#include "zivorivizo/Export.h"
#include "zivorivizo/ParticipantRecords.h"

class CSensor;

class ZIVO_EXPORT CDevice {
 public:
  CDevice() = default;
  // Clears mLinkedSensors without touching the sensors.
  virtual ~CDevice();

  // Asks the device to enter mDevice.Current and reads it back; 0 only when
  // the request was accepted and the state read back equals the one asked.
  virtual int SetCurrentThrottleLimit() = 0;
  // Reads the state into mDevice.Current; 163 (Current unchanged) when it is
  // above mDevice.Max.
  virtual int GetCurrentThrottleLimit() = 0;
  virtual int Start() = 0;
  virtual int Stop() = 0;
  virtual int Shutdown(bool shutdown) = 0;

  _tagSDevice mDevice;
  std::vector<CSensor*> mLinkedSensors;
};
