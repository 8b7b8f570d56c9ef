// Start-up paths swept call by call: for n = 1, 2, ... the nth platform call
// of the path fails, until a run meets no fault. Each run must end with one of
// the path's documented codes and leave no thread behind once the managers are
// gone (what a run leaks shows in the sanitizer builds). The platform is the
// embedded handheld, so every kind of participant is met on the way.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>

#include "support/SimPlatformTest.h"
#include "zivorivizo-sim/SimHandheld.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/OSEventManager.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/StatusCodes.h"

namespace {

std::size_t ThreadCount() {
  const auto tasks = std::filesystem::directory_iterator("/proc/self/task");
  return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

std::optional<int> Thrown(const std::function<void()>& call) {
  try {
    call();
  } catch (int value) {
    return value;
  }
  return std::nullopt;
}

class StartupSweepTest : public CSimPlatformTest {
 protected:
  void SetUp() override {
    CSimPlatformTest::SetUp();
    mHandheld = CSimHandheld::Default();
    mHandheld->Install(mPlatform);
  }
  void TearDown() override {
    Faults().Clear();
    CSimPlatformTest::TearDown();
  }

  // Runs `prepare` without faults, then `run` with the nth call failing, for
  // n = 1, 2, ...; `run` returns its code. Returns the calls the path makes.
  int Sweep(const std::function<void()>& prepare, const std::function<int()>& run,
            const std::vector<int>& codes) {
    // One run without faults first: what a process starts once for good (a
    // sanitizer's own thread) is then already there.
    prepare();
    EXPECT_EQ(run(), codes.front());
    DeleteManagers();
    for (int n = 1;; ++n) {
      const std::size_t threads = ThreadCount();
      prepare();
      Faults().Clear();
      Faults().Fail(FaultOp::Any, 0, L"", n);
      const int code = run();
      const bool fired = Faults().Pending() == 0;
      Faults().Clear();
      DeleteManagers();
      EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end())
          << "call " << n << " failing ended with " << code << "\n"
          << mLog.Text();
      EXPECT_EQ(ThreadCount(), threads) << "call " << n << " failing left a thread";
      if (!fired) {
        EXPECT_EQ(code, codes.front()) << "the path without a fault";
        return n - 1;
      }
    }
  }

  static void DeleteManagers() {
    COSEventManager::DeleteInstance();
    COSConfigManager::DeleteInstance();
    COSParticipantManager::DeleteInstance();
  }

  std::unique_ptr<CSimHandheld> mHandheld;
};

TEST_F(StartupSweepTest, ParticipantManagerStartUp) {
  const int calls = Sweep(
      [] {},
      [] { return Thrown([] { COSParticipantManager::GetInstance(3); }).value_or(ZIVO_SUCCESS); },
      {ZIVO_SUCCESS, ZIVO_THROW_PM_INIT_FAILED, ZIVO_THROW_PLATFORM_DISABLED});
  EXPECT_GT(calls, 3);
}

TEST_F(StartupSweepTest, Enumeration) {
  const int calls = Sweep(
      [] { COSParticipantManager::GetInstance(3); },
      [] { return COSParticipantManager::GetInstance(3)->Enumerate(); },
      {ZIVO_SUCCESS, ZIVO_KEY_OPEN_FAILED, ZIVO_COUNT_READ_FAILED, ZIVO_WMI_CREATE_FAILED,
       ZIVO_WMI_EXEC_FAILED, ZIVO_WMI_GETOBJECT_FAILED, ZIVO_WMI_GET_FAILED, ZIVO_IOCTL_FAILED});
  EXPECT_GT(calls, 20);
}

TEST_F(StartupSweepTest, ConfigurationLoad) {
  const std::wstring policy =
      (std::filesystem::path(ZIVO_SOURCE_DIR) / "docs/velmarconfig.xml").wstring();
  const int calls = Sweep(
      [] {},
      [&] { return Thrown([&] { COSConfigManager::GetInstance(policy); }).value_or(ZIVO_SUCCESS); },
      {ZIVO_SUCCESS, ZIVO_THROW_CONFIG_FAILED});
  EXPECT_GT(calls, 10);
}

TEST_F(StartupSweepTest, EventManagerStartUp) {
  const int calls = Sweep([] { COSParticipantManager::GetInstance(3); },
                          [] { return COSEventManager::GetInstance()->Init(); },
                          {ZIVO_SUCCESS, ZIVO_EVENT_THERMAL_FAILED, ZIVO_EVENT_ADD_SENSOR_FAILED,
                           ZIVO_EVENT_REMOVE_SENSOR_FAILED, ZIVO_EVENT_ADD_DEVICE_FAILED,
                           ZIVO_EVENT_REMOVE_DEVICE_FAILED, ZIVO_EVENT_DRIVER_EVENTS_FAILED,
                           ZIVO_EVENT_PARAMS_KEY_FAILED, ZIVO_EVENT_THREAD_FAILED});
  EXPECT_GT(calls, 5);
}

}  // namespace
