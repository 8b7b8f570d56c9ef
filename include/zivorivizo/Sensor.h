// The abstract sensor participant. The participant manager owns every sensor
// object; mLinkedDevices holds plain pointers to devices that the manager also
// owns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zivorivizo/Export.h"
#include "zivorivizo/ParticipantRecords.h"

class CDevice;

// TempHistory keeps the newest samples and drops the oldest beyond this many
// more than the history length, so a long run cannot grow it without bound.
inline constexpr int ZIVO_TEMP_HISTORY_HEADROOM = 256;

class ZIVO_EXPORT CSensor {
 public:
  // TempHistory starts with `historyLength` zero samples.
  explicit CSensor(int historyLength);
  // Clears mLinkedDevices without touching the devices.
  virtual ~CSensor();

  // Writes mSensor.TripPoints to the sensor.
  virtual int SetSensorTripValue() = 0;
  // Reads the temperature, records a new first sample when it changed, then
  // re-reads the trip points and returns that status.
  virtual int Refresh() = 0;
  virtual int Start() = 0;
  virtual int Stop() = 0;
  // Tenths of kelvin; does not touch TempHistory.
  virtual int GetCurrentTemp(int32_t& temperature) = 0;
  // Updates the Temp of each trip point whose AuxType the sensor reports.
  virtual int GetSensorTripValue() = 0;
  // Seconds since 1970-01-01 UTC (low 32 bits); always 0.
  virtual int GetTimeStamp(uint32_t& seconds) = 0;

  _tagSSensor mSensor;
  std::vector<CDevice*> mLinkedDevices;

 protected:
  // The history rule of Refresh: inserts `temperature` with the time of
  // GetTimeStamp at the front when the history is empty or its first sample
  // differs, dropping the oldest sample beyond the cap. True when inserted.
  bool RecordReading(int32_t temperature);
  // The most samples TempHistory keeps.
  std::size_t HistoryCap() const { return mHistoryCap; }

 private:
  std::size_t mHistoryCap;
};
