#include "Platform/Linux/LinuxPlatform.h"

#include <filesystem>
#include <system_error>

#include "Platform/Linux/LinuxClock.h"
#include "Platform/Sim/SimCom.h"
#include "Platform/Sim/SimFirmware.h"
#include "Platform/Sim/SimWmi.h"

CLinuxPlatform::CLinuxPlatform(std::string sysfsRoot) : mSysfsRoot(std::move(sysfsRoot)) {
  mClock = std::make_shared<CLinuxClock>();
  // Linux has no firmware WMI: the namespace only says whether thermal
  // management is there; the participants are the registry-listed drivers.
  std::error_code error;
  const bool thermal = std::filesystem::is_directory(mSysfsRoot + "/class/thermal", error);
  auto wmi = std::make_shared<CSimWmi>();
  CSimFirmware(wmi).SetVelmarStatus(thermal ? 1 : 0);
  mCom = std::make_shared<CSimCom>(std::move(wmi));
}

CLinuxPlatform::~CLinuxPlatform() = default;

std::shared_ptr<CPlatform> CreateLinuxPlatform(const std::string& sysfsRoot) {
  return std::make_shared<CLinuxPlatform>(sysfsRoot);
}
