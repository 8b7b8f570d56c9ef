// zivo run: the policy daemon. Discovers the participants, loads the policy,
// listens for every kind of event and applies the policy (PolicyEngine) to
// each sensor on its thermal events and to every sensor at each interval,
// until SIGINT or SIGTERM (or until the reader of its output goes away).
// Before it starts it says what the policy will control on the platform and
// what in it will not work. On a simulated handheld it runs the handheld's
// clock, its load model and its event timeline, --speed times faster
// (HostLoop.h).
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "Commands.h"
#include "DevicePutBack.h"
#include "HostLoop.h"
#include "HostSession.h"
#include "LocalTimeText.h"
#include "OutputPipe.h"
#include "PlatformOption.h"
#include "PolicyEngine.h"
#include "PolicyFindings.h"
#include "PolicyInForce.h"
#include "PowerGuard.h"
#include "RunOptions.h"
#include "RunOutput.h"
#include "RunPower.h"
#include "RunRecorder.h"
#include "StateFolder.h"
#include "SysfsDetails.h"
#include "zivorivizo/Diagnostics.h"
#include "zivorivizo/LinuxSysfsView.h"
#include "zivorivizo/Log.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/OSEventManager.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/OSSystemManager.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/Text.h"

namespace {

constexpr int kAllKinds =
    THERMAL_EVENT | ADD_SENSOR_EVENT | REMOVE_SENSOR_EVENT | ADD_DEVICE_EVENT | REMOVE_DEVICE_EVENT;

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

// The kernel's side of the devices, where the platform has one: the
// max_state read at each decision, a fan's speed and the chip's critical
// limit of a sensor.
void ReadKernelSide(CPolicyEngine& engine, const std::shared_ptr<CLinuxSysfsView>& view) {
  engine.SetMaxReader([view](const std::wstring& name) {
    const nlohmann::json details = SysfsDetailsOf(*view, name);
    return details.is_object() && details["max_state"].is_number_unsigned()
               ? std::optional<uint32_t>(details["max_state"].get<uint32_t>())
               : std::nullopt;
  });
  engine.SetRpmReader([view](const std::wstring& name) {
    const nlohmann::json details = SysfsDetailsOf(*view, name);
    // Only a fan channel has an "rpm"; a const lookup of a missing key is
    // not allowed.
    return details.is_object() && details.contains("rpm") &&
                   details.at("rpm").is_number_integer() && details.at("rpm").get<int64_t>() >= 0
               ? std::optional<uint32_t>(details.at("rpm").get<uint32_t>())
               : std::nullopt;
  });
  engine.SetCriticalReader([view](const std::wstring& name) {
    return ChipCriticalLimitOf(SysfsDetailsOf(*view, name));
  });
}

std::string EndingText(const HostEnd& end) {
  switch (end.kind) {
    case HostEnd::Signal:
      return end.signal == SIGINT ? "SIGINT" : "SIGTERM";
    case HostEnd::Callback:
      // "zivo run | head -1": ends as on SIGTERM, devices put back.
      return "the reader of the output went away";
    default:
      return "the run's duration passed";
  }
}

class CPolicyDaemon {
 public:
  CPolicyDaemon(const RunOptions& options, ChosenPlatform& chosen, CRunPower& power)
      : mOptions(options),
        mChosen(chosen),
        mPower(power),
        mFolder(options.stateDir),
        mOutput(options.platform.json, options.apply, chosen.handheld != nullptr, chosen.platform) {
  }

  int Run() {
    ConfigLoadReport loaded;
    if (!LoadPolicy(loaded) || !TakeStateFolder() || !OpenRecord()) {
      return 1;
    }
    CHostLoop loop(mChosen, true);
    CHostSession session;
    std::string error;
    if (!session.Start(mOptions.platform, error)) {
      return Refuse(error);
    }
    const PolicyFindings findings = FindPolicyFindings(loaded, session.Manager(), mChosen);
    mOutput.Findings(findings, mOptions.platform.configFile);
    if (mOptions.apply && findings.controls.empty()) {
      // No sensor is managed: nothing would be throttled and no power action
      // taken. Ends before anything is written: no device is put back or
      // changed. (Managed sensors without devices still have their shutdown
      // temperature: that run goes on, with the warning above.)
      return Refuse("the policy controls nothing on the " + mChosen.description + ": " +
                    findings.nothingReason);
    }
    COSSystemManager* system = mOptions.apply ? COSSystemManager::GetInstance() : nullptr;
    CPowerGuard power(system, mPower, mOptions.confirm, CPolicyEngine::kHysteresis);
    CPolicyEngine engine(session.Manager(), mPolicy, power, mOptions.apply);
    engine.SetFailSafeAfter(mOptions.failSafeAfter);
    if (mChosen.thermal) {
      ReadKernelSide(engine, mChosen.thermal);
    }
    mRecorder.Start(RunRecordHeader(findings, engine, mChosen.thermal.get(), mChosen.description,
                                    mOptions.platform.configFile, mOptions.intervalMs / 1000.0,
                                    !mOptions.apply),
                    mChosen.thermal.get(), Now());
    if (!PutBackBeforeStart(session.Manager(), engine, error)) {
      return Refuse(error);
    }
    StartEvents(loop);
    std::vector<PolicyDecision> discovered;
    power.LibraryRequests(L"", 0, discovered);
    Emit(discovered);
    for (const std::wstring& name : engine.Unmanaged()) {
      mOutput.Unmanaged(name);
    }
    Emit(engine.EvaluateAll());
    Tick(engine);
    // Measured with everything started, and again before it stops, so a run
    // that grows shows it.
    const RunFootprint before = ReadFootprint();
    const HostEnd end = loop.Run(Pace(), Callbacks(session.Manager(), engine));
    Stop(EndingText(end), before, session.Manager(), engine);
    return 0;
  }

 private:
  int Refuse(const std::string& error) {
    std::fprintf(stderr, "zivo run: %s\n", error.c_str());
    return 1;
  }

  // The policy decided by is this file's own, or nothing: never the
  // built-in defaults, never another file.
  bool LoadPolicy(ConfigLoadReport& loaded) {
    if (!mOptions.configGiven) {
      std::fprintf(stderr, "zivo run: no --config: the policy is %s\n",
                   mOptions.platform.configFile.c_str());
    }
    loaded = mPolicy.Load(FromUtf8(mOptions.platform.configFile));
    if (!loaded.loaded) {
      Refuse("the policy " + PolicyLoadFailure(mOptions.platform.configFile, loaded));
    }
    return loaded.loaded;
  }

  // One controller at a time: the lock is taken before anything is read.
  // Fans a run that did not end left in manual control go back before
  // anything is opened; from here on each fan taken is written down first.
  bool TakeStateFolder() {
    std::string error;
    if (mOptions.apply && !mFolder.Lock(error)) {
      Refuse(error);
      return false;
    }
    if (!mOptions.apply || mOptions.platform.platform != "linux") {
      return true;
    }
    if (!PutBackLinuxFans(mFolder.FanFile(), mFansSaid)) {
      for (const std::string& line : mFansSaid) {
        Refuse(line);
      }
      Refuse(mFolder.FanFile() + " kept: put the fans back with zivo restore");
      return false;
    }
    SetLinuxFanRecord(mFolder.FanFile());
    return true;
  }

  // What a run that did not end left changed goes back; from then on every
  // device the engine changes is written down before it is changed.
  bool PutBackBeforeStart(COSParticipantManager& manager, CPolicyEngine& engine,
                          std::string& error) {
    for (const std::string& line : mFansSaid) {
      mOutput.Restored(line);
    }
    if (!mOptions.apply) {
      return true;
    }
    const StateRecord here = ThisPlatform();
    std::string said;
    const bool putBack = PutBackLeftOver(mFolder, here, manager, said, error);
    if (!said.empty()) {
      mOutput.Restored(said);
    }
    if (!putBack) {
      return false;
    }
    engine.Ledger().SetSave([this, here](const LedgerEntries& devices) {
      StateRecord record = here;
      record.devices = devices;
      std::string failure;
      if (!mFolder.Write(record, failure)) {
        mOutput.Warning(failure);
        return false;
      }
      return true;
    });
    return true;
  }

  void StartEvents(CHostLoop& loop) {
    COSEventManager* events = COSEventManager::GetInstance();
    const int init = events->Init();
    if (init != 0) {
      mOutput.EventsUnavailable(init);
    }
    events->AddEventListener(&loop.Listener(), static_cast<VelmarEventListenerType>(kAllKinds));
    std::fprintf(stderr, "zivo run: applying %s on the %s, every %.3g s%s\n",
                 mOptions.platform.configFile.c_str(), mChosen.description.c_str(),
                 mOptions.intervalMs / 1000.0,
                 mOptions.apply ? "" : " (dry run: nothing is changed; --apply acts)");
  }

  HostPace Pace() const {
    HostPace pace;
    pace.intervalMs = mOptions.intervalMs;
    pace.durationMs = mOptions.durationMs;
    pace.speed = mOptions.speed;
    return pace;
  }

  HostCallbacks Callbacks(COSParticipantManager& manager, CPolicyEngine& engine) {
    HostCallbacks callbacks;
    callbacks.event = [this, &manager, &engine](const DaemonEvent& event) {
      HandleEvent(event, manager, engine);
      return true;
    };
    callbacks.tick = [this, &engine](uint64_t) {
      Emit(engine.EvaluateAll());
      Tick(engine);
    };
    callbacks.stalled = [this](uint64_t stalledMs) { mOutput.Stalled(stalledMs); };
    callbacks.reload = [this] {
      // The file is parsed apart and goes in force whole: one that does not
      // load never replaces the policy in force, not even for a moment.
      const std::wstring path = FromUtf8(mOptions.platform.configFile);
      PolicyChange change;
      mOutput.Reloaded(path, mPolicy.Load(path, &change), change);
    };
    callbacks.goOn = [this] { return !mOutput.Closed() && !OutputReaderGone(); };
    return callbacks;
  }

  void HandleEvent(const DaemonEvent& event, COSParticipantManager& manager,
                   CPolicyEngine& engine) {
    const bool sensor = event.kind == ADD_SENSOR_EVENT || event.kind == REMOVE_SENSOR_EVENT;
    switch (event.kind) {
      case THERMAL_EVENT:
        Emit(engine.EvaluateSensor(event.name));
        break;
      case ADD_SENSOR_EVENT:
      case ADD_DEVICE_EVENT: {
        const int status = sensor ? manager.AddSensor(event.name) : manager.AddDevice(event.name);
        mOutput.Arrived(sensor, event.name, status, engine.Manages(event.name));
        if (status == 0) {
          Emit(sensor ? engine.EvaluateSensor(event.name) : engine.EvaluateAll());
        }
        break;
      }
      case REMOVE_SENSOR_EVENT:
      case REMOVE_DEVICE_EVENT: {
        const int status =
            sensor ? manager.RemoveSensor(event.name) : manager.RemoveDevice(event.name);
        engine.Forget(event.name);
        mOutput.Left(sensor, event.name, status);
        break;
      }
      default:
        break;
    }
  }

  // The record (--record) gets every line the output makes, as JSON, after a
  // header; the metrics (--metrics-textfile) are rewritten at each tick.
  bool OpenRecord() {
    std::string error;
    if (!mRecorder.Open(mOptions.recordFile, mOptions.metricsFile, ZIVO_VERSION, error)) {
      Refuse(error);
      return false;
    }
    if (mRecorder.Records()) {
      mOutput.AddWriter(RecordLineWriter(mRecorder));
    }
    return true;
  }

  // A sample and the metrics, after the policy was applied to every sensor.
  void Tick(CPolicyEngine& engine) {
    mRecorder.Tick(engine, Now());
    if (const std::string warning = mRecorder.TakeWarning(); !warning.empty()) {
      mOutput.Warning(warning);
    }
  }

  std::string Now() const { return LocalTimeText(mChosen.platform->Clock().LocalNow()); }

  void Emit(const std::vector<PolicyDecision>& made) {
    mOutput.FanNotes();
    for (const PolicyDecision& decision : made) {
      mRecorder.Decision(decision);
      mOutput.Decision(decision);
      ++mDecisions;
    }
  }

  void Stop(const std::string& ending, const RunFootprint& before, COSParticipantManager& manager,
            CPolicyEngine& engine) {
    const RunFootprint after = ReadFootprint();
    // DeleteInstance waits for deliveries under way; the listener (the
    // loop's) outlives it.
    COSEventManager::DeleteInstance();
    const std::string devices = mOptions.apply
                                    ? PutBackAtEnd(mFolder, manager, engine.Ledger().Entries())
                                    : "devices left as they are";
    mOutput.Stopped({ending, mDecisions, devices, before, after});
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

  const RunOptions& mOptions;
  ChosenPlatform& mChosen;
  CRunPower& mPower;
  CStateFolder mFolder;
  CPolicyInForce mPolicy;
  CRunRecorder mRecorder;  // before the output, whose writer uses it
  CRunOutput mOutput;
  std::vector<std::string> mFansSaid;  // what was said of fans put back at start
  uint64_t mDecisions = 0;
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
  ChosenPlatform chosen;
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
