// The power zivo run gives the library: it forwards every call to the
// platform's own power (logind, or the recording one of a dry run or a
// simulated handheld) and keeps what was asked and what came back, so that
// run can print the outcome of its own power actions as the platform gave it
// and show the requests the library makes by itself (the shutdown of a faulty
// sensor) as decisions. It keeps at most kKept outcomes between two Take
// calls, so nothing grows while nobody takes them.
//
// Thread-safe; the outcomes of calls made on several threads at once are
// kept in the order they ended.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "zivorivizo/Power.h"

struct PowerOutcome {
  // "shutdown", "reboot", "hibernate", "suspend", "cancel", or "privilege"
  // for a refused shutdown privilege (nothing further was asked).
  std::string kind;
  PowerAnswer answer;
};

class CRunPower : public CPower {
 public:
  static constexpr std::size_t kKept = 64;

  explicit CRunPower(std::shared_ptr<CPower> inner);

  bool EnableShutdownPrivilege() override;
  bool InitiateShutdown(const std::wstring& message, uint32_t timeoutSeconds, bool force,
                        bool reboot) override;
  bool IsHibernateAllowed() override;
  bool SetPowerState(bool suspend, bool force) override;
  bool CancelShutdown() override;
  PowerAnswer LastAnswer() override;

  // The outcomes since the last Take, oldest first.
  std::vector<PowerOutcome> Take();

 private:
  // Forwards `call`, keeping its outcome under `kind` (nothing kept when
  // `kind` is null); `keepOnlyRefusal` keeps it only when it failed.
  template <typename Call>
  bool Forward(const char* kind, bool keepOnlyRefusal, Call call);

  std::shared_ptr<CPower> mInner;
  std::mutex mLock;
  std::deque<PowerOutcome> mOutcomes;
  // Whether mOutcomes holds anything, readable without the lock: a Take that
  // finds nothing, the case of every reading, costs one load. An outcome
  // kept while such a Take runs is the next Take's.
  std::atomic<bool> mAny{false};
};

// The outcome of one power action made through `power`: the last shutdown,
// hibernation or cancel among `outcomes`, else a refused privilege; an
// outcome of kind "" when none reached the platform.
PowerOutcome ActionOutcome(const std::vector<PowerOutcome>& outcomes);
