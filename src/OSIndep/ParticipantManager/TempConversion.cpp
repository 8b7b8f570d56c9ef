#include "zivorivizo/TempConversion.h"

#include <algorithm>
#include <limits>

namespace {

// A driver may report any 32-bit value; an absurd one saturates rather than
// overflowing, and still reads as faulty to the sensor that checks it.
int32_t Saturate(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

int KelvinToTenthsKelvin(int32_t kelvin, int32_t* out) {
  *out = Saturate(int64_t{kelvin} * 10);
  return 0;
}

int TenthsKelvinToKelvin(int32_t tenths, int32_t* out) {
  *out = tenths / 10;
  return 0;
}

int CelsiusToTenthsKelvin(int32_t celsius, int32_t* out) {
  *out = Saturate(int64_t{celsius} * 10 + 2732);
  return 0;
}

int TenthsKelvinToCelsius(int32_t tenths, int32_t* out) {
  *out = static_cast<int32_t>((int64_t{tenths} - 2732) / 10);
  return 0;
}

int32_t RawToTenthsKelvin(uint16_t base, int32_t raw) {
  int32_t out = raw;
  if (base == 0) {
    KelvinToTenthsKelvin(raw, &out);
  } else if (base == 2) {
    CelsiusToTenthsKelvin(raw, &out);
  }
  return out;
}

int32_t TenthsKelvinToRaw(uint16_t base, int32_t tenths) {
  int32_t out = tenths;
  if (base == 0) {
    TenthsKelvinToKelvin(tenths, &out);
  } else if (base == 2) {
    TenthsKelvinToCelsius(tenths, &out);
  }
  return out;
}
