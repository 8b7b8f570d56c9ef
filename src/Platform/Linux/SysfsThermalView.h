// The live view of a sysfs root's thermal class: the one picture of the zones
// and cooling devices that the Linux platform's registry (the parameters key)
// and its device I/O (which folder a name opens, which device index a zone's
// cdev link is) both read. Keeping them on one snapshot is what keeps a
// sensor's device numbers and the `Device<n>` values it looks them up in in
// step.
//
// The picture changes only at defined moments, by Refresh:
//   - the participant manager's enumeration and its run-time additions (the
//     registry's Refresh, which it calls before reading the parameters key);
//   - device I/O asked to open a name the view does not know;
//   - the kernel event bridge, when the kernel reports a zone or cooling
//     device created or deleted.
// The first use scans once; constructing the view reads nothing.
//
// A refresh replaces the snapshot whole: a zone or cooling device that went
// away is no longer listed, a new one is, and the indexes are renumbered
// (Sensor0.. and Device0.. stay without gaps). Handles opened before keep
// their own folder: once a refresh no longer lists that very folder (a
// folder gone, or another one now carrying its number), every request on
// them fails; they never reach a newcomer.
//
// The kernel event bridge (the one place that compares views) calls, with
// zone or cooling device number N (the N of thermal_zoneN, cooling_deviceN as
// the kernel's events give it):
//
//   view.Refresh();
//   auto now = view.Current();   // compared with the last view it compared
//   // A trip of zone N was crossed: set DriverNotify "Sensor" + K to 1.
//   view.NotifyZone(N);
//
// The notification values follow their zones: a refresh that renumbers the
// zones moves each value that is set to the zone's new K before the new
// snapshot is published, and drops the values of zones that went away, so
// the notification thread reads a value and the name under the same K of one
// snapshot. (A refresh landing between its read of a value and its read of
// the name can still pair them wrongly; the moved value then raises the
// right event too.)
//
// The names are the values of Sensor<K>/Device<K> in the parameters key, that
// is the participant names under the platform's naming (its folder path, or
// "zone:TYPE:K" with the stable naming). std::nullopt: the current view does
// not list that number.
//
// A sensor reads its device numbers (information request) and then looks
// them up in the parameters key; a refresh that renumbers the devices between
// the two would pair numbers of one snapshot with names of the next. Since
// refreshes happen only at the moments above, that takes the tree changing
// within that window.
//
// The view is reached from the platform object: CLinuxPlatform::ThermalView().
// All operations are thread-safe; readers keep the snapshot they took for as
// long as they hold it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Platform/Linux/SysfsThermalSnapshot.h"

class CMemoryRegistry;
#include "zivorivizo/Platform.h"

class CSysfsThermalView {
 public:
  CSysfsThermalView(std::string sysfsRoot, LinuxParticipantNaming naming);

  const std::string& Root() const { return mRoot; }
  LinuxParticipantNaming Naming() const { return mNaming; }

  // Rescans the tree now and publishes the result (a new generation only
  // when something changed).
  void Refresh();

  // The participant name of thermal_zone`zone` / cooling_device`device` in
  // the current view.
  std::optional<std::wstring> ZoneName(uint32_t zone);
  std::optional<std::wstring> CoolingDeviceName(uint32_t device);
  // K of the zone's "Sensor" + K value in the current view.
  std::optional<uint32_t> SensorIndexOfZone(uint32_t zone);

  // Where the zones' notification values live (the registry's DriverNotify
  // key): set once, before the view is shared.
  void AttachNotifications(std::shared_ptr<CMemoryRegistry> store, std::wstring key);
  // Sets the notification value of thermal_zone`zone` (of every zone when
  // nullopt) to 1 in the current view. False when the view does not list it.
  bool NotifyZone(std::optional<uint32_t> zone);

  // The current snapshot; the first call scans.
  std::shared_ptr<const CSysfsThermalSnapshot> Current();
  // Grows by one each time a refresh changes the picture. Cheap: open
  // handles compare it on every request.
  uint64_t Generation() const { return mGeneration.load(std::memory_order_acquire); }

 private:
  // Moves the set notification values from `before`'s numbering to `after`'s;
  // mLock held.
  void MoveNotifications(const CSysfsThermalSnapshot& before, const CSysfsThermalSnapshot& after);

  const std::string mRoot;
  const LinuxParticipantNaming mNaming;
  // One scan at a time, published in order; a notification value is set
  // under it, so no refresh renumbers the zones meanwhile.
  std::mutex mRefreshing;
  std::mutex mLock;  // guards mCurrent and the notification store
  std::shared_ptr<CMemoryRegistry> mNotify;
  std::wstring mNotifyKey;
  std::shared_ptr<const CSysfsThermalSnapshot> mCurrent;
  std::atomic<uint64_t> mGeneration{0};
};
