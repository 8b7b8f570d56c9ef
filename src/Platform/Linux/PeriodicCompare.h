// The periodic look at the thermal tree: every interval, on a thread of its
// own, it runs the one rescan-and-compare, which catches a zone or cooling
// device that came or went without any message or uevent saying so. An
// interval of zero or less turns it off.
//
// Stop (and the destructor) wakes the thread and waits for it; the compare is
// not called after Stop returns.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

class CPeriodicCompare {
 public:
  CPeriodicCompare(std::chrono::milliseconds interval, std::function<void()> compare);
  ~CPeriodicCompare();
  CPeriodicCompare(const CPeriodicCompare&) = delete;
  CPeriodicCompare& operator=(const CPeriodicCompare&) = delete;

  // Starts the thread unless it runs or the interval is off.
  void Start();
  void Stop();
  bool Running() const;
  std::chrono::milliseconds Interval() const { return mInterval; }

 private:
  const std::chrono::milliseconds mInterval;
  const std::function<void()> mCompare;
  mutable std::mutex mLock;
  std::jthread mThread;
};
