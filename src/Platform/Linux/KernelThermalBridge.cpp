#include "Platform/Linux/KernelThermalBridge.h"

#include "Platform/DriverProtocol.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Memory/MemoryWmi.h"
#include "Platform/Registry.h"

namespace {

constexpr wchar_t kSensorClass[] = L"DtmSensorParticipantInformation";
constexpr wchar_t kDeviceClass[] = L"DtmDeviceParticipantInformation";

}  // namespace

CKernelThermalBridge::CKernelThermalBridge(std::shared_ptr<CSysfsThermalView> view,
                                           std::shared_ptr<CRegistry> registry,
                                           std::shared_ptr<CMemoryWmi> wmi)
    : mView(std::move(view)), mRegistry(std::move(registry)), mWmi(std::move(wmi)) {}

void CKernelThermalBridge::Handle(const ThermalKernelEvent& event) {
  using Kind = ThermalKernelEvent::Kind;
  const bool zone = event.kind == Kind::ZoneCreated || event.kind == Kind::ZoneDeleted;
  std::optional<std::wstring> name;
  switch (event.kind) {
    case Kind::TripUp:
    case Kind::TripDown:
      Notify(event.id);
      return;
    case Kind::ZoneCreated:
    case Kind::CoolingAdded:
      mView->Refresh();
      name = zone ? mView->ZoneName(event.id) : mView->CoolingDeviceName(event.id);
      break;
    case Kind::ZoneDeleted:
    case Kind::CoolingDeleted:
      name = zone ? mView->ZoneName(event.id) : mView->CoolingDeviceName(event.id);
      mView->Refresh();
      break;
  }
  if (!name) {
    return;
  }
  const bool created = event.kind == Kind::ZoneCreated || event.kind == Kind::CoolingAdded;
  mWmi->RaiseInstanceEvent(created, zone ? kSensorClass : kDeviceClass,
                           {{L"InstanceName", CVariant::Bstr(*name)}});
}

void CKernelThermalBridge::Notify(uint32_t zone) {
  std::optional<uint32_t> index = mView->SensorIndexOfZone(zone);
  if (!index) {
    // A zone the last scan did not see yet (its creation event may still be
    // on the way).
    mView->Refresh();
    index = mView->SensorIndexOfZone(zone);
  }
  if (!index) {
    return;
  }
  long status = REG_STATUS_SUCCESS;
  std::unique_ptr<CRegistryKey> key =
      mRegistry->Open(DRIVER_NOTIFY_KEY, REG_ACCESS_READ_WRITE, status);
  if (key) {
    key->SetDword(L"Sensor" + std::to_wstring(*index), 1);
  }
}
