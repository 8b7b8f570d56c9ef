// STUB: replaced by the real driver-backed device.
#include "PartMgr/NonWmiDevice.h"

#include "zivorivizo/Platform.h"
#include "zivorivizo/StatusCodes.h"

CNonWmiDevice::CNonWmiDevice(std::wstring /*path*/) : mPlatform(CPlatform::Current()) {}
CNonWmiDevice::~CNonWmiDevice() = default;
int CNonWmiDevice::SetCurrentThrottleLimit() {
  return ZIVO_IOCTL_FAILED;
}
int CNonWmiDevice::GetCurrentThrottleLimit() {
  return ZIVO_IOCTL_FAILED;
}
int CNonWmiDevice::Start() {
  return ZIVO_IOCTL_FAILED;
}
int CNonWmiDevice::Stop() {
  return ZIVO_IOCTL_FAILED;
}
int CNonWmiDevice::Shutdown(bool) {
  return ZIVO_IOCTL_FAILED;
}
