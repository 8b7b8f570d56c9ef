// The pause of the driver notification thread after its wait on the
// notification key failed `failures` times in a row: doubling from 10 ms,
// never above one second, so a wait that keeps failing neither spins nor
// stalls the watch for long once it works again.
#pragma once

#include <chrono>

inline std::chrono::milliseconds NotifyBackoff(int failures) {
  constexpr std::chrono::milliseconds kFirst{10};
  constexpr std::chrono::milliseconds kMost{1000};
  std::chrono::milliseconds pause = kFirst;
  for (int i = 1; i < failures && pause < kMost; ++i) {
    pause *= 2;
  }
  return pause < kMost ? pause : kMost;
}
