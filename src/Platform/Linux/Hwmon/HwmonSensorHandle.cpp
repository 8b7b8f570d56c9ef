#include "Platform/Linux/Hwmon/HwmonSensorHandle.h"

#include <utility>

#include "Platform/Linux/Hwmon/HwmonTypeMap.h"
#include "Platform/Linux/SysfsDriverReply.h"
#include "zivorivizo/SysfsUnits.h"

namespace {

constexpr uint32_t kNoTrip = 0xFFFFFFFF;
constexpr int64_t kLowestMilli = -273150;
constexpr int64_t kHighestMilli = 250000;

}  // namespace

bool HwmonSentinel(int64_t milli) {
  return milli <= kLowestMilli || milli >= kHighestMilli;
}

CHwmonSensorHandle::CHwmonSensorHandle(CSysfsLiveEntry entry, CUniqueFd dir, CSysfsAttribute input)
    : mEntry(std::move(entry)),
      mDir(std::move(dir)),
      mInput(std::move(input)),
      mType(HwmonSensorType(mEntry.Entry().chip, mEntry.Entry().type)) {
  const std::string fault = mEntry.Entry().channel + "_fault";
  if (SysfsFileExists(mDir.Get(), fault.c_str())) {
    mFault.emplace(mDir.Get(), fault);
  }
}

bool CHwmonSensorHandle::Control(uint32_t code, std::span<const std::byte> in,
                                 std::span<std::byte> out, uint32_t& error) {
  ClearSysfsFailureNote();
  return Serve(code, in, out, error) || Failed(error);
}

bool CHwmonSensorHandle::Serve(uint32_t code, std::span<const std::byte> /*in*/,
                               std::span<std::byte> out, uint32_t& error) {
  if (!mEntry.Check(error)) {
    return false;
  }
  int32_t tenths = 0;
  switch (code) {
    case DRIVER_SENSOR_GET_TEMP:
      return SysfsCheckRoom(out, sizeof(int32_t), error) && ReadTemperature(tenths, error) &&
             SysfsAnswer(tenths, out, error);
    case DRIVER_SENSOR_GET_INFO: {
      if (!SysfsCheckRoom(out, sizeof(_tagSSensorInfoBlock), error) ||
          !ReadTemperature(tenths, error)) {
        return false;
      }
      _tagSSensorInfoBlock info;
      info.Caps = 0;
      info.Base = DRIVER_BASE_TENTHS_KELVIN;
      info.DeviceCount = 0;
      info.AuxCount = 0;
      info.Aux0Type = kNoTrip;
      info.Aux0Trip = 0;
      info.Aux1Type = kNoTrip;
      info.Aux1Trip = 0;
      info.Type = mType;
      return SysfsAnswer(info, out, error);
    }
    case DRIVER_SENSOR_GET_TRIPS:
      return SysfsCheckRoom(out, sizeof(_tagSTripBlock), error) &&
             SysfsAnswer(_tagSTripBlock{kNoTrip, 0, kNoTrip, 0}, out, error);
    case DRIVER_SENSOR_START:
    case DRIVER_SENSOR_STOP:
      // The chip measures whether or not anyone listens.
      return true;
    default:
      // DRIVER_SENSOR_SET_TRIPS among them: a chip's limits are never written.
      error = DEVICE_ERROR_INVALID_FUNCTION;
      return false;
  }
}

// The hot path of every refresh: one pread on a descriptor kept open, two on
// a chip with tempN_fault.
bool CHwmonSensorHandle::ReadTemperature(int32_t& tenths, uint32_t& error) {
  int64_t milli = 0;
  if (!mInput.ReadNumber(milli, error)) {
    return false;
  }
  int64_t fault = 0;
  if (mFault && mFault->ReadNumber(fault, error) && fault != 0) {
    error = DEVICE_ERROR_GEN_FAILURE;
    return false;
  }
  const auto value = HwmonSentinel(milli) ? std::nullopt : TemperatureFromMilliCelsius(milli);
  if (!value) {
    error = DEVICE_ERROR_GEN_FAILURE;
    return false;
  }
  tenths = *value;
  return true;
}
