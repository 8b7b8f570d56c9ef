#include "Platform/Linux/ThermalClass/SysfsCoolingHandle.h"

#include <utility>

#include "Platform/Linux/SysfsDriverReply.h"
#include "Platform/Linux/SysfsValueWriter.h"
#include "Platform/Linux/ThermalClass/SysfsTypeMap.h"
#include "zivorivizo/SysfsUnits.h"

CSysfsCoolingHandle::CSysfsCoolingHandle(CSysfsLiveEntry entry, CUniqueFd dir,
                                         CSysfsAttribute current,
                                         std::shared_ptr<CSysfsValueWriter> writer)
    : mEntry(std::move(entry)),
      mDir(std::move(dir)),
      mCurrent(std::move(current)),
      mMax(mDir.Get(), "max_state"),
      mWriter(std::move(writer)) {}

bool CSysfsCoolingHandle::Control(uint32_t code, std::span<const std::byte> in,
                                  std::span<std::byte> out, uint32_t& error) {
  ClearSysfsFailureNote();
  return Serve(code, in, out, error) || Failed(error);
}

bool CSysfsCoolingHandle::Serve(uint32_t code, std::span<const std::byte> in,
                                std::span<std::byte> out, uint32_t& error) {
  if (!mEntry.Check(error)) {
    return false;
  }
  switch (code) {
    case DRIVER_DEVICE_GET_STATE: {
      uint32_t state = 0;
      return SysfsCheckRoom(out, sizeof(uint32_t), error) && ReadState(mCurrent, state, error) &&
             SysfsAnswer(state, out, error);
    }
    case DRIVER_DEVICE_SET_STATE: {
      // The kernel itself refuses a state above max_state.
      uint32_t state = 0;
      return SysfsTake(in, state, error) && mWriter->Write(mDir.Get(), "cur_state", state, error);
    }
    case DRIVER_DEVICE_GET_INFO:
      return Information(out, error);
    case DRIVER_DEVICE_START:
    case DRIVER_DEVICE_STOP:
      // A cooling device has no running state of its own: it holds whatever
      // cur_state it was given.
      return true;
    case DRIVER_DEVICE_SHUTDOWN: {
      // Nothing to prepare before the machine goes down; the flag is only
      // checked to be there, as the request carries it.
      uint32_t flag = 0;
      return SysfsTake(in, flag, error);
    }
    default:
      error = DEVICE_ERROR_INVALID_FUNCTION;
      return false;
  }
}

bool CSysfsCoolingHandle::ReadState(CSysfsAttribute& file, uint32_t& state, uint32_t& error) {
  int64_t value = 0;
  if (!file.ReadNumber(value, error)) {
    return false;
  }
  const auto checked = CoolingStateFromSysfs(value);
  if (!checked) {
    error = DEVICE_ERROR_GEN_FAILURE;
    return false;
  }
  state = *checked;
  return true;
}

bool CSysfsCoolingHandle::Information(std::span<std::byte> out, uint32_t& error) {
  uint32_t max = 0;
  uint32_t current = 0;
  if (!SysfsCheckRoom(out, sizeof(_tagSDeviceInfoBlock), error) || !ReadState(mMax, max, error) ||
      !ReadState(mCurrent, current, error)) {
    return false;
  }
  _tagSDeviceInfoBlock info;
  info.MaxState = max;
  info.Class = DeviceClassFromSysfs(mEntry.Entry().type);
  return SysfsAnswer(info, out, error);
}
