// A device that the platform firmware publishes in WMI: described by its
// DtmDeviceParticipantInformation instance when constructed, then driven by
// the methods of its DtmDeviceControlMethod instance (the control path).
//
// Owned by the participant manager. Calls go through the manager's
// process-wide connection, which the device shares from its construction on.
// No locking: one device is used by one thread at a time. Failures are
// logged and returned as status codes; nothing throws.
#pragma once

#include <memory>

#include "Platform/Variant.h"
#include "zivorivizo/Device.h"

class CPlatform;
class CWbemClassObject;
class CWbemServices;

class CWmiDevice : public CDevice {
 public:
  explicit CWmiDevice(std::shared_ptr<CWbemClassObject> instance);
  ~CWmiDevice() override;

  int SetCurrentThrottleLimit() override;
  int GetCurrentThrottleLimit() override;
  int Start() override;
  int Stop() override;
  int Shutdown(bool shutdown) override;

 private:
  std::shared_ptr<CPlatform> mPlatform;
  std::shared_ptr<CWbemServices> mServices;
  CVariant mInstanceName;  // InstanceName as read
  CVariant mRelPath;       // __RELPATH as read
  CVariant mControlPath;   // VT_BSTR: the control-method instance's path
};
