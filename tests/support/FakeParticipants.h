// Scripted participants for tests of whatever drives CDevice and CSensor
// objects (the participant manager, the sensor history, ...).
//
// Every operation is backed by a CScriptedResult: it counts the call and
// returns the next queued result, or the standing one (0 unless a test says
// otherwise).
//
//   auto* fan = new CFakeDevice(L"Fan0", 9);
//   fan->mGetLimit.FailOnce(ZIVO_IOCTL_FAILED);     // next read fails, then 0
//   fan->mReportedState = 2;                        // what a good read reports
//
// The fakes are meant to be owned by a manager (see TestParticipantMgr.h),
// which destroys them; `mOnDestroy` lets a test see that happen.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "zivorivizo/Device.h"
#include "zivorivizo/Sensor.h"

// The outcome of one operation of a fake.
struct CScriptedResult {
  // Counts the call and returns the next result.
  int Take();
  // Every later call fails with `result` (0 restores success).
  void FailWith(int result) { standing = result; }
  // Only the next call fails with `result`.
  void FailOnce(int result) { queued.push_back(result); }

  int standing = 0;
  std::deque<int> queued;
  int calls = 0;
};

class CFakeDevice : public CDevice {
 public:
  explicit CFakeDevice(std::wstring name, uint32_t deviceClass = 0);
  ~CFakeDevice() override;

  // Follows the device contract: on success the state asked for is read back
  // through GetCurrentThrottleLimit, and a different state is a mismatch.
  int SetCurrentThrottleLimit() override;
  // On success stores mReportedState (when set) into mDevice.Current, or
  // returns 163 when it is above mDevice.Max.
  int GetCurrentThrottleLimit() override;
  int Start() override { return mStart.Take(); }
  int Stop() override { return mStop.Take(); }
  int Shutdown(bool shutdown) override;

  CScriptedResult mSetLimit, mGetLimit, mStart, mStop, mShutdown;
  std::optional<uint32_t> mReportedState;
  std::vector<bool> mShutdownFlags;
  std::function<void()> mOnDestroy;
};

class CFakeSensor : public CSensor {
 public:
  explicit CFakeSensor(std::wstring name, uint32_t sensorClass = 0, int historyLength = 3);
  ~CFakeSensor() override;

  int SetSensorTripValue() override { return mSetTrip.Take(); }
  // A scripted failure of mRefresh is returned at once. Otherwise follows the
  // sensor contract: GetCurrentTemp, the history rule, then GetSensorTripValue.
  int Refresh() override;
  int Start() override { return mStart.Take(); }
  int Stop() override { return mStop.Take(); }
  // Calls mOnGetTemp first, when set; on success writes mTemperature.
  int GetCurrentTemp(int32_t& temperature) override;
  // On success copies the Temp of every mReportedTrips entry into the trip
  // point of the same AuxType.
  int GetSensorTripValue() override;
  int GetTimeStamp(uint32_t& seconds) override;

  // The protected history rule, for tests of the model itself.
  using CSensor::HistoryCap;
  using CSensor::RecordReading;

  CScriptedResult mSetTrip, mRefresh, mStart, mStop, mGetTemp, mGetTrip;
  int32_t mTemperature = 2982;
  uint32_t mTimeStamp = 0;
  std::vector<_tagSAuxTrip> mReportedTrips;
  std::function<void()> mOnDestroy;
  std::function<void()> mOnGetTemp;
};

// Links a sensor and a device both ways, as discovery does; calling it twice
// for one pair makes the double link that a sensor can get when its own list
// and the configuration both name the device.
void LinkParticipants(CSensor& sensor, CDevice& device);
