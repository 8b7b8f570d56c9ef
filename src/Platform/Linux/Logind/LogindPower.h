// Power on Linux: shutdown and hibernation asked of systemd-logind over D-Bus
// (org.freedesktop.login1.Manager on /org/freedesktop/login1).
//
// - EnableShutdownPrivilege: CanPowerOff; "yes" or "challenge" count as held.
// - InitiateShutdown: SetWallMessage(message, true), then ScheduleShutdown of
//   "poweroff" (or "reboot") at now + timeout. logind ends the sessions of a
//   scheduled shutdown itself, so `force` changes nothing. A failed wall
//   message does not hold the shutdown back: the shutdown is what protects
//   the machine.
// - IsHibernateAllowed: CanHibernate is "yes".
// - SetPowerState: Hibernate(false) or Suspend(false), never interactive;
//   `force` changes nothing (logind's own inhibitor rules apply).
//
// - CancelShutdown: CancelScheduledShutdown.
//
// While a shutdown this object scheduled is still counting down, a further
// request of the same kind due no earlier is not sent: ScheduleShutdown
// would restart logind's countdown, and a caller that asks at every reading
// (the sensors do while one stays faulty) would put the shutdown off for
// ever. It answers true, as a shutdown already under way, with
// LastAnswer().alreadyScheduled set. A sooner or different request is sent.
// Another party cancelling the shutdown is not seen: the next request after
// the deadline schedules again.
//
// Any refusal (polkit, access denied) or bus error gives false, and
// LastAnswer() keeps logind's error name and message (for a bus that cannot
// be reached, the name sd-bus gives the error number). The connection is made
// on the first call, never at construction, so making a platform touches no
// bus; a connection found closed after a failed call is dropped and made
// again on the next call. Thread-safe: calls are serialised.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "Platform/Power.h"

struct sd_bus;

class CLogindPower : public CPower {
 public:
  // An empty address means the system bus; otherwise a D-Bus address such as
  // "unix:path=/tmp/x/bus" (tests run a private bus with a mock logind).
  explicit CLogindPower(std::string busAddress = {});
  ~CLogindPower() override;
  CLogindPower(const CLogindPower&) = delete;
  CLogindPower& operator=(const CLogindPower&) = delete;

  bool EnableShutdownPrivilege() override;
  bool InitiateShutdown(const std::wstring& message, uint32_t timeoutSeconds, bool force,
                        bool reboot) override;
  bool IsHibernateAllowed() override;
  bool SetPowerState(bool suspend, bool force) override;
  bool CancelShutdown() override;
  PowerAnswer LastAnswer() override;

 private:
  // Each of these records the outcome in mAnswer.
  sd_bus* BusLocked();
  // Calls a manager method with no input and a string answer.
  bool AskLocked(const char* method, std::string& answer);
  bool SleepLocked(const char* method);
  // After a call: false when `result` is a success; else keeps the error
  // (name and message may be null) and returns true.
  bool FailedLocked(int result, const char* errorName, const char* errorMessage);
  // After a failed call: forget a connection that has closed.
  void CheckConnectionLocked();

  std::mutex mLock;
  const std::string mAddress;
  sd_bus* mBus = nullptr;
  PowerAnswer mAnswer;
  // The shutdown this object scheduled: its time (microseconds of the real
  // clock, 0 for none) and kind.
  uint64_t mScheduledAt = 0;
  bool mScheduledReboot = false;
};
