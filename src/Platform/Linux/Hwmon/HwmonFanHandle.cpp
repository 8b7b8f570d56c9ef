#include "Platform/Linux/Hwmon/HwmonFanHandle.h"

#include <utility>

#include "Log/LogStatement.h"
#include "Platform/Linux/Hwmon/HwmonFanNotes.h"
#include "Platform/Linux/SysfsDriverReply.h"

HwmonFanReport LogHwmonFanNotes(std::wstring name) {
  return [name = std::move(name)](const HwmonFanNote& note) {
    if (note.error) {
      LOG_ERROR("%ls: %s", name.c_str(), note.text.c_str());
    } else {
      LOG_WARN("%ls: %s", name.c_str(), note.text.c_str());
    }
    CHwmonFanNotes::Instance().Keep(LinuxFanNote{name, note.kind, note.error, note.text});
  };
}

CHwmonFanHandle::CHwmonFanHandle(std::unique_ptr<CHwmonFanChannel> channel, Presence present)
    : mChannel(std::move(channel)), mPresent(std::move(present)) {}

bool CHwmonFanHandle::Control(uint32_t code, std::span<const std::byte> in,
                              std::span<std::byte> out, uint32_t& error) {
  ClearSysfsFailureNote();
  return Serve(code, in, out, error) || Failed(error);
}

bool CHwmonFanHandle::Serve(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
                            uint32_t& error) {
  if (mPresent && !mPresent(error)) {
    return false;
  }
  switch (code) {
    case DRIVER_DEVICE_GET_STATE: {
      uint32_t state = 0;
      return SysfsCheckRoom(out, sizeof(uint32_t), error) && mChannel->CurrentState(state, error) &&
             SysfsAnswer(state, out, error);
    }
    case DRIVER_DEVICE_SET_STATE: {
      uint32_t state = 0;
      return SysfsTake(in, state, error) && mChannel->SetState(state, error);
    }
    case DRIVER_DEVICE_GET_INFO: {
      _tagSDeviceInfoBlock info;
      info.MaxState = mChannel->Levels();
      info.Class = kHwmonFanClass;
      return SysfsAnswer(info, out, error);
    }
    case DRIVER_DEVICE_START:
      return true;
    case DRIVER_DEVICE_STOP:
      // A stopped device leaves the fan to the chip.
      mChannel->GiveBack();
      return true;
    case DRIVER_DEVICE_SHUTDOWN: {
      uint32_t flag = 0;
      if (!SysfsTake(in, flag, error)) {
        return false;
      }
      if (flag != 0) {
        mChannel->GiveBack();
      }
      return true;
    }
    default:
      error = DEVICE_ERROR_INVALID_FUNCTION;
      return false;
  }
}
