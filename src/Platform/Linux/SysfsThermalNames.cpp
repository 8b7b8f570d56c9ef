#include "Platform/Linux/SysfsThermalNames.h"

#include "Platform/DriverProtocol.h"
#include "Platform/Registry.h"

namespace {

// What the library reads a listed path into.
constexpr std::size_t kPathBytes = 512;

}  // namespace

CSysfsThermalNames::CSysfsThermalNames(std::shared_ptr<CRegistry> registry,
                                       std::function<void()> refresh)
    : mRegistry(std::move(registry)), mRefresh(std::move(refresh)) {}

void CSysfsThermalNames::Refresh() {
  if (mRefresh) {
    mRefresh();
  }
}

std::optional<uint32_t> CSysfsThermalNames::SensorIndexOfZone(uint32_t zone) {
  const auto found = Find(L"Sensor", L"thermal_zone" + std::to_wstring(zone));
  return found ? std::optional<uint32_t>(found->first) : std::nullopt;
}

std::optional<std::wstring> CSysfsThermalNames::ZoneName(uint32_t zone) {
  const auto found = Find(L"Sensor", L"thermal_zone" + std::to_wstring(zone));
  return found ? std::optional<std::wstring>(found->second) : std::nullopt;
}

std::optional<std::wstring> CSysfsThermalNames::CoolingName(uint32_t cooling) {
  const auto found = Find(L"Device", L"cooling_device" + std::to_wstring(cooling));
  return found ? std::optional<std::wstring>(found->second) : std::nullopt;
}

std::optional<std::pair<uint32_t, std::wstring>> CSysfsThermalNames::Find(
    const wchar_t* prefix, const std::wstring& folder) {
  long status = REG_STATUS_SUCCESS;
  std::unique_ptr<CRegistryKey> key =
      mRegistry->Open(DRIVER_PARAMETERS_KEY, REG_ACCESS_READ, status);
  if (!key) {
    return std::nullopt;
  }
  uint32_t count = 0;
  if (key->QueryDword(std::wstring(prefix) + L"Count", count) != REG_STATUS_SUCCESS) {
    return std::nullopt;
  }
  const std::wstring suffix = L"/" + folder;
  for (uint32_t i = 0; i < count; ++i) {
    std::wstring path;
    if (key->QueryString(prefix + std::to_wstring(i), kPathBytes, path) != REG_STATUS_SUCCESS) {
      continue;
    }
    if (path.size() >= suffix.size() &&
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
      return std::make_pair(i, path);
    }
  }
  return std::nullopt;
}
