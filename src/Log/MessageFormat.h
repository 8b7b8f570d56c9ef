// Formatting of one log message into a bounded buffer.
#pragma once

#include <cstdarg>

// Formats `format` with `args` into [buffer, buffer + capacity) as vsnprintf
// does, except that wide strings and wide characters (%ls, %lc) are written
// as UTF-8 whatever the process locale, so a name with any character keeps
// its statement whole. Precision of %ls counts bytes and never splits a
// character. Returns the length written, cut to capacity - 1 (the text is
// always terminated), or a negative value when the message cannot be
// formatted at all. Allocates nothing.
int FormatLogMessage(char* buffer, int capacity, const char* format, va_list args);
