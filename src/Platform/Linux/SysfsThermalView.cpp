#include "Platform/Linux/SysfsThermalView.h"

CSysfsThermalView::CSysfsThermalView(std::string sysfsRoot, LinuxParticipantNaming naming)
    : mRoot(std::move(sysfsRoot)), mNaming(naming) {}

void CSysfsThermalView::Refresh() {
  std::lock_guard<std::mutex> refreshing(mRefreshing);
  auto next = std::make_shared<const CSysfsThermalSnapshot>(ScanThermal(mRoot, mNaming));
  std::lock_guard<std::mutex> hold(mLock);
  if (mCurrent && mCurrent->SameAs(*next)) {
    return;
  }
  mCurrent = std::move(next);
  mGeneration.fetch_add(1, std::memory_order_acq_rel);
}

std::shared_ptr<const CSysfsThermalSnapshot> CSysfsThermalView::Current() {
  {
    std::lock_guard<std::mutex> hold(mLock);
    if (mCurrent) {
      return mCurrent;
    }
  }
  Refresh();
  std::lock_guard<std::mutex> hold(mLock);
  return mCurrent;
}

std::optional<std::wstring> CSysfsThermalView::ZoneName(uint32_t zone) {
  const auto snapshot = Current();
  const auto index = snapshot->Scan().ZoneIndexOf(zone);
  if (!index) {
    return std::nullopt;
  }
  return snapshot->Scan().zones[*index].name;
}

std::optional<std::wstring> CSysfsThermalView::CoolingDeviceName(uint32_t device) {
  const auto snapshot = Current();
  const auto index = snapshot->Scan().CoolingIndexOf(device);
  if (!index) {
    return std::nullopt;
  }
  return snapshot->Scan().coolingDevices[*index].name;
}

std::optional<uint32_t> CSysfsThermalView::SensorIndexOfZone(uint32_t zone) {
  return Current()->Scan().ZoneIndexOf(zone);
}
