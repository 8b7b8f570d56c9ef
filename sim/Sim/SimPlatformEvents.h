// The simulated platform's event source: its firmware and drivers raise their
// events directly, so starting it only records that it was started. A test
// can make it unavailable, as a kernel without thermal events is.
#pragma once

#include <mutex>
#include <string>

#include "Platform/PlatformEvents.h"

class CSimPlatformEvents : public CPlatformEvents {
 public:
  bool Start(std::string& why, PlatformEventsReport report) override;
  void Stop() override;

  // From now on Start fails with `why` (empty: it succeeds again).
  void SetUnavailable(std::string why);
  bool Running();
  int Starts();  // successful starts of a stopped source

 private:
  std::mutex mLock;
  std::string mUnavailable;
  bool mRunning = false;
  int mStarts = 0;
};
