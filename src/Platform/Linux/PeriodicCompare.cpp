#include "Platform/Linux/PeriodicCompare.h"

#include <condition_variable>

CPeriodicCompare::CPeriodicCompare(std::chrono::milliseconds interval,
                                   std::function<void()> compare)
    : mInterval(interval), mCompare(std::move(compare)) {}

CPeriodicCompare::~CPeriodicCompare() {
  Stop();
}

void CPeriodicCompare::Start() {
  std::lock_guard<std::mutex> hold(mLock);
  if (mThread.joinable() || mInterval <= std::chrono::milliseconds::zero()) {
    return;
  }
  mThread = std::jthread([this](std::stop_token stop) {
    std::mutex pauseLock;
    std::condition_variable_any pause;
    std::unique_lock<std::mutex> waiting(pauseLock);
    // wait_for returns true only when a stop was asked for.
    while (!pause.wait_for(waiting, stop, mInterval, [&] { return stop.stop_requested(); })) {
      mCompare();
    }
  });
}

void CPeriodicCompare::Stop() {
  std::jthread thread;
  {
    std::lock_guard<std::mutex> hold(mLock);
    thread = std::move(mThread);
  }
  // The jthread asks for the stop and joins as it goes.
}

bool CPeriodicCompare::Running() const {
  std::lock_guard<std::mutex> hold(mLock);
  return mThread.joinable();
}
