#include "Platform/Linux/SysfsThermalView.h"

#include <algorithm>

#include "Platform/Memory/MemoryRegistry.h"

namespace {

std::wstring NotifyName(std::size_t index) {
  return L"Sensor" + std::to_wstring(index);
}

}  // namespace

CSysfsThermalView::CSysfsThermalView(std::string sysfsRoot, LinuxParticipantNaming naming)
    : mRoot(std::move(sysfsRoot)), mNaming(naming) {}

void CSysfsThermalView::Refresh() {
  std::lock_guard<std::mutex> refreshing(mRefreshing);
  _tagSThermalScan scan = ScanThermal(mRoot, mNaming);
  {
    // Most refreshes find the tree as it was: the scan is compared before a
    // snapshot (with its parameters view) is built from it. Only a refresh
    // replaces the current snapshot, and refreshes run one at a time.
    std::lock_guard<std::mutex> hold(mLock);
    if (mCurrent && mCurrent->SameAs(scan)) {
      return;
    }
  }
  auto next = std::make_shared<const CSysfsThermalSnapshot>(std::move(scan));
  std::lock_guard<std::mutex> hold(mLock);
  if (mCurrent) {
    MoveNotifications(*mCurrent, *next);
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
  return snapshot->Scan().sensors[*index].name;
}

std::optional<std::wstring> CSysfsThermalView::CoolingDeviceName(uint32_t device) {
  const auto snapshot = Current();
  const auto index = snapshot->Scan().CoolingIndexOf(device);
  if (!index) {
    return std::nullopt;
  }
  return snapshot->Scan().devices[*index].name;
}

std::optional<uint32_t> CSysfsThermalView::SensorIndexOfZone(uint32_t zone) {
  return Current()->Scan().ZoneIndexOf(zone);
}

void CSysfsThermalView::AttachNotifications(std::shared_ptr<CMemoryRegistry> store,
                                            std::wstring key) {
  std::scoped_lock hold(mRefreshing, mLock);
  mNotify = std::move(store);
  mNotifyKey = std::move(key);
}

bool CSysfsThermalView::NotifyZone(std::optional<uint32_t> zone) {
  Current();  // the first use scans
  // No refresh runs while the value is set, so the value lands under the
  // numbering of the snapshot taken here (a refresh before has moved the
  // values already). The view's own lock is not held while setting it: the
  // notification thread that the value wakes opens the parameters key, which
  // takes that lock, and would only wake to wait on it.
  std::lock_guard<std::mutex> refreshing(mRefreshing);
  std::shared_ptr<const CSysfsThermalSnapshot> current;
  std::shared_ptr<CMemoryRegistry> notify;
  {
    std::lock_guard<std::mutex> hold(mLock);
    current = mCurrent;
    notify = mNotify;
  }
  if (!notify) {
    return false;
  }
  const _tagSThermalScan& scan = current->Scan();
  if (!zone) {
    for (std::size_t k = 0; k < scan.sensors.size(); ++k) {
      notify->SetDword(mNotifyKey, NotifyName(k), 1);
    }
    return true;
  }
  const std::optional<uint32_t> index = scan.ZoneIndexOf(*zone);
  if (index) {
    notify->SetDword(mNotifyKey, NotifyName(*index), 1);
  }
  return index.has_value();
}

void CSysfsThermalView::MoveNotifications(const CSysfsThermalSnapshot& before,
                                          const CSysfsThermalSnapshot& after) {
  if (!mNotify) {
    return;
  }
  const auto& was = before.Scan().sensors;
  const auto& now = after.Scan().sensors;
  std::vector<uint32_t> moved(now.size(), 0);
  bool anySet = false;
  for (std::size_t k = 0; k < was.size(); ++k) {
    uint32_t value = 0;
    if (!mNotify->ReadDword(mNotifyKey, NotifyName(k), value) || value == 0) {
      continue;
    }
    anySet = true;
    const auto to = std::find_if(now.begin(), now.end(),
                                 [&](const _tagSThermalEntry& e) { return e.SameEntry(was[k]); });
    if (to != now.end()) {
      moved[static_cast<std::size_t>(to - now.begin())] = value;
    }
  }
  if (!anySet) {
    return;
  }
  for (std::size_t k = 0; k < std::max(was.size(), now.size()); ++k) {
    const uint32_t wanted = k < moved.size() ? moved[k] : 0;
    uint32_t value = 0;
    const bool present = mNotify->ReadDword(mNotifyKey, NotifyName(k), value);
    if (present ? value != wanted : wanted != 0) {
      mNotify->SetDword(mNotifyKey, NotifyName(k), wanted);
    }
  }
}
