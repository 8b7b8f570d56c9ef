// zivo list: the participants the library discovers on the chosen platform,
// with their records and links.
#include <cstdio>

#include "CommandReport.h"
#include "Commands.h"
#include "FailedParticipants.h"
#include "HostSession.h"
#include "JsonText.h"
#include "LeftOutReport.h"
#include "ParticipantView.h"
#include "PlatformOption.h"
#include "StatusText.h"
#include "SysfsDetails.h"
#include "zivorivizo/OSParticipantMgr.h"

int RunList(const ZivoArgs& args) {
  PlatformOptions options;
  std::string error;
  if (!ParsePlatformOptions(args, options, error)) {
    std::fprintf(stderr, "zivo list: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::printf(
        "usage: zivo list [OPTIONS]\n\n"
        "Starts the library on the chosen platform, enumerates the participants and\n"
        "prints every device and sensor record with its links. On the Linux platform\n"
        "each participant also shows its sysfs folder, a zone its governor (policy) and\n"
        "mode, a cooling device its max_state.\n\noptions:\n%s",
        PlatformOptionsHelp());
    return 0;
  }
  if (!options.operands.empty()) {
    std::fprintf(stderr, "zivo list: unexpected argument \"%s\"\n", options.operands[0].c_str());
    return 2;
  }
  ChosenPlatform chosen;
  if (!InstallChosenPlatform(options, chosen, error)) {
    std::fprintf(stderr, "zivo list: %s\n", error.c_str());
    return 1;
  }
  CHostSession session;
  if (!session.Start(options, error)) {
    std::fprintf(stderr, "zivo list: %s\n", error.c_str());
    return 1;
  }
  const int enumerated = session.EnumerateResult();
  if (enumerated != 0) {
    std::fprintf(stderr, "zivo list: enumeration stopped with %d: %s\n", enumerated,
                 StatusText(enumerated));
  }
  ParticipantView view = ReadParticipants(session.Manager());
  LabelFailedParticipants(view);
  if (chosen.thermal) {
    FillSysfsDetails(view, *chosen.thermal);
  }
  const std::vector<LeftOut> leftOut = LeftOutOf(session.Manager(), chosen);
  // With --json the standard output holds the JSON alone; the platform, the
  // policy, what was left out and the power requests go to the standard
  // error.
  FILE* notes = options.json ? stderr : stdout;
  std::fprintf(notes, "Platform: %s\n", chosen.description.c_str());
  bool policyLoaded = true;
  if (options.json) {
    nlohmann::json listing = ParticipantsJson(view);
    listing["leftOut"] = LeftOutJson(leftOut);
    std::printf("%s\n", JsonText(listing, 2).c_str());
    policyLoaded = ReportPolicy(notes, options, session);
  } else {
    policyLoaded = ReportPolicy(notes, options, session);
    std::printf("\n");
    std::printf("Devices (%zu)\n", view.devices.size());
    PrintDeviceTable(stdout, view.devices, options.wide);
    std::printf("\nSensors (%zu)\n", view.sensors.size());
    PrintSensorTable(stdout, view.sensors, options.wide);
    PrintAccessFailures(stdout, view);
  }
  if (view.devices.empty() && view.sensors.empty()) {
    std::fprintf(notes, "No thermal zones found.\n");
  }
  PrintLeftOut(notes, leftOut);
  ReportPowerRequests(notes, chosen);
  return enumerated == 0 && policyLoaded ? 0 : 1;
}
