#include "Platform/Linux/Hwmon/HwmonFanChannel.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "Platform/DeviceIo.h"
#include "Platform/Linux/SysfsValueWriter.h"

namespace {

constexpr int64_t kManual = 1;
constexpr int64_t kFullSpeedMode = 0;
constexpr int64_t kPwmTop = 255;

}  // namespace

std::unique_ptr<CHwmonFanChannel> CHwmonFanChannel::Open(const std::string& folder, uint32_t index,
                                                         uint32_t levels,
                                                         std::shared_ptr<CSysfsValueWriter> writer,
                                                         HwmonFanReport report, uint32_t& error) {
  if (levels == 0) {
    error = DEVICE_ERROR_GEN_FAILURE;
    return nullptr;
  }
  CUniqueFd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.Valid()) {
    error = DeviceErrorFromErrno(errno);
    return nullptr;
  }
  if (!writer) {
    writer = std::make_shared<CSysfsValueWriter>();
  }
  std::unique_ptr<CHwmonFanChannel> channel(
      new CHwmonFanChannel(std::move(dir), index, levels, std::move(writer), std::move(report)));
  if (!channel->mPwm.OpenForReading(error) || !channel->mEnable.OpenForReading(error) ||
      !channel->mPwm.ReadNumber(channel->mFound.pwm, error) ||
      !channel->mEnable.ReadNumber(channel->mFound.enable, error)) {
    return nullptr;
  }
  uint32_t ignored = 0;
  channel->mReadOnly =
      !channel->mPwm.CheckWritable(ignored) || !channel->mEnable.CheckWritable(ignored);
  return channel;
}

CHwmonFanChannel::CHwmonFanChannel(CUniqueFd dir, uint32_t index, uint32_t levels,
                                   std::shared_ptr<CSysfsValueWriter> writer, HwmonFanReport report)
    : mDir(std::move(dir)),
      mName("pwm" + std::to_string(index)),
      mEnableName(mName + "_enable"),
      mRpmName("fan" + std::to_string(index) + "_input"),
      mLevels(levels),
      mWriter(std::move(writer)),
      mReport(std::move(report)),
      mPwm(mDir.Get(), mName),
      mEnable(mDir.Get(), mEnableName) {}

CHwmonFanChannel::~CHwmonFanChannel() {
  GiveBack();
}

void CHwmonFanChannel::Tell(bool error, std::string text) {
  if (mReport) {
    mReport(HwmonFanNote{error, std::move(text)});
  }
}

bool CHwmonFanChannel::Write(const std::string& name, int64_t value, uint32_t& error) {
  return mWriter->Write(mDir.Get(), name, value, error);
}

// A write the driver may take and then show differently: read back.
bool CHwmonFanChannel::WriteAndCheck(const std::string& name, int64_t value, uint32_t& error) {
  if (!Write(name, value, error)) {
    return false;
  }
  int64_t shown = 0;
  CSysfsAttribute file(mDir.Get(), name);
  if (!file.OpenForReading(error) || !file.ReadNumber(shown, error)) {
    return false;
  }
  if (shown != value) {
    error = DEVICE_ERROR_GEN_FAILURE;
    return false;
  }
  return true;
}

bool CHwmonFanChannel::TakeControl(uint32_t& error) {
  int64_t floor = 0;
  if (!mPwm.ReadNumber(floor, error)) {
    return false;
  }
  if (!WriteAndCheck(mEnableName, kManual, error)) {
    Tell(true, mEnableName + ": the driver did not keep manual control (" +
                   std::to_string(kManual) + " written); the fan stays in the chip's own mode");
    // Whatever the driver made of the write, the chip's own mode is the safe one.
    uint32_t ignored = 0;
    Write(mEnableName, mFound.enable, ignored);
    return false;
  }
  mFloor = std::clamp<int64_t>(floor, 0, kPwmTop);
  mInControl = true;
  return true;
}

// Before each write: a driver that went back to its own mode (after a
// suspend) has dropped our control; take it again.
bool CHwmonFanChannel::KeepControl(uint32_t& error) {
  if (!mInControl) {
    return TakeControl(error);
  }
  int64_t enable = 0;
  if (!mEnable.ReadNumber(enable, error)) {
    return false;
  }
  if (enable == kManual) {
    return true;
  }
  Tell(false, mEnableName + " was reset to " + std::to_string(enable) +
                  " by the driver (after a suspend?); taking manual control again");
  mInControl = false;
  return TakeControl(error);
}

int64_t CHwmonFanChannel::Bounded(int64_t pwm) {
  int64_t limit = 0;
  uint32_t ignored = 0;
  if (ReadSysfsNumber(mDir.Get(), (mName + "_min").c_str(), limit, ignored)) {
    pwm = std::max(pwm, limit);
  }
  if (ReadSysfsNumber(mDir.Get(), (mName + "_max").c_str(), limit, ignored)) {
    pwm = std::min(pwm, limit);
  }
  return std::clamp<int64_t>(pwm, 0, kPwmTop);
}

bool CHwmonFanChannel::SetState(uint32_t state, uint32_t& error) {
  if (state > mLevels) {
    error = DEVICE_ERROR_GEN_FAILURE;
    return false;
  }
  if (mReadOnly) {
    Tell(true, mName + " is read-only (" + mName + " or " + mEnableName +
                   " may not be written): the chip controls this fan itself");
    error = DEVICE_ERROR_ACCESS_DENIED;
    return false;
  }
  if (state == 0) {
    if (!mInControl) {
      return true;
    }
    if (GiveBack()) {
      return true;
    }
    error = DEVICE_ERROR_GEN_FAILURE;
    return false;
  }
  if (!KeepControl(error)) {
    return false;
  }
  const int64_t pwm = Bounded(mFloor + (kPwmTop - mFloor) * state / mLevels);
  return Write(mName, pwm, error);
}

bool CHwmonFanChannel::CurrentState(uint32_t& state, uint32_t& error) {
  int64_t enable = 0;
  int64_t pwm = 0;
  if (!mEnable.ReadNumber(enable, error) || !mPwm.ReadNumber(pwm, error)) {
    return false;
  }
  if (!mInControl || enable != kManual) {
    state = 0;
    return true;
  }
  const int64_t span = kPwmTop - mFloor;
  if (span <= 0) {
    state = mLevels;
    return true;
  }
  // The nearest level; a manual channel is never shown as the chip's mode.
  const int64_t level = ((pwm - mFloor) * mLevels * 2 + span) / (span * 2);
  state = static_cast<uint32_t>(std::clamp<int64_t>(level, 1, mLevels));
  return true;
}

bool CHwmonFanChannel::ReadRpm(int64_t& rpm, uint32_t& error) {
  return ReadSysfsNumber(mDir.Get(), mRpmName.c_str(), rpm, error);
}

bool CHwmonFanChannel::GiveBack() {
  if (!mInControl) {
    return true;
  }
  mInControl = false;
  uint32_t error = 0;
  // pwmN first: a chip that goes back to manual mode then runs at the found speed.
  if (WriteAndCheck(mName, mFound.pwm, error) && WriteAndCheck(mEnableName, mFound.enable, error)) {
    return true;
  }
  Tell(true, mName + ": could not put back " + mName + " = " + std::to_string(mFound.pwm) +
                 " and " + mEnableName + " = " + std::to_string(mFound.enable) + " (error " +
                 std::to_string(error) + ")");
  if (WriteAndCheck(mEnableName, kFullSpeedMode, error)) {
    Tell(true, mName + ": left at full speed (" + mEnableName + " = 0)");
    return false;
  }
  if (WriteAndCheck(mEnableName, kManual, error) && WriteAndCheck(mName, kPwmTop, error)) {
    Tell(true, mName + ": left in manual control at 255");
    return false;
  }
  Tell(true, mName + ": could not set full speed either; check the fan");
  return false;
}
