// zivo add-device / add-sensor / remove-device / remove-sensor NAME: one
// run-time change on the chosen platform after start-up and enumeration,
// with its result code and the links it made or took apart.
//
// On the simulated platform a participant that the handheld holds back
// ("hotplug") is published first, as if it had just arrived.
#include <cstdio>

#include "AccessFailure.h"
#include "CommandReport.h"
#include "Commands.h"
#include "HostSession.h"
#include "JsonText.h"
#include "ParticipantView.h"
#include "PlatformOption.h"
#include "StatusText.h"
#include "TextTable.h"
#include "zivorivizo-sim/SimHandheld.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/Text.h"

namespace {

enum class EChange { AddDevice, AddSensor, RemoveDevice, RemoveSensor };

struct ChangeKind {
  const char* command;
  const char* operation;  // the library's operation
  bool sensor;
  bool add;
};

ChangeKind Describe(EChange change) {
  switch (change) {
    case EChange::AddDevice:
      return {"add-device", "AddDevice", false, true};
    case EChange::AddSensor:
      return {"add-sensor", "AddSensor", true, true};
    case EChange::RemoveDevice:
      return {"remove-device", "RemoveDevice", false, false};
    case EChange::RemoveSensor:
      return {"remove-sensor", "RemoveSensor", true, false};
  }
  return {"", "", false, false};
}

std::vector<std::wstring> LinksOf(COSParticipantManager& manager, bool sensor,
                                  const std::wstring& name) {
  return sensor ? LinkedDevicesOf(manager, name) : LinkedSensorsOf(manager, name);
}

constexpr unsigned kOffered =
    ZivoOffers::kPlatform | ZivoOffers::kConfig | ZivoOffers::kLog | ZivoOffers::kJson;

void PrintHelp(const ChangeKind& change) {
  std::printf(
      "usage: zivo %s NAME [OPTIONS]\n\n"
      "Starts the library on the chosen platform, enumerates, then calls %s with\n"
      "NAME and prints the result code, its meaning and the links %s.\n"
      "On the simulated handheld a hotplug participant is published first.\n\n"
      "options:\n%s",
      change.command, change.operation, change.add ? "made" : "taken apart",
      PlatformOptionsHelp(kOffered));
}

// What the change answered, and the links it made or took apart.
struct ChangeOutcome {
  int result = 0;
  std::vector<std::wstring> links;
  std::string reason;  // on Linux, the file and the errno of a failed change
  bool published = false;
};

ChangeOutcome Change(const ChangeKind& change, COSParticipantManager& manager,
                     const std::wstring& name) {
  ChangeOutcome outcome;
  if (change.add) {
    outcome.result = change.sensor ? manager.AddSensor(name) : manager.AddDevice(name);
    if (outcome.result == 0) {
      outcome.links = LinksOf(manager, change.sensor, name);
    }
  } else {
    outcome.links = LinksOf(manager, change.sensor, name);
    outcome.result = change.sensor ? manager.RemoveSensor(name) : manager.RemoveDevice(name);
    if (outcome.result != 0) {
      outcome.links.clear();
    }
  }
  // On Linux a failed change names the file and the errno, on the screen and
  // in the log.
  if (outcome.result != 0) {
    outcome.reason = AccessFailureText(name);
    LogAccessFailure(
        std::string("zivo ") + change.command + ": " + change.operation + " failed for", name);
  }
  return outcome;
}

void PrintJson(const ChangeKind& change, const std::string& name, const std::string& platform,
               const ChangeOutcome& outcome) {
  nlohmann::json linkNames = nlohmann::json::array();
  for (const std::wstring& link : outcome.links) {
    linkNames.push_back(ToUtf8(link));
  }
  nlohmann::json report = {{"operation", change.operation},
                           {"name", name},
                           {"published", outcome.published},
                           {"result", outcome.result},
                           {"meaning", StatusText(outcome.result)},
                           {change.add ? "linksMade" : "linksTakenApart", linkNames}};
  if (!outcome.reason.empty()) {
    report["reason"] = outcome.reason;
  }
  std::fprintf(stderr, "Platform: %s\n", platform.c_str());
  std::printf("%s\n", JsonText(report, 2).c_str());
}

void PrintText(const ChangeKind& change, const std::string& name, const std::string& platform,
               const ChangeOutcome& outcome) {
  std::printf("Platform: %s\n", platform.c_str());
  if (outcome.published) {
    std::printf("Published the hotplug participant %s on the simulated handheld.\n", name.c_str());
  }
  std::printf("%s(%s) returned %d: %s\n", change.operation, name.c_str(), outcome.result,
              StatusText(outcome.result));
  if (!outcome.reason.empty()) {
    std::printf("Reason: %s\n", outcome.reason.c_str());
  }
  std::printf("Links %s: %s\n", change.add ? "made" : "taken apart",
              JoinNames(outcome.links).c_str());
}

int RunChange(EChange which, const ZivoArgs& args) {
  const ChangeKind change = Describe(which);
  const std::string prefix = std::string("zivo ") + change.command + ": ";
  PlatformOptions options;
  std::string error;
  if (!ParsePlatformOptions(args, options, error, kOffered)) {
    std::fprintf(stderr, "%s%s\n", prefix.c_str(), error.c_str());
    return 2;
  }
  if (options.help) {
    PrintHelp(change);
    return 0;
  }
  if (options.operands.size() != 1) {
    std::fprintf(stderr, "%sgive exactly one %s name\n", prefix.c_str(),
                 change.sensor ? "sensor" : "device");
    return 2;
  }
  const std::wstring name = FromUtf8(options.operands[0]);
  ChosenPlatform chosen;
  CHostSession session;
  if (!InstallChosenPlatform(options, chosen, error) || !session.Start(options, error)) {
    std::fprintf(stderr, "%s%s\n", prefix.c_str(), error.c_str());
    return 1;
  }
  const bool published = change.add && chosen.handheld && chosen.handheld->Publish(name);
  ChangeOutcome outcome = Change(change, session.Manager(), name);
  outcome.published = published;
  (options.json ? PrintJson : PrintText)(change, options.operands[0], chosen.description, outcome);
  FILE* notes = options.json ? stderr : stdout;
  const bool policyLoaded = ReportPolicy(notes, options, session);
  ReportPowerRequests(notes, chosen);
  return outcome.result == 0 && policyLoaded ? 0 : 1;
}

}  // namespace

int RunAddDevice(const ZivoArgs& args) {
  return RunChange(EChange::AddDevice, args);
}
int RunAddSensor(const ZivoArgs& args) {
  return RunChange(EChange::AddSensor, args);
}
int RunRemoveDevice(const ZivoArgs& args) {
  return RunChange(EChange::RemoveDevice, args);
}
int RunRemoveSensor(const ZivoArgs& args) {
  return RunChange(EChange::RemoveSensor, args);
}
