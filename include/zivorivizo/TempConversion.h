// Conversions between a sensor's raw unit and tenths of kelvin. Divisions
// truncate toward zero. Each stores into `out` and returns 0.
#pragma once

#include <cstdint>

#include "zivorivizo/Export.h"

ZIVO_EXPORT int KelvinToTenthsKelvin(int32_t kelvin, int32_t* out);
ZIVO_EXPORT int TenthsKelvinToKelvin(int32_t tenths, int32_t* out);
ZIVO_EXPORT int CelsiusToTenthsKelvin(int32_t celsius, int32_t* out);
ZIVO_EXPORT int TenthsKelvinToCelsius(int32_t tenths, int32_t* out);

// By a sensor's Base (0 kelvin, 1 tenths of kelvin, 2 Celsius). Any other
// base is taken as tenths of kelvin.
ZIVO_EXPORT int32_t RawToTenthsKelvin(uint16_t base, int32_t raw);
ZIVO_EXPORT int32_t TenthsKelvinToRaw(uint16_t base, int32_t tenths);
