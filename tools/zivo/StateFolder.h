// The folder where zivo run --apply keeps what it must give back (by default
// /run/zivo):
//   lock          held (flock) by the one process that controls the devices,
//                 its process id inside; the lock goes with the process, so a
//                 crash never leaves it taken;
//   devices.json  the ledger (DeviceLedger.h): for each device run wrote to,
//                 the state to put back and the state run wrote last, and
//                 the platform they belong to. Written whole (a temporary
//                 file, fsync, rename, fsync of the folder) before each write
//                 to a device; removed when run has put everything back. A
//                 file found at start was left by a run that did not end
//                 cleanly.
//   fans          linux: the hwmon fan channels taken into manual control,
//                 with the pwmN_enable and pwmN found, written by the
//                 library before its first write to each
//                 (SetLinuxFanRecord); removed when they were given back.
// One object per process; not thread-safe.
#pragma once

#include <optional>
#include <string>

#include "DeviceLedger.h"

// The devices of one platform, as the state file keeps them.
struct StateRecord {
  std::string platform;   // "linux" or "sim"
  std::string sysfsRoot;  // linux: the sysfs tree the names are in
  std::string naming;     // linux: "path" or "stable"
  long pid = 0;           // the run that wrote it
  LedgerEntries devices;
};

class CStateFolder {
 public:
  explicit CStateFolder(std::string folder);
  ~CStateFolder();
  CStateFolder(const CStateFolder&) = delete;
  CStateFolder& operator=(const CStateFolder&) = delete;

  const std::string& Folder() const { return mFolder; }
  std::string StateFile() const { return mFolder + "/devices.json"; }
  std::string FanFile() const { return mFolder + "/fans"; }

  // Creates the folder when needed and takes the lock, without waiting.
  // False with `error` in words: naming the process that holds the lock, or
  // why the folder or the lock cannot be used.
  bool Lock(std::string& error);
  // The record left in the folder; nullopt when there is none. False with
  // `error` when a file is there but cannot be read or understood.
  bool Read(std::optional<StateRecord>& record, std::string& error) const;
  // Replaces the record atomically. False with `error` when it could not be
  // written to the disk.
  bool Write(const StateRecord& record, std::string& error) const;
  // Removes the record (nothing to put back any more).
  bool Remove(std::string& error) const;

 private:
  std::string mFolder;
  int mLockFd = -1;
};
