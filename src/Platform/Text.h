// Conversions between the library's wide strings and UTF-8, the ASCII case
// fold by which registry and firmware names compare, and numbered names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "zivorivizo/Text.h"

// 'A'-'Z' to 'a'-'z'; every other character as it is.
inline wchar_t FoldAsciiCase(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// A hash of a name for the tables that look names up many times (registry
// values, devices by name): FNV-1a over the characters, where the standard
// string hash runs over four bytes a character. A name's hash is the same
// whether it is held as a string or a view, so such a table finds a view.
struct WideNameHash {
  using is_transparent = void;
  // Not noexcept: the standard tables then keep each entry's hash, and a
  // lookup compares hashes before it compares names.
  std::size_t operator()(std::wstring_view name) const {
    std::uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : name) {
      hash = (hash ^ static_cast<std::uint32_t>(c)) * 1099511628211ull;
    }
    return static_cast<std::size_t>(hash);
  }
};

// `prefix` followed by `number` in decimal ("Device12"), as the registry
// names numbered entries, written into `name`, whose storage is reused: a walk
// of numbered entries builds every name in one buffer. Written by hand: it
// runs for every entry of every enumeration, and the standard conversion of a
// number to a wide string goes through the C library's wide formatter.
inline void WriteNumberedName(std::wstring_view prefix, uint32_t number, std::wstring& name) {
  wchar_t digits[10];
  wchar_t* first = digits + 10;
  do {
    *--first = static_cast<wchar_t>(L'0' + number % 10);
    number /= 10;
  } while (number != 0);
  name.assign(prefix);
  name.append(first, digits + 10);
}

inline std::wstring NumberedName(std::wstring_view prefix, uint32_t number) {
  std::wstring name;
  name.reserve(prefix.size() + 10);
  WriteNumberedName(prefix, number, name);
  return name;
}
