#include "Sim/SimPlatformEvents.h"

bool CSimPlatformEvents::Start(std::string& why, PlatformEventsReport /*report*/) {
  std::lock_guard<std::mutex> hold(mLock);
  if (!mUnavailable.empty()) {
    why = mUnavailable;
    return false;
  }
  if (!mRunning) {
    mRunning = true;
    ++mStarts;
  }
  return true;
}

void CSimPlatformEvents::Stop() {
  std::lock_guard<std::mutex> hold(mLock);
  mRunning = false;
}

void CSimPlatformEvents::SetUnavailable(std::string why) {
  std::lock_guard<std::mutex> hold(mLock);
  mUnavailable = std::move(why);
}

bool CSimPlatformEvents::Running() {
  std::lock_guard<std::mutex> hold(mLock);
  return mRunning;
}

int CSimPlatformEvents::Starts() {
  std::lock_guard<std::mutex> hold(mLock);
  return mStarts;
}
