// Recording power: remembers every request and never acts on the machine.
// Tests script whether the privilege is held, whether hibernation is allowed
// and whether a shutdown request is accepted.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Power.h"

struct _tagSPowerRequest {
  enum class Kind { EnablePrivilege, Shutdown, QueryHibernate, SetPowerState };
  explicit _tagSPowerRequest(Kind k) : kind(k) {}

  Kind kind;
  std::wstring message;
  uint32_t timeoutSeconds = 0;
  bool force = false;
  bool reboot = false;
  bool suspend = false;
};

class CSimPower : public CPower {
 public:
  bool EnableShutdownPrivilege() override;
  bool InitiateShutdown(const std::wstring& message, uint32_t timeoutSeconds, bool force,
                        bool reboot) override;
  bool IsHibernateAllowed() override;
  bool SetPowerState(bool suspend, bool force) override;

  void SetPrivilegeHeld(bool held);
  void SetHibernateAllowed(bool allowed);
  void SetShutdownAccepted(bool accepted);
  void SetPowerStateAccepted(bool accepted);

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
  bool mShutdownAccepted = true;
  bool mPowerStateAccepted = true;
};
