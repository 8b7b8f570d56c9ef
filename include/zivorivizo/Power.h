// Power stand-in: the shutdown privilege, shutdown with a countdown and a
// message, hibernation. The platform's power (CPlatform::Power) is where the
// library asks the machine to shut down or hibernate; a host that tests
// itself gives its platform one that only records (zivorivizo-sim).
#pragma once

#include <cstdint>
#include <string>

// What the power answered to the last request made through it. The library
// itself goes by the bool results; a host that must tell the user why a
// request failed (or that it changed nothing) reads this right after the call.
struct PowerAnswer {
  bool accepted = true;
  // A shutdown this power scheduled earlier still stands and comes no later
  // than the one asked for: nothing new was scheduled, so its countdown was
  // not restarted. The request counts as accepted.
  bool alreadyScheduled = false;
  // Why the request failed, in the system's own terms (for logind a D-Bus
  // error name such as "org.freedesktop.DBus.Error.AccessDenied", and its
  // message); empty when accepted.
  std::string errorName;
  std::string errorMessage;
};

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

  // Takes back a shutdown scheduled by InitiateShutdown whose countdown is
  // still running. True when the system took it back (or none was pending);
  // a power that cannot cancel answers false, which is the default.
  virtual bool CancelShutdown() { return false; }
  // The answer to the last request, any of the calls above, from whatever
  // thread. A power that keeps no details answers "accepted"; callers that
  // got false from the request itself know better.
  virtual PowerAnswer LastAnswer() { return {}; }
};
