// Conversions between the library's wide strings and UTF-8, and the ASCII
// case fold by which registry and firmware names compare.
#pragma once

#include <string>
#include <string_view>

#include "zivorivizo/Text.h"

// 'A'-'Z' to 'a'-'z'; every other character as it is.
inline wchar_t FoldAsciiCase(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}
