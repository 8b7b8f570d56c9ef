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
  explicit CKernelThermalEvents(std::shared_ptr<CKernelThermalBridge> bridge);
  ~CKernelThermalEvents() override;

  bool Start(std::string& why) override;
  void Stop() override;

  // The reader, whose Deliver is the seam tests feed messages through.
  CThermalNetlinkReader& Reader() { return mReader; }

 private:
  std::shared_ptr<CKernelThermalBridge> mBridge;
  CThermalNetlinkReader mReader;
};
