// SIGINT, SIGTERM and SIGHUP for zivo run, taken by a thread of their own:
// the constructor blocks them in the calling thread (so every thread started
// after it inherits the block) and the thread hands each one to the queue.
// The destructor stops the thread and restores the signal mask.
#pragma once

#include <signal.h>

#include <thread>

class CDaemonQueue;

class CDaemonSignals {
 public:
  explicit CDaemonSignals(CDaemonQueue& queue);
  ~CDaemonSignals();
  CDaemonSignals(const CDaemonSignals&) = delete;
  CDaemonSignals& operator=(const CDaemonSignals&) = delete;

 private:
  sigset_t mSignals;
  sigset_t mPrevious;
  std::thread mThread;
};
