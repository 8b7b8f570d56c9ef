// The policy engine of zivo run: from the participant records and the
// thermal policy it decides, sensor by sensor, which device to throttle one
// step further or to release one step, and when the machine must shut down or
// hibernate. It is driven by the command (or a test) and knows nothing of the
// command line, the clock or the events.
//
// The rules, for each sensor whose usage is enabled:
// - at or above its iThrottleStartTemp, the first of its devices (in the
//   order below) that is below its limit goes up by iThrottleStep, capped at
//   the smaller of iThrottleLimit and the device's Max: one step per
//   evaluation, so the throttle grows while the sensor stays hot;
// - below iThrottleStartTemp minus kHysteresis, the last of its devices that
//   this sensor raised goes down by one step (never below 0), provided no
//   other sensor that raised it is still hot (that one releases it when it
//   cools); between the two temperatures the
//   states are held, so a sensor hovering at its start temperature does not
//   flap;
// - at or above iShutdownTemp, the platform option: hibernate
//   (iShutdownOption 1) or shut down after iShutdownTimer seconds, confirmed
//   and asked once as CPowerGuard decides.
// Only the sensors it manages are refreshed and evaluated: those with a
// record in the policy whose usage is enabled.
// A sensor's devices are its linked devices; a skin sensor also takes the
// devices linked to no sensor. Only devices whose record enables their usage
// take part. They are ordered by ascending iPriority (0 first); with the
// active preference (iThrottlePreference 1) the active devices (type 9) come
// before all others.
//
// In a dry run nothing is written and no power action is taken: the engine
// remembers the state each device would hold, so the decisions go on as if
// they had been carried out. The engine does not own the managers; they must
// outlive it. Not thread-safe: one thread drives it.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "zivorivizo/ConfigRecords.h"

class CParticipantMgr;
class CConfigManager;
class CPowerGuard;

// Tenths of kelvin as "41.5 C".
std::string CelsiusText(int tenthsKelvin);

struct PolicyDecision {
  // "throttle", "release", "hibernate", "shutdown", "cancel" (a scheduled
  // shutdown taken back) or "pending" (a power action awaiting confirmation)
  std::string action;
  std::wstring sensor;  // the sensor whose temperature decided
  int temperature = 0;  // its temperature, tenths of kelvin
  int threshold = 0;    // the temperature it was compared with
  std::wstring device;  // throttle and release only
  uint32_t from = 0;    // the device's state before, and after
  uint32_t to = 0;
  std::string record;  // the policy record(s) that applied, in words
  bool applied = false;
  int status = 0;  // the library's answer; for power, 0 when the platform accepted
  // Power only: the reason in full; the platform's error when it refused;
  // whether the library asked by itself; whether a shutdown already pending
  // was left as it stood.
  std::string reason;
  std::string errorName;
  std::string errorMessage;
  bool byLibrary = false;
  bool alreadyScheduled = false;
};

class CPolicyEngine {
 public:
  // Tenths of kelvin below the start temperature before a step is released.
  static constexpr int kHysteresis = 20;

  // `system` is asked for the power actions when `apply` is true.
  CPolicyEngine(CParticipantMgr& participants, CConfigManager& config, CPowerGuard& power,
                bool apply);

  // Refreshes every managed sensor and decides for each.
  std::vector<PolicyDecision> EvaluateAll();
  // True when the policy has a record for the sensor with its usage on.
  bool Manages(const std::wstring& sensor);
  // The sensors the policy does not manage.
  std::vector<std::wstring> Unmanaged();
  // Refreshes one sensor and decides for it (a thermal event).
  std::vector<PolicyDecision> EvaluateSensor(const std::wstring& name);
  // A participant that left: whatever the engine remembered of it goes.
  void Forget(const std::wstring& name);

 private:
  struct Candidate {
    std::wstring name;
    uint32_t current = 0;
    uint32_t limit = 0;
    uint32_t step = 1;
    std::string record;
  };
  // Refreshes a managed sensor and decides for it.
  void Evaluate(const std::wstring& sensor, std::vector<PolicyDecision>& out);
  void Decide(const std::wstring& sensor, std::vector<PolicyDecision>& out);
  std::vector<Candidate> DevicesOf(const std::wstring& sensor, const _tagSSensorConfig& record);
  // True when a sensor other than `sensor` that raised `device` is still hot.
  bool HeldHotByOther(const std::wstring& device, const std::wstring& sensor);
  void Set(Candidate& device, uint32_t to, PolicyDecision& decision);

  CParticipantMgr& mParticipants;
  CConfigManager& mConfig;
  CPowerGuard& mPower;
  bool mApply;
  std::map<std::wstring, uint32_t> mWould;  // dry run: the state a device would hold
  // The devices the engine throttled, each with the sensors that raised it.
  std::map<std::wstring, std::set<std::wstring>> mRaised;
  std::set<std::wstring> mHot;  // sensors at or above their start
};
