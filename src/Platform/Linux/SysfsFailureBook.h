// The latest failed sysfs access of each participant, kept by the Linux
// device I/O for GetLinuxAccessFailure (zivorivizo/Platform.h): the handles
// it opens note every failure here under the name they were opened with.
// Thread-safe: handles of different threads record, a host reads.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "zivorivizo/Platform.h"

class CSysfsFailureBook {
 public:
  void Record(const std::wstring& name, LinuxAccessFailure failure);
  bool Find(const std::wstring& name, LinuxAccessFailure& failure) const;

 private:
  mutable std::mutex mLock;
  std::map<std::wstring, LinuxAccessFailure> mLatest;
};

// "Permission denied (EACCES)" for an errno; "not a decimal value" for 0.
std::string SysfsFailureReason(int error);
