#include "Sim/SimSensorDriver.h"

#include <algorithm>

#include "Platform/DeviceIo.h"

CSimSensorDriver::CSimSensorDriver() {
  mInfo.Base = DRIVER_BASE_TENTHS_KELVIN;
  mInfo.AuxCount = 2;
  mInfo.Aux0Type = 0;
  mInfo.Aux0Trip = 3432;
  mInfo.Aux1Type = 1;
  mInfo.Aux1Trip = 3532;
  mTrips = {0, 3432, 1, 3532};
}

_tagSSensorInfoBlock CSimSensorDriver::Info() {
  std::lock_guard<std::mutex> hold(mLock);
  return mInfo;
}

void CSimSensorDriver::SetInfo(const _tagSSensorInfoBlock& info) {
  std::lock_guard<std::mutex> hold(mLock);
  mInfo = info;
}

void CSimSensorDriver::SetCaps(uint32_t caps) {
  std::lock_guard<std::mutex> hold(mLock);
  mInfo.Caps = caps;
}

void CSimSensorDriver::SetBase(uint16_t base) {
  std::lock_guard<std::mutex> hold(mLock);
  mInfo.Base = base;
}

void CSimSensorDriver::SetType(uint32_t type) {
  std::lock_guard<std::mutex> hold(mLock);
  mInfo.Type = type;
}

void CSimSensorDriver::SetDeviceNumbers(std::initializer_list<uint32_t> numbers) {
  std::lock_guard<std::mutex> hold(mLock);
  mInfo.DeviceCount = static_cast<uint32_t>(numbers.size());
  std::fill(std::begin(mInfo.DeviceNumbers), std::end(mInfo.DeviceNumbers), 0u);
  std::size_t slot = 0;
  for (uint32_t number : numbers) {
    if (slot == DRIVER_MAX_SENSOR_DEVICES) {
      break;
    }
    mInfo.DeviceNumbers[slot++] = number;
  }
}

void CSimSensorDriver::SetAux(uint32_t count, uint32_t aux0Type, uint32_t aux0Trip,
                              uint32_t aux1Type, uint32_t aux1Trip) {
  std::lock_guard<std::mutex> hold(mLock);
  mInfo.AuxCount = count;
  mInfo.Aux0Type = aux0Type;
  mInfo.Aux0Trip = aux0Trip;
  mInfo.Aux1Type = aux1Type;
  mInfo.Aux1Trip = aux1Trip;
}

void CSimSensorDriver::QueueTemps(std::initializer_list<int32_t> readings) {
  std::lock_guard<std::mutex> hold(mLock);
  mQueued.insert(mQueued.end(), readings.begin(), readings.end());
}

void CSimSensorDriver::SetSteadyTemp(int32_t reading) {
  std::lock_guard<std::mutex> hold(mLock);
  mSteady = reading;
}

int CSimSensorDriver::QueuedTemps() {
  std::lock_guard<std::mutex> hold(mLock);
  return static_cast<int>(mQueued.size());
}

_tagSTripBlock CSimSensorDriver::Trips() {
  std::lock_guard<std::mutex> hold(mLock);
  return mTrips;
}

void CSimSensorDriver::SetTrips(const _tagSTripBlock& trips) {
  std::lock_guard<std::mutex> hold(mLock);
  mTrips = trips;
}

bool CSimSensorDriver::Started() {
  std::lock_guard<std::mutex> hold(mLock);
  return mStarted;
}

bool CSimSensorDriver::Handle(uint32_t code, std::span<const std::byte> in,
                              std::span<std::byte> out, uint32_t& error) {
  switch (code) {
    case DRIVER_SENSOR_GET_INFO:
      if (!WriteDriverBlock(mInfo, out)) {
        break;
      }
      return true;
    case DRIVER_SENSOR_GET_TEMP: {
      const int32_t reading = mQueued.empty() ? mSteady : mQueued.front();
      if (!WriteDriverBlock(reading, out)) {
        break;
      }
      // A reading is used up only when it was delivered.
      if (!mQueued.empty()) {
        mQueued.pop_front();
      }
      return true;
    }
    case DRIVER_SENSOR_GET_TRIPS:
      if (!WriteDriverBlock(mTrips, out)) {
        break;
      }
      return true;
    case DRIVER_SENSOR_SET_TRIPS:
      if (!ReadDriverBlock(in, mTrips)) {
        break;
      }
      return true;
    case DRIVER_SENSOR_START:
      mStarted = true;
      return true;
    case DRIVER_SENSOR_STOP:
      mStarted = false;
      return true;
    default:
      error = DEVICE_ERROR_INVALID_FUNCTION;
      return false;
  }
  error = DEVICE_ERROR_INSUFFICIENT_BUFFER;
  return false;
}

void CSimSensorDriver::SetNotifyValue(std::shared_ptr<CRegistry> registry, std::wstring valueName) {
  std::lock_guard<std::mutex> hold(mLock);
  mNotifyRegistry = std::move(registry);
  mNotifyValue = std::move(valueName);
}

long CSimSensorDriver::Notify(uint32_t value) {
  std::shared_ptr<CRegistry> registry;
  std::wstring name;
  {
    std::lock_guard<std::mutex> hold(mLock);
    registry = mNotifyRegistry;
    name = mNotifyValue;
  }
  if (!registry || name.empty()) {
    return REG_STATUS_NOT_FOUND;
  }
  long status = REG_STATUS_SUCCESS;
  std::unique_ptr<CRegistryKey> key =
      registry->Open(DRIVER_NOTIFY_KEY, REG_ACCESS_READ_WRITE, status);
  if (!key) {
    return status;
  }
  return key->SetDword(name, value);
}
