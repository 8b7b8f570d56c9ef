// A forwarding power stand-in that refuses the calls a fault plan names: a
// failing call answers false and does not reach the power it wraps, unless
// the fault proceeds (the system received the request and refused it).
#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include "Platform/Power.h"
#include "Sim/FaultForwarder.h"

class CFaultyPower : public CFaultForwarder<CPower> {
 public:
  CFaultyPower(std::shared_ptr<CPower> inner, std::shared_ptr<CFaultPlan> plan);

  bool EnableShutdownPrivilege() override;
  bool InitiateShutdown(const std::wstring& message, uint32_t timeoutSeconds, bool force,
                        bool reboot) override;
  bool IsHibernateAllowed() override;
  bool SetPowerState(bool suspend, bool force) override;
  bool CancelShutdown() override;
  // The wrapped power's answer, or a refusal when the last call failed here.
  PowerAnswer LastAnswer() override;

 private:
  template <typename Call>
  bool Forward(FaultOp op, Call call);

  std::mutex mLock;
  std::optional<PowerAnswer> mFaulted;
};
