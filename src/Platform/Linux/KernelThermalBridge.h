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

#include "Platform/Linux/ThermalNetlinkEvent.h"

class CRegistry;
class CMemoryWmi;
class CSysfsThermalView;

class CKernelThermalBridge {
 public:
  // The view whose names and indexes the events are reported with, the
  // registry holding its notification key, the namespace that reports
  // instances created and deleted.
  CKernelThermalBridge(std::shared_ptr<CSysfsThermalView> view, std::shared_ptr<CRegistry> registry,
                       std::shared_ptr<CMemoryWmi> wmi);

  void Handle(const ThermalKernelEvent& event);

 private:
  void Notify(uint32_t zone);

  std::shared_ptr<CSysfsThermalView> mView;
  std::shared_ptr<CRegistry> mRegistry;
  std::shared_ptr<CMemoryWmi> mWmi;
};
