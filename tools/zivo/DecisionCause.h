// Why zivo run made a decision, from a fixed set (the "reason" label of
// zivo_decisions_total): the throttle start reached, the release temperature,
// the chip's critical limit, a stopped fan kicked, no fresh reading
// (failsafe), the shutdown temperature, cooled below it (a shutdown
// cancelled), or the library's own request.
#pragma once

enum class DecisionCause {
  None,
  ThrottleStart,
  ReleaseTemperature,
  CriticalLimit,
  FanStopped,
  NoReading,
  ShutdownTemperature,
  Cooled,
  Library
};

// "throttle_start", "release_temperature", "critical_limit", "fan_stopped",
// "no_reading", "shutdown_temperature", "cooled", "library"; "" for None.
const char* DecisionCauseLabel(DecisionCause cause);
