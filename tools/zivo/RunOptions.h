// The options of zivo run, beside the shared ones:
//
//   --interval SECONDS  how often every sensor is read and the policy applied
//                       (default 5; simulated seconds on a handheld)
//   --apply             act: write throttle states and take the power action
//                       (without it, a dry run that prints "would")
//   --speed N           simulated handheld: its clock runs N times faster
//   --duration SECONDS  end after that long (simulated seconds on a handheld)
//   --failsafe-after N  failed readings in a row before a sensor's devices go
//                       to their limit (default 3)
//   --state-dir DIR     with --apply: the lock and the record of the states
//                       to put back (default /run/zivo)
//   --record FILE       keep a record of the run (RunRecord.h) in FILE
//   --metrics-textfile PATH
//                       rewrite the Prometheus textfile PATH at each tick
//   --confirm N         fresh readings in a row at the shutdown temperature
//                       before the power action, and below it less the
//                       hysteresis before a shutdown is cancelled (default 3)
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Commands.h"
#include "PlatformOption.h"

struct RunOptions {
  PlatformOptions platform;
  uint64_t intervalMs = 5000;
  bool apply = false;
  double speed = 1.0;
  std::optional<uint64_t> durationMs;
  int failSafeAfter = 3;
  std::string stateDir = "/run/zivo";
  // False when the policy is the default file (kDefaultPolicyFile).
  bool configGiven = false;
  int confirm = 3;
  std::string recordFile;
  std::string metricsFile;
};

// The policy zivo run applies when no --config is given.
inline constexpr const char* kDefaultPolicyFile = "/etc/zivo/velmarconfig.xml";

// The shared options run offers (no --wide: it prints no table).
extern const unsigned kRunOffers;
// False with a one-line `error` on a mistake.
bool ParseRunOptions(const ZivoArgs& args, RunOptions& options, std::string& error);
const char* RunHelp();
