// What reaches the host loop (HostLoop.h) from other threads: the events its
// listener receives, a request to stop (SIGINT, SIGTERM) and a request to
// reload (SIGHUP). The loop waits on it with a deadline.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "zivorivizo/Clock.h"
#include "zivorivizo/EventManager.h"

struct DaemonEvent {
  VelmarEventListenerType kind;
  std::wstring name;
  int id = 0;
  _tagSLocalTime time;  // when the listener received it
};

struct DaemonWake {
  std::deque<DaemonEvent> events;
  int stopSignal = 0;  // the signal that asked to stop, else 0
  bool reload = false;
};

class CDaemonQueue {
 public:
  void Push(DaemonEvent event);
  void Stop(int signal);
  void Reload();
  // Waits until something is queued or `until` passed, and hands it over
  // (the reload request is handed over once; the stop request stays).
  DaemonWake Wait(std::chrono::steady_clock::time_point until);

 private:
  std::mutex mLock;
  std::condition_variable mChanged;
  std::deque<DaemonEvent> mEvents;
  int mStopSignal = 0;
  bool mReload = false;
};
