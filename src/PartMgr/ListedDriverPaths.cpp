#include <memory>

#include "Platform/DriverProtocol.h"
#include "Platform/Registry.h"
#include "zivorivizo/Diagnostics.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/Platform.h"

std::vector<std::wstring> ListedDriverPaths(bool sensors) {
  constexpr std::size_t kPathBytes = 128;  // as discovery reads them
  std::vector<std::wstring> paths;
  long status = 0;
  std::unique_ptr<CRegistryKey> key =
      CPlatform::Current()->Registry().Open(DRIVER_PARAMETERS_KEY, REG_ACCESS_READ, status);
  const std::wstring prefix = sensors ? L"Sensor" : L"Device";
  uint32_t count = 0;
  if (!key || key->QueryDword(prefix + L"Count", count) != REG_STATUS_SUCCESS) {
    return paths;
  }
  for (uint32_t i = 0;
       i < count && i < static_cast<uint32_t>(COSParticipantManager::MAX_DRIVER_PARTICIPANTS);
       ++i) {
    std::wstring path;
    if (key->QueryString(prefix + std::to_wstring(i), kPathBytes, path) == REG_STATUS_SUCCESS) {
      paths.push_back(std::wstring(path.c_str()));
    }
  }
  return paths;
}
