// zivo restore: puts back the devices that a zivo run --apply changed and did
// not put back itself (it was killed, or crashed), from the record in its
// state folder; for a service's ExecStopPost=. A device someone else set
// since is left alone. Takes the same lock as run: never while a run controls
// the devices.
#include <cstdio>
#include <optional>
#include <string>

#include "Commands.h"
#include "DevicePutBack.h"
#include "HostSession.h"
#include "OptionReader.h"
#include "PlatformOption.h"
#include "StateFolder.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/Platform.h"

namespace {

const char* kHelp =
    "usage: zivo restore [--state-dir DIR] [--sysfs-root DIR]\n\n"
    "Puts back the cooling devices that zivo run --apply changed and did not put\n"
    "back (it was killed or crashed), as its state folder records them: a device\n"
    "still at the state run wrote goes back to the state run found; one set by\n"
    "someone else since is left alone. Fan channels it took into manual control\n"
    "go back to the pwmN and pwmN_enable found (full speed when that fails); one\n"
    "no longer in manual mode is left alone. Ends with status 1 while a zivo run\n"
    "--apply holds the folder's lock, or when a device could not be put back.\n\n"
    "  --state-dir DIR   the folder of zivo run --apply (default /run/zivo)\n"
    "  --sysfs-root DIR  the sysfs tree (default: the one the record names)\n";

}  // namespace

int RunRestore(const ZivoArgs& args) {
  std::string stateDir = "/run/zivo";
  std::string sysfsRoot;
  COptionReader reader(args);
  while (reader.More()) {
    if (reader.TakeFlag("--help") || reader.TakeFlag("-h")) {
      std::printf("%s", kHelp);
      return 0;
    }
    if (!reader.TakeValue("--state-dir", stateDir) &&
        !reader.TakeValue("--sysfs-root", sysfsRoot)) {
      reader.Fail("unexpected argument \"" + reader.Current() + "\"");
    }
  }
  if (reader.Failed()) {
    std::fprintf(stderr, "zivo restore: %s\n", reader.Error().c_str());
    return 2;
  }
  CStateFolder folder(stateDir);
  std::string error;
  std::optional<StateRecord> record;
  if (!folder.Lock(error) || !folder.Read(record, error)) {
    std::fprintf(stderr, "zivo restore: %s\n", error.c_str());
    return 1;
  }
  // The fans first: a fan left stopped is the one danger that does not wait.
  std::vector<std::string> fansSaid;
  const bool fansBack = PutBackLinuxFans(folder.FanFile(), fansSaid);
  for (const std::string& line : fansSaid) {
    std::printf("zivo restore: %s\n", line.c_str());
  }
  if (!fansBack) {
    std::fprintf(stderr, "zivo restore: %s kept: not every fan was put back\n",
                 folder.FanFile().c_str());
  }
  if (!record) {
    if (fansSaid.empty()) {
      std::printf("zivo restore: nothing to put back (no %s)\n", folder.StateFile().c_str());
    }
    return fansBack ? 0 : 1;
  }
  if (record->platform != "linux") {
    // The devices of a simulated platform went with the process.
    std::printf("zivo restore: %s records simulated devices: nothing to put back\n",
                folder.StateFile().c_str());
    return folder.Remove(error) && fansBack ? 0 : 1;
  }
  PlatformOptions options;
  options.platform = "linux";
  options.sysfsRoot = sysfsRoot.empty() ? record->sysfsRoot : sysfsRoot;
  options.naming = record->naming.empty() ? "path" : record->naming;
  ChosenPlatform chosen;
  CHostSession session;
  if (!InstallChosenPlatform(options, chosen, error) || !session.Start(options, error)) {
    std::fprintf(stderr, "zivo restore: %s\n", error.c_str());
    return 1;
  }
  const std::vector<PutBackResult> back = PutBackDevices(session.Manager(), record->devices);
  std::printf("zivo restore: the run %ld: %s\n", record->pid, PutBackText(back).c_str());
  if (!fansBack) {
    return 1;
  }
  if (AnyFailed(back)) {
    std::fprintf(stderr, "zivo restore: %s kept: not every device was put back\n",
                 folder.StateFile().c_str());
    return 1;
  }
  if (!folder.Remove(error)) {
    std::fprintf(stderr, "zivo restore: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
