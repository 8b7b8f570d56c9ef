// Power stand-in: the shutdown privilege, shutdown with a countdown and a
// message, hibernation. The platform's power (CPlatform::Power) is where the
// library asks the machine to shut down or hibernate; a host that tests
// itself gives its platform one that only records (zivorivizo-sim).
#pragma once

#include <cstdint>
#include <string>

// Implementations are thread-safe.
class CPower {
 public:
  virtual ~CPower() = default;
  // Enables the right to shut the machine down; false when it is not held.
  virtual bool EnableShutdownPrivilege() = 0;
  // Starts a shutdown of the local machine after `timeoutSeconds`, showing
  // `message` meanwhile. Returns false when the request is refused.
  virtual bool InitiateShutdown(const std::wstring& message, uint32_t timeoutSeconds, bool force,
                                bool reboot) = 0;
  virtual bool IsHibernateAllowed() = 0;
  // Suspends (suspend true) or hibernates (suspend false) now.
  virtual bool SetPowerState(bool suspend, bool force) = 0;
};
