// The one loop of zivo's long-running commands (run, watch): the queue that
// the library's event threads and the signal thread fill, the signal thread,
// the tick schedule and, on a simulated handheld, the simulated clock that
// moves --speed times faster than the real one, playing the handheld's
// timeline and stepping its heat model. A command plugs into it with
// callbacks, all called on the thread that called Run, one at a time.
//
// The loop's time is milliseconds since Run started: simulated milliseconds
// on a handheld (real ones times the speed), real ones elsewhere. A tick is
// due every interval of it; a tick that comes a whole interval late or more
// on a real clock is a stall (TickSchedule.h): the next one is one interval
// from then and the missed ones are not made up. On a handheld each missed
// tick has its own moment, with the model stepped to it first, and the
// clock does not move on before the firmware's events of a timeline moment
// are delivered.
//
// Make the loop before the start-up of the command (discovery, policy load):
// its constructor blocks SIGINT, SIGTERM and SIGHUP in the calling thread, so
// every thread started after it inherits the block and a signal that comes
// meanwhile waits in the queue until Run takes it, instead of ending the
// process half-way. The loop does not own the handheld or the platform; they
// must outlive it. The listener it owns must outlive the event manager's
// deliveries: delete the event manager before the loop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "DaemonQueue.h"
#include "DaemonSignals.h"
#include "zivorivizo/EventManager.h"

struct ChosenPlatform;

// How the loop moves on and when it ends by itself.
struct HostPace {
  std::optional<uint64_t> intervalMs;  // a tick every interval of loop time; none: no ticks
  std::optional<uint64_t> durationMs;  // the loop ends once this much loop time passed
  std::optional<uint64_t> timeoutMs;   // the loop ends once this much real time passed
  double speed = 1.0;                  // loop time per real time, on a simulated handheld
};

// What the command does at each point of the loop. Every callback is
// optional.
struct HostCallbacks {
  // An event the listener received, in the order received; false ends the
  // loop (watch's --count, a reader gone).
  std::function<bool(const DaemonEvent& event)> event;
  // A tick of the interval, at `ms` of loop time: where every sensor is read
  // and a run samples what it records.
  std::function<void(uint64_t ms)> tick;
  // After a tick that came `stalledMs` late on a real clock.
  std::function<void(uint64_t stalledMs)> stalled;
  // SIGHUP, when the loop was made to reload on it.
  std::function<void()> reload;
  // Asked at each wake-up: false ends the loop (the reader of the output
  // went away).
  std::function<bool()> goOn;
};

// Why Run returned.
struct HostEnd {
  enum Kind { Signal, Duration, Timeout, Callback } kind = Duration;
  int signal = 0;  // Signal: SIGINT, SIGTERM or SIGHUP
};

class CHostLoop {
 public:
  // `chosen` says whether the loop runs a simulated handheld (and gives the
  // clock that stamps each event). With `reloadOnHangUp`, SIGHUP asks the
  // reload callback; otherwise it ends the loop like SIGTERM.
  CHostLoop(const ChosenPlatform& chosen, bool reloadOnHangUp);
  ~CHostLoop();
  CHostLoop(const CHostLoop&) = delete;
  CHostLoop& operator=(const CHostLoop&) = delete;

  // The listener to register with the event manager: it queues each event,
  // stamped with the platform's local time.
  CEventListener& Listener();

  // Runs until a stop signal, the end of `pace`, or a callback that ends it.
  HostEnd Run(const HostPace& pace, const HostCallbacks& callbacks);

 private:
  class CQueueListener;
  // The loop time of the next thing due: a tick, a timeline moment or the end.
  uint64_t NextDue(const HostPace& pace, uint64_t nextTick) const;
  // Plays a timeline moment that is due before the next tick; false when
  // there is none.
  bool PlayTimeline(uint64_t now, uint64_t nextTick);
  // Steps the handheld's model to `ms` of loop time.
  void StepModel(uint64_t ms);

  const ChosenPlatform& mChosen;
  CDaemonQueue mQueue;
  std::unique_ptr<CQueueListener> mListener;
  CDaemonSignals mSignals;  // last: its thread calls into the queue
};
