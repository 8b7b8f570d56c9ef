#include "Log/JournalEntry.h"

#include <syslog.h>

namespace {

struct LevelPriority {
  std::string_view name;
  int priority;
};

constexpr LevelPriority kPriorities[] = {
    {"DEBUG", LOG_DEBUG}, {"INFO", LOG_INFO},  {"WARNING", LOG_WARNING},
    {"ERROR", LOG_ERR},   {"FATAL", LOG_CRIT},
};

}  // namespace

JournalEntry ParseJournalLine(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  JournalEntry entry;
  // The level name stands at the start or after the time stamp's blank,
  // followed by " : ".
  std::size_t rest = std::string_view::npos;
  for (const LevelPriority& level : kPriorities) {
    const std::string marker = std::string(level.name) + " : ";
    for (std::size_t at = text.find(marker); at != std::string_view::npos;
         at = text.find(marker, at + 1)) {
      if ((at == 0 || text[at - 1] == ' ') && (rest == std::string_view::npos || at < rest)) {
        entry.priority = level.priority;
        rest = at + marker.size();
        break;
      }
    }
  }
  if (rest == std::string_view::npos) {
    entry.message = text;
    return entry;
  }
  text.remove_prefix(rest);
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find("] ");
    const std::string_view location =
        text.substr(1, close == std::string_view::npos ? text.size() - 1 : close - 1);
    const std::size_t colon = location.rfind(':');
    if (close != std::string_view::npos && colon != std::string_view::npos) {
      entry.file = location.substr(0, colon);
      entry.line = location.substr(colon + 1);
      text.remove_prefix(close + 2);
    }
  }
  entry.message = text;
  return entry;
}
