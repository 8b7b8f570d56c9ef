#include "zivorivizo/LinuxSysfsView.h"

#include "Platform/Linux/LinuxPlatform.h"
#include "Platform/Linux/SysfsThermalView.h"

std::unique_ptr<CLinuxSysfsView> CLinuxSysfsView::Of(const CPlatform& platform) {
  const auto* real = dynamic_cast<const CLinuxPlatform*>(&platform);
  if (real == nullptr) {
    return nullptr;
  }
  return std::unique_ptr<CLinuxSysfsView>(new CLinuxSysfsView(real->SharedThermalView()));
}

CLinuxSysfsView::CLinuxSysfsView(std::shared_ptr<CSysfsThermalView> view)
    : mView(std::move(view)) {}

CLinuxSysfsView::~CLinuxSysfsView() = default;

const std::string& CLinuxSysfsView::Root() const {
  return mView->Root();
}

std::optional<LinuxSysfsEntry> CLinuxSysfsView::Find(const std::wstring& name) const {
  const auto snapshot = mView->Current();
  const _tagSThermalEntry* sensor = snapshot->FindSensor(name);
  const _tagSThermalEntry* entry = sensor != nullptr ? sensor : snapshot->FindDevice(name);
  if (entry == nullptr) {
    return std::nullopt;
  }
  return LinuxSysfsEntry{sensor != nullptr, entry->path, entry->channel, entry->type, entry->chip};
}

uint32_t CLinuxSysfsView::LeftOut() const {
  return mView->Current()->Scan().leftOut;
}
