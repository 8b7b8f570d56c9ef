// Captures what the library logs during one test. Logging is process-wide, so
// one capturing logger is registered with myPrint for the whole process and
// each CLogCapture clears it and switches every level on.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class CLogCapture {
 public:
  CLogCapture();
  ~CLogCapture();
  CLogCapture(const CLogCapture&) = delete;
  CLogCapture& operator=(const CLogCapture&) = delete;

  // Everything written since construction (or Clear), as the loggers got it.
  std::string Text() const;
  // The text split at line ends.
  std::vector<std::string> Lines() const;
  // The message part (after "] ") of every line, in order.
  std::vector<std::string> Messages() const;
  // Lines whose message part (after "] ") equals `message` exactly.
  int CountMessage(std::string_view message) const;
  bool HasMessage(std::string_view message) const { return CountMessage(message) > 0; }
  // The level name ("DEBUG", "ERROR", ...) of the first line with this message,
  // or "" when there is none.
  std::string LevelOf(std::string_view message) const;
  void Clear();
};
