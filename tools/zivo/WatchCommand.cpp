// zivo watch: one listener for the chosen kinds of events, one line (or JSON
// object) per event as it arrives, until Ctrl-C, --count or --timeout. On the
// simulated handheld it plays the description's event timeline, --speed
// times faster than the simulated clock.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "HostLoop.h"
#include "HostSession.h"
#include "JsonText.h"
#include "LocalTimeText.h"
#include "OutputPipe.h"
#include "PlatformOption.h"
#include "StatusText.h"
#include "TextTable.h"
#include "WatchOptions.h"
#include "zivorivizo-sim/SimHandheld.h"
#include "zivorivizo/Clock.h"
#include "zivorivizo/OSEventManager.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/Text.h"

namespace {

// False once the reader of the standard output has gone.
bool Print(const DaemonEvent& event, bool json) {
  if (json) {
    nlohmann::json line = {{"time", LocalTimeText(event.time)},
                           {"kind", WatchKindName(event.kind)},
                           {"name", ToUtf8(event.name)},
                           {"id", event.id}};
    std::printf("%s\n", JsonText(line).c_str());
  } else {
    std::printf("%s  %-13s %6d  %s\n", LocalTimeText(event.time).c_str(), WatchKindName(event.kind),
                event.id, TerminalText(ToUtf8(event.name)).c_str());
  }
  return !OutputClosed();
}

int Watch(const WatchOptions& options, ChosenPlatform& chosen) {
  // Before the start-up: Ctrl-C, SIGTERM or a hang-up during a long
  // discovery is kept and ends the watch once the start-up is through,
  // instead of killing the process half-way. Afterwards each ends the wait;
  // the watch then ends as it does on --count.
  CHostLoop loop(chosen, false);
  CHostSession session;
  std::string error;
  if (!session.Start(options.platform, error)) {
    std::fprintf(stderr, "zivo watch: %s\n", error.c_str());
    return 1;
  }
  COSEventManager* events = COSEventManager::GetInstance();
  const int init = events->Init();
  if (init != 0) {
    std::fprintf(stderr, "zivo watch: the event manager's Init failed with %d: %s\n", init,
                 StatusText(init));
    COSEventManager::DeleteInstance();
    return 1;
  }
  events->AddEventListener(&loop.Listener(), static_cast<VelmarEventListenerType>(options.kinds));
  // On standard error, with --json too: the output holds the events alone.
  std::fprintf(
      stderr, "zivo watch: watching %s on the %s%s\n", WatchKindsText(options.kinds).c_str(),
      chosen.description.c_str(),
      chosen.handheld && !chosen.handheld->Timeline().empty() ? ", playing its timeline" : "");
  HostPace pace;
  pace.timeoutMs = options.timeoutMs;
  pace.speed = options.speed;
  uint64_t printed = 0;
  HostCallbacks callbacks;
  callbacks.event = [&](const DaemonEvent& event) {
    if (!Print(event, options.platform.json)) {
      return false;
    }
    return !options.count || ++printed < *options.count;
  };
  loop.Run(pace, callbacks);
  // DeleteInstance waits for deliveries under way; the listener (the loop's)
  // outlives it.
  COSEventManager::DeleteInstance();
  return 0;
}

}  // namespace

int RunWatch(const ZivoArgs& args) {
  WatchOptions options;
  std::string error;
  if (!ParseWatchOptions(args, options, error)) {
    std::fprintf(stderr, "zivo watch: %s\n", error.c_str());
    return 2;
  }
  if (options.platform.help) {
    std::printf("%s%s", WatchHelp(), PlatformOptionsHelp(kWatchOffers));
    return 0;
  }
  ChosenPlatform chosen;
  if (!InstallChosenPlatform(options.platform, chosen, error)) {
    std::fprintf(stderr, "zivo watch: %s\n", error.c_str());
    return 1;
  }
  return Watch(options, chosen);
}
