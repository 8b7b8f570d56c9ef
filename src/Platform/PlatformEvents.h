// Platform events stand-in: the events the operating system itself reports
// about the thermal participants, beside those of the firmware and the
// drivers. On Linux these are the kernel's thermal netlink events and its
// uevents, which the platform turns into what the library already listens to
// (a sensor's driver notification value, a participant instance created or
// deleted); the simulated platform raises its events directly and has nothing
// to start.
//
// The event manager starts the source when it starts watching and stops it
// when it goes. Thread-safe.
#pragma once

#include <functional>
#include <string>

enum class PlatformEventsLevel { Warning, Error };

// How a running source tells its owner about trouble (events lost, a reader
// restarted), in words for the log. Called on the source's own threads.
using PlatformEventsReport = std::function<void(PlatformEventsLevel, const std::string&)>;

class CPlatformEvents {
 public:
  virtual ~CPlatformEvents() = default;
  // Starts reporting. False, with `why` in words, where the operating system
  // offers not all of its events: what can still watch runs (none where it
  // offers none). Starting a running source succeeds and changes nothing.
  // `report` is kept until Stop returns.
  virtual bool Start(std::string& why, PlatformEventsReport report) = 0;
  // Stops reporting; when it returns nothing more is reported.
  virtual void Stop() = 0;
};
