#include "Platform/Linux/KernelThermalBridge.h"

#include "Platform/DriverProtocol.h"
#include "Platform/Registry.h"
#include "Platform/Sim/SimWmi.h"

namespace {

constexpr wchar_t kSensorClass[] = L"DtmSensorParticipantInformation";
constexpr wchar_t kDeviceClass[] = L"DtmDeviceParticipantInformation";

}  // namespace

CKernelThermalBridge::CKernelThermalBridge(std::shared_ptr<CThermalNames> names,
                                           std::shared_ptr<CRegistry> registry,
                                           std::shared_ptr<CSimWmi> wmi)
    : mNames(std::move(names)), mRegistry(std::move(registry)), mWmi(std::move(wmi)) {}

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
      mNames->Refresh();
      name = zone ? mNames->ZoneName(event.id) : mNames->CoolingName(event.id);
      break;
    case Kind::ZoneDeleted:
    case Kind::CoolingDeleted:
      name = zone ? mNames->ZoneName(event.id) : mNames->CoolingName(event.id);
      mNames->Refresh();
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
  std::optional<uint32_t> index = mNames->SensorIndexOfZone(zone);
  if (!index) {
    // A zone the last scan did not see yet (its creation event may still be
    // on the way).
    mNames->Refresh();
    index = mNames->SensorIndexOfZone(zone);
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
