// The Linux platform's event source: the kernel's thermal netlink events,
// read by a CThermalNetlinkReader and acted on by a CKernelThermalBridge.
#pragma once

#include <memory>
#include <string>

#include "Platform/Linux/KernelThermalBridge.h"
#include "Platform/Linux/ThermalNetlinkReader.h"
#include "Platform/PlatformEvents.h"

class CKernelThermalEvents : public CPlatformEvents {
 public:
  // The kernel's events describe the zones under /sys only: on any other
  // sysfs root (`live` false: a copy, a test tree) Start reports them as not
  // available and the seam is the only way in.
  CKernelThermalEvents(std::shared_ptr<CKernelThermalBridge> bridge, bool live);
  ~CKernelThermalEvents() override;

  bool Start(std::string& why) override;
  void Stop() override;

  // The reader, whose Deliver is the seam tests feed messages through.
  CThermalNetlinkReader& Reader() { return mReader; }

 private:
  std::shared_ptr<CKernelThermalBridge> mBridge;
  CThermalNetlinkReader mReader;
  bool mLive;
};
