#include "HostLoop.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "PlatformOption.h"
#include "TickSchedule.h"
#include "zivorivizo-sim/SimHandheld.h"
#include "zivorivizo/Platform.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();
// How long the simulated clock waits for the firmware's events of one moment.
constexpr int kDeliveryWaitMs = 5000;

}  // namespace

class CHostLoop::CQueueListener : public CEventListener {
 public:
  CQueueListener(CDaemonQueue& queue, std::shared_ptr<CPlatform> platform)
      : CEventListener(&queue), mPlatform(std::move(platform)) {}
  int ProcessEvent(VelmarEventListenerType kind, std::wstring name, int eventId,
                   void* context) override {
    static_cast<CDaemonQueue*>(context)->Push(
        {kind, std::move(name), eventId, mPlatform->Clock().LocalNow()});
    return 0;
  }

 private:
  std::shared_ptr<CPlatform> mPlatform;
};

CHostLoop::CHostLoop(const ChosenPlatform& chosen, bool reloadOnHangUp)
    : mChosen(chosen),
      mListener(std::make_unique<CQueueListener>(mQueue, chosen.platform)),
      mSignals([this](int signal) { mQueue.Stop(signal); },
               reloadOnHangUp ? std::function<void()>([this] { mQueue.Reload(); }) : nullptr) {}

CHostLoop::~CHostLoop() = default;

CEventListener& CHostLoop::Listener() {
  return *mListener;
}

HostEnd CHostLoop::Run(const HostPace& pace, const HostCallbacks& callbacks) {
  const SteadyClock::time_point start = SteadyClock::now();
  // Loop time to real time and back; a moment too far to wait for is never.
  const auto at = [&](uint64_t ms) {
    const double us = std::ceil(static_cast<double>(ms) * 1000.0 / pace.speed);
    return ms == kNever || us > 1e17 ? SteadyClock::time_point::max()
                                     : start + std::chrono::microseconds(static_cast<int64_t>(us));
  };
  const auto elapsed = [&]() -> uint64_t {
    const double us = static_cast<double>(
        std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now() - start).count());
    return static_cast<uint64_t>(us * pace.speed / 1000.0);
  };
  const SteadyClock::time_point end = pace.timeoutMs
                                          ? start + std::chrono::milliseconds(*pace.timeoutMs)
                                          : SteadyClock::time_point::max();
  uint64_t nextTick = pace.intervalMs.value_or(kNever);
  for (;;) {
    if (callbacks.goOn && !callbacks.goOn()) {
      return {HostEnd::Callback};
    }
    const DaemonWake wake = mQueue.Wait(std::min(at(NextDue(pace, nextTick)), end));
    for (const DaemonEvent& event : wake.events) {
      if (callbacks.event && !callbacks.event(event)) {
        return {HostEnd::Callback};
      }
    }
    if (wake.stopSignal != 0) {
      return {HostEnd::Signal, wake.stopSignal};
    }
    if (wake.reload && callbacks.reload) {
      callbacks.reload();
    }
    if (SteadyClock::now() >= end) {
      return {HostEnd::Timeout};
    }
    const uint64_t now = elapsed();
    if (PlayTimeline(now, nextTick)) {
      continue;
    }
    if (now >= nextTick && (!pace.durationMs || nextTick <= *pace.durationMs)) {
      StepModel(nextTick);
      if (callbacks.tick) {
        callbacks.tick(nextTick);
      }
      if (mChosen.handheld) {
        nextTick += *pace.intervalMs;
      } else {
        const TickAfter after = NextTick(nextTick, now, *pace.intervalMs);
        nextTick = after.next;
        if (after.stalledMs != 0 && callbacks.stalled) {
          callbacks.stalled(after.stalledMs);
        }
      }
      continue;
    }
    if (pace.durationMs && now >= *pace.durationMs) {
      return {HostEnd::Duration};
    }
  }
}

uint64_t CHostLoop::NextDue(const HostPace& pace, uint64_t nextTick) const {
  uint64_t due = nextTick;
  if (mChosen.handheld) {
    if (const auto timeline = mChosen.handheld->NextDue()) {
      due = std::min(due, *timeline);
    }
  }
  return pace.durationMs ? std::min(due, *pace.durationMs) : due;
}

bool CHostLoop::PlayTimeline(uint64_t now, uint64_t nextTick) {
  if (!mChosen.handheld) {
    return false;
  }
  const auto timeline = mChosen.handheld->NextDue();
  if (!timeline || *timeline > now || *timeline > nextTick) {
    return false;
  }
  mChosen.handheld->PlayUntil(*timeline);
  mChosen.handheld->WaitDelivered(kDeliveryWaitMs);
  return true;
}

void CHostLoop::StepModel(uint64_t ms) {
  if (!mChosen.handheld) {
    return;
  }
  const uint64_t step = mChosen.handheld->StepSeconds() * 1000ULL;
  while (mChosen.handheld->ElapsedMs() + step <= ms) {
    mChosen.handheld->Step();
  }
}
