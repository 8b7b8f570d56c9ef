#include "Platform/Linux/LinuxPlatform.h"

#include <filesystem>
#include <system_error>

#include "Platform/Linux/LibXmlParser.h"
#include "Platform/Linux/LinuxClock.h"
#include "Platform/Linux/LogindPower.h"
#include "Platform/Linux/SysfsDeviceIo.h"
#include "Platform/Linux/SysfsRegistry.h"
#include "Platform/Sim/SimCom.h"
#include "Platform/Sim/SimFirmware.h"
#include "Platform/Sim/SimWmi.h"

CLinuxPlatform::CLinuxPlatform(std::string sysfsRoot, std::string busAddress)
    : mSysfsRoot(std::move(sysfsRoot)) {
  mClock = std::make_shared<CLinuxClock>();
  mRegistry = std::make_shared<CSysfsRegistry>(mSysfsRoot);
  mDevices = std::make_shared<CSysfsDeviceIo>(mSysfsRoot);
  mPower = std::make_shared<CLogindPower>(std::move(busAddress));
  // Linux has no firmware WMI: the namespace only says whether thermal
  // management is there; the participants are the registry-listed drivers.
  std::error_code error;
  const bool thermal = std::filesystem::is_directory(mSysfsRoot + "/class/thermal", error);
  auto wmi = std::make_shared<CSimWmi>();
  CSimFirmware(wmi).SetVelmarStatus(thermal ? 1 : 0);
  mCom = std::make_shared<CSimCom>(std::move(wmi));
  mXml = CreateLibXmlParser();
}

CLinuxPlatform::~CLinuxPlatform() = default;

std::shared_ptr<CPlatform> CreateLinuxPlatform(const std::string& sysfsRoot) {
  return std::make_shared<CLinuxPlatform>(sysfsRoot);
}
