// One log line as the journal logger hands it to the journal: the line
// "YYYY:MM:DD hh:mm:ss:mmm LEVEL : [source:line] message" taken apart into
// the journal's priority, the location piece and the message. The journal
// keeps its own time, so the time stamp is dropped.
#pragma once

#include <string>
#include <string_view>

struct JournalEntry {
  int priority = 6;  // syslog priority: LOG_INFO unless the level says otherwise
  std::string file;  // the location piece's source path, empty when none
  std::string line;  // its line number, as written
  std::string message;
};

// A line without a level name (a host's raw piece) is a message at LOG_INFO
// as it stands; the trailing line end is never part of the message.
JournalEntry ParseJournalLine(std::string_view text);
