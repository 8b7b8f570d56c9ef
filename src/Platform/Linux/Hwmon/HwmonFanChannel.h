// One fan channel of an hwmon chip: `pwmN` with its `pwmN_enable`, and the
// `fanN_input` of the same number when the chip has it. This is what an
// active hwmon device is made of: throttle states 0..L, where state 0 is the
// chip's own mode as found when the channel was opened, and a state s >= 1
// takes manual control (`pwmN_enable` = 1, read back) and writes
//   pwm = floor + (255 - floor) * s / L
// with `floor` the `pwmN` read when control was taken, so that taking control
// never slows a fan; `pwmN_min`/`pwmN_max` bound the value where the driver
// has them. `pwmN_mode` is never written.
//
// Control is given back when the channel goes to state 0 and when it is
// destroyed: `pwmN` then `pwmN_enable` back to the values found, read back;
// when that fails, `pwmN_enable` = 0 (full speed), else manual at 255, so a
// fan is never left stopped. A driver that puts `pwmN_enable` back to its own
// mode behind our back (after suspend) is seen before the next write, and
// control is taken again.
//
// Warnings and errors go to the report function given at the open, as lines
// for a person; they are also what the destructor has to say, which no caller
// could otherwise hear. The channel owns its folder descriptor. Used by one
// thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Platform/Linux/SysfsAttribute.h"
#include "zivorivizo/Platform.h"

class CSysfsValueWriter;
class CHwmonFanRecord;

// What a channel has to tell a person. `error` false: a warning.
struct HwmonFanNote {
  bool error = false;
  std::string text;
  LinuxFanNoteKind kind = LinuxFanNoteKind::NotGivenBack;
};
using HwmonFanReport = std::function<void(const HwmonFanNote&)>;

// The values a channel found, to be put back (also what `zivo run --apply`
// records before its first write).
struct HwmonFanFound {
  int64_t enable = 0;
  int64_t pwm = 0;
};

class CHwmonFanChannel {
 public:
  // Throttle states above 0 when the platform option does not say otherwise.
  static constexpr uint32_t kDefaultLevels = 10;

  // Opens channel `index` of the chip folder `folder` and reads the found
  // values. Null with `error` when `pwmN` or `pwmN_enable` cannot be read or
  // `levels` is 0. `writer` may be null (plain writes); with a `record`, the
  // found values are written down there before control is taken, and a set
  // that cannot write them down fails without touching the fan.
  static std::unique_ptr<CHwmonFanChannel> Open(const std::string& folder, uint32_t index,
                                                uint32_t levels,
                                                std::shared_ptr<CSysfsValueWriter> writer,
                                                HwmonFanReport report, uint32_t& error,
                                                std::shared_ptr<CHwmonFanRecord> record = nullptr);
  ~CHwmonFanChannel();
  CHwmonFanChannel(const CHwmonFanChannel&) = delete;
  CHwmonFanChannel& operator=(const CHwmonFanChannel&) = delete;

  // "pwm2", the name of the channel in its folder.
  const std::string& Name() const { return mName; }
  uint32_t Levels() const { return mLevels; }
  const HwmonFanFound& Found() const { return mFound; }
  // A channel whose `pwmN` or `pwmN_enable` may not be written is listed but
  // refuses every set with DEVICE_ERROR_ACCESS_DENIED.
  bool ReadOnly() const { return mReadOnly; }
  bool InControl() const { return mInControl; }

  bool SetState(uint32_t state, uint32_t& error);
  // 0 while the chip is in its own mode, else `pwmN` quantised to 1..L.
  bool CurrentState(uint32_t& state, uint32_t& error);
  // `fanN_input`; false when the chip has no tachometer on this channel.
  bool ReadRpm(int64_t& rpm, uint32_t& error);
  // Puts the found values back (a no-op when control was never taken);
  // false when they could not be put back and the fallback was used.
  bool GiveBack();

 private:
  CHwmonFanChannel(std::string folder, CUniqueFd dir, uint32_t index, uint32_t levels,
                   std::shared_ptr<CSysfsValueWriter> writer, HwmonFanReport report,
                   std::shared_ptr<CHwmonFanRecord> record);
  bool Write(const std::string& name, int64_t value, uint32_t& error);
  bool TakeControl(uint32_t& error);
  bool KeepControl(uint32_t& error);
  int64_t Bounded(int64_t pwm);
  void Tell(LinuxFanNoteKind kind, std::string text);

  std::string mFolder;
  CUniqueFd mDir;
  uint32_t mIndex;
  std::string mName;
  std::string mEnableName;
  std::string mRpmName;
  uint32_t mLevels;
  std::shared_ptr<CSysfsValueWriter> mWriter;
  HwmonFanReport mReport;
  std::shared_ptr<CHwmonFanRecord> mRecord;
  CSysfsAttribute mPwm;
  CSysfsAttribute mEnable;
  HwmonFanFound mFound;
  bool mReadOnly = false;
  bool mInControl = false;
  int64_t mFloor = 0;
};

// Puts `found` back on channel `index` of the chip folder `dirFd`: `pwmN` then
// `pwmN_enable`, read back; when that fails, `pwmN_enable` = 0 (full speed),
// else manual at 255, each with an error note. False when the found values
// could not be put back.
bool PutBackFanChannel(int dirFd, uint32_t index, const HwmonFanFound& found,
                       CSysfsValueWriter& writer, const HwmonFanReport& report);
