#include "DecisionCause.h"

const char* DecisionCauseLabel(DecisionCause cause) {
  switch (cause) {
    case DecisionCause::ThrottleStart:
      return "throttle_start";
    case DecisionCause::ReleaseTemperature:
      return "release_temperature";
    case DecisionCause::CriticalLimit:
      return "critical_limit";
    case DecisionCause::FanStopped:
      return "fan_stopped";
    case DecisionCause::NoReading:
      return "no_reading";
    case DecisionCause::ShutdownTemperature:
      return "shutdown_temperature";
    case DecisionCause::Cooled:
      return "cooled";
    case DecisionCause::Library:
      return "library";
    case DecisionCause::None:
      break;
  }
  return "";
}
