#include "Platform/Linux/SysfsLiveEntry.h"

#include "Platform/DeviceIo.h"
#include "Platform/Linux/SysfsThermalView.h"

CSysfsLiveEntry::CSysfsLiveEntry(std::shared_ptr<CSysfsThermalView> view, Kind kind,
                                 _tagSThermalEntry entry, uint64_t generation)
    : mView(std::move(view)), mKind(kind), mEntry(std::move(entry)), mGeneration(generation) {}

std::shared_ptr<const CSysfsThermalSnapshot> CSysfsLiveEntry::Snapshot() const {
  return mView->Current();
}

bool CSysfsLiveEntry::Check(uint32_t& error) {
  if (!mGone) {
    const uint64_t now = mView->Generation();
    if (now != mGeneration) {
      const auto snapshot = mView->Current();
      const _tagSThermalScan& scan = snapshot->Scan();
      const auto& entries = mKind == Kind::Zone ? scan.zones : scan.coolingDevices;
      const auto index = mKind == Kind::Zone ? scan.ZoneIndexOf(mEntry.number)
                                             : scan.CoolingIndexOf(mEntry.number);
      mGone = !index || !entries[*index].SameFolder(mEntry);
      mGeneration = now;
    }
  }
  if (mGone) {
    error = DEVICE_ERROR_FILE_NOT_FOUND;
    return false;
  }
  return true;
}
