#include "Platform/Linux/LinuxPlatform.h"

#include <filesystem>
#include <system_error>

#include "Platform/Linux/KernelThermalBridge.h"
#include "Platform/Linux/KernelThermalEvents.h"
#include "Platform/Linux/LinuxClock.h"
#include "Platform/Linux/Logind/LogindPower.h"
#include "Platform/Linux/SysfsDeviceIo.h"
#include "Platform/Linux/SysfsFailureBook.h"
#include "Platform/Linux/SysfsRegistry.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Memory/MemoryCom.h"
#include "Platform/Memory/MemoryWmi.h"
#include "Platform/Xml/LibXmlParser.h"

namespace {

// The firmware's thermal classes with their methods, and no participant: the
// library's enumerations find them empty and its subscriptions are accepted.
// DTMSystemParams says whether the kernel has thermal management at all.
std::shared_ptr<CMemoryWmi> ThermalNamespace(const std::string& sysfsRoot) {
  auto wmi = std::make_shared<CMemoryWmi>();
  const wchar_t kKey[] = L"InstanceName";
  wmi->DefineClass(L"DTMSystemParams");
  wmi->DefineClass(L"DtmDeviceParticipantInformation", kKey);
  wmi->DefineClass(L"DtmSensorParticipantInformation", kKey);
  wmi->DefineClass(L"DtmDeviceControlMethod", kKey);
  wmi->DefineClass(L"DtmSensorControlMethod", kKey);
  const struct {
    const wchar_t* cls;
    const wchar_t* method;
    std::vector<std::wstring> in, out;
  } methods[] = {
      {L"DtmDeviceControlMethod", L"GetThrottleState", {}, {L"State"}},
      {L"DtmDeviceControlMethod", L"SetThrottleState", {L"State"}, {}},
      {L"DtmDeviceControlMethod", L"Start", {}, {}},
      {L"DtmDeviceControlMethod", L"Stop", {}, {}},
      {L"DtmDeviceControlMethod", L"Shutdown", {L"Option"}, {}},
      {L"DtmSensorControlMethod", L"GetCurrentTemperature", {}, {L"temperature"}},
      {L"DtmSensorControlMethod", L"GetSensorTrip", {L"type"}, {L"temp"}},
      {L"DtmSensorControlMethod", L"SetSensorTrip", {L"SensorTripPoint"}, {}},
      {L"DtmSensorControlMethod", L"Start", {}, {}},
      {L"DtmSensorControlMethod", L"Stop", {}, {}},
  };
  for (const auto& m : methods) {
    wmi->DefineMethod(m.cls, m.method, m.in, m.out, nullptr);
  }
  // Enabled when the kernel has a class that lists participants: a desktop
  // may have its fans and temperatures in hwmon only.
  wmi->SetProvider(L"DTMSystemParams", [root = sysfsRoot] {
    std::error_code error;
    const int32_t status = std::filesystem::is_directory(root + "/class/thermal", error) ||
                                   std::filesystem::is_directory(root + "/class/hwmon", error)
                               ? 1
                               : 0;
    return std::vector<CWmiPropertyMap>{{{L"velmarstatus", CVariant::I4(status)}}};
  });
  return wmi;
}

}  // namespace

CLinuxPlatform::CLinuxPlatform(std::string sysfsRoot, std::string busAddress,
                               LinuxParticipantNaming naming,
                               std::chrono::milliseconds compareInterval)
    : mSysfsRoot(std::move(sysfsRoot)),
      mView(std::make_shared<CSysfsThermalView>(mSysfsRoot, naming)) {
  mClock = std::make_shared<CLinuxClock>();
  mXml = CreateLibXmlParser();
  mRegistry = std::make_shared<CSysfsRegistry>(mView);
  mDevices = std::make_shared<CSysfsDeviceIo>(mView);
  mPower = std::make_shared<CLogindPower>(std::move(busAddress));
  // Linux has no firmware WMI: the namespace only says, when asked, whether
  // thermal management is there; the participants are the registry-listed
  // drivers.
  auto wmi = ThermalNamespace(mSysfsRoot);
  mCom = std::make_shared<CMemoryCom>(wmi);
  // The kernel's thermal events play the drivers' and the firmware's part.
  mEvents = std::make_shared<CKernelThermalEvents>(
      std::make_shared<CKernelThermalBridge>(mView, std::move(wmi)),
      std::filesystem::path(mSysfsRoot).lexically_normal() == "/sys", compareInterval);
}

CLinuxPlatform::~CLinuxPlatform() = default;

std::shared_ptr<CPlatform> CreateLinuxPlatform(const std::string& sysfsRoot) {
  return std::make_shared<CLinuxPlatform>(sysfsRoot);
}

std::shared_ptr<CPlatform> CreateLinuxPlatform(const std::string& sysfsRoot,
                                               LinuxParticipantNaming naming) {
  return std::make_shared<CLinuxPlatform>(sysfsRoot, std::string(), naming);
}

std::shared_ptr<CPlatform> CreateLinuxPlatform(const std::string& sysfsRoot,
                                               LinuxParticipantNaming naming,
                                               std::chrono::milliseconds compareInterval) {
  return std::make_shared<CLinuxPlatform>(sysfsRoot, std::string(), naming, compareInterval);
}

bool GetLinuxAccessFailure(const std::wstring& name, LinuxAccessFailure& failure) {
  const auto* devices = dynamic_cast<const CSysfsDeviceIo*>(&CPlatform::Current()->Devices());
  return devices != nullptr && devices->Failures().Find(name, failure);
}
