// What zivo run did to each device it wrote to: the state it found there
// (the last state someone else set) and the state it wrote last. From it
// come the rules of ownership:
// - run lowers a device only down to the state it found, never below it;
// - a device whose state is no longer what run wrote last was set by someone
//   else (the kernel's governor, a user): that state becomes the one found,
//   so run neither lowers it nor puts it back later;
// - a write that failed leaves the state run wrote before.
// Each change is handed to the save callback, when one is set, before the
// write it announces is made (the state file of --apply): a device is never
// changed without a record of how to put it back. Not thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

struct LedgerEntry {
  uint32_t found = 0;    // the state to put back
  uint32_t written = 0;  // the state run wrote last (== found: nothing to put back)
};

using LedgerEntries = std::map<std::wstring, LedgerEntry>;

class CDeviceLedger {
 public:
  // False when the record could not be kept; the write must then not be made.
  using Save = std::function<bool(const LedgerEntries&)>;

  void SetSave(Save save) { mSave = std::move(save); }

  // The device's state, read just now. True when someone else set it since
  // run's last write (it is then taken as found).
  bool Observe(const std::wstring& device, uint32_t state);
  // The lowest state run may lower `device` to; nullopt when run never
  // wrote to it.
  std::optional<uint32_t> Floor(const std::wstring& device) const;
  // The state run last wrote (or would have, in a dry run); nullopt when none.
  std::optional<uint32_t> Written(const std::wstring& device) const;
  // Run is about to write `to` over `current`: recorded and saved first.
  // False, with nothing recorded, when the save failed.
  bool Intend(const std::wstring& device, uint32_t current, uint32_t to);
  // The write announced by Intend failed: the device still holds `current`.
  void Failed(const std::wstring& device, uint32_t current);
  void Forget(const std::wstring& device);

  const LedgerEntries& Entries() const { return mEntries; }

 private:
  bool Saved();
  Save mSave;
  LedgerEntries mEntries;
};
