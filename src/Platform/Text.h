// Conversions between the library's wide strings and UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "zivorivizo/Export.h"

ZIVO_EXPORT std::string ToUtf8(std::wstring_view text);
ZIVO_EXPORT std::wstring FromUtf8(std::string_view text);
