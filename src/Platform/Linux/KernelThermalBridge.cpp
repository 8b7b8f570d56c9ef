#include "Platform/Linux/KernelThermalBridge.h"

#include <algorithm>
#include <vector>

#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Memory/MemoryWmi.h"

namespace {

constexpr wchar_t kSensorClass[] = L"DtmSensorParticipantInformation";
constexpr wchar_t kDeviceClass[] = L"DtmDeviceParticipantInformation";

bool SameParticipant(const _tagSThermalEntry& a, const _tagSThermalEntry& b) {
  return a.SameEntry(b) && a.name == b.name;
}

// The names of the entries of `from` that `other` does not list.
std::vector<std::wstring> Missing(const std::vector<_tagSThermalEntry>& from,
                                  const std::vector<_tagSThermalEntry>& other) {
  std::vector<std::wstring> names;
  for (const _tagSThermalEntry& entry : from) {
    if (std::none_of(other.begin(), other.end(),
                     [&](const _tagSThermalEntry& o) { return SameParticipant(entry, o); })) {
      names.push_back(entry.name);
    }
  }
  return names;
}

}  // namespace

CKernelThermalBridge::CKernelThermalBridge(std::shared_ptr<CSysfsThermalView> view,
                                           std::shared_ptr<CMemoryWmi> wmi)
    : mView(std::move(view)), mWmi(std::move(wmi)) {}

void CKernelThermalBridge::SetReport(PlatformEventsReport report) {
  std::lock_guard<std::mutex> hold(mLock);
  mReport = std::move(report);
}

void CKernelThermalBridge::Baseline() {
  std::lock_guard<std::mutex> hold(mLock);
  if (!mLast) {
    mLast = mView->Current();
  }
}

void CKernelThermalBridge::Handle(const ThermalKernelEvent& event) {
  using Kind = ThermalKernelEvent::Kind;
  if (event.kind == Kind::EventsLost) {
    PlatformEventsReport report;
    {
      std::lock_guard<std::mutex> hold(mLock);
      report = mReport;
    }
    if (report) {
      report(PlatformEventsLevel::Warning,
             "the netlink socket overran and events were lost; the thermal tree is read again "
             "and every zone re-read");
    }
  }
  switch (event.kind) {
    case Kind::TripUp:
    case Kind::TripDown:
    case Kind::TripChanged:
      // A trip message changes no folder: a zone the view lists is notified
      // without reading the tree again (what another rescan found since the
      // last compare is still raised first). A zone the view does not list
      // may have come without a message of its own: the tree is read then.
      if (mView->SensorIndexOfZone(event.id)) {
        std::lock_guard<std::mutex> hold(mLock);
        RaiseChangesLocked();
      } else {
        Compare();
      }
      mView->NotifyZone(event.id);
      break;
    case Kind::EventsLost:
      Compare();
      mView->NotifyZone(std::nullopt);
      break;
    default:
      // Zones and cooling devices created or deleted.
      Compare();
      break;
  }
}

void CKernelThermalBridge::Compare() {
  std::lock_guard<std::mutex> hold(mLock);
  // With no baseline, what was read before this refresh is the last view.
  if (!mLast) {
    mLast = mView->Current();
  }
  mView->Refresh();
  RaiseChangesLocked();
}

void CKernelThermalBridge::RaiseChangesLocked() {
  std::shared_ptr<const CSysfsThermalSnapshot> now = mView->Current();
  if (!mLast) {
    mLast = std::move(now);
    return;
  }
  if (now == mLast) {
    return;
  }
  const _tagSThermalScan& was = mLast->Scan();
  const _tagSThermalScan& is = now->Scan();
  const struct {
    bool created;
    const wchar_t* cls;
    std::vector<std::wstring> names;
  } changes[] = {
      {false, kSensorClass, Missing(was.sensors, is.sensors)},
      {false, kDeviceClass, Missing(was.devices, is.devices)},
      {true, kSensorClass, Missing(is.sensors, was.sensors)},
      {true, kDeviceClass, Missing(is.devices, was.devices)},
  };
  for (const auto& change : changes) {
    for (const std::wstring& name : change.names) {
      mWmi->RaiseInstanceEvent(change.created, change.cls,
                               {{L"InstanceName", CVariant::Bstr(name)}});
    }
  }
  mLast = std::move(now);
}
