#include "PowerGuard.h"

#include <algorithm>

#include "RunPower.h"
#include "TextTable.h"
#include "zivorivizo/SystemManager.h"
#include "zivorivizo/Text.h"

namespace {

// A reading at or above this (255.0 C) is a faulty sensor's.
constexpr int kFaultyReading = 5282;

std::string Readings(int n) {
  return std::to_string(n) + (n == 1 ? " reading" : " consecutive readings");
}

// What a shutdown decision rests on: made for a decision that is shown, not
// for every reading.
std::string ShutdownRecordText(const _tagSSensorConfig& record,
                               const _tagSPlatformConfig& platform) {
  return "sensor record: shutdown " + std::to_string(record.iShutdownTemp) +
         "; platform record: option " + std::to_string(platform.iShutdownOption) + ", timer " +
         std::to_string(platform.iShutdownTimer);
}

}  // namespace

CPowerGuard::CPowerGuard(CSystemManager* system, CRunPower& power, int confirm, int hysteresis)
    : mSystem(system), mPower(power), mConfirm(std::max(confirm, 1)), mHysteresis(hysteresis) {}

void CPowerGuard::Forget(const std::wstring& sensor) {
  mSensors.erase(sensor);
  mLibraryShown.erase(sensor);
}

bool CPowerGuard::Outcome(SensorPower& state, PolicyDecision& decision, int returned) {
  const PowerOutcome outcome = ActionOutcome(mPower.Take());
  decision.applied =
      !outcome.kind.empty() && outcome.kind != "privilege" && outcome.answer.accepted;
  decision.alreadyScheduled = decision.applied && outcome.answer.alreadyScheduled;
  if (decision.applied) {
    // What the platform did decides, not the library's number: its
    // Hibernate answers 1 after asking for the hibernation.
    decision.status = 0;
    if (outcome.kind != decision.action && decision.action != "cancel") {
      decision.reason += "; the platform was asked for a " + outcome.kind + " instead";
    }
    state.failures = 0;
    state.wait = 0;
    // A hibernation the platform does not allow falls back to a shutdown,
    // which is run's to cancel as well.
    state.scheduled = outcome.kind == "shutdown" && !outcome.answer.alreadyScheduled;
    return true;
  }
  decision.status = returned != 0 ? returned : 1;
  decision.errorName = outcome.answer.errorName;
  decision.errorMessage =
      outcome.kind.empty() ? "the request did not reach the platform" : outcome.answer.errorMessage;
  ++state.failures;
  state.wait = std::min(1 << std::min(state.failures - 1, 5), kMaxBackoff) - 1;
  decision.reason += state.wait == 0 ? "; asked again at the next reading while it holds"
                                     : "; asked again in " + std::to_string(state.wait + 1) +
                                           " readings while it holds";
  return false;
}

void CPowerGuard::Reading(const std::wstring& sensor, int temperature,
                          const _tagSSensorConfig& record, const _tagSPlatformConfig& platform,
                          std::vector<PolicyDecision>& out) {
  if (record.iShutdownTemp <= 0) {
    return;
  }
  if (temperature < record.iShutdownTemp) {
    Cool(sensor, temperature, record, platform, out);
    return;
  }
  PolicyDecision decision;
  decision.cause = DecisionCause::ShutdownTemperature;
  decision.sensor = sensor;
  decision.temperature = temperature;
  decision.record = ShutdownRecordText(record, platform);
  Hot(decision, record, platform, out);
}

void CPowerGuard::Hot(PolicyDecision& decision, const _tagSSensorConfig& record,
                      const _tagSPlatformConfig& platform, std::vector<PolicyDecision>& out) {
  SensorPower& state = mSensors[decision.sensor];
  state.cool = 0;
  ++state.hot;
  if (state.asked) {
    return;
  }
  decision.threshold = record.iShutdownTemp;
  decision.reason = ToUtf8(decision.sensor) + " at " + CelsiusText(decision.temperature) +
                    " reached its shutdown temperature " + CelsiusText(record.iShutdownTemp);
  if (state.hot < mConfirm) {
    decision.action = "pending";
    decision.reason += ": reading " + std::to_string(state.hot) + " of " +
                       std::to_string(mConfirm) + " before the power action";
    out.push_back(std::move(decision));
    return;
  }
  if (state.wait > 0) {
    --state.wait;
    return;
  }
  const bool hibernate = platform.iShutdownOption == 1;
  decision.action = hibernate ? "hibernate" : "shutdown";
  decision.reason += " on " + Readings(state.hot);
  if (mSystem == nullptr) {
    state.asked = true;
    state.scheduled = !hibernate;
  } else {
    std::wstring message = L"zivo run: " + decision.sensor + L" reached its shutdown temperature";
    mPower.Take();
    const int returned = hibernate
                             ? mSystem->Hibernate(0)
                             : mSystem->SystemShutdown(platform.iShutdownTimer, message.data());
    if (Outcome(state, decision, returned)) {
      state.asked = true;
      if (decision.alreadyScheduled) {
        decision.reason += "; a shutdown already pending stands, its deadline unchanged";
      }
    }
  }
  out.push_back(std::move(decision));
}

void CPowerGuard::Cool(const std::wstring& sensor, int temperature, const _tagSSensorConfig& record,
                       const _tagSPlatformConfig& platform, std::vector<PolicyDecision>& out) {
  const auto known = mSensors.find(sensor);
  if (known == mSensors.end()) {
    // No hot reading to count down from, nothing scheduled or shown.
    return;
  }
  SensorPower& state = known->second;
  state.hot = 0;
  const int release = record.iShutdownTemp - mHysteresis;
  if (temperature >= release) {
    state.cool = 0;
    return;
  }
  if (++state.cool < mConfirm) {
    return;
  }
  if (!state.scheduled) {
    // A fresh state, as good as none.
    mSensors.erase(known);
    return;
  }
  if (state.wait > 0) {
    --state.wait;
    return;
  }
  PolicyDecision decision;
  decision.sensor = sensor;
  decision.temperature = temperature;
  decision.action = "cancel";
  decision.cause = DecisionCause::Cooled;
  decision.record = ShutdownRecordText(record, platform);
  decision.threshold = release;
  decision.reason = ToUtf8(sensor) + " at " + CelsiusText(temperature) + " below " +
                    CelsiusText(release) + " (its shutdown temperature less the hysteresis) on " +
                    Readings(state.cool) + ": the shutdown zivo run scheduled is cancelled";
  if (mSystem == nullptr) {
    mSensors.erase(sensor);
  } else {
    mPower.Take();
    if (Outcome(state, decision, mPower.CancelShutdown() ? 0 : 1)) {
      mSensors.erase(sensor);
    }
  }
  out.push_back(std::move(decision));
}

void CPowerGuard::LibraryRequests(const std::wstring& sensor,
                                  const std::function<int()>& temperatureNow,
                                  std::vector<PolicyDecision>& out) {
  ShowLibraryRequests(sensor, mPower.Take(), temperatureNow, out);
}

void CPowerGuard::LibraryRequests(const std::wstring& sensor, int temperature,
                                  std::vector<PolicyDecision>& out) {
  const std::vector<PowerOutcome> outcomes = mPower.Take();
  // The case of nearly every reading: no request, none shown before.
  if (outcomes.empty() && mLibraryShown.empty()) {
    return;
  }
  ShowLibraryRequests(
      sensor, outcomes, [temperature] { return temperature; }, out);
}

void CPowerGuard::ShowLibraryRequests(const std::wstring& sensor,
                                      const std::vector<PowerOutcome>& outcomes,
                                      const std::function<int()>& temperatureNow,
                                      std::vector<PolicyDecision>& out) {
  const auto asked = std::find_if(outcomes.begin(), outcomes.end(), [](const PowerOutcome& o) {
    return o.kind != "privilege" && o.kind != "cancel";
  });
  if (asked == outcomes.end() && (outcomes.empty() || outcomes.back().kind != "privilege")) {
    if (!mLibraryShown.empty()) {
      mLibraryShown.erase(sensor);
    }
    return;
  }
  const PowerOutcome outcome = ActionOutcome(outcomes);
  const bool accepted = outcome.kind != "privilege" && outcome.answer.accepted;
  if (!accepted) {
    mLibraryShown.erase(sensor);
  } else if (!mLibraryShown.insert(sensor).second) {
    return;
  }
  const int temperature = temperatureNow();
  PolicyDecision decision;
  decision.action = outcome.kind == "privilege" ? "shutdown" : outcome.kind;
  decision.cause = DecisionCause::Library;
  decision.sensor = sensor;
  decision.temperature = temperature;
  decision.threshold = kFaultyReading;
  decision.record = "the library's own protection against a faulty sensor";
  decision.reason = (sensor.empty() ? std::string("a sensor read faulty while the participants "
                                                  "were discovered")
                                    : ToUtf8(sensor) + " read " + CelsiusText(temperature) +
                                          ", a faulty sensor's reading") +
                    ": the library asked for a " + decision.action + " itself";
  decision.byLibrary = true;
  // In a dry run the request reached only the recording power.
  decision.applied = accepted && mSystem != nullptr;
  decision.alreadyScheduled = accepted && outcome.answer.alreadyScheduled;
  if (!accepted) {
    decision.status = 1;
    decision.errorName = outcome.answer.errorName;
    decision.errorMessage = outcome.answer.errorMessage;
  }
  out.push_back(std::move(decision));
}
