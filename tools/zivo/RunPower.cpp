#include "RunPower.h"

#include <utility>

CRunPower::CRunPower(std::shared_ptr<CPower> inner) : mInner(std::move(inner)) {}

template <typename Call>
bool CRunPower::Forward(const char* kind, bool keepOnlyRefusal, Call call) {
  // One lock over the call and its answer, so the answer kept is this call's.
  std::lock_guard<std::mutex> hold(mLock);
  const bool accepted = call();
  if (kind == nullptr || (keepOnlyRefusal && accepted)) {
    return accepted;
  }
  PowerOutcome outcome{kind, mInner->LastAnswer()};
  if (!accepted && outcome.answer.accepted) {
    // A power that keeps no details: the bool is all there is.
    outcome.answer = {false, false, "", "refused by the platform"};
  }
  if (mOutcomes.size() == kKept) {
    mOutcomes.pop_front();
  }
  mOutcomes.push_back(std::move(outcome));
  mAny.store(true, std::memory_order_release);
  return accepted;
}

bool CRunPower::EnableShutdownPrivilege() {
  return Forward("privilege", true, [&] { return mInner->EnableShutdownPrivilege(); });
}

bool CRunPower::InitiateShutdown(const std::wstring& message, uint32_t timeoutSeconds, bool force,
                                 bool reboot) {
  return Forward(reboot ? "reboot" : "shutdown", false,
                 [&] { return mInner->InitiateShutdown(message, timeoutSeconds, force, reboot); });
}

bool CRunPower::IsHibernateAllowed() {
  return Forward(nullptr, false, [&] { return mInner->IsHibernateAllowed(); });
}

bool CRunPower::SetPowerState(bool suspend, bool force) {
  return Forward(suspend ? "suspend" : "hibernate", false,
                 [&] { return mInner->SetPowerState(suspend, force); });
}

bool CRunPower::CancelShutdown() {
  return Forward("cancel", false, [&] { return mInner->CancelShutdown(); });
}

PowerAnswer CRunPower::LastAnswer() {
  std::lock_guard<std::mutex> hold(mLock);
  return mInner->LastAnswer();
}

std::vector<PowerOutcome> CRunPower::Take() {
  if (!mAny.load(std::memory_order_acquire)) {
    return {};
  }
  std::lock_guard<std::mutex> hold(mLock);
  mAny.store(false, std::memory_order_relaxed);
  std::vector<PowerOutcome> taken(std::make_move_iterator(mOutcomes.begin()),
                                  std::make_move_iterator(mOutcomes.end()));
  mOutcomes.clear();
  return taken;
}

PowerOutcome ActionOutcome(const std::vector<PowerOutcome>& outcomes) {
  for (auto it = outcomes.rbegin(); it != outcomes.rend(); ++it) {
    if (it->kind != "privilege") {
      return *it;
    }
  }
  return outcomes.empty() ? PowerOutcome{} : outcomes.back();
}
