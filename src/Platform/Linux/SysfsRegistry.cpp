#include "Platform/Linux/SysfsRegistry.h"

#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Memory/MemoryRegistry.h"

CSysfsRegistry::CSysfsRegistry(std::shared_ptr<CSysfsThermalView> view)
    : mView(std::move(view)), mOther(std::make_shared<CMemoryRegistry>()) {
  mOther->CreateKey(SYSFS_PARAMETERS_KEY);  // so that its parent keys open
  mOther->CreateKey(SYSFS_DRIVER_NOTIFY_KEY);
  // The notification values follow their zones when the view renumbers them.
  mView->AttachNotifications(mOther, SYSFS_DRIVER_NOTIFY_KEY);
}

CSysfsRegistry::CSysfsRegistry(std::string sysfsRoot)
    : CSysfsRegistry(std::make_shared<CSysfsThermalView>(std::move(sysfsRoot),
                                                         LinuxParticipantNaming::Path)) {}

CSysfsRegistry::~CSysfsRegistry() = default;

std::unique_ptr<CRegistryKey> CSysfsRegistry::Open(const std::wstring& path, uint32_t access,
                                                   long& status) {
  static const std::wstring parameters = FoldRegistryName(SYSFS_PARAMETERS_KEY);
  if (FoldRegistryName(path) == parameters) {
    return mView->Current()->Parameters().Open(path, access, status);
  }
  return mOther->Open(path, access, status);
}

void CSysfsRegistry::Refresh() {
  mView->Refresh();
}
