// Turns the kernel's thermal events into what the library listens to, as the
// drivers and the firmware of the original machines report them:
//
//   a trip crossed on zone N (up or down)  -> the DriverNotify value of the
//                                             zone's sensor index is set to 1
//   zone N created / deleted               -> an instance of the sensor
//                                             information class created /
//                                             deleted, named as the parameters
//                                             view lists the zone
//   cooling device N added / deleted       -> the same for a device
//
// A creation is reported after the view has been refreshed, so the host can
// add the participant under that name; a deletion is named as the view
// listed it before the refresh that takes it out. An event about a zone or
// cooling device the view does not list is dropped.
//
// Handle runs on the reader's thread; one event at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Platform/Linux/ThermalNetlinkEvent.h"

class CRegistry;
class CSimWmi;

// What the bridge needs of the parameters view.
class CThermalNames {
 public:
  virtual ~CThermalNames() = default;
  // Scans the thermal class again.
  virtual void Refresh() = 0;
  // The index N of the parameters value "SensorN" listing zone `zone`.
  virtual std::optional<uint32_t> SensorIndexOfZone(uint32_t zone) = 0;
  // The names the view lists thermal_zone`zone` and cooling_device`cooling`
  // under.
  virtual std::optional<std::wstring> ZoneName(uint32_t zone) = 0;
  virtual std::optional<std::wstring> CoolingName(uint32_t cooling) = 0;
};

class CKernelThermalBridge {
 public:
  CKernelThermalBridge(std::shared_ptr<CThermalNames> names, std::shared_ptr<CRegistry> registry,
                       std::shared_ptr<CSimWmi> wmi);

  void Handle(const ThermalKernelEvent& event);

 private:
  void Notify(uint32_t zone);

  std::shared_ptr<CThermalNames> mNames;
  std::shared_ptr<CRegistry> mRegistry;
  std::shared_ptr<CSimWmi> mWmi;
};
