#include <systemd/sd-journal.h>

#include "Log/JournalEntry.h"
#include "zivorivizo/Log.h"

void CJournalLogger::Write(char* text) {
  if (text == nullptr) {
    return;
  }
  mPending += text;
  // One entry per line: a library statement arrives whole, a host's raw
  // pieces are gathered up to their line end.
  for (std::size_t end = mPending.find('\n'); end != std::string::npos; end = mPending.find('\n')) {
    const JournalEntry entry = ParseJournalLine(std::string_view(mPending).substr(0, end));
    mPending.erase(0, end + 1);
    if (entry.message.empty() && entry.file.empty()) {
      continue;
    }
    if (entry.file.empty()) {
      sd_journal_send("MESSAGE=%s", entry.message.c_str(), "PRIORITY=%d", entry.priority, nullptr);
    } else {
      sd_journal_send("MESSAGE=%s", entry.message.c_str(), "PRIORITY=%d", entry.priority,
                      "CODE_FILE=%s", entry.file.c_str(), "CODE_LINE=%s", entry.line.c_str(),
                      nullptr);
    }
  }
}
