// The options of zivo watch, beside the shared ones:
//
//   --kinds LIST       which kinds to watch, comma-separated: thermal,
//                      add-sensor, remove-sensor, add-device, remove-device
//                      (default: all)
//   --count N          end after N events (N >= 1)
//   --timeout SECONDS  end after that long (decimals allowed)
//   --speed N          simulated handheld: play its timeline N times faster
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Commands.h"
#include "PlatformOption.h"

struct WatchOptions {
  PlatformOptions platform;
  int kinds = 31;  // a bitwise OR of VelmarEventListenerType
  std::optional<uint64_t> count;
  std::optional<uint64_t> timeoutMs;
  double speed = 1.0;
};

// The shared options watch offers (no --config: it applies no policy; no
// --wide: it prints no table).
extern const unsigned kWatchOffers;
// False with a one-line `error` on a mistake.
bool ParseWatchOptions(const ZivoArgs& args, WatchOptions& options, std::string& error);
const char* WatchHelp();
// "thermal", "add-sensor", ... for one kind; "unknown" for anything else.
const char* WatchKindName(int kind);
// The kinds of a mask, comma-separated.
std::string WatchKindsText(int kinds);
