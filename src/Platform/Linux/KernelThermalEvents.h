// The Linux platform's event source: the kernel's thermal netlink events (a
// CThermalNetlinkReader), its uevents for the thermal tree (a CUeventSource)
// and a periodic compare (a CPeriodicCompare), all acted on by one
// CKernelThermalBridge, whose rescan-and-compare every one of them ends in.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "Platform/Linux/KernelThermalBridge.h"
#include "Platform/Linux/Netlink/ThermalNetlinkReader.h"
#include "Platform/Linux/PeriodicCompare.h"
#include "Platform/Linux/Uevent/UeventSource.h"
#include "Platform/PlatformEvents.h"

class CKernelThermalEvents : public CPlatformEvents {
 public:
  // The kernel's events describe the zones under /sys only: on any other
  // sysfs root (`live` false: a copy, a test tree) Start reports them as not
  // available, starts nothing, and the seams are the only way in.
  // `compareInterval`: the period of the compare (zero or less: none).
  CKernelThermalEvents(std::shared_ptr<CKernelThermalBridge> bridge, bool live,
                       std::chrono::milliseconds compareInterval);
  ~CKernelThermalEvents() override;

  // Starts the three sources; false, with the reasons, when the netlink
  // events or the uevents are not available (the others run then).
  bool Start(std::string& why, PlatformEventsReport report) override;
  void Stop() override;

  // The sources, whose Deliver are the seams tests feed.
  CThermalNetlinkReader& Reader() { return mReader; }
  CUeventSource& Uevents() { return mUevents; }
  CPeriodicCompare& Periodic() { return mPeriodic; }
  CKernelThermalBridge& Bridge() { return *mBridge; }

 private:
  std::shared_ptr<CKernelThermalBridge> mBridge;
  CThermalNetlinkReader mReader;
  CUeventSource mUevents;
  CPeriodicCompare mPeriodic;
  bool mLive;
};
