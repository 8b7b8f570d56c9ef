// A forwarding device I/O that fails the calls a fault plan names: opens by
// device path, control requests by device path or code ("0x" and eight hex
// digits, as FaultCodeName gives). A failed request reaches no driver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "Platform/DeviceIo.h"
#include "Sim/FaultForwarder.h"

class CFaultyDeviceIo : public CFaultForwarder<CDeviceIo> {
 public:
  CFaultyDeviceIo(std::shared_ptr<CDeviceIo> inner, std::shared_ptr<CFaultPlan> plan);

  std::unique_ptr<CDeviceHandle> Open(const std::wstring& path, uint32_t& error) override;
};

// The target naming a control code in a fault: "0x0022E004".
std::wstring FaultCodeName(uint32_t code);
// The same name written into `text` (not terminated), for a caller that
// should not allocate; the view is of `text`.
constexpr std::size_t kFaultCodeNameSize = 10;
std::wstring_view WriteFaultCodeName(uint32_t code, wchar_t (&text)[kFaultCodeNameSize]);
