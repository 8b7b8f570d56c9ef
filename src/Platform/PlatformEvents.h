// Platform events stand-in: the events the operating system itself reports
// about the thermal participants, beside those of the firmware and the
// drivers. On Linux these are the kernel's thermal netlink events, which the
// platform turns into what the library already listens to (a sensor's driver
// notification value, a participant instance created or deleted); the
// simulated platform raises its events directly and has nothing to start.
//
// The event manager starts the source when it starts watching and stops it
// when it goes. Thread-safe.
#pragma once

#include <string>

class CPlatformEvents {
 public:
  virtual ~CPlatformEvents() = default;
  // Starts reporting. False, with `why` in words, where the operating system
  // offers no such events; nothing runs then. Starting a running source
  // succeeds and changes nothing.
  virtual bool Start(std::string& why) = 0;
  // Stops reporting; when it returns nothing more is reported.
  virtual void Stop() = 0;
};
