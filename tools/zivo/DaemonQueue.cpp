#include "DaemonQueue.h"

void CDaemonQueue::Push(DaemonEvent event) {
  std::lock_guard<std::mutex> hold(mLock);
  mEvents.push_back(std::move(event));
  mChanged.notify_all();
}

void CDaemonQueue::Stop(int signal) {
  std::lock_guard<std::mutex> hold(mLock);
  mStopSignal = signal;
  mChanged.notify_all();
}

void CDaemonQueue::Reload() {
  std::lock_guard<std::mutex> hold(mLock);
  mReload = true;
  mChanged.notify_all();
}

DaemonWake CDaemonQueue::Wait(std::chrono::steady_clock::time_point until) {
  std::unique_lock<std::mutex> lock(mLock);
  mChanged.wait_until(lock, until, [&] { return !mEvents.empty() || mStopSignal != 0 || mReload; });
  DaemonWake wake;
  wake.events.swap(mEvents);
  wake.stopSignal = mStopSignal;
  wake.reload = mReload;
  mReload = false;
  return wake;
}
