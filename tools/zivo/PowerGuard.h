// The power side of zivo run's policy: when a sensor's readings call for the
// platform's power action, when a shutdown run asked for is taken back, and
// how the requests the library makes by itself are shown. The policy engine
// hands it every fresh reading of a sensor it manages.
//
// - The action needs `confirm` consecutive fresh readings at or above the
//   sensor's iShutdownTemp: one hot sample (a glitch, a reading taken while a
//   fan spins up) does not turn the machine off. Each reading short of that
//   is a "pending" decision.
// - It is asked once per hot episode. A request the platform refused is
//   asked again at the next reading while the sensor stays hot, then after
//   2, 4, ... up to kMaxBackoff readings.
// - Once the sensor has been below iShutdownTemp minus the hysteresis for
//   `confirm` readings, a shutdown that run scheduled is cancelled and the
//   episode ends; a shutdown that was already pending when run asked (the
//   library's own) is not run's to cancel.
// - The library's own requests seen while a sensor was refreshed are shown
//   once per episode (the sensors ask at every reading while one stays
//   faulty), and each time one fails.
//
// Every one of these is a PolicyDecision with its reason. Without --apply
// nothing is asked: the decisions say what would be. It does not own the
// system manager or the power; they must outlive it. One thread drives it.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "PolicyEngine.h"

class CSystemManager;
class CRunPower;
struct PowerOutcome;

class CPowerGuard {
 public:
  static constexpr int kMaxBackoff = 32;

  // `system` is null in a dry run; `power` is the power the library was
  // given (it sees every request, the library's included).
  CPowerGuard(CSystemManager* system, CRunPower& power, int confirm, int hysteresis);

  // A fresh reading of a managed sensor.
  void Reading(const std::wstring& sensor, int temperature, const _tagSSensorConfig& record,
               const _tagSPlatformConfig& platform, std::vector<PolicyDecision>& out);
  // Right after `sensor` was refreshed: the requests the library made. With
  // no sensor, those made while the participants were discovered (each
  // sensor is read once when it is made). `temperature` gives the reading to
  // show; it is asked only when there is a request to show.
  void LibraryRequests(const std::wstring& sensor, const std::function<int()>& temperature,
                       std::vector<PolicyDecision>& out);
  void LibraryRequests(const std::wstring& sensor, int temperature,
                       std::vector<PolicyDecision>& out);
  void Forget(const std::wstring& sensor);

 private:
  struct SensorPower {
    int hot = 0;             // consecutive readings at or above the shutdown temperature
    int cool = 0;            // consecutive readings below it minus the hysteresis
    bool asked = false;      // this episode's action was taken (or would be)
    bool scheduled = false;  // a shutdown run scheduled is pending
    int failures = 0;        // refusals in a row
    int wait = 0;            // readings to let pass before asking again
  };
  // A reading at or above the shutdown temperature: confirmed, then the
  // power action asked once.
  void Hot(PolicyDecision& decision, const _tagSSensorConfig& record,
           const _tagSPlatformConfig& platform, std::vector<PolicyDecision>& out);
  // A reading below it: confirmed below it less the hysteresis, then a
  // shutdown run scheduled is cancelled. A sensor with nothing pending has
  // no entry: such a reading leaves it so.
  void Cool(const std::wstring& sensor, int temperature, const _tagSSensorConfig& record,
            const _tagSPlatformConfig& platform, std::vector<PolicyDecision>& out);
  // Takes the outcome of the call just made into `decision`; false when the
  // platform refused it (the back-off is then set). On success it notes
  // whether run now has a shutdown of its own pending.
  bool Outcome(SensorPower& state, PolicyDecision& decision, int returned);
  // The library requests taken right after `sensor` was refreshed.
  void ShowLibraryRequests(const std::wstring& sensor, const std::vector<PowerOutcome>& outcomes,
                           const std::function<int()>& temperatureNow,
                           std::vector<PolicyDecision>& out);

  CSystemManager* mSystem;
  CRunPower& mPower;
  const int mConfirm;
  const int mHysteresis;
  std::unordered_map<std::wstring, SensorPower> mSensors;
  // The sensors whose last reading brought a library request that was
  // accepted and shown: the same request on the next readings is not shown
  // again. Apart from mSensors, so that a reading without a request (nearly
  // every one) looks at nothing when no sensor is in it.
  std::unordered_set<std::wstring> mLibraryShown;
};
