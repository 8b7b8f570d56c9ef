// A device reached through its own driver: opened once by path, described by
// one control request, then each operation is one synchronous request
// (DriverProtocol.h). The participant manager owns it.
//
// The constructor never fails as a whole: when the driver cannot be opened or
// does not describe itself, the object keeps an empty Name, and without an
// open driver every operation fails with ZIVO_IOCTL_FAILED. Not thread-safe:
// one device is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "Platform/DeviceIo.h"
#include "zivorivizo/Device.h"

class CPlatform;

class CNonWmiDevice : public CDevice {
 public:
  explicit CNonWmiDevice(std::wstring path);
  ~CNonWmiDevice() override;
  CNonWmiDevice(const CNonWmiDevice&) = delete;
  CNonWmiDevice& operator=(const CNonWmiDevice&) = delete;

  int SetCurrentThrottleLimit() override;
  int GetCurrentThrottleLimit() override;
  int Start() override;
  int Stop() override;
  int Shutdown(bool shutdown) override;

 private:
  // One request to the driver; false when it failed or no driver is open.
  bool Request(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out);

  std::shared_ptr<CPlatform> mPlatform;
  std::unique_ptr<CDeviceHandle> mHandle;  // null when opening failed
};
