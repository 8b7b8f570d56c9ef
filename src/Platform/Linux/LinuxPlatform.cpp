#include "Platform/Linux/LinuxPlatform.h"

#include <filesystem>
#include <system_error>

#include "Platform/Linux/KernelThermalBridge.h"
#include "Platform/Linux/KernelThermalEvents.h"
#include "Platform/Linux/LibXmlParser.h"
#include "Platform/Linux/LinuxClock.h"
#include "Platform/Linux/LogindPower.h"
#include "Platform/Linux/SysfsDeviceIo.h"
#include "Platform/Linux/SysfsRegistry.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Sim/SimCom.h"
#include "Platform/Sim/SimFirmware.h"
#include "Platform/Sim/SimWmi.h"

CLinuxPlatform::CLinuxPlatform(std::string sysfsRoot, std::string busAddress,
                               LinuxParticipantNaming naming)
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
  auto wmi = std::make_shared<CSimWmi>();
  CSimFirmware firmware(wmi);
  wmi->SetProvider(L"DTMSystemParams", [thermal = mSysfsRoot + "/class/thermal"] {
    std::error_code error;
    const int32_t status = std::filesystem::is_directory(thermal, error) ? 1 : 0;
    return std::vector<CSimPropertyMap>{{{L"velmarstatus", CVariant::I4(status)}}};
  });
  mCom = std::make_shared<CSimCom>(wmi);
  // The kernel's thermal events play the drivers' and the firmware's part.
  mEvents = std::make_shared<CKernelThermalEvents>(
      std::make_shared<CKernelThermalBridge>(mView, mRegistry, std::move(wmi)),
      std::filesystem::path(mSysfsRoot).lexically_normal() == "/sys");
}

CLinuxPlatform::~CLinuxPlatform() = default;

std::shared_ptr<CPlatform> CreateLinuxPlatform(const std::string& sysfsRoot) {
  return std::make_shared<CLinuxPlatform>(sysfsRoot);
}

std::shared_ptr<CPlatform> CreateLinuxPlatform(const std::string& sysfsRoot,
                                               LinuxParticipantNaming naming) {
  return std::make_shared<CLinuxPlatform>(sysfsRoot, std::string(), naming);
}
