// Recording power: remembers the requests and never acts on the machine. It
// keeps a count of every request and the last kRequestsKept of them, so a
// caller that asks for ever (a sensor that stays faulty asks at every
// reading) does not make it grow.
// Tests script whether the privilege is held and whether hibernation is
// allowed; the requests themselves are accepted. A refusal by the system is a
// fault (FaultOp::PowerShutdown, PowerSetState) that proceeds: the request is
// recorded and then refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "zivorivizo-sim/Export.h"
#include "zivorivizo/Power.h"

struct ZIVO_SIM_EXPORT _tagSPowerRequest {
  enum class Kind { EnablePrivilege, Shutdown, QueryHibernate, SetPowerState, CancelShutdown };
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
  bool CancelShutdown() override;

  static constexpr std::size_t kRequestsKept = 1024;

  void SetPrivilegeHeld(bool held);
  void SetHibernateAllowed(bool allowed);

  // The last kRequestsKept requests, oldest first.
  std::vector<_tagSPowerRequest> Requests();
  // Every request since the start (or the last ClearRequests).
  uint64_t RequestCount();
  // Only the shutdown requests, in order.
  std::vector<_tagSPowerRequest> Shutdowns();
  // Only the SetPowerState requests, in order.
  std::vector<_tagSPowerRequest> PowerStates();
  void ClearRequests();

 private:
  void RecordLocked(_tagSPowerRequest request);

  std::mutex mLock;
  std::deque<_tagSPowerRequest> mRequests;
  uint64_t mCount = 0;
  bool mPrivilegeHeld = true;
  bool mHibernateAllowed = true;
};
