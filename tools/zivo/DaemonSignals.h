// SIGINT, SIGTERM and SIGHUP for zivo's long-running commands, taken by a
// thread of their own: the constructor blocks them in the calling thread (so
// every thread started after it inherits the block) and the thread hands
// each one to the callbacks, on that thread. The destructor stops the thread
// and restores the signal mask.
//
// Make it before the start-up (discovery, policy load), not after: a signal
// that arrives meanwhile then reaches the callback, which records it for the
// command to act on once the start-up is through, instead of killing the
// process half-way (SIGHUP's default action) with nothing given back.
#pragma once

#include <signal.h>

#include <functional>
#include <thread>

class CDaemonSignals {
 public:
  // `onStop` gets SIGINT and SIGTERM with the signal's number; `onReload`,
  // when given, gets SIGHUP, otherwise SIGHUP (the terminal went away) goes
  // to `onStop` too.
  explicit CDaemonSignals(std::function<void(int)> onStop, std::function<void()> onReload = {});
  ~CDaemonSignals();
  CDaemonSignals(const CDaemonSignals&) = delete;
  CDaemonSignals& operator=(const CDaemonSignals&) = delete;

 private:
  sigset_t mSignals;
  sigset_t mPrevious;
  std::thread mThread;
};
