// The clock stand-in's contract, run against the manual simulated clock (set
// by the test) and the system clock.
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "Platform/Linux/LinuxClock.h"
#include "PlatformContract/Contract.h"
#include "Sim/SimClock.h"

namespace {

// The UTC seconds the clock may show now are Earliest() to Latest().
class CClockEnv : public CContractEnv {
 public:
  virtual CClock& Clock() = 0;
  virtual uint64_t Earliest() = 0;
  virtual uint64_t Latest() { return Earliest(); }
};

// Set to 2026-03-04 05:06:07.008 local time in a zone one hour ahead of UTC.
class CSimClockEnv : public CClockEnv {
 public:
  CSimClockEnv() {
    mClock.SetLocal({2026, 3, 4, 5, 6, 7, 8});
    mClock.SetUtcSeconds(Earliest());
  }
  CClock& Clock() override { return mClock; }
  uint64_t Earliest() override { return 1772597167; }  // 2026-03-04 04:06:07 UTC

 private:
  CSimClock mClock;
};

// time() may read a coarser clock that lags the precise one by a tick, so the
// bounds come from the precise clock the system clock reads too.
class CLinuxClockEnv : public CClockEnv {
 public:
  CClock& Clock() override { return mClock; }
  uint64_t Earliest() override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<uint64_t>(now.tv_sec);
  }

 private:
  CLinuxClock mClock;
};

using ClockContract = CContractTest<CClockEnv>;

TEST_P(ClockContract, UtcSecondsAreTheCurrentTime) {
  const uint64_t earliest = E().Earliest();
  const uint64_t shown = E().Clock().UtcSeconds();
  const uint64_t latest = E().Latest();
  EXPECT_LE(earliest, shown);
  EXPECT_LE(shown, latest);
}

ZIVO_CONTRACT_SUITE(ClockContract, {"Sim", Make<CSimClockEnv, CClockEnv>},
                    {"Linux", Make<CLinuxClockEnv, CClockEnv>});

}  // namespace
