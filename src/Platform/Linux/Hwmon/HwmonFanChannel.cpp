#include "Platform/Linux/Hwmon/HwmonFanChannel.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "Platform/DeviceIo.h"
#include "Platform/Linux/Hwmon/HwmonFanRecord.h"
#include "Platform/Linux/SysfsValueWriter.h"

namespace {

constexpr int64_t kManual = 1;
constexpr int64_t kFullSpeedMode = 0;
constexpr int64_t kPwmTop = 255;

// A write the driver may take and then show differently: read back.
bool WriteAndCheckFile(CSysfsValueWriter& writer, int dirFd, const std::string& name, int64_t value,
                       uint32_t& error) {
  if (!writer.Write(dirFd, name, value, error)) {
    return false;
  }
  int64_t shown = 0;
  if (!ReadSysfsNumber(dirFd, name.c_str(), shown, error)) {
    return false;
  }
  if (shown != value) {
    error = DEVICE_ERROR_GEN_FAILURE;
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<CHwmonFanChannel> CHwmonFanChannel::Open(const std::string& folder, uint32_t index,
                                                         uint32_t levels,
                                                         std::shared_ptr<CSysfsValueWriter> writer,
                                                         HwmonFanReport report, uint32_t& error,
                                                         std::shared_ptr<CHwmonFanRecord> record) {
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
      new CHwmonFanChannel(folder, std::move(dir), index, levels, std::move(writer),
                           std::move(report), std::move(record)));
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

CHwmonFanChannel::CHwmonFanChannel(std::string folder, CUniqueFd dir, uint32_t index,
                                   uint32_t levels, std::shared_ptr<CSysfsValueWriter> writer,
                                   HwmonFanReport report, std::shared_ptr<CHwmonFanRecord> record)
    : mFolder(std::move(folder)),
      mDir(std::move(dir)),
      mIndex(index),
      mName("pwm" + std::to_string(index)),
      mEnableName(mName + "_enable"),
      mRpmName("fan" + std::to_string(index) + "_input"),
      mLevels(levels),
      mWriter(std::move(writer)),
      mReport(std::move(report)),
      mRecord(std::move(record)),
      mPwm(mDir.Get(), mName),
      mEnable(mDir.Get(), mEnableName) {}

CHwmonFanChannel::~CHwmonFanChannel() {
  GiveBack();
}

void CHwmonFanChannel::Tell(LinuxFanNoteKind kind, std::string text) {
  if (mReport) {
    // Control taken again is the one thing a channel says that is no failure.
    mReport(HwmonFanNote{kind != LinuxFanNoteKind::ControlRetaken, std::move(text), kind});
  }
}

bool CHwmonFanChannel::Write(const std::string& name, int64_t value, uint32_t& error) {
  return mWriter->Write(mDir.Get(), name, value, error);
}

bool CHwmonFanChannel::TakeControl(uint32_t& error) {
  int64_t floor = 0;
  if (!mPwm.ReadNumber(floor, error)) {
    return false;
  }
  std::string unsaved;
  if (mRecord && !mRecord->Hold({mFolder, mIndex, mFound}, unsaved)) {
    Tell(LinuxFanNoteKind::ControlRefused,
         mName + ": control not taken, the values to put back cannot be recorded: " + unsaved);
    error = DEVICE_ERROR_GEN_FAILURE;
    return false;
  }
  if (!WriteAndCheckFile(*mWriter, mDir.Get(), mEnableName, kManual, error)) {
    Tell(LinuxFanNoteKind::ControlRefused,
         mEnableName + ": the driver did not keep manual control (" + std::to_string(kManual) +
             " written); the fan stays in the chip's own mode");
    // Whatever the driver made of the write, the chip's own mode is the safe one.
    uint32_t ignored = 0;
    if (Write(mEnableName, mFound.enable, ignored) && mRecord) {
      mRecord->Release(mFolder, mIndex);
    }
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
  Tell(LinuxFanNoteKind::ControlRetaken,
       mEnableName + " was reset to " + std::to_string(enable) +
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
    Tell(LinuxFanNoteKind::ReadOnly, mName + " is read-only (" + mName + " or " + mEnableName +
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
  const bool back = PutBackFanChannel(mDir.Get(), mIndex, mFound, *mWriter, mReport);
  if (back && mRecord) {
    mRecord->Release(mFolder, mIndex);
  }
  return back;
}

bool PutBackFanChannel(int dirFd, uint32_t index, const HwmonFanFound& found,
                       CSysfsValueWriter& writer, const HwmonFanReport& report) {
  const std::string pwm = "pwm" + std::to_string(index);
  const std::string enable = pwm + "_enable";
  const auto tell = [&report](std::string text) {
    if (report) {
      report(HwmonFanNote{true, std::move(text), LinuxFanNoteKind::NotGivenBack});
    }
  };
  uint32_t error = 0;
  // pwmN first: a chip that goes back to manual mode then runs at the found speed.
  if (WriteAndCheckFile(writer, dirFd, pwm, found.pwm, error) &&
      WriteAndCheckFile(writer, dirFd, enable, found.enable, error)) {
    return true;
  }
  tell(pwm + ": could not put back " + pwm + " = " + std::to_string(found.pwm) + " and " + enable +
       " = " + std::to_string(found.enable) + " (error " + std::to_string(error) + ")");
  if (WriteAndCheckFile(writer, dirFd, enable, kFullSpeedMode, error)) {
    tell(pwm + ": left at full speed (" + enable + " = 0)");
    return false;
  }
  // Manual at 255, also on a chip whose mode cannot be written but is manual.
  int64_t mode = -1;
  writer.Write(dirFd, enable, kManual, error);
  if (ReadSysfsNumber(dirFd, enable.c_str(), mode, error) && mode == kManual &&
      WriteAndCheckFile(writer, dirFd, pwm, kPwmTop, error)) {
    tell(pwm + ": left in manual control at 255");
    return false;
  }
  tell(pwm + ": could not set full speed either; check the fan");
  return false;
}
