// A local time as zivo prints it in front of each line of run and watch:
// "2026-03-01 14:05:09.250".
#pragma once

#include <string>

#include "zivorivizo/Clock.h"

std::string LocalTimeText(const _tagSLocalTime& time);
