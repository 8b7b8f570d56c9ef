// A device reached through its own driver: opened once by path, described by
// one control request, then each operation is one synchronous request.
#pragma once

#include <memory>
#include <string>

#include "Platform/DeviceIo.h"
#include "zivorivizo/Device.h"

class CPlatform;

class CNonWmiDevice : public CDevice {
 public:
  explicit CNonWmiDevice(std::wstring path);
  ~CNonWmiDevice() override;

  int SetCurrentThrottleLimit() override;
  int GetCurrentThrottleLimit() override;
  int Start() override;
  int Stop() override;
  int Shutdown(bool shutdown) override;

 private:
  std::shared_ptr<CPlatform> mPlatform;
  std::unique_ptr<CDeviceHandle> mHandle;  // null when opening failed
};
