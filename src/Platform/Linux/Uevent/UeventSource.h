// The kernel's uevents for the thermal tree, through libsystemd's
// sd_device_monitor: a zone or cooling device added or removed is announced
// here even where no thermal netlink message is sent for it (most kernels
// send none for cooling devices, and not every driver one for its zones),
// and an hwmon chip that comes or goes (a GPU, a USB device) is announced
// only here.
//
// The source only says that the tree changed: its handler runs the one
// rescan-and-compare (CKernelThermalBridge::Compare), which finds out what.
// It watches the subsystems of UeventSubsystems(), "add" and "remove" actions.
//
// Start opens the monitor and starts a thread of its own; where the monitor
// cannot be opened it fails with the reason and starts nothing. Stop (and the
// destructor) wakes the thread, waits for it and closes the monitor; the
// handler is not called after Stop returns.
//
// Deliver is the seam between the monitor and the decision: the thread calls
// it with what each sd_device tells, and tests call it with records of their
// own, whether or not the source was started.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct sd_device;
struct sd_device_monitor;
struct sd_event;

// What the source reads of one uevent.
struct UeventRecord {
  std::string subsystem;  // "thermal", "hwmon"
  std::string action;     // "add", "remove", "change", ...
  std::string sysname;    // "thermal_zone3", "cooling_device1"
};

// The subsystems whose uevents lead to a compare: one line each.
const std::vector<std::string>& UeventSubsystems();

class CUeventSource {
 public:
  using Handler = std::function<void(const UeventRecord&)>;

  explicit CUeventSource(Handler handler);
  ~CUeventSource();
  CUeventSource(const CUeventSource&) = delete;
  CUeventSource& operator=(const CUeventSource&) = delete;

  // False with `why` in words when the monitor cannot be opened; calling it
  // again after a success does nothing and returns true.
  bool Start(std::string& why);
  void Stop();
  bool Running() const;

  // Calls the handler when the record is an addition or removal in a watched
  // subsystem; returns whether it did.
  bool Deliver(const UeventRecord& record);

 private:
  static int OnDevice(sd_device_monitor* monitor, sd_device* device, void* self);
  void Close();

  Handler mHandler;
  mutable std::mutex mStartLock;
  sd_event* mEvent = nullptr;
  sd_device_monitor* mMonitor = nullptr;
  int mStopFd = -1;  // an eventfd that Stop signals
  std::thread mThread;
};
