#include "Sim/FaultyDeviceIo.h"

#include <cwchar>

namespace {

uint32_t Error(long status) {
  return status != 0 ? static_cast<uint32_t>(status) : DEVICE_ERROR_GEN_FAILURE;
}

class CFaultyDeviceHandle : public CFaultForwarder<CDeviceHandle, std::unique_ptr<CDeviceHandle>> {
 public:
  CFaultyDeviceHandle(std::unique_ptr<CDeviceHandle> inner, std::wstring path,
                      std::shared_ptr<CFaultPlan> plan)
      : CFaultForwarder(std::move(inner), std::move(plan)), mPath(std::move(path)) {}

  bool Control(uint32_t code, std::span<const std::byte> in, std::span<std::byte> out,
               uint32_t& error) override {
    if (const auto fault = Fault(FaultOp::DeviceControl, {mPath, FaultCodeName(code)})) {
      error = Error(*fault);
      return false;
    }
    return mInner->Control(code, in, out, error);
  }

 private:
  const std::wstring mPath;
};

}  // namespace

std::wstring FaultCodeName(uint32_t code) {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%08X", code);
  return text;
}

CFaultyDeviceIo::CFaultyDeviceIo(std::shared_ptr<CDeviceIo> inner, std::shared_ptr<CFaultPlan> plan)
    : CFaultForwarder(std::move(inner), std::move(plan)) {}

std::unique_ptr<CDeviceHandle> CFaultyDeviceIo::Open(const std::wstring& path, uint32_t& error) {
  if (const auto fault = Fault(FaultOp::DeviceOpen, {path})) {
    error = Error(*fault);
    return nullptr;
  }
  std::unique_ptr<CDeviceHandle> handle = mInner->Open(path, error);
  if (!handle) {
    return nullptr;
  }
  return std::make_unique<CFaultyDeviceHandle>(std::move(handle), path, mPlan);
}
