#include "DeviceLedger.h"

bool CDeviceLedger::Observe(const std::wstring& device, uint32_t state) {
  const auto entry = mEntries.find(device);
  if (entry == mEntries.end() || entry->second.written == state) {
    return false;
  }
  entry->second = {state, state};
  Saved();
  return true;
}

std::optional<uint32_t> CDeviceLedger::Floor(const std::wstring& device) const {
  const auto entry = mEntries.find(device);
  return entry == mEntries.end() ? std::nullopt : std::optional<uint32_t>(entry->second.found);
}

std::optional<uint32_t> CDeviceLedger::Written(const std::wstring& device) const {
  const auto entry = mEntries.find(device);
  return entry == mEntries.end() ? std::nullopt : std::optional<uint32_t>(entry->second.written);
}

bool CDeviceLedger::Intend(const std::wstring& device, uint32_t current, uint32_t to) {
  const auto entry = mEntries.find(device);
  const std::optional<LedgerEntry> before =
      entry == mEntries.end() ? std::nullopt : std::optional<LedgerEntry>(entry->second);
  LedgerEntry& now = mEntries.try_emplace(device, LedgerEntry{current, current}).first->second;
  now.written = to;
  if (Saved()) {
    return true;
  }
  if (before) {
    now = *before;
  } else {
    mEntries.erase(device);
  }
  return false;
}

void CDeviceLedger::Failed(const std::wstring& device, uint32_t current) {
  const auto entry = mEntries.find(device);
  if (entry != mEntries.end()) {
    entry->second.written = current;
    Saved();
  }
}

void CDeviceLedger::Forget(const std::wstring& device) {
  if (mEntries.erase(device) != 0) {
    Saved();
  }
}

bool CDeviceLedger::Saved() {
  return !mSave || mSave(mEntries);
}
