// Subscribes to the five notification queries of a WMI connection and keeps
// what each delivers as a line of text: "add-sensor NAME", "remove-device
// NAME", "thermal NAME CODE", ... The platform's own event shapes are read
// directly, without the library's sinks, so a platform's events can be
// tested apart from the event manager.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CWbemServices;
class CRecordingSinkImpl;

class CEventRecorder {
 public:
  // Subscribes; every subscription must succeed (a failed one fails the test).
  explicit CEventRecorder(std::shared_ptr<CWbemServices> services);
  ~CEventRecorder();  // cancels the subscriptions
  CEventRecorder(const CEventRecorder&) = delete;
  CEventRecorder& operator=(const CEventRecorder&) = delete;

  // Waits until at least `count` lines arrived; false after `timeoutMs`.
  bool WaitFor(std::size_t count, int timeoutMs = 5000);
  // The lines so far, in arrival order (events of different queries arrive on
  // different threads, so their relative order is not fixed).
  std::vector<std::string> Lines();

 private:
  friend class CRecordingSinkImpl;
  void Add(std::string line);

  std::shared_ptr<CWbemServices> mServices;
  std::vector<CRecordingSinkImpl*> mSinks;
  std::mutex mLock;
  std::condition_variable mArrived;
  std::vector<std::string> mLines;
};
