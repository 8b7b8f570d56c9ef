#include "Platform/Linux/SysfsThermalSnapshot.h"

#include "Platform/Linux/SysfsRegistry.h"
#include "Platform/Memory/MemoryRegistry.h"

namespace {

bool SameEntries(const std::vector<_tagSThermalEntry>& a, const std::vector<_tagSThermalEntry>& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!a[i].SameEntry(b[i]) || a[i].name != b[i].name) {
      return false;
    }
  }
  return true;
}

}  // namespace

CSysfsThermalSnapshot::CSysfsThermalSnapshot(_tagSThermalScan scan)
    : mScan(std::move(scan)), mParameters(std::make_shared<CMemoryRegistry>()) {
  CMemoryRegistry& view = *mParameters;
  view.SetDword(SYSFS_PARAMETERS_KEY, L"SensorCount", static_cast<uint32_t>(mScan.sensors.size()));
  for (std::size_t i = 0; i < mScan.sensors.size(); ++i) {
    view.SetString(SYSFS_PARAMETERS_KEY, L"Sensor" + std::to_wstring(i), mScan.sensors[i].name);
    // The first of two sensors with one name (a path naming cannot have two)
    // is the one the name opens.
    mSensorByName.emplace(mScan.sensors[i].name, i);
  }
  view.SetDword(SYSFS_PARAMETERS_KEY, L"DeviceCount", static_cast<uint32_t>(mScan.devices.size()));
  for (std::size_t i = 0; i < mScan.devices.size(); ++i) {
    view.SetString(SYSFS_PARAMETERS_KEY, L"Device" + std::to_wstring(i), mScan.devices[i].name);
    mDeviceByName.emplace(mScan.devices[i].name, i);
  }
}

CSysfsThermalSnapshot::~CSysfsThermalSnapshot() = default;

const _tagSThermalEntry* CSysfsThermalSnapshot::FindSensor(const std::wstring& name) const {
  const auto found = mSensorByName.find(name);
  return found == mSensorByName.end() ? nullptr : &mScan.sensors[found->second];
}

const _tagSThermalEntry* CSysfsThermalSnapshot::FindDevice(const std::wstring& name) const {
  const auto found = mDeviceByName.find(name);
  return found == mDeviceByName.end() ? nullptr : &mScan.devices[found->second];
}

bool CSysfsThermalSnapshot::SameAs(const CSysfsThermalSnapshot& other) const {
  return SameAs(other.mScan);
}

bool CSysfsThermalSnapshot::SameAs(const _tagSThermalScan& scan) const {
  return SameEntries(mScan.sensors, scan.sensors) && SameEntries(mScan.devices, scan.devices);
}
