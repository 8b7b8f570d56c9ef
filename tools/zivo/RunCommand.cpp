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
#include "DaemonQueue.h"
#include "DaemonSignals.h"
#include "DevicePutBack.h"
#include "HostSession.h"
#include "JsonText.h"
#include "OutputPipe.h"
#include "Platform/Clock.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Memory/MemoryWmi.h"
#include "PlatformOption.h"
#include "PolicyEngine.h"
#include "PolicyFindings.h"
#include "PolicyInForce.h"
#include "PowerGuard.h"
#include "RunOptions.h"
#include "RunPower.h"
#include "Sim/SimPlatform.h"
#include "StateFolder.h"
#include "StatusText.h"
#include "SysfsDetails.h"
#include "TickSchedule.h"
#include "zivorivizo-sim/SimHandheld.h"
#include "zivorivizo/Diagnostics.h"
#include "zivorivizo/Log.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/OSEventManager.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/OSSystemManager.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/Text.h"

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
struct Footprint {
  long rssKb = -1;
  long threads = -1;
};

Footprint ReadFootprint() {
  Footprint f;
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

std::string Seconds(uint64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", ms / 1000.0);
  return text;
}

std::string TimeText(const _tagSLocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.milliseconds);
  return text;
}

class CRunOutput {
 public:
  CRunOutput(bool json, bool apply, bool simulated, std::shared_ptr<CPlatform> platform)
      : mJson(json), mApply(apply), mSimulated(simulated), mPlatform(std::move(platform)) {}

  void Decision(const PolicyDecision& d) {
    if (d.action == "warning" || d.action == "recovered") {
      // A warning's text names its sensor already.
      Note(d.action, d.sensor, d.note, d.action != "warning");
      return;
    }
    const bool power = d.device.empty();
    std::string reason = d.action == "failsafe" ? d.note
                         : !d.reason.empty()
                             ? d.reason
                             : ToUtf8(d.sensor) + " at " + CelsiusText(d.temperature) +
                                   (d.action == "release" ? " below " : " reached ") +
                                   (power                   ? "its shutdown temperature "
                                    : d.action == "release" ? "its release temperature "
                                                            : "its throttle start ") +
                                   CelsiusText(d.threshold);
    const bool waits = d.action == "pending";
    std::string outcome;
    std::string failure;  // the file and the errno of a failed write
    if (waits) {
      // Nothing was asked yet; the reason says how many readings are in.
    } else if (!d.applied && !d.note.empty() && d.action != "failsafe") {
      outcome = d.note;
    } else if (!mApply) {
      outcome = "dry run";
    } else if (!d.applied && power) {
      outcome = "failed: " + (d.errorName.empty() ? "" : d.errorName + ": ") + d.errorMessage;
    } else if (!d.applied) {
      outcome = "failed with " + std::to_string(d.status) + ": " + StatusText(d.status);
      failure = AccessFailureText(d.device);
      outcome += failure.empty() ? "" : ": " + failure;
    } else if (d.alreadyScheduled) {
      outcome = "a shutdown already pending stands; its deadline is unchanged";
    } else if (power && mSimulated) {
      outcome = "recorded by the simulated platform, not carried out";
    }
    std::string what = std::string(mApply || waits ? "" : "would ") + d.action;
    if (!power) {
      what += " " + ToUtf8(d.device) + " " + std::to_string(d.from) + " -> " + std::to_string(d.to);
    }
    if (mJson) {
      nlohmann::json line = {{"time", Now()},
                             {"action", d.action},
                             {"dryRun", !mApply},
                             {"applied", d.applied},
                             {"status", d.status},
                             {"sensor", ToUtf8(d.sensor)},
                             {"temperature", d.temperature},
                             {"threshold", d.threshold},
                             {"record", d.record},
                             {"reason", reason}};
      if (!power) {
        line["device"] = ToUtf8(d.device);
        line["from"] = d.from;
        line["to"] = d.to;
        if (d.rpm) {
          line["rpm"] = *d.rpm;
        }
        if (!failure.empty()) {
          line["failure"] = failure;
        }
      } else {
        line["byLibrary"] = d.byLibrary;
        line["alreadyScheduled"] = d.alreadyScheduled;
        if (mApply && !d.applied && !waits) {
          line["error"] = {{"name", d.errorName}, {"message", d.errorMessage}};
        }
      }
      Emit(JsonText(line));
    } else {
      Emit(Now() + "  " + what + ": " + reason + " (" + d.record + ")" +
           (outcome.empty() ? "" : " [" + outcome + "]") +
           (d.rpm ? "; fan at " + std::to_string(*d.rpm) + " RPM" : ""));
    }
    CPrint::Info("zivo run: %s: %s (%s)%s", what.c_str(), reason.c_str(), d.record.c_str(),
                 mApply ? "" : " [dry run]");
  }

  void Note(const std::string& action, const std::wstring& name, const std::string& text,
            bool nameInText = true) {
    if (mJson) {
      Emit(JsonText(nlohmann::json{
          {"time", Now()}, {"action", action}, {"name", ToUtf8(name)}, {"reason", text}}));
    } else {
      Emit(Now() + "  " + action + (name.empty() || !nameInText ? "" : " " + ToUtf8(name)) + ": " +
           text);
    }
    CPrint::Info("zivo run: %s %s: %s", action.c_str(), ToUtf8(name).c_str(), text.c_str());
  }

  // What the policy controls and its warnings, before the run starts: on
  // standard error beside run's other start-up lines, or as a "controls"
  // object and "warning" objects with --json.
  void Findings(const PolicyFindings& findings, const std::string& file) {
    if (!mJson) {
      PrintPolicyControls(stderr, findings);
      PrintPolicyWarnings(stderr, file, findings);
      return;
    }
    nlohmann::json line = PolicyFindingsJson(findings);
    line.erase("warnings");
    line["time"] = Now();
    line["action"] = "controls";
    Emit(JsonText(line));
    for (const ConfigFinding& warning : findings.warnings) {
      Emit(JsonText(nlohmann::json{{"time", Now()},
                                   {"action", "warning"},
                                   {"name", ""},
                                   {"file", file},
                                   {"line", warning.line},
                                   {"element", warning.element},
                                   {"reason", warning.message}}));
    }
  }

  // True once a line could not be written because the reader has gone.
  bool Closed() const { return mClosed; }

 private:
  std::string Now() { return TimeText(mPlatform->Clock().LocalNow()); }
  void Emit(const std::string& line) {
    std::printf("%s\n", line.c_str());
    mClosed = OutputClosed() || mClosed;
  }
  bool mClosed = false;
  bool mJson;
  bool mApply;
  bool mSimulated;
  std::shared_ptr<CPlatform> mPlatform;
};

// Why a policy file does not load, in one line.
std::string LoadFailure(const std::string& path, const ConfigLoadReport& report) {
  std::string text = path + " does not load (" + std::to_string(report.result) + ": " +
                     StatusText(report.result) + ")";
  if (report.parseError.code != 0) {
    text += ": " + ToUtf8(report.parseError.reason);
    if (report.parseError.line > 0) {
      text += " at line " + std::to_string(report.parseError.line);
    }
  }
  return text;
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
                   LoadFailure(mOptions.platform.configFile, loaded).c_str());
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
      output.Note("restore", L"", line);
    }
    if (mOptions.apply) {
      std::string said;
      const bool putBack = PutBackLeftOver(folder, here, session.Manager(), said, error);
      if (!said.empty()) {
        output.Note("restore", L"", said);
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
          output.Note("warning", L"", failure);
          return false;
        }
        return true;
      });
    }

    CRunListener listener(queue);
    COSEventManager* events = COSEventManager::GetInstance();
    const int init = events->Init();
    if (init != 0) {
      output.Note("warning", L"",
                  "the event manager's Init failed with " + std::to_string(init) + ": " +
                      StatusText(init) + "; the sensors are read at each interval only");
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
      output.Note("unmanaged", name,
                  "the policy has no record for it or its usage is off: it is neither read nor "
                  "acted on");
    }
    emit(engine.EvaluateAll());
    // Measured with everything started, and again before it stops, so a run
    // that grows shows it.
    const Footprint before = ReadFootprint();

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
            output.Note("warning", L"",
                        "the loop stalled for " + Seconds(after.stalledMs) +
                            "; the next reading is one interval from now, the missed ones are "
                            "not made up");
          }
        }
        continue;
      }
      if (mOptions.durationMs && now >= *mOptions.durationMs) {
        break;
      }
    }
    const Footprint after = ReadFootprint();
    // DeleteInstance waits for deliveries under way; the listener outlives it.
    COSEventManager::DeleteInstance();
    const std::string devices =
        mOptions.apply ? PutBackAtEnd(folder, session.Manager(), engine.Ledger().Entries())
                       : "devices left as they are";
    output.Note("stopped", L"",
                ending + "; " + std::to_string(decisions) + " decisions; event threads stopped, " +
                    devices + "; rss " + std::to_string(before.rssKb) + " kB at start, " +
                    std::to_string(after.rssKb) + " kB at end; threads " +
                    std::to_string(before.threads) + " at start, " + std::to_string(after.threads) +
                    " at end");
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
        output.Note(sensor ? "add-sensor" : "add-device", event.name,
                    status != 0 ? "arrived, not added: " + std::to_string(status) + ": " +
                                      StatusText(status)
                    : !sensor || engine.Manages(event.name)
                        ? "arrived and added; the policy applies to it"
                        : "arrived and added; the policy does not manage it: it is neither "
                          "read nor acted on");
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
        output.Note(sensor ? "remove-sensor" : "remove-device", event.name,
                    status == 0 ? "left and removed"
                                : "left; removing it answered " + std::to_string(status) + ": " +
                                      StatusText(status));
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
    output.Note("reload", path,
                report.loaded ? "the policy is reloaded: " + change.Text()
                              : "kept the policy in force: " + LoadFailure(ToUtf8(path), report));
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
