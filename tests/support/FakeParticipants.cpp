#include "support/FakeParticipants.h"

#include <utility>

#include "zivorivizo/StatusCodes.h"

int CScriptedResult::Take() {
  ++calls;
  if (queued.empty()) {
    return standing;
  }
  const int result = queued.front();
  queued.pop_front();
  return result;
}

CFakeDevice::CFakeDevice(std::wstring name, uint32_t deviceClass, CCallJournal* journal)
    : mJournal(journal) {
  mDevice.Name = std::move(name);
  mDevice.Class = deviceClass;
  mDevice.Max = 10;
}

CFakeDevice::~CFakeDevice() {
  if (mOnDestroy) {
    mOnDestroy();
  }
}

void CFakeDevice::Note(const wchar_t* operation) {
  if (mJournal != nullptr) {
    mJournal->push_back(mDevice.Name + L"." + operation);
  }
}

int CFakeDevice::SetCurrentThrottleLimit() {
  Note(L"SetCurrentThrottleLimit");
  const uint32_t requested = mDevice.Current;
  mRequestedStates.push_back(requested);
  const int result = mSetLimit.Take();
  if (result != ZIVO_SUCCESS) {
    return result;
  }
  const int readBack = GetCurrentThrottleLimit();
  if (readBack != ZIVO_SUCCESS) {
    return readBack;
  }
  return mDevice.Current == requested ? ZIVO_SUCCESS : ZIVO_THROTTLE_MISMATCH;
}

int CFakeDevice::GetCurrentThrottleLimit() {
  Note(L"GetCurrentThrottleLimit");
  const int result = mGetLimit.Take();
  if (result != ZIVO_SUCCESS) {
    return result;
  }
  if (mReportedState.has_value()) {
    if (*mReportedState > mDevice.Max) {
      return ZIVO_STATE_ABOVE_MAX;
    }
    mDevice.Current = *mReportedState;
  }
  return ZIVO_SUCCESS;
}

int CFakeDevice::Start() {
  Note(L"Start");
  return mStart.Take();
}

int CFakeDevice::Stop() {
  Note(L"Stop");
  return mStop.Take();
}

int CFakeDevice::Shutdown(bool shutdown) {
  Note(L"Shutdown");
  mShutdownFlags.push_back(shutdown);
  return mShutdown.Take();
}

CFakeSensor::CFakeSensor(std::wstring name, uint32_t sensorClass, int historyLength,
                         CCallJournal* journal)
    : CSensor(historyLength), mJournal(journal) {
  mSensor.Name = std::move(name);
  mSensor.Class = sensorClass;
}

CFakeSensor::~CFakeSensor() {
  if (mOnDestroy) {
    mOnDestroy();
  }
}

void CFakeSensor::Note(const wchar_t* operation) {
  if (mJournal != nullptr) {
    mJournal->push_back(mSensor.Name + L"." + operation);
  }
}

int CFakeSensor::SetSensorTripValue() {
  Note(L"SetSensorTripValue");
  mWrittenTrips.push_back(mSensor.TripPoints);
  return mSetTrip.Take();
}

int CFakeSensor::Refresh() {
  Note(L"Refresh");
  const int result = mRefresh.Take();
  if (result != ZIVO_SUCCESS) {
    return result;
  }
  int32_t temperature = 0;
  const int read = GetCurrentTemp(temperature);
  if (read != ZIVO_SUCCESS) {
    return read;
  }
  RecordReading(temperature);
  return GetSensorTripValue();
}

int CFakeSensor::Start() {
  Note(L"Start");
  return mStart.Take();
}

int CFakeSensor::Stop() {
  Note(L"Stop");
  return mStop.Take();
}

int CFakeSensor::GetCurrentTemp(int32_t& temperature) {
  Note(L"GetCurrentTemp");
  const int result = mGetTemp.Take();
  if (result == ZIVO_SUCCESS) {
    temperature = mTemperature;
  }
  return result;
}

int CFakeSensor::GetSensorTripValue() {
  Note(L"GetSensorTripValue");
  const int result = mGetTrip.Take();
  if (result != ZIVO_SUCCESS) {
    return result;
  }
  for (const _tagSAuxTrip& reported : mReportedTrips) {
    for (_tagSAuxTrip& trip : mSensor.TripPoints) {
      if (trip.AuxType == reported.AuxType) {
        trip.Temp = reported.Temp;
      }
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
