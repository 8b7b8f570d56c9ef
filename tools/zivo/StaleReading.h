// Why a sensor has no fresh reading, in words, for zivo run's warning lines.
#pragma once

#include <string>

// "thermal_zone0: its reading failed (114: ...)", followed on the Linux
// platform by the file and the errno text of the failed access
// (": /sys/.../temp: Is a directory (EISDIR)") when there is one.
std::string StaleReadingText(const std::wstring& sensor, int status);
