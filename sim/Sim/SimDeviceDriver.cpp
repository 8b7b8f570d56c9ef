#include "Sim/SimDeviceDriver.h"

#include "Platform/DeviceIo.h"

CSimDeviceDriver::CSimDeviceDriver() {
  mInfo.MaxState = 5;
}

_tagSDeviceInfoBlock CSimDeviceDriver::Info() {
  std::lock_guard<std::mutex> hold(mLock);
  return mInfo;
}

void CSimDeviceDriver::SetInfo(const _tagSDeviceInfoBlock& info) {
  std::lock_guard<std::mutex> hold(mLock);
  mInfo = info;
}

void CSimDeviceDriver::SetCaps(uint32_t caps) {
  std::lock_guard<std::mutex> hold(mLock);
  mInfo.Caps = caps;
}

void CSimDeviceDriver::SetMaxState(uint32_t max) {
  std::lock_guard<std::mutex> hold(mLock);
  mInfo.MaxState = max;
}

void CSimDeviceDriver::SetClass(uint32_t deviceClass) {
  std::lock_guard<std::mutex> hold(mLock);
  mInfo.Class = deviceClass;
}

uint32_t CSimDeviceDriver::State() {
  std::lock_guard<std::mutex> hold(mLock);
  return mState;
}

void CSimDeviceDriver::SetState(uint32_t state) {
  std::lock_guard<std::mutex> hold(mLock);
  mState = state;
}

void CSimDeviceDriver::PinReportedState(std::optional<uint32_t> reported) {
  std::lock_guard<std::mutex> hold(mLock);
  mPinned = reported;
}

bool CSimDeviceDriver::Started() {
  std::lock_guard<std::mutex> hold(mLock);
  return mStarted;
}

std::optional<uint32_t> CSimDeviceDriver::ShutdownFlag() {
  std::lock_guard<std::mutex> hold(mLock);
  return mShutdownFlag;
}

bool CSimDeviceDriver::Handle(uint32_t code, std::span<const std::byte> in,
                              std::span<std::byte> out, uint32_t& error) {
  switch (code) {
    case DRIVER_DEVICE_GET_INFO:
      if (!WriteDriverBlock(mInfo, out)) {
        break;
      }
      return true;
    case DRIVER_DEVICE_GET_STATE:
      if (!WriteDriverBlock(mPinned.value_or(mState), out)) {
        break;
      }
      return true;
    case DRIVER_DEVICE_SET_STATE:
      if (!ReadDriverBlock(in, mState)) {
        break;
      }
      return true;
    case DRIVER_DEVICE_START:
      mStarted = true;
      return true;
    case DRIVER_DEVICE_STOP:
      mStarted = false;
      return true;
    case DRIVER_DEVICE_SHUTDOWN: {
      uint32_t flag = 0;
      if (!ReadDriverBlock(in, flag)) {
        break;
      }
      mShutdownFlag = flag;
      return true;
    }
    default:
      error = DEVICE_ERROR_INVALID_FUNCTION;
      return false;
  }
  error = DEVICE_ERROR_INSUFFICIENT_BUFFER;
  return false;
}
