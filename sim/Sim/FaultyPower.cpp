#include "Sim/FaultyPower.h"

CFaultyPower::CFaultyPower(std::shared_ptr<CPower> inner, std::shared_ptr<CFaultPlan> plan)
    : CFaultForwarder(std::move(inner), std::move(plan)) {}

template <typename Call>
bool CFaultyPower::Forward(FaultOp op, Call call) {
  if (!FaultAfter(op, {}, call)) {
    std::lock_guard<std::mutex> hold(mLock);
    mFaulted.reset();
    return call();
  }
  std::lock_guard<std::mutex> hold(mLock);
  mFaulted = PowerAnswer{false, false, "zivo.Fault.Injected", "refused by the fault plan"};
  return false;
}

bool CFaultyPower::EnableShutdownPrivilege() {
  return Forward(FaultOp::PowerPrivilege, [&] { return mInner->EnableShutdownPrivilege(); });
}

bool CFaultyPower::InitiateShutdown(const std::wstring& message, uint32_t timeoutSeconds,
                                    bool force, bool reboot) {
  return Forward(FaultOp::PowerShutdown,
                 [&] { return mInner->InitiateShutdown(message, timeoutSeconds, force, reboot); });
}

bool CFaultyPower::IsHibernateAllowed() {
  return Forward(FaultOp::PowerHibernateAllowed, [&] { return mInner->IsHibernateAllowed(); });
}

bool CFaultyPower::SetPowerState(bool suspend, bool force) {
  return Forward(FaultOp::PowerSetState, [&] { return mInner->SetPowerState(suspend, force); });
}

bool CFaultyPower::CancelShutdown() {
  return Forward(FaultOp::PowerShutdown, [&] { return mInner->CancelShutdown(); });
}

PowerAnswer CFaultyPower::LastAnswer() {
  {
    std::lock_guard<std::mutex> hold(mLock);
    if (mFaulted) {
      return *mFaulted;
    }
  }
  return mInner->LastAnswer();
}
