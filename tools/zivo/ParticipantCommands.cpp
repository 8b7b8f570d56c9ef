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

struct _tagSChange {
  const char* command;
  const char* operation;  // the library's operation
  bool sensor;
  bool add;
};

_tagSChange Describe(EChange change) {
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

int RunChange(EChange which, const ZivoArgs& args) {
  const _tagSChange change = Describe(which);
  const std::string prefix = std::string("zivo ") + change.command + ": ";
  _tagSPlatformOptions options;
  std::string error;
  constexpr unsigned kOffered =
      ZivoOffers::kPlatform | ZivoOffers::kConfig | ZivoOffers::kLog | ZivoOffers::kJson;
  if (!ParsePlatformOptions(args, options, error, kOffered)) {
    std::fprintf(stderr, "%s%s\n", prefix.c_str(), error.c_str());
    return 2;
  }
  if (options.help) {
    std::printf(
        "usage: zivo %s NAME [OPTIONS]\n\n"
        "Starts the library on the chosen platform, enumerates, then calls %s with\n"
        "NAME and prints the result code, its meaning and the links %s.\n"
        "On the simulated handheld a hotplug participant is published first.\n\n"
        "options:\n%s",
        change.command, change.operation, change.add ? "made" : "taken apart",
        PlatformOptionsHelp(kOffered));
    return 0;
  }
  if (options.operands.size() != 1) {
    std::fprintf(stderr, "%sgive exactly one %s name\n", prefix.c_str(),
                 change.sensor ? "sensor" : "device");
    return 2;
  }
  const std::wstring name = FromUtf8(options.operands[0]);
  _tagSChosenPlatform chosen;
  if (!InstallChosenPlatform(options, chosen, error)) {
    std::fprintf(stderr, "%s%s\n", prefix.c_str(), error.c_str());
    return 1;
  }
  CHostSession session;
  if (!session.Start(options, error)) {
    std::fprintf(stderr, "%s%s\n", prefix.c_str(), error.c_str());
    return 1;
  }
  COSParticipantManager& manager = session.Manager();
  bool published = false;
  if (change.add && chosen.handheld) {
    published = chosen.handheld->Publish(name);
  }

  std::vector<std::wstring> links;
  int result = 0;
  if (change.add) {
    result = change.sensor ? manager.AddSensor(name) : manager.AddDevice(name);
    if (result == 0) {
      links = LinksOf(manager, change.sensor, name);
    }
  } else {
    links = LinksOf(manager, change.sensor, name);
    result = change.sensor ? manager.RemoveSensor(name) : manager.RemoveDevice(name);
    if (result != 0) {
      links.clear();
    }
  }

  // On Linux a failed change names the file and the errno, on the screen and
  // in the log.
  const std::string reason = result == 0 ? std::string() : AccessFailureText(name);
  if (result != 0) {
    LogAccessFailure(
        std::string("zivo ") + change.command + ": " + change.operation + " failed for", name);
  }
  if (options.json) {
    nlohmann::json linkNames = nlohmann::json::array();
    for (const std::wstring& link : links) {
      linkNames.push_back(ToUtf8(link));
    }
    nlohmann::json report = {
        {"operation", change.operation}, {"name", options.operands[0]},
        {"published", published},        {"result", result},
        {"meaning", StatusText(result)}, {change.add ? "linksMade" : "linksTakenApart", linkNames}};
    if (!reason.empty()) {
      report["reason"] = reason;
    }
    std::fprintf(stderr, "Platform: %s\n", chosen.description.c_str());
    std::printf("%s\n", JsonText(report, 2).c_str());
  } else {
    std::printf("Platform: %s\n", chosen.description.c_str());
    if (published) {
      std::printf("Published the hotplug participant %s on the simulated handheld.\n",
                  options.operands[0].c_str());
    }
    std::printf("%s(%s) returned %d: %s\n", change.operation, options.operands[0].c_str(), result,
                StatusText(result));
    if (!reason.empty()) {
      std::printf("Reason: %s\n", reason.c_str());
    }
    std::printf("Links %s: %s\n", change.add ? "made" : "taken apart", JoinNames(links).c_str());
  }
  FILE* notes = options.json ? stderr : stdout;
  const bool policyLoaded = ReportPolicy(notes, options, session);
  ReportPowerRequests(notes, chosen);
  return result == 0 && policyLoaded ? 0 : 1;
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
