#include "Platform/Linux/Logind/LogindPower.h"

#include <systemd/sd-bus.h>

#include <ctime>

#include "Platform/Text.h"

namespace {

constexpr const char* kDestination = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kInterface = "org.freedesktop.login1.Manager";

// Frees an sd-bus error and a reply whatever way a call ends.
struct _tagSCallResult {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  ~_tagSCallResult() {
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
  }
};

uint64_t RealtimeMicroseconds() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

}  // namespace

CLogindPower::CLogindPower(std::string busAddress) : mAddress(std::move(busAddress)) {}

CLogindPower::~CLogindPower() {
  sd_bus_flush_close_unref(mBus);
}

sd_bus* CLogindPower::BusLocked() {
  if (mBus != nullptr) {
    return mBus;
  }
  sd_bus* bus = nullptr;
  if (mAddress.empty()) {
    if (sd_bus_open_system(&bus) < 0) {
      return nullptr;
    }
  } else {
    if (sd_bus_new(&bus) < 0) {
      return nullptr;
    }
    if (sd_bus_set_address(bus, mAddress.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
        sd_bus_start(bus) < 0) {
      sd_bus_unref(bus);
      return nullptr;
    }
  }
  mBus = bus;
  return mBus;
}

void CLogindPower::CheckConnectionLocked() {
  if (mBus != nullptr && sd_bus_is_open(mBus) <= 0) {
    sd_bus_flush_close_unref(mBus);
    mBus = nullptr;
  }
}

bool CLogindPower::AskLocked(const char* method, std::string& answer) {
  sd_bus* bus = BusLocked();
  if (bus == nullptr) {
    return false;
  }
  _tagSCallResult call;
  const char* text = nullptr;
  if (sd_bus_call_method(bus, kDestination, kPath, kInterface, method, &call.error, &call.reply,
                         "") < 0 ||
      sd_bus_message_read(call.reply, "s", &text) < 0) {
    CheckConnectionLocked();
    return false;
  }
  answer = text;
  return true;
}

bool CLogindPower::SleepLocked(const char* method) {
  sd_bus* bus = BusLocked();
  if (bus == nullptr) {
    return false;
  }
  _tagSCallResult call;
  if (sd_bus_call_method(bus, kDestination, kPath, kInterface, method, &call.error, &call.reply,
                         "b", 0) < 0) {
    CheckConnectionLocked();
    return false;
  }
  return true;
}

bool CLogindPower::EnableShutdownPrivilege() {
  std::lock_guard<std::mutex> hold(mLock);
  std::string answer;
  return AskLocked("CanPowerOff", answer) && (answer == "yes" || answer == "challenge");
}

bool CLogindPower::InitiateShutdown(const std::wstring& message, uint32_t timeoutSeconds,
                                    bool /*force*/, bool reboot) {
  std::lock_guard<std::mutex> hold(mLock);
  sd_bus* bus = BusLocked();
  if (bus == nullptr) {
    return false;
  }
  {
    _tagSCallResult wall;
    if (sd_bus_call_method(bus, kDestination, kPath, kInterface, "SetWallMessage", &wall.error,
                           &wall.reply, "sb", ToUtf8(message).c_str(), 1) < 0) {
      CheckConnectionLocked();
      bus = BusLocked();
      if (bus == nullptr) {
        return false;
      }
    }
  }
  const uint64_t when = RealtimeMicroseconds() + static_cast<uint64_t>(timeoutSeconds) * 1000000u;
  _tagSCallResult schedule;
  if (sd_bus_call_method(bus, kDestination, kPath, kInterface, "ScheduleShutdown", &schedule.error,
                         &schedule.reply, "st", reboot ? "reboot" : "poweroff", when) < 0) {
    CheckConnectionLocked();
    return false;
  }
  return true;
}

bool CLogindPower::IsHibernateAllowed() {
  std::lock_guard<std::mutex> hold(mLock);
  std::string answer;
  return AskLocked("CanHibernate", answer) && answer == "yes";
}

bool CLogindPower::SetPowerState(bool suspend, bool /*force*/) {
  std::lock_guard<std::mutex> hold(mLock);
  return SleepLocked(suspend ? "Suspend" : "Hibernate");
}
