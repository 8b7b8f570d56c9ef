// Manual clock for tests and the simulated handheld: it shows the time a test
// sets and moves only when told to.
#pragma once

#include <mutex>

#include "zivorivizo/Clock.h"

class CSimClock : public CClock {
 public:
  _tagSLocalTime LocalNow() override;
  uint64_t UtcSeconds() override;

  void SetLocal(const _tagSLocalTime& now);
  void SetUtcSeconds(uint64_t seconds);
  // Moves both clocks forward; the local time is carried into seconds and
  // minutes only (tests do not cross an hour).
  void Advance(uint64_t milliseconds);

 private:
  std::mutex mLock;
  _tagSLocalTime mLocal{2026, 1, 1, 12, 0, 0, 0};
  uint64_t mUtcSeconds = 1767268800;  // 2026-01-01 12:00:00 UTC
  uint64_t mUtcMillis = 0;
};
