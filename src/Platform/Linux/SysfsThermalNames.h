// The names of the thermal zones and cooling devices as the Linux platform's
// parameters view publishes them: zone N is the sensor whose listed path is
// ROOT/class/thermal/thermal_zoneN, and its value "SensorK" gives its index.
// Read through the registry stand-in, so they are always the view's own.
#pragma once

#include <functional>
#include <memory>

#include "Platform/Linux/KernelThermalBridge.h"

class CRegistry;

class CSysfsThermalNames : public CThermalNames {
 public:
  // `refresh` rescans the view.
  CSysfsThermalNames(std::shared_ptr<CRegistry> registry, std::function<void()> refresh);

  void Refresh() override;
  std::optional<uint32_t> SensorIndexOfZone(uint32_t zone) override;
  std::optional<std::wstring> ZoneName(uint32_t zone) override;
  std::optional<std::wstring> CoolingName(uint32_t cooling) override;

 private:
  // The index and name of the listed entry ("Sensor"/"Device") whose path
  // ends in "/" + folder.
  std::optional<std::pair<uint32_t, std::wstring>> Find(const wchar_t* prefix,
                                                        const std::wstring& folder);

  std::shared_ptr<CRegistry> mRegistry;
  std::function<void()> mRefresh;
};
