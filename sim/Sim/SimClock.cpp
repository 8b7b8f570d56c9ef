#include "Sim/SimClock.h"

_tagSLocalTime CSimClock::LocalNow() {
  std::lock_guard<std::mutex> hold(mLock);
  return mLocal;
}

uint64_t CSimClock::UtcSeconds() {
  std::lock_guard<std::mutex> hold(mLock);
  return mUtcSeconds;
}

void CSimClock::SetLocal(const _tagSLocalTime& now) {
  std::lock_guard<std::mutex> hold(mLock);
  mLocal = now;
}

void CSimClock::SetUtcSeconds(uint64_t seconds) {
  std::lock_guard<std::mutex> hold(mLock);
  mUtcSeconds = seconds;
  mUtcMillis = 0;
}

void CSimClock::Advance(uint64_t milliseconds) {
  std::lock_guard<std::mutex> hold(mLock);
  mUtcMillis += milliseconds;
  mUtcSeconds += mUtcMillis / 1000;
  mUtcMillis %= 1000;
  uint64_t ms = static_cast<uint64_t>(mLocal.milliseconds) + milliseconds;
  mLocal.milliseconds = static_cast<int>(ms % 1000);
  uint64_t seconds = static_cast<uint64_t>(mLocal.second) + ms / 1000;
  mLocal.second = static_cast<int>(seconds % 60);
  uint64_t minutes = static_cast<uint64_t>(mLocal.minute) + seconds / 60;
  mLocal.minute = static_cast<int>(minutes % 60);
  mLocal.hour = static_cast<int>((static_cast<uint64_t>(mLocal.hour) + minutes / 60) % 24);
}
