#include "ConfigMgr/ConfigValues.h"

#include <climits>
#include <cstdint>

namespace {

constexpr int kKelvinTenthsAtZeroCelsius = 2732;

bool IsStreamBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

int Clamp(int64_t value) {
  if (value > INT_MAX) {
    return INT_MAX;
  }
  if (value < INT_MIN) {
    return INT_MIN;
  }
  return static_cast<int>(value);
}

}  // namespace

bool CutConfigAttribute(std::wstring& value) {
  if (value.size() <= kMaxConfigAttributeLength) {
    return false;
  }
  value.resize(kMaxConfigAttributeLength);
  return true;
}

DecimalReading ReadConfigDecimal(std::wstring_view text, int& value) {
  value = 0;
  std::size_t at = 0;
  while (at < text.size() && IsStreamBlank(text[at])) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
    negative = text[at] == L'-';
    ++at;
  }
  const std::size_t firstDigit = at;
  int64_t magnitude = 0;
  constexpr int64_t kCeiling = int64_t{INT_MAX} + 2;  // past any int, either sign
  while (at < text.size() && text[at] >= L'0' && text[at] <= L'9') {
    if (magnitude < kCeiling) {
      magnitude = magnitude * 10 + (text[at] - L'0');
    }
    ++at;
  }
  if (at == firstDigit) {
    return DecimalReading::NotANumber;
  }
  const int64_t signedValue = negative ? -magnitude : magnitude;
  value = Clamp(signedValue);
  if (value != signedValue) {
    return DecimalReading::OutOfRange;
  }
  while (at < text.size() && IsStreamBlank(text[at])) {
    ++at;
  }
  return at < text.size() ? DecimalReading::Trailing : DecimalReading::Number;
}

int CelsiusToKelvinTenths(int celsius) {
  return Clamp(int64_t{celsius} * 10 + kKelvinTenthsAtZeroCelsius);
}

int TenTimes(int value) {
  return Clamp(int64_t{value} * 10);
}
