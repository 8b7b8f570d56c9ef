// How the configuration loader reads attribute values: the 254-character
// cut, decimal numbers, temperatures and intervals. The loader and the tools
// that explain a policy file both use these, so that what a tool says about
// a value is what the loader does with it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "zivorivizo/Diagnostics.h"
#include "zivorivizo/ParticipantRecords.h"

// The longest attribute value the loader keeps; longer ones are cut.
inline constexpr std::size_t kMaxConfigAttributeLength = 254;
// The sensor class of a skin sensor, the only one with device paths.
inline constexpr int kSkinSensorClass = static_cast<int>(ZIVO_SKIN_SENSOR_CLASS);

// Cuts `value` to the length the loader keeps; true when it was longer.
bool CutConfigAttribute(std::wstring& value);

// How a decimal attribute read.
enum class DecimalReading {
  Number,      // a number and nothing else (blanks aside)
  Trailing,    // a number followed by other text, which is ignored
  OutOfRange,  // beyond int: the nearest int
  NotANumber,  // no digits at its start: 0
};

// Reads a decimal integer the way a wide input stream extracts an int:
// leading blanks skipped, an optional sign, digits up to the first other
// character. No digits: 0. Out of range: the nearest int.
DecimalReading ReadConfigDecimal(std::wstring_view text, int& value);

// Degrees Celsius as tenths of kelvin (0 degrees is 2732), clamped to int.
int CelsiusToKelvinTenths(int celsius);
// An auxiliary interval as stored: ten times the value, clamped to int.
int TenTimes(int value);
