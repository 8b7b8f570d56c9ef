// The file in which the fan channels taken into manual control are written
// down with the values found, before the first write to them, so that a
// process that dies without giving them back (a crash, SIGKILL) leaves what
// `zivo restore` needs. One line a channel: the chip folder, the channel
// number, the found `pwmN_enable` and `pwmN`, separated by tabs. The file is
// replaced whole (a temporary file, fsync, rename) at each change and
// removed when no channel is held any more.
// Thread-safe: the channels of several devices share one record.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Linux/Hwmon/HwmonFanChannel.h"

struct HwmonFanRecordLine {
  std::string folder;  // the chip folder, as opened
  uint32_t index = 0;  // N of pwmN
  HwmonFanFound found;
};

class CHwmonFanRecord {
 public:
  explicit CHwmonFanRecord(std::string file) : mFile(std::move(file)) {}

  const std::string& File() const { return mFile; }
  // Written down (and on the disk) before control is taken; false with
  // `error` when the file could not be written: control must not be taken.
  bool Hold(const HwmonFanRecordLine& line, std::string& error);
  // The channel was given back.
  void Release(const std::string& folder, uint32_t index);

  // The lines of a record file; an empty list when there is no file. False
  // with `error` when the file is there but cannot be read or understood.
  static bool Read(const std::string& file, std::vector<HwmonFanRecordLine>& lines,
                   std::string& error);
  // Gives back every channel a record file lists (pwmN then pwmN_enable,
  // read back, with the full-speed fallback); a channel no longer in manual
  // mode was taken over by someone else since and is left alone. One line
  // for a person per channel in `said`; the file is removed when every
  // channel was put back or left alone, else kept. False when a channel
  // could not be put back or the file could not be read.
  static bool PutBack(const std::string& file, std::vector<std::string>& said);

 private:
  bool Save(std::string& error);

  std::mutex mMutex;
  std::string mFile;
  std::vector<HwmonFanRecordLine> mLines;
};

// The record the Linux platform's fan channels use; null when none is set.
std::shared_ptr<CHwmonFanRecord> CurrentHwmonFanRecord();
void SetCurrentHwmonFanRecord(std::shared_ptr<CHwmonFanRecord> record);
