#include "Platform/Linux/LinuxPlatform.h"

#include "Platform/Linux/LibXmlParser.h"
#include "Platform/Linux/LinuxClock.h"

CLinuxPlatform::CLinuxPlatform(std::string sysfsRoot) : mSysfsRoot(std::move(sysfsRoot)) {
  mClock = std::make_shared<CLinuxClock>();
  mXml = CreateLibXmlParser();
}

CLinuxPlatform::~CLinuxPlatform() = default;

std::shared_ptr<CPlatform> CreateLinuxPlatform(const std::string& sysfsRoot) {
  return std::make_shared<CLinuxPlatform>(sysfsRoot);
}
