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

// Local time is UTC shifted by a zone offset: a whole number of quarter hours,
// at most 14 hours either way, whatever zone the machine is in.
TEST_P(ClockContract, LocalTimeIsAValidDateAtAZoneOffsetFromUtc) {
  const uint64_t earliest = E().Earliest();
  const _tagSLocalTime local = E().Clock().LocalNow();
  const uint64_t latest = E().Latest();

  EXPECT_GE(local.year, 2024);
  EXPECT_TRUE(local.month >= 1 && local.month <= 12 && local.day >= 1 && local.day <= 31);
  EXPECT_TRUE(local.hour >= 0 && local.hour <= 23 && local.minute >= 0 && local.minute <= 59);
  EXPECT_TRUE(local.second >= 0 && local.second <= 60);
  EXPECT_TRUE(local.milliseconds >= 0 && local.milliseconds <= 999);

  tm fields{};
  fields.tm_year = local.year - 1900;
  fields.tm_mon = local.month - 1;
  fields.tm_mday = local.day;
  fields.tm_hour = local.hour;
  fields.tm_min = local.minute;
  fields.tm_sec = local.second;
  const auto asUtc = static_cast<int64_t>(timegm(&fields));
  const int64_t offsetLow = asUtc - static_cast<int64_t>(latest);
  const int64_t offsetHigh = asUtc - static_cast<int64_t>(earliest);
  const int64_t quarter = std::llround(static_cast<double>(offsetLow) / 900.0) * 900;
  EXPECT_LE(std::llabs(quarter), 14 * 3600);
  EXPECT_GE(quarter, offsetLow - 1) << "local " << asUtc << ", utc " << earliest;
  EXPECT_LE(quarter, offsetHigh + 1) << "local " << asUtc << ", utc " << latest;
}

ZIVO_CONTRACT_SUITE(ClockContract, {"Sim", Make<CSimClockEnv, CClockEnv>},
                    {"Linux", Make<CLinuxClockEnv, CClockEnv>});

}  // namespace
