#include "Platform/Linux/Uevent/UeventSource.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <systemd/sd-device.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <system_error>

namespace {

// The text of a device's property or attribute, empty when it has none.
std::string Text(int (*get)(sd_device*, const char**), sd_device* device) {
  const char* value = nullptr;
  return get(device, &value) >= 0 && value != nullptr ? value : "";
}

std::string Action(sd_device* device) {
  const char* value = nullptr;
  return sd_device_get_property_value(device, "ACTION", &value) >= 0 && value != nullptr ? value
                                                                                         : "";
}

int OnStop(sd_event_source* source, int /*fd*/, uint32_t /*events*/, void* /*self*/) {
  return sd_event_exit(sd_event_source_get_event(source), 0);
}

}  // namespace

const std::vector<std::string>& UeventSubsystems() {
  static const std::vector<std::string> subsystems = {
      "thermal",
      "hwmon",
  };
  return subsystems;
}

CUeventSource::CUeventSource(Handler handler) : mHandler(std::move(handler)) {}

CUeventSource::~CUeventSource() {
  Stop();
}

bool CUeventSource::Start(std::string& why) {
  std::lock_guard<std::mutex> lock(mStartLock);
  if (mThread.joinable()) {
    return true;
  }
  int error = sd_event_new(&mEvent);
  if (error >= 0) {
    error = sd_device_monitor_new(&mMonitor);
  }
  for (const std::string& subsystem : UeventSubsystems()) {
    if (error >= 0) {
      error = sd_device_monitor_filter_add_match_subsystem_devtype(mMonitor, subsystem.c_str(),
                                                                   nullptr);
    }
  }
  if (error >= 0) {
    error = sd_device_monitor_attach_event(mMonitor, mEvent);
  }
  if (error >= 0) {
    error = sd_device_monitor_start(mMonitor, OnDevice, this);
  }
  if (error < 0) {
    why = std::string("the uevent monitor cannot be opened: ") + std::strerror(-error);
    Close();
    return false;
  }
  mStopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (mStopFd < 0 || sd_event_add_io(mEvent, nullptr, mStopFd, EPOLLIN, OnStop, this) < 0) {
    why = "no event descriptor to stop the uevent monitor with";
    Close();
    return false;
  }
  try {
    mThread = std::thread([event = mEvent] { sd_event_loop(event); });
  } catch (const std::system_error&) {
    why = "the thread that reads uevents cannot be started";
    Close();
    return false;
  }
  return true;
}

void CUeventSource::Stop() {
  std::lock_guard<std::mutex> lock(mStartLock);
  if (mThread.joinable()) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(mStopFd, &one, sizeof one);
    mThread.join();
  }
  Close();
}

bool CUeventSource::Running() const {
  std::lock_guard<std::mutex> lock(mStartLock);
  return mThread.joinable();
}

void CUeventSource::Close() {
  mMonitor = sd_device_monitor_unref(mMonitor);
  mEvent = sd_event_unref(mEvent);
  if (mStopFd >= 0) {
    close(mStopFd);
    mStopFd = -1;
  }
}

bool CUeventSource::Deliver(const UeventRecord& record) {
  const auto& watched = UeventSubsystems();
  if (std::find(watched.begin(), watched.end(), record.subsystem) == watched.end() ||
      (record.action != "add" && record.action != "remove")) {
    return false;
  }
  mHandler(record);
  return true;
}

int CUeventSource::OnDevice(sd_device_monitor* /*monitor*/, sd_device* device, void* self) {
  static_cast<CUeventSource*>(self)->Deliver(
      {Text(sd_device_get_subsystem, device), Action(device), Text(sd_device_get_sysname, device)});
  return 0;
}
