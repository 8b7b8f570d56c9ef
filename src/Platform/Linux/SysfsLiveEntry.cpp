#include "Platform/Linux/SysfsLiveEntry.h"

#include <algorithm>

#include "Platform/DeviceIo.h"

CSysfsLiveEntry::CSysfsLiveEntry(std::shared_ptr<CSysfsThermalView> view, Kind kind,
                                 _tagSThermalEntry entry, uint64_t generation)
    : mView(std::move(view)), mGeneration(generation), mKind(kind), mEntry(std::move(entry)) {}

std::shared_ptr<const CSysfsThermalSnapshot> CSysfsLiveEntry::Snapshot() const {
  return mView->Current();
}

bool CSysfsLiveEntry::CheckAfterRefresh(uint32_t& error) {
  if (!mGone) {
    const uint64_t now = mView->Generation();
    if (now != mGeneration) {
      const auto snapshot = mView->Current();
      const _tagSThermalScan& scan = snapshot->Scan();
      const auto& entries = mKind == Kind::Sensor ? scan.sensors : scan.devices;
      mGone = std::none_of(entries.begin(), entries.end(),
                           [&](const _tagSThermalEntry& e) { return e.SameEntry(mEntry); });
      mGeneration = now;
    }
  }
  if (mGone) {
    error = DEVICE_ERROR_FILE_NOT_FOUND;
    return false;
  }
  return true;
}
