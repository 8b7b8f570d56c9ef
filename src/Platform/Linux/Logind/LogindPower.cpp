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

// An answer that is not a grant is a refusal in logind's own words.
bool Granted(PowerAnswer& answer, const char* method, const std::string& text, bool challenge) {
  if (text == "yes" || (challenge && text == "challenge")) {
    return true;
  }
  answer = {false, false, "", std::string(method) + " answered \"" + text + "\""};
  return false;
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
  int result = 0;
  if (mAddress.empty()) {
    result = sd_bus_open_system(&bus);
  } else if ((result = sd_bus_new(&bus)) >= 0) {
    if ((result = sd_bus_set_address(bus, mAddress.c_str())) < 0 ||
        (result = sd_bus_set_bus_client(bus, 1)) < 0 || (result = sd_bus_start(bus)) < 0) {
      sd_bus_unref(bus);
    }
  }
  if (result < 0) {
    _tagSCallResult failure;
    sd_bus_error_set_errno(&failure.error, result);
    mAnswer =
        PowerAnswer{false, false, failure.error.name != nullptr ? failure.error.name : "",
                    std::string("cannot reach ") +
                        (mAddress.empty() ? "the system bus" : "the bus at " + mAddress) + ": " +
                        (failure.error.message != nullptr ? failure.error.message : "")};
    return nullptr;
  }
  mBus = bus;
  return mBus;
}

bool CLogindPower::FailedLocked(int result, const char* errorName, const char* errorMessage) {
  if (result >= 0) {
    mAnswer = {};
    return false;
  }
  mAnswer = {false, false, errorName != nullptr ? errorName : "",
             errorMessage != nullptr ? errorMessage : ""};
  if (mAnswer.errorName.empty()) {
    _tagSCallResult failure;
    sd_bus_error_set_errno(&failure.error, result);
    mAnswer.errorName = failure.error.name != nullptr ? failure.error.name : "";
    mAnswer.errorMessage = failure.error.message != nullptr ? failure.error.message : "";
  }
  CheckConnectionLocked();
  return true;
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
  int result = sd_bus_call_method(bus, kDestination, kPath, kInterface, method, &call.error,
                                  &call.reply, "");
  if (result >= 0) {
    result = sd_bus_message_read(call.reply, "s", &text);
  }
  if (FailedLocked(result, call.error.name, call.error.message)) {
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
  const int result = sd_bus_call_method(bus, kDestination, kPath, kInterface, method, &call.error,
                                        &call.reply, "b", 0);
  return !FailedLocked(result, call.error.name, call.error.message);
}

bool CLogindPower::EnableShutdownPrivilege() {
  std::lock_guard<std::mutex> hold(mLock);
  std::string answer;
  return AskLocked("CanPowerOff", answer) && Granted(mAnswer, "CanPowerOff", answer, true);
}

bool CLogindPower::InitiateShutdown(const std::wstring& message, uint32_t timeoutSeconds,
                                    bool /*force*/, bool reboot) {
  std::lock_guard<std::mutex> hold(mLock);
  const uint64_t now = RealtimeMicroseconds();
  const uint64_t when = now + static_cast<uint64_t>(timeoutSeconds) * 1000000u;
  if (mScheduledAt > now && mScheduledReboot == reboot && mScheduledAt <= when) {
    mAnswer = {};
    mAnswer.alreadyScheduled = true;
    return true;
  }
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
  _tagSCallResult schedule;
  const int result =
      sd_bus_call_method(bus, kDestination, kPath, kInterface, "ScheduleShutdown", &schedule.error,
                         &schedule.reply, "st", reboot ? "reboot" : "poweroff", when);
  if (FailedLocked(result, schedule.error.name, schedule.error.message)) {
    return false;
  }
  mScheduledAt = when;
  mScheduledReboot = reboot;
  return true;
}

bool CLogindPower::IsHibernateAllowed() {
  std::lock_guard<std::mutex> hold(mLock);
  std::string answer;
  return AskLocked("CanHibernate", answer) && Granted(mAnswer, "CanHibernate", answer, false);
}

bool CLogindPower::SetPowerState(bool suspend, bool /*force*/) {
  std::lock_guard<std::mutex> hold(mLock);
  return SleepLocked(suspend ? "Suspend" : "Hibernate");
}

bool CLogindPower::CancelShutdown() {
  std::lock_guard<std::mutex> hold(mLock);
  sd_bus* bus = BusLocked();
  if (bus == nullptr) {
    return false;
  }
  _tagSCallResult call;
  const int result = sd_bus_call_method(bus, kDestination, kPath, kInterface,
                                        "CancelScheduledShutdown", &call.error, &call.reply, "");
  if (FailedLocked(result, call.error.name, call.error.message)) {
    return false;
  }
  mScheduledAt = 0;
  return true;
}

PowerAnswer CLogindPower::LastAnswer() {
  std::lock_guard<std::mutex> hold(mLock);
  return mAnswer;
}
