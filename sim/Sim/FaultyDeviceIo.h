// A forwarding device I/O that fails the calls a fault plan names: opens by
// device path, control requests by device path or code ("0x" and eight hex
// digits, as FaultCodeName gives). A failed request reaches no driver.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Platform/DeviceIo.h"
#include "Sim/FaultForwarder.h"

class CFaultyDeviceIo : public CFaultForwarder<CDeviceIo> {
 public:
  CFaultyDeviceIo(std::shared_ptr<CDeviceIo> inner, std::shared_ptr<CFaultPlan> plan);

  std::unique_ptr<CDeviceHandle> Open(const std::wstring& path, uint32_t& error) override;
};

// The target naming a control code in a fault: "0x0022E004".
std::wstring FaultCodeName(uint32_t code);
