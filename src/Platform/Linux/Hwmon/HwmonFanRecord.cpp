#include "Platform/Linux/Hwmon/HwmonFanRecord.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "Platform/Linux/SysfsValueWriter.h"
#include "zivorivizo/Platform.h"

namespace {

std::mutex gCurrentMutex;
std::shared_ptr<CHwmonFanRecord> gCurrent;

std::string Reason(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

bool SaveLines(const std::string& file, const std::vector<HwmonFanRecordLine>& lines,
               std::string& error) {
  if (lines.empty()) {
    if (unlink(file.c_str()) != 0 && errno != ENOENT) {
      error = Reason("cannot remove " + file);
      return false;
    }
    return true;
  }
  std::string text;
  for (const HwmonFanRecordLine& line : lines) {
    text += line.folder + '\t' + std::to_string(line.index) + '\t' +
            std::to_string(line.found.enable) + '\t' + std::to_string(line.found.pwm) + '\n';
  }
  const std::string temporary = file + ".new";
  CUniqueFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!fd.Valid()) {
    error = Reason("cannot write " + temporary);
    return false;
  }
  const bool written =
      write(fd.Get(), text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
      fsync(fd.Get()) == 0;
  if (!written || rename(temporary.c_str(), file.c_str()) != 0) {
    error = Reason("cannot write " + file);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::shared_ptr<CHwmonFanRecord> CurrentHwmonFanRecord() {
  std::lock_guard lock(gCurrentMutex);
  return gCurrent;
}

void SetCurrentHwmonFanRecord(std::shared_ptr<CHwmonFanRecord> record) {
  std::lock_guard lock(gCurrentMutex);
  gCurrent = std::move(record);
}

bool CHwmonFanRecord::Hold(const HwmonFanRecordLine& line, std::string& error) {
  std::lock_guard lock(mMutex);
  mLines.push_back(line);
  if (!SaveLines(mFile, mLines, error)) {
    mLines.pop_back();
    return false;
  }
  return true;
}

void CHwmonFanRecord::Release(const std::string& folder, uint32_t index) {
  std::lock_guard lock(mMutex);
  std::erase_if(mLines, [&](const HwmonFanRecordLine& line) {
    return line.folder == folder && line.index == index;
  });
  // A record that cannot be rewritten still lists a channel already given
  // back; putting it back once more is harmless.
  std::string ignored;
  SaveLines(mFile, mLines, ignored);
}

bool CHwmonFanRecord::Read(const std::string& file, std::vector<HwmonFanRecordLine>& lines,
                           std::string& error) {
  lines.clear();
  std::ifstream in(file);
  if (!in) {
    if (errno == ENOENT) {
      return true;
    }
    error = Reason("cannot read " + file);
    return false;
  }
  std::string text;
  int number = 0;
  while (std::getline(in, text)) {
    ++number;
    std::istringstream fields(text);
    HwmonFanRecordLine line;
    if (!std::getline(fields, line.folder, '\t') ||
        !(fields >> line.index >> line.found.enable >> line.found.pwm) || line.folder.empty() ||
        line.found.pwm < 0 || line.found.pwm > 255) {
      error = file + ":" + std::to_string(number) + ": not a fan channel record";
      return false;
    }
    lines.push_back(line);
  }
  return true;
}

bool CHwmonFanRecord::PutBack(const std::string& file, std::vector<std::string>& said) {
  std::vector<HwmonFanRecordLine> lines;
  std::string error;
  if (!Read(file, lines, error)) {
    said.push_back(error);
    return false;
  }
  std::vector<HwmonFanRecordLine> kept;
  for (const HwmonFanRecordLine& line : lines) {
    const std::string name = line.folder + "/pwm" + std::to_string(line.index);
    const HwmonFanReport report = [&said, &name](const HwmonFanNote& note) {
      said.push_back(name + ": " + note.text);
    };
    CUniqueFd dir(open(line.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    int64_t enable = 0;
    uint32_t failure = 0;
    if (!dir.Valid() ||
        !ReadSysfsNumber(dir.Get(), ("pwm" + std::to_string(line.index) + "_enable").c_str(),
                         enable, failure)) {
      said.push_back(name + ": the chip is gone; nothing to put back");
      continue;
    }
    if (enable != 1 && line.found.enable != 1) {
      said.push_back(name + ": left alone, its mode is " + std::to_string(enable) + " now");
      continue;
    }
    CSysfsValueWriter writer;
    if (PutBackFanChannel(dir.Get(), line.index, line.found, writer, report)) {
      said.push_back(name + ": put back to mode " + std::to_string(line.found.enable) + " at " +
                     std::to_string(line.found.pwm));
    } else {
      kept.push_back(line);
    }
  }
  if (!SaveLines(file, kept, error)) {
    said.push_back(error);
    return false;
  }
  return kept.empty();
}

void SetLinuxFanRecord(const std::string& file) {
  SetCurrentHwmonFanRecord(file.empty() ? nullptr : std::make_shared<CHwmonFanRecord>(file));
}

bool PutBackLinuxFans(const std::string& file, std::vector<std::string>& said) {
  return CHwmonFanRecord::PutBack(file, said);
}
