#include "Platform/Linux/LinuxPlatform.h"

#include "Platform/Linux/LinuxClock.h"
#include "Platform/Linux/LogindPower.h"
#include "Platform/Linux/SysfsDeviceIo.h"
#include "Platform/Linux/SysfsRegistry.h"

CLinuxPlatform::CLinuxPlatform(std::string sysfsRoot, std::string busAddress)
    : mSysfsRoot(std::move(sysfsRoot)) {
  mClock = std::make_shared<CLinuxClock>();
  mRegistry = std::make_shared<CSysfsRegistry>(mSysfsRoot);
  mDevices = std::make_shared<CSysfsDeviceIo>(mSysfsRoot);
  mPower = std::make_shared<CLogindPower>(std::move(busAddress));
}

CLinuxPlatform::~CLinuxPlatform() = default;

std::shared_ptr<CPlatform> CreateLinuxPlatform(const std::string& sysfsRoot) {
  return std::make_shared<CLinuxPlatform>(sysfsRoot);
}
