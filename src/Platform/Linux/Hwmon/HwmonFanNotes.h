// The notes of the hwmon fan channels, kept for the host to take
// (TakeLinuxFanNotes, zivorivizo/Platform.h) beside the lines the channels
// write to the log. One book for the process, as the fan record and the
// number of levels are; it keeps at most kCapacity notes, so a host that
// never takes them costs a bounded amount of memory. Thread-safe: channels
// of any thread keep notes, a host takes them.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

#include "zivorivizo/Platform.h"

class CHwmonFanNotes {
 public:
  static constexpr std::size_t kCapacity = 256;

  static CHwmonFanNotes& Instance();

  // Adds a note; when the book is full the oldest goes.
  void Keep(LinuxFanNote note);
  // Every note kept, oldest first, and forgets them.
  std::vector<LinuxFanNote> Take();

 private:
  std::mutex mLock;
  std::deque<LinuxFanNote> mNotes;
};
