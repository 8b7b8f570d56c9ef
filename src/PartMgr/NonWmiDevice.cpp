#include "PartMgr/NonWmiDevice.h"

#include <utility>

#include "Log/LogStatement.h"
#include "Platform/DriverProtocol.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/StatusCodes.h"

namespace {

// Device types the library knows; any other reported type is stored as 0.
constexpr uint32_t kHighestDeviceClass = 9;

}  // namespace

CNonWmiDevice::CNonWmiDevice(std::wstring path) : mPlatform(CPlatform::Current()) {
  LOG_DEBUG("NonWmiDevice constructor called for %ls", path.c_str());
  uint32_t error = 0;
  mHandle = mPlatform->Devices().Open(path, error);
  if (!mHandle) {
    LOG_ERROR("cant create handle. Error %d", static_cast<int>(error));
    return;
  }

  _tagSDeviceInfoBlock info;
  if (!Request(DRIVER_DEVICE_GET_INFO, {}, std::as_writable_bytes(std::span(&info, 1)))) {
    LOG_ERROR("Can get device info Ioctl Failed");
    return;
  }
  mDevice.Name = std::move(path);
  mDevice.Valid = 0;
  mDevice.Caps = info.Caps;
  mDevice.Max = info.MaxState;
  mDevice.Class = info.Class <= kHighestDeviceClass ? info.Class : 0;

  // A device that cannot report its state yet keeps Current at 0.
  GetCurrentThrottleLimit();

  LOG_DEBUG("CNonWmiDevice created: %ls", mDevice.Name.c_str());
  LOG_DEBUG("********Device DUMP");
  LOG_DEBUG("Caps %d", static_cast<int>(mDevice.Caps));
  LOG_DEBUG("Class %d", static_cast<int>(mDevice.Class));
  LOG_DEBUG("Current %d", static_cast<int>(mDevice.Current));
  LOG_DEBUG("Max %d", static_cast<int>(mDevice.Max));
  LOG_DEBUG("********END Device DUMP");
}

CNonWmiDevice::~CNonWmiDevice() {
  LOG_DEBUG("Deleting %ls", mDevice.Name.c_str());
  mLinkedSensors.clear();
  mHandle.reset();
}

int CNonWmiDevice::GetCurrentThrottleLimit() {
  uint32_t state = 0;
  if (!Request(DRIVER_DEVICE_GET_STATE, {}, std::as_writable_bytes(std::span(&state, 1)))) {
    LOG_ERROR("device get state Ioctl Failed");
    return ZIVO_IOCTL_FAILED;
  }
  if (state > mDevice.Max) {
    LOG_ERROR("Device reporting state which is greater than MAX value: %d",
              static_cast<int>(state));
    return ZIVO_STATE_ABOVE_MAX;
  }
  mDevice.Current = state;
  return ZIVO_SUCCESS;
}

int CNonWmiDevice::SetCurrentThrottleLimit() {
  const uint32_t requested = mDevice.Current;
  if (!Request(DRIVER_DEVICE_SET_STATE, std::as_bytes(std::span(&requested, 1)), {})) {
    LOG_ERROR("device set state Ioctl Failed");
    return ZIVO_IOCTL_FAILED;
  }
  const int status = GetCurrentThrottleLimit();
  if (status != ZIVO_SUCCESS) {
    LOG_ERROR("SetCurrentThrottleLimit: GetCurrentThrottleLimit failed %ls Error:%d",
              mDevice.Name.c_str(), status);
    return status;
  }
  if (mDevice.Current != requested) {
    LOG_ERROR("SetCurrentThrottleLimit. Mismatch in set/get %ls", mDevice.Name.c_str());
    LOG_ERROR("Before %d, After %d", static_cast<int>(requested),
              static_cast<int>(mDevice.Current));
    return ZIVO_THROTTLE_MISMATCH;
  }
  return ZIVO_SUCCESS;
}

int CNonWmiDevice::Start() {
  LOG_DEBUG("Start Called for %ls", mDevice.Name.c_str());
  if (!Request(DRIVER_DEVICE_START, {}, {})) {
    LOG_ERROR("device start Ioctl Failed");
    return ZIVO_IOCTL_FAILED;
  }
  return ZIVO_SUCCESS;
}

int CNonWmiDevice::Stop() {
  LOG_DEBUG("Stop Called for %ls", mDevice.Name.c_str());
  if (!Request(DRIVER_DEVICE_STOP, {}, {})) {
    LOG_ERROR("device stop Ioctl Failed");
    return ZIVO_IOCTL_FAILED;
  }
  return ZIVO_SUCCESS;
}

int CNonWmiDevice::Shutdown(bool shutdown) {
  const uint32_t flag = shutdown ? 1 : 0;
  LOG_DEBUG("Shutdown: Device %ls, bShutdown = %d", mDevice.Name.c_str(), static_cast<int>(flag));
  if (!Request(DRIVER_DEVICE_SHUTDOWN, std::as_bytes(std::span(&flag, 1)), {})) {
    LOG_ERROR("Device Shutdown Ioctl Failed");
    return ZIVO_IOCTL_FAILED;
  }
  return ZIVO_SUCCESS;
}

bool CNonWmiDevice::Request(uint32_t code, std::span<const std::byte> in,
                            std::span<std::byte> out) {
  if (!mHandle) {
    return false;
  }
  // The driver's error number is not reported by any of the device's lines.
  uint32_t error = 0;
  return mHandle->Control(code, in, out, error);
}
