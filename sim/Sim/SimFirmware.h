// The simulated platform firmware: the thermal classes it publishes in the
// WMI namespace, with scriptable participants.
//
//   DTMSystemParams                  velmarstatus (1 unless set otherwise)
//   DtmDeviceParticipantInformation  InstanceName (key), caps,
//                                    Control {Current, Maximum}, type
//   DtmDeviceControlMethod           GetThrottleState() -> State,
//                                    SetThrottleState(State), Start(), Stop(),
//                                    Shutdown(Option)
//   DtmSensorParticipantInformation  InstanceName (key), caps, base,
//                                    device {List}, trips {Trips}, type
//   DtmSensorControlMethod           GetCurrentTemperature() -> temperature,
//                                    GetSensorTrip(type) -> temp,
//                                    SetSensorTrip(SensorTripPoint), Start(),
//                                    Stop()
//
// Each participant has an information instance and a control-method instance
// of the same InstanceName. Publishing a participant that was not there
// raises an __InstanceCreationEvent for its information class, withdrawing
// one an __InstanceDeletionEvent (CMemoryWmi::RaiseInstanceEvent); a platform
// thermal event is raised with CMemoryWmi::RaiseThermalEvent. Method calls
// that reach the firmware are recorded with their inputs; a call is made to
// fail in front of the firmware, with a fault plan on the COM stand-in
// (FaultOp::WmiExecMethod), and then changes nothing here.
//
// Thread-safe. The method bodies keep their own state, so the namespace stays
// usable after this object is gone (its participants then answer as they
// last did).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Com.h"
#include "Platform/Variant.h"

class CMemoryWmi;

struct _tagSSimWmiDevice {
  std::wstring instanceName;
  int32_t caps = 0;
  int32_t current = 0;  // throttle state
  int32_t maximum = 0;
  int32_t type = 0;
};

struct _tagSSimWmiSensor {
  std::wstring instanceName;
  int32_t caps = 0;
  int32_t base = 1;            // 0 kelvin, 1 tenths of kelvin, 2 Celsius
  std::vector<int32_t> list;   // numbers of the devices it reports for
  std::vector<int32_t> trips;  // identifier, temperature, ... (sensor's unit)
  int32_t type = 0;
  std::vector<int32_t> temperatures{3000};  // readings in turn; the last repeats
  // When set, published instead of `list` / `trips` (other bounds or
  // dimensions, elements that fail to fetch).
  std::shared_ptr<CSafeArray> listArray;
  std::shared_ptr<CSafeArray> tripsArray;
};

// One method call that reached the firmware.
struct _tagSFirmwareCall {
  std::wstring instanceName;
  std::wstring method;
  std::map<std::wstring, int32_t> inputs;  // the integer inputs that were put
};

class CSimFirmware {
 public:
  // Defines the classes in `wmi` and publishes DTMSystemParams; no
  // participant yet.
  explicit CSimFirmware(std::shared_ptr<CMemoryWmi> wmi);
  ~CSimFirmware();

  void SetVelmarStatus(int32_t status);

  // Publishes a participant (replacing one of the same name), or withdraws
  // one; false when there is none of that name.
  void AddDevice(const _tagSSimWmiDevice& device);
  void AddSensor(const _tagSSimWmiSensor& sensor);
  bool Remove(const std::wstring& instanceName);

  // Devices. By default SetThrottleState takes the state it is given and
  // GetThrottleState reports the state held. A device that does not accept
  // keeps its state (the call still succeeds); a reported state, when set,
  // is what GetThrottleState answers whatever the state held.
  void SetAcceptsThrottle(const std::wstring& instanceName, bool accepts);
  void SetReportedState(const std::wstring& instanceName, std::optional<int32_t> state);
  int32_t ThrottleState(const std::wstring& instanceName);

  // Sensors. Readings are raw, in the sensor's unit. The trip points hold
  // what SetSensorTrip wrote (or the published Trips); GetSensorTrip answers
  // a trip plus the read-back offset (0: the value written).
  void SetTemperatures(const std::wstring& instanceName, std::vector<int32_t> readings);
  void SetTrip(const std::wstring& instanceName, int32_t type, int32_t temperature);
  int32_t Trip(const std::wstring& instanceName, int32_t type);
  void SetTripReadBackOffset(const std::wstring& instanceName, int32_t offset);

  // At most this many calls are kept: when it is reached, the oldest half
  // is dropped, so a long run keeps a bounded record of its newest calls.
  static constexpr std::size_t kMaxRecordedCalls = 2048;
  // Recorded calls, all or those of one method, in order (the newest
  // kMaxRecordedCalls / 2 at least, once that many were made).
  std::vector<_tagSFirmwareCall> Calls(const std::wstring& method = L"");
  void ClearCalls();

  // What the method bodies share with this object (defined in the .cpp).
  struct _tagSState;

 private:
  std::shared_ptr<CMemoryWmi> mWmi;
  std::shared_ptr<_tagSState> mState;
};
