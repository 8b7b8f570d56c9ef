// Conversions between the library's wide strings (names, paths, policy
// texts) and UTF-8, for hosts that print them or read them from a command
// line. Invalid UTF-8 and unpaired surrogates become U+FFFD. Thread-safe.
#pragma once

#include <string>
#include <string_view>

#include "zivorivizo/Export.h"

ZIVO_EXPORT std::string ToUtf8(std::wstring_view text);
ZIVO_EXPORT std::wstring FromUtf8(std::string_view text);
