// An hwmon temperature input answering the sensor requests of
// Platform/DriverProtocol.h (docs/linux-platform.md): tempN_input in
// millidegrees Celsius, as tenths of kelvin. A read is failed, never 0 C,
// when the input reads an error (EINVAL, ENODATA, EAGAIN while a GPU
// sleeps), a sentinel (at or below -273.15 C, at or above 250 C: an
// unconnected input) or when tempN_fault says 1. The chip's limits
// (tempN_crit, _max, _emergency) are no aux trips: the sensor reports none
// and refuses to have any set, so no limit is ever written. Every request
// first checks that the view still lists the input (CSysfsLiveEntry).
// Used by one thread at a time.
#pragma once

#include <memory>
#include <optional>

#include "Platform/DeviceIo.h"
#include "Platform/Linux/SysfsAttribute.h"
#include "Platform/Linux/SysfsHandle.h"
#include "Platform/Linux/SysfsLiveEntry.h"

class CHwmonSensorHandle : public CSysfsHandle {
 public:
  // `input` has been opened for reading on `dir`.
  CHwmonSensorHandle(CSysfsLiveEntry entry, CUniqueFd dir, CSysfsAttribute input);

  bool Control(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
               uint32_t& error) override;

 private:
  // The request itself; inline in Control, as it is the hot path of every read.
  [[gnu::always_inline]] inline bool Serve(uint32_t code, std::span<const std::byte> in,
                                           std::span<std::byte> out, uint32_t& error);
  // Inline in this handle's requests: it is the hot path of every refresh.
  [[gnu::always_inline]] inline bool ReadTemperature(int32_t& tenths, uint32_t& error);

  CSysfsLiveEntry mEntry;
  CUniqueFd mDir;
  CSysfsAttribute mInput;
  // tempN_fault, for chips that have it; most do not, and then a reading
  // costs one pread.
  std::optional<CSysfsAttribute> mFault;
  uint32_t mType;
};

// Whether `milli` (millidegrees Celsius) is an hwmon sentinel rather than a
// temperature.
bool HwmonSentinel(int64_t milli);
