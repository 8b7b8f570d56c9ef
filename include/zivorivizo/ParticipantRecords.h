// The participant records that cross the exported interface. Temperatures are
// integers in tenths of kelvin (0 degrees Celsius is 2732). Copies are deep.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Device type 9 is what GetActiveDevices selects; sensor type 1 is the skin.
inline constexpr uint32_t ZIVO_ACTIVE_DEVICE_CLASS = 9;
inline constexpr uint32_t ZIVO_SKIN_SENSOR_CLASS = 1;

struct _tagSDevice {
  std::wstring Name;     // driver path, or the WMI InstanceName
  uint32_t Caps = 0;     // capability word, carried and never interpreted
  uint32_t Current = 0;  // throttle state
  uint32_t Max = 0;      // highest throttle state the device accepts
  uint32_t Class = 0;    // device type 0 to 9
  int32_t Valid = 0;     // 1 after the last managed call succeeded, else 0
};

struct _tagSAuxTrip {
  uint32_t AuxType = 0;  // the sensor's identifier of this trip point
  uint16_t Temp = 0;     // tenths of kelvin
};

struct _tagSTempSample {
  int32_t Temp = 0;        // tenths of kelvin
  uint32_t TimeStamp = 0;  // seconds since 1970-01-01 UTC, low 32 bits
};

struct _tagSSensor {
  _tagSSensor() = default;
  // A record with `historyLength` zero samples in TempHistory.
  explicit _tagSSensor(int historyLength)
      : TempHistory(historyLength > 0 ? static_cast<std::size_t>(historyLength) : 0) {}

  std::wstring Name;                         // driver path, or the WMI InstanceName
  uint32_t Caps = 0;                         // carried, never interpreted
  uint16_t Base = 0;                         // raw unit: 0 K, 1 tenths of K, 2 Celsius
  uint16_t Reserved[3] = {0, 0, 0};          // copied, never read
  std::vector<std::wstring> Devices;         // names of the devices it reports for
  std::vector<_tagSAuxTrip> TripPoints;      // normally two
  uint32_t Class = 0;                        // sensor type 0 to 9; 1 is the skin
  int32_t Valid = 0;                         // as in _tagSDevice
  std::vector<_tagSTempSample> TempHistory;  // newest first
};
