#include "Platform/Linux/SysfsThermalSnapshot.h"

#include "Platform/Linux/SysfsRegistry.h"
#include "Platform/Memory/MemoryRegistry.h"

namespace {

bool SameEntries(const std::vector<_tagSThermalEntry>& a, const std::vector<_tagSThermalEntry>& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].number != b[i].number || !a[i].SameFolder(b[i]) || a[i].name != b[i].name) {
      return false;
    }
  }
  return true;
}

}  // namespace

CSysfsThermalSnapshot::CSysfsThermalSnapshot(_tagSThermalScan scan)
    : mScan(std::move(scan)), mParameters(std::make_shared<CMemoryRegistry>()) {
  CMemoryRegistry& view = *mParameters;
  view.SetDword(SYSFS_PARAMETERS_KEY, L"SensorCount", static_cast<uint32_t>(mScan.zones.size()));
  for (std::size_t i = 0; i < mScan.zones.size(); ++i) {
    view.SetString(SYSFS_PARAMETERS_KEY, L"Sensor" + std::to_wstring(i), mScan.zones[i].name);
    // The first of two zones with one name (a path naming cannot have two)
    // is the one the name opens.
    mZoneByName.emplace(mScan.zones[i].name, i);
  }
  view.SetDword(SYSFS_PARAMETERS_KEY, L"DeviceCount",
                static_cast<uint32_t>(mScan.coolingDevices.size()));
  for (std::size_t i = 0; i < mScan.coolingDevices.size(); ++i) {
    view.SetString(SYSFS_PARAMETERS_KEY, L"Device" + std::to_wstring(i),
                   mScan.coolingDevices[i].name);
    mCoolingByName.emplace(mScan.coolingDevices[i].name, i);
  }
}

CSysfsThermalSnapshot::~CSysfsThermalSnapshot() = default;

const _tagSThermalEntry* CSysfsThermalSnapshot::FindZone(const std::wstring& name) const {
  const auto found = mZoneByName.find(name);
  return found == mZoneByName.end() ? nullptr : &mScan.zones[found->second];
}

const _tagSThermalEntry* CSysfsThermalSnapshot::FindCooling(const std::wstring& name) const {
  const auto found = mCoolingByName.find(name);
  return found == mCoolingByName.end() ? nullptr : &mScan.coolingDevices[found->second];
}

bool CSysfsThermalSnapshot::SameAs(const CSysfsThermalSnapshot& other) const {
  return SameEntries(mScan.zones, other.mScan.zones) &&
         SameEntries(mScan.coolingDevices, other.mScan.coolingDevices);
}
