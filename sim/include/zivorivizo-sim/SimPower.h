// Recording power: remembers every request and never acts on the machine.
// Tests script whether the privilege is held and whether hibernation is
// allowed; the requests themselves are accepted. A refusal by the system is a
// fault (FaultOp::PowerShutdown, PowerSetState) that proceeds: the request is
// recorded and then refused.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "zivorivizo-sim/Export.h"
#include "zivorivizo/Power.h"

struct ZIVO_SIM_EXPORT _tagSPowerRequest {
  enum class Kind { EnablePrivilege, Shutdown, QueryHibernate, SetPowerState };
  explicit _tagSPowerRequest(Kind k) : kind(k) {}

  Kind kind;
  std::wstring message;
  uint32_t timeoutSeconds = 0;
  bool force = false;
  bool reboot = false;
  bool suspend = false;
};

class ZIVO_SIM_EXPORT CSimPower : public CPower {
 public:
  bool EnableShutdownPrivilege() override;
  bool InitiateShutdown(const std::wstring& message, uint32_t timeoutSeconds, bool force,
                        bool reboot) override;
  bool IsHibernateAllowed() override;
  bool SetPowerState(bool suspend, bool force) override;

  void SetPrivilegeHeld(bool held);
  void SetHibernateAllowed(bool allowed);

  std::vector<_tagSPowerRequest> Requests();
  // Only the shutdown requests, in order.
  std::vector<_tagSPowerRequest> Shutdowns();
  // Only the SetPowerState requests, in order.
  std::vector<_tagSPowerRequest> PowerStates();
  void ClearRequests();

 private:
  std::mutex mLock;
  std::vector<_tagSPowerRequest> mRequests;
  bool mPrivilegeHeld = true;
  bool mHibernateAllowed = true;
};
