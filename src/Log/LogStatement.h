// The library's log statements. LOG_DEBUG("text %ls", name.c_str()) writes one
// line "YYYY:MM:DD hh:mm:ss:mmm DEBUG : [..\Folder\File.cpp:line] text\n".
// Wide strings are passed as "%ls" with c_str(). A statement the mask drops
// does not evaluate its arguments.
#pragma once

#include "Log/SourcePath.h"
#include "zivorivizo/Log.h"

#define ZIVO_LOG_AT(level, ...)                                                    \
  do {                                                                             \
    if (CPrint::Admits(level)) {                                                   \
      static constexpr _tagSSourcePath zivoSourcePath_ = MakeSourcePath(__FILE__); \
      CPrint::Statement(level, zivoSourcePath_.text, __LINE__, __VA_ARGS__);       \
    }                                                                              \
  } while (0)

#define LOG_DEBUG(...) ZIVO_LOG_AT(LEVEL_DEBUG, __VA_ARGS__)
#define LOG_WARN(...) ZIVO_LOG_AT(LEVEL_WARN, __VA_ARGS__)
#define LOG_ERROR(...) ZIVO_LOG_AT(LEVEL_ERROR, __VA_ARGS__)
