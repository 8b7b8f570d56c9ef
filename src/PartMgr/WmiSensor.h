// A temperature sensor that the platform firmware publishes in WMI:
// described by its DtmSensorParticipantInformation instance when
// constructed (unit, device names, trip points), then driven by the methods
// of its DtmSensorControlMethod instance. Two readings in a row at or above
// 255.0 degrees Celsius make it ask the system manager to shut down.
//
// Owned by the participant manager; shares the manager's process-wide
// connection from its construction on. No locking: one sensor is used by one
// thread at a time. The constructor throws the narrow string
// "Type Mismatch in Parameter. Pass a one-dimensional array" (a const char*)
// when List or Trips has other than one dimension; otherwise failures are
// logged and returned as status codes.
//
// A Celsius sensor (Base 2) reports signed 16-bit values, so readings and
// trips below 0 degrees are what they say. SetSensorTripValue refuses (156)
// a trip identifier wider than 16 bits before it sends anything, and
// succeeds once every trip entry, however many there are, reads back what
// was written to it.
#pragma once

#include <memory>

#include "Platform/Variant.h"
#include "zivorivizo/Sensor.h"

class CPlatform;
class CWbemClassObject;
class CWbemServices;

class CWmiSensor : public CSensor {
 public:
  CWmiSensor(int historyLength, std::shared_ptr<CWbemClassObject> instance);
  ~CWmiSensor() override;

  int SetSensorTripValue() override;
  int Refresh() override;
  int Start() override;
  int Stop() override;
  int GetCurrentTemp(int32_t& temperature) override;
  int GetSensorTripValue() override;
  int GetTimeStamp(uint32_t& seconds) override;

 private:
  void ReadDevices(CWbemClassObject& instance, unsigned id);
  void ReadTrips(CWbemClassObject& instance, unsigned id);

  std::shared_ptr<CPlatform> mPlatform;
  std::shared_ptr<CWbemServices> mServices;
  CVariant mInstanceName;  // InstanceName as read
  CVariant mRelPath;       // __RELPATH as read
  CVariant mControlPath;   // VT_BSTR: the control-method instance's path
};
