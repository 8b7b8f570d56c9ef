// Why a sensor has no fresh reading, in words, for zivo run's warning lines.
#pragma once

#include <string>

// "thermal_zone0: its reading failed (status 5: ...)".
std::string StaleReadingText(const std::wstring& sensor, int status);
