// What keeps an open sysfs handle on its own folder across refreshes of the
// thermal view: the sensor or device it was opened on, by its source,
// number, channel and folder identity, and the view generation it last checked. When the view
// changes, the handle checks once that the current view still lists that very
// folder; from the first refresh that does not, every request fails with
// DEVICE_ERROR_FILE_NOT_FOUND, even if a newcomer now has the number. Between
// refreshes nothing is checked: one atomic load per request.
// Used by one thread at a time, like its handle.
#pragma once

#include <cstdint>
#include <memory>

#include "Platform/Linux/SysfsThermalScan.h"
#include "Platform/Linux/SysfsThermalView.h"

class CSysfsLiveEntry {
 public:
  enum class Kind { Sensor, Device };

  // `generation` is the view's generation read before `entry` was looked up.
  CSysfsLiveEntry(std::shared_ptr<CSysfsThermalView> view, Kind kind, _tagSThermalEntry entry,
                  uint64_t generation);

  // Inline: the request path reads one atomic here and calls nothing until
  // the view changes.
  bool Check(uint32_t& error) {
    if (!mGone && mView->Generation() == mGeneration) {
      return true;
    }
    return CheckAfterRefresh(error);
  }

  const _tagSThermalEntry& Entry() const { return mEntry; }
  bool IsSensor() const { return mKind == Kind::Sensor; }
  // The view's current snapshot.
  std::shared_ptr<const CSysfsThermalSnapshot> Snapshot() const;

 private:
  bool CheckAfterRefresh(uint32_t& error);

  // What Check reads on every request comes first, in one cache line with
  // the view; the entry's description is read only when the view changes.
  const std::shared_ptr<CSysfsThermalView> mView;
  uint64_t mGeneration;
  bool mGone = false;
  const Kind mKind;
  const _tagSThermalEntry mEntry;
};
