#include "Platform/Linux/SysfsRegistry.h"

#include "Platform/Linux/SysfsThermalScan.h"
#include "Platform/Sim/MemoryRegistry.h"
#include "Platform/Text.h"

CSysfsRegistry::CSysfsRegistry(std::string sysfsRoot) : mRoot(std::move(sysfsRoot)) {}

CSysfsRegistry::~CSysfsRegistry() = default;

std::unique_ptr<CRegistryKey> CSysfsRegistry::Open(const std::wstring& path, uint32_t access,
                                                   long& status) {
  std::call_once(mBuilt, [this] { Build(); });
  return mView->Open(path, access, status);
}

void CSysfsRegistry::Build() {
  auto view = std::make_shared<CMemoryRegistry>();
  const _tagSThermalScan scan = ScanThermal(mRoot);
  view->SetDword(SYSFS_PARAMETERS_KEY, L"SensorCount", static_cast<uint32_t>(scan.zones.size()));
  for (std::size_t i = 0; i < scan.zones.size(); ++i) {
    view->SetString(SYSFS_PARAMETERS_KEY, L"Sensor" + std::to_wstring(i),
                    FromUtf8(scan.zones[i].path));
  }
  view->SetDword(SYSFS_PARAMETERS_KEY, L"DeviceCount",
                 static_cast<uint32_t>(scan.coolingDevices.size()));
  for (std::size_t i = 0; i < scan.coolingDevices.size(); ++i) {
    view->SetString(SYSFS_PARAMETERS_KEY, L"Device" + std::to_wstring(i),
                    FromUtf8(scan.coolingDevices[i].path));
  }
  view->CreateKey(SYSFS_DRIVER_NOTIFY_KEY);
  mView = std::move(view);
}
