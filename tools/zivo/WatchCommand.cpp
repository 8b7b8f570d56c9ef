// zivo watch: one listener for the chosen kinds of events, one line (or JSON
// object) per event as it arrives, until Ctrl-C, --count or --timeout. On the
// simulated handheld it plays the description's event timeline, --speed
// times faster than the simulated clock.
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>

#include "Commands.h"
#include "DaemonSignals.h"
#include "HostSession.h"
#include "JsonText.h"
#include "OutputPipe.h"
#include "Platform/Clock.h"
#include "PlatformOption.h"
#include "StatusText.h"
#include "TextTable.h"
#include "WatchOptions.h"
#include "zivorivizo-sim/SimHandheld.h"
#include "zivorivizo/OSEventManager.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/Text.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

struct Received {
  VelmarEventListenerType kind;
  std::wstring name;
  int id;
  _tagSLocalTime time;
};

// Everything the listener hands over, and what ends the watch.
class CEventQueue {
 public:
  void Push(Received event) {
    std::lock_guard<std::mutex> hold(mLock);
    mEvents.push_back(std::move(event));
    mChanged.notify_all();
  }
  void Interrupt() {
    std::lock_guard<std::mutex> hold(mLock);
    mInterrupted = true;
    mChanged.notify_all();
  }
  // Waits until an event is queued, an interruption came or `until` passed.
  // Returns the queued events (possibly none).
  std::deque<Received> Wait(SteadyClock::time_point until, bool& interrupted) {
    std::unique_lock<std::mutex> lock(mLock);
    mChanged.wait_until(lock, until, [&] { return !mEvents.empty() || mInterrupted; });
    interrupted = mInterrupted;
    std::deque<Received> events;
    events.swap(mEvents);
    return events;
  }

 private:
  std::mutex mLock;
  std::condition_variable mChanged;
  std::deque<Received> mEvents;
  bool mInterrupted = false;
};

class CWatchListener : public CEventListener {
 public:
  CWatchListener(CEventQueue& queue, std::shared_ptr<CPlatform> platform)
      : CEventListener(&queue), mPlatform(std::move(platform)) {}

  int ProcessEvent(VelmarEventListenerType kind, std::wstring name, int eventId,
                   void* context) override {
    static_cast<CEventQueue*>(context)->Push(
        {kind, std::move(name), eventId, mPlatform->Clock().LocalNow()});
    return 0;
  }

 private:
  std::shared_ptr<CPlatform> mPlatform;
};

std::string TimeText(const _tagSLocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.milliseconds);
  return text;
}

// False once the reader of the standard output has gone.
bool Print(const Received& event, bool json) {
  if (json) {
    nlohmann::json line = {{"time", TimeText(event.time)},
                           {"kind", WatchKindName(event.kind)},
                           {"name", ToUtf8(event.name)},
                           {"id", event.id}};
    std::printf("%s\n", JsonText(line).c_str());
  } else {
    std::printf("%s  %-13s %6d  %s\n", TimeText(event.time).c_str(), WatchKindName(event.kind),
                event.id, TerminalText(ToUtf8(event.name)).c_str());
  }
  return !OutputClosed();
}

int Watch(const WatchOptions& options, _tagSChosenPlatform& chosen) {
  CEventQueue queue;
  // Before the start-up and before any thread of the library starts, so they
  // all inherit the blocked signals: Ctrl-C, SIGTERM or a hang-up during a
  // long discovery is kept and ends the watch once the start-up is through
  // (the queue remembers it), instead of killing the process half-way.
  // Afterwards each interrupts the wait; the watch then ends as it does on
  // --count.
  CDaemonSignals signals([&queue](int) { queue.Interrupt(); });
  CHostSession session;
  std::string error;
  if (!session.Start(options.platform, error)) {
    std::fprintf(stderr, "zivo watch: %s\n", error.c_str());
    return 1;
  }
  CWatchListener listener(queue, chosen.platform);
  COSEventManager* events = COSEventManager::GetInstance();
  const int init = events->Init();
  if (init != 0) {
    std::fprintf(stderr, "zivo watch: the event manager's Init failed with %d: %s\n", init,
                 StatusText(init));
    COSEventManager::DeleteInstance();
    return 1;
  }
  events->AddEventListener(&listener, static_cast<VelmarEventListenerType>(options.kinds));
  // On standard error, with --json too: the output holds the events alone.
  std::fprintf(
      stderr, "zivo watch: watching %s on the %s%s\n", WatchKindsText(options.kinds).c_str(),
      chosen.description.c_str(),
      chosen.handheld && !chosen.handheld->Timeline().empty() ? ", playing its timeline" : "");

  const SteadyClock::time_point start = SteadyClock::now();
  const auto at = [&](uint64_t simulatedMs) {
    return start + std::chrono::microseconds(
                       static_cast<int64_t>(std::llround(simulatedMs * 1000.0 / options.speed)));
  };
  const bool timed = options.timeoutMs.has_value();
  const SteadyClock::time_point end = timed ? start + std::chrono::milliseconds(*options.timeoutMs)
                                            : SteadyClock::time_point::max();
  uint64_t printed = 0;
  bool interrupted = false;
  for (;;) {
    SteadyClock::time_point until = end;
    if (chosen.handheld) {
      if (const auto due = chosen.handheld->NextDue()) {
        if (SteadyClock::now() >= at(*due)) {
          chosen.handheld->PlayUntil(*due);
          continue;
        }
        until = std::min(until, at(*due));
      }
    }
    for (const Received& event : queue.Wait(until, interrupted)) {
      if (options.count && printed >= *options.count) {
        break;
      }
      if (!Print(event, options.platform.json)) {
        interrupted = true;
        break;
      }
      ++printed;
    }
    if (interrupted || (options.count && printed >= *options.count) ||
        (timed && SteadyClock::now() >= end)) {
      break;
    }
  }
  // DeleteInstance waits for deliveries under way; the listener outlives it.
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
  _tagSChosenPlatform chosen;
  if (!InstallChosenPlatform(options.platform, chosen, error)) {
    std::fprintf(stderr, "zivo watch: %s\n", error.c_str());
    return 1;
  }
  return Watch(options, chosen);
}
