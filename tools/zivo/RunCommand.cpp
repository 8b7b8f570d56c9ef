// zivo run: the policy daemon. Discovers the participants, loads the policy,
// listens for every kind of event and applies the policy (PolicyEngine) to
// each sensor on its thermal events and to every sensor at each interval,
// until SIGINT or SIGTERM (or until the reader of its output goes away).
// Before it starts it says what the policy will control on the platform and
// what in it will not work. On a simulated handheld it runs the handheld's
// clock, its load model and its event timeline, --speed times faster.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "AccessFailure.h"
#include "Commands.h"
#include "ConfigMgr/ConfigLoadReport.h"
#include "DaemonQueue.h"
#include "DaemonSignals.h"
#include "DevicePutBack.h"
#include "HostSession.h"
#include "OutputPipe.h"
#include "Platform/Clock.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Memory/MemoryWmi.h"
#include "Platform/Text.h"
#include "PlatformOption.h"
#include "PolicyEngine.h"
#include "PolicyFindings.h"
#include "PolicyInForce.h"
#include "PowerGuard.h"
#include "RunOptions.h"
#include "RunOutput.h"
#include "RunPower.h"
#include "Sim/SimHandheld.h"
#include "Sim/SimPlatform.h"
#include "StateFolder.h"
#include "SysfsDetails.h"
#include "TickSchedule.h"
#include "zivorivizo/Log.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/OSEventManager.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/OSSystemManager.h"
#include "zivorivizo/Platform.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int kDeliveryWaitMs = 5000;
constexpr int kAllKinds =
    THERMAL_EVENT | ADD_SENSOR_EVENT | REMOVE_SENSOR_EVENT | ADD_DEVICE_EVENT | REMOVE_DEVICE_EVENT;

class CRunListener : public CEventListener {
 public:
  explicit CRunListener(CDaemonQueue& queue) : CEventListener(&queue) {}
  int ProcessEvent(VelmarEventListenerType kind, std::wstring name, int eventId,
                   void* context) override {
    static_cast<CDaemonQueue*>(context)->Push({kind, std::move(name), eventId});
    return 0;
  }
};

// The process's resident memory (kB) and thread count, from /proc.
RunFootprint ReadFootprint() {
  RunFootprint f;
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> f.rssKb;
    } else if (key == "Threads:") {
      status >> f.threads;
    }
    status.ignore(4096, '\n');
  }
  return f;
}

class CPolicyDaemon {
 public:
  CPolicyDaemon(const RunOptions& options, _tagSChosenPlatform& chosen, CRunPower& power)
      : mOptions(options), mChosen(chosen), mPower(power) {}

  int Run() {
    const std::wstring configPath = FromUtf8(mOptions.platform.configFile);
    if (!mOptions.configGiven) {
      std::fprintf(stderr, "zivo run: no --config: the policy is %s\n",
                   mOptions.platform.configFile.c_str());
    }
    // The policy decided by is this file's own, or nothing: never the
    // built-in defaults, never another file.
    CPolicyInForce policy;
    const ConfigLoadReport loaded = policy.Load(configPath);
    if (!loaded.loaded) {
      std::fprintf(stderr, "zivo run: the policy %s\n",
                   PolicyLoadFailure(mOptions.platform.configFile, loaded).c_str());
      return 1;
    }
    std::string error;
    // One controller at a time: the lock is taken before anything is read.
    CStateFolder folder(mOptions.stateDir);
    if (mOptions.apply && !folder.Lock(error)) {
      std::fprintf(stderr, "zivo run: %s\n", error.c_str());
      return 1;
    }
    std::vector<std::string> fansSaid;
    if (mOptions.apply && mOptions.platform.platform == "linux") {
      // Fans a run that did not end left in manual control go back before
      // anything is opened; from here on each fan taken is written down first.
      if (!PutBackLinuxFans(folder.FanFile(), fansSaid)) {
        for (const std::string& line : fansSaid) {
          std::fprintf(stderr, "zivo run: %s\n", line.c_str());
        }
        std::fprintf(stderr, "zivo run: %s kept: put the fans back with zivo restore\n",
                     folder.FanFile().c_str());
        return 1;
      }
      SetLinuxFanRecord(folder.FanFile());
    }
    CDaemonQueue queue;
    // Before the start-up and before any thread of the library starts, so
    // they all inherit the blocked signals: a SIGTERM or SIGHUP during a long
    // discovery waits in the queue until the loop takes it, instead of
    // ending the process half-way.
    CDaemonSignals signals([&queue](int signal) { queue.Stop(signal); },
                           [&queue] { queue.Reload(); });
    CHostSession session;
    if (!session.Start(mOptions.platform, error)) {
      std::fprintf(stderr, "zivo run: %s\n", error.c_str());
      return 1;
    }
    CRunOutput output(mOptions.platform.json, mOptions.apply, mChosen.handheld != nullptr,
                      mChosen.platform);
    const PolicyFindings findings = FindPolicyFindings(loaded, session.Manager(), mChosen);
    output.Findings(findings, mOptions.platform.configFile);
    if (mOptions.apply && findings.controls.empty()) {
      // No sensor is managed: nothing would be throttled and no power action
      // taken. Ends before anything is written: no device is put back or
      // changed. (Managed sensors without devices still have their shutdown
      // temperature: that run goes on, with the warning above.)
      std::fprintf(stderr, "zivo run: the policy controls nothing on the %s: %s\n",
                   mChosen.description.c_str(), findings.nothingReason.c_str());
      return 1;
    }
    COSSystemManager* system = mOptions.apply ? COSSystemManager::GetInstance() : nullptr;
    CPowerGuard power(system, mPower, mOptions.confirm, CPolicyEngine::kHysteresis);
    CPolicyEngine engine(session.Manager(), policy, power, mOptions.apply);
    engine.SetFailSafeAfter(mOptions.failSafeAfter);
    if (mChosen.thermal) {
      engine.SetMaxReader([view = mChosen.thermal](const std::wstring& name) {
        const nlohmann::json details = SysfsDetailsOf(*view, name);
        return details.is_object() && details["max_state"].is_number_unsigned()
                   ? std::optional<uint32_t>(details["max_state"].get<uint32_t>())
                   : std::nullopt;
      });
      engine.SetRpmReader([view = mChosen.thermal](const std::wstring& name) {
        const nlohmann::json details = SysfsDetailsOf(*view, name);
        // Only a fan channel has an "rpm"; a const lookup of a missing key
        // is not allowed.
        return details.is_object() && details.contains("rpm") &&
                       details.at("rpm").is_number_integer() &&
                       details.at("rpm").get<int64_t>() >= 0
                   ? std::optional<uint32_t>(details.at("rpm").get<uint32_t>())
                   : std::nullopt;
      });
      engine.SetCriticalReader([view = mChosen.thermal](const std::wstring& name) {
        return ChipCriticalLimitOf(SysfsDetailsOf(*view, name));
      });
    }
    const StateRecord here = ThisPlatform();
    for (const std::string& line : fansSaid) {
      output.Restored(line);
    }
    if (mOptions.apply) {
      std::string said;
      const bool putBack = PutBackLeftOver(folder, here, session.Manager(), said, error);
      if (!said.empty()) {
        output.Restored(said);
      }
      if (!putBack) {
        std::fprintf(stderr, "zivo run: %s\n", error.c_str());
        return 1;
      }
      engine.Ledger().SetSave([&folder, &output, here](const LedgerEntries& devices) {
        StateRecord record = here;
        record.devices = devices;
        std::string failure;
        if (!folder.Write(record, failure)) {
          output.Warning(failure);
          return false;
        }
        return true;
      });
    }

    CRunListener listener(queue);
    COSEventManager* events = COSEventManager::GetInstance();
    const int init = events->Init();
    if (init != 0) {
      output.EventsUnavailable(init);
    }
    events->AddEventListener(&listener, static_cast<VelmarEventListenerType>(kAllKinds));
    std::fprintf(stderr, "zivo run: applying %s on the %s, every %.3g s%s\n",
                 mOptions.platform.configFile.c_str(), mChosen.description.c_str(),
                 mOptions.intervalMs / 1000.0,
                 mOptions.apply ? "" : " (dry run: nothing is changed; --apply acts)");

    uint64_t decisions = 0;
    const auto emit = [&](const std::vector<PolicyDecision>& made) {
      for (const PolicyDecision& d : made) {
        output.Decision(d);
        ++decisions;
      }
    };
    std::vector<PolicyDecision> discovered;
    power.LibraryRequests(L"", 0, discovered);
    emit(discovered);
    for (const std::wstring& name : engine.Unmanaged()) {
      output.Unmanaged(name);
    }
    emit(engine.EvaluateAll());
    // Measured with everything started, and again before it stops, so a run
    // that grows shows it.
    const RunFootprint before = ReadFootprint();

    const SteadyClock::time_point start = SteadyClock::now();
    const auto at = [&](uint64_t simulatedMs) {
      return start + std::chrono::microseconds(
                         static_cast<int64_t>(std::llround(simulatedMs * 1000.0 / mOptions.speed)));
    };
    const auto elapsed = [&]() -> uint64_t {
      const double us = static_cast<double>(
          std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now() - start)
              .count());
      return static_cast<uint64_t>(us * mOptions.speed / 1000.0);
    };
    uint64_t nextTick = mOptions.intervalMs;
    std::string ending = "the run's duration passed";
    for (;;) {
      if (output.Closed() || OutputReaderGone()) {
        // "zivo run | head -1": ends as on SIGTERM, devices put back.
        ending = "the reader of the output went away";
        break;
      }
      uint64_t due = nextTick;
      if (mChosen.handheld) {
        if (const auto timeline = mChosen.handheld->NextDue()) {
          due = std::min(due, *timeline);
        }
      }
      if (mOptions.durationMs) {
        due = std::min(due, *mOptions.durationMs);
      }
      const DaemonWake wake = queue.Wait(at(due));
      for (const DaemonEvent& event : wake.events) {
        HandleEvent(event, session.Manager(), engine, output, emit);
      }
      if (wake.stopSignal != 0) {
        ending = wake.stopSignal == SIGINT ? "SIGINT" : "SIGTERM";
        break;
      }
      if (wake.reload) {
        Reload(policy, configPath, output);
      }
      const uint64_t now = elapsed();
      if (mChosen.handheld) {
        if (const auto timeline = mChosen.handheld->NextDue();
            timeline && *timeline <= now && *timeline <= nextTick) {
          mChosen.handheld->PlayUntil(*timeline);
          // The simulated clock does not move on before the firmware's
          // events of that moment are delivered, whatever the speed.
          mChosen.sim->SimWmi().WaitDelivered(kDeliveryWaitMs);
          continue;
        }
      }
      if (now >= nextTick && (!mOptions.durationMs || nextTick <= *mOptions.durationMs)) {
        if (mChosen.handheld) {
          const uint64_t step = mChosen.handheld->StepSeconds() * 1000ULL;
          while (mChosen.handheld->ElapsedMs() + step <= nextTick) {
            mChosen.handheld->Step();
          }
        }
        emit(engine.EvaluateAll());
        if (mChosen.handheld) {
          // Simulated time: each missed tick has its own moment, stepped
          // to above.
          nextTick += mOptions.intervalMs;
        } else {
          const TickAfter after = NextTick(nextTick, now, mOptions.intervalMs);
          nextTick = after.next;
          if (after.stalledMs != 0) {
            output.Stalled(after.stalledMs);
          }
        }
        continue;
      }
      if (mOptions.durationMs && now >= *mOptions.durationMs) {
        break;
      }
    }
    const RunFootprint after = ReadFootprint();
    // DeleteInstance waits for deliveries under way; the listener outlives it.
    COSEventManager::DeleteInstance();
    const std::string devices =
        mOptions.apply ? PutBackAtEnd(folder, session.Manager(), engine.Ledger().Entries())
                       : "devices left as they are";
    output.Stopped({ending, decisions, devices, before, after});
    return 0;
  }

 private:
  template <typename Emit>
  void HandleEvent(const DaemonEvent& event, COSParticipantManager& manager, CPolicyEngine& engine,
                   CRunOutput& output, const Emit& emit) {
    switch (event.kind) {
      case THERMAL_EVENT:
        emit(engine.EvaluateSensor(event.name));
        break;
      case ADD_SENSOR_EVENT:
      case ADD_DEVICE_EVENT: {
        const bool sensor = event.kind == ADD_SENSOR_EVENT;
        const int status = sensor ? manager.AddSensor(event.name) : manager.AddDevice(event.name);
        output.Arrived(sensor, event.name, status, engine.Manages(event.name));
        if (status == 0) {
          emit(sensor ? engine.EvaluateSensor(event.name) : engine.EvaluateAll());
        }
        break;
      }
      case REMOVE_SENSOR_EVENT:
      case REMOVE_DEVICE_EVENT: {
        const bool sensor = event.kind == REMOVE_SENSOR_EVENT;
        const int status =
            sensor ? manager.RemoveSensor(event.name) : manager.RemoveDevice(event.name);
        engine.Forget(event.name);
        output.Left(sensor, event.name, status);
        break;
      }
      default:
        break;
    }
  }

  // The platform the devices belong to, as the state file names it.
  StateRecord ThisPlatform() const {
    StateRecord record;
    record.pid = static_cast<long>(getpid());
    record.platform = mOptions.platform.platform;
    if (mChosen.thermal) {
      record.sysfsRoot = mChosen.thermal->Root();
      record.naming = mOptions.platform.naming;
    }
    return record;
  }

  void Reload(CPolicyInForce& policy, const std::wstring& path, CRunOutput& output) {
    // The file is parsed apart and goes in force whole: one that does not
    // load never replaces the policy in force, not even for a moment.
    PolicyChange change;
    const ConfigLoadReport report = policy.Load(path, &change);
    output.Reloaded(path, report, change);
  }

  const RunOptions& mOptions;
  _tagSChosenPlatform& mChosen;
  CRunPower& mPower;
};

}  // namespace

int RunRun(const ZivoArgs& args) {
  RunOptions options;
  std::string error;
  if (!ParseRunOptions(args, options, error)) {
    std::fprintf(stderr, "zivo run: %s\n", error.c_str());
    return 2;
  }
  if (options.platform.help) {
    std::printf("%s%s", RunHelp(), PlatformOptionsHelp(kRunOffers & ~ZivoOffers::kConfig));
    return 0;
  }
  options.platform.realPower = options.apply && options.platform.platform == "linux";
  _tagSChosenPlatform chosen;
  if (!InstallChosenPlatform(options.platform, chosen, error)) {
    std::fprintf(stderr, "zivo run: %s\n", error.c_str());
    return 1;
  }
  // Every power request, the library's own included, goes through run's
  // power so that its outcome can be shown.
  auto power = std::make_shared<CRunPower>(
      std::shared_ptr<CPower>(chosen.platform, &chosen.platform->Power()));
  chosen.platform = PlatformWithPower(chosen.platform, power);
  CPlatform::Install(chosen.platform);
  return CPolicyDaemon(options, chosen, *power).Run();
}
