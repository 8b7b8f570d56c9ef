// Conversions between the library's wide strings and UTF-8, the ASCII case
// fold by which registry and firmware names compare, and numbered names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "zivorivizo/Text.h"

// 'A'-'Z' to 'a'-'z'; every other character as it is.
inline wchar_t FoldAsciiCase(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// `prefix` followed by `number` in decimal ("Device12"), as the registry
// names numbered entries. Written by hand: it runs for every entry of every
// enumeration, and the standard conversion of a number to a wide string goes
// through the C library's wide formatter.
inline std::wstring NumberedName(std::wstring_view prefix, uint32_t number) {
  wchar_t digits[10];
  wchar_t* first = digits + 10;
  do {
    *--first = static_cast<wchar_t>(L'0' + number % 10);
    number /= 10;
  } while (number != 0);
  std::wstring name;
  name.reserve(prefix.size() + static_cast<std::size_t>(digits + 10 - first));
  name.append(prefix);
  name.append(first, digits + 10);
  return name;
}
