#include "support/FakeParticipants.h"

#include <utility>

#include "zivorivizo/StatusCodes.h"

int CScriptedResult::Take() {
  ++calls;
  if (queued.empty()) return standing;
  const int result = queued.front();
  queued.pop_front();
  return result;
}

CFakeDevice::CFakeDevice(std::wstring name, uint32_t deviceClass) {
  mDevice.Name = std::move(name);
  mDevice.Class = deviceClass;
  mDevice.Max = 10;
}

CFakeDevice::~CFakeDevice() {
  if (mOnDestroy) mOnDestroy();
}

int CFakeDevice::SetCurrentThrottleLimit() {
  const uint32_t requested = mDevice.Current;
  int result = mSetLimit.Take();
  if (result == ZIVO_SUCCESS) result = GetCurrentThrottleLimit();
  if (result != ZIVO_SUCCESS) return result;
  return mDevice.Current == requested ? ZIVO_SUCCESS : ZIVO_THROTTLE_MISMATCH;
}

int CFakeDevice::GetCurrentThrottleLimit() {
  const int result = mGetLimit.Take();
  if (result != ZIVO_SUCCESS || !mReportedState.has_value()) return result;
  if (*mReportedState > mDevice.Max) return ZIVO_STATE_ABOVE_MAX;
  mDevice.Current = *mReportedState;
  return ZIVO_SUCCESS;
}

int CFakeDevice::Shutdown(bool shutdown) {
  mShutdownFlags.push_back(shutdown);
  return mShutdown.Take();
}

CFakeSensor::CFakeSensor(std::wstring name, uint32_t sensorClass, int historyLength)
    : CSensor(historyLength) {
  mSensor.Name = std::move(name);
  mSensor.Class = sensorClass;
}

CFakeSensor::~CFakeSensor() {
  if (mOnDestroy) mOnDestroy();
}

int CFakeSensor::Refresh() {
  int result = mRefresh.Take();
  int32_t temperature = 0;
  if (result == ZIVO_SUCCESS) result = GetCurrentTemp(temperature);
  if (result != ZIVO_SUCCESS) return result;
  RecordReading(temperature);
  return GetSensorTripValue();
}

int CFakeSensor::GetCurrentTemp(int32_t& temperature) {
  if (mOnGetTemp) mOnGetTemp();
  const int result = mGetTemp.Take();
  if (result == ZIVO_SUCCESS) temperature = mTemperature;
  return result;
}

int CFakeSensor::GetSensorTripValue() {
  const int result = mGetTrip.Take();
  if (result != ZIVO_SUCCESS) return result;
  for (const _tagSAuxTrip& reported : mReportedTrips) {
    for (_tagSAuxTrip& trip : mSensor.TripPoints) {
      if (trip.AuxType == reported.AuxType) trip.Temp = reported.Temp;
    }
  }
  return ZIVO_SUCCESS;
}

int CFakeSensor::GetTimeStamp(uint32_t& seconds) {
  seconds = mTimeStamp;
  return ZIVO_SUCCESS;
}

void LinkParticipants(CSensor& sensor, CDevice& device) {
  sensor.mLinkedDevices.push_back(&device);
  device.mLinkedSensors.push_back(&sensor);
}
