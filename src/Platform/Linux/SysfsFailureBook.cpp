#include "Platform/Linux/SysfsFailureBook.h"

#include <cstring>

void CSysfsFailureBook::Record(const std::wstring& name, LinuxAccessFailure failure) {
  std::lock_guard<std::mutex> hold(mLock);
  mLatest[name] = std::move(failure);
}

bool CSysfsFailureBook::Find(const std::wstring& name, LinuxAccessFailure& failure) const {
  std::lock_guard<std::mutex> hold(mLock);
  const auto found = mLatest.find(name);
  if (found == mLatest.end()) {
    return false;
  }
  failure = found->second;
  return true;
}

std::string SysfsFailureReason(int error) {
  if (error == 0) {
    return "not a decimal value, or not a regular file";
  }
  const char* symbol = strerrorname_np(error);
  return std::string(strerrordesc_np(error) ? strerrordesc_np(error) : "unknown error") + " (" +
         (symbol ? symbol : "errno " + std::to_string(error)) + ")";
}
