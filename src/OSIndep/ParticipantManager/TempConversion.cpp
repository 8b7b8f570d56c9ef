#include "zivorivizo/TempConversion.h"

int KelvinToTenthsKelvin(int32_t kelvin, int32_t* out) {
  *out = kelvin * 10;
  return 0;
}

int TenthsKelvinToKelvin(int32_t tenths, int32_t* out) {
  *out = tenths / 10;
  return 0;
}

int CelsiusToTenthsKelvin(int32_t celsius, int32_t* out) {
  *out = celsius * 10 + 2732;
  return 0;
}

int TenthsKelvinToCelsius(int32_t tenths, int32_t* out) {
  *out = (tenths - 2732) / 10;
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
