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
    wchar_t name[kFaultCodeNameSize];
    if (const auto fault = Fault(FaultOp::DeviceControl, {mPath, WriteFaultCodeName(code, name)})) {
      error = Error(*fault);
      return false;
    }
    return mInner->Control(code, in, out, error);
  }

 private:
  const std::wstring mPath;
};

}  // namespace

std::wstring_view WriteFaultCodeName(uint32_t code, wchar_t (&text)[kFaultCodeNameSize]) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  text[0] = L'0';
  text[1] = L'x';
  for (int i = 0; i < 8; ++i) {
    text[2 + i] = kDigits[(code >> (28 - 4 * i)) & 0xF];
  }
  return {text, kFaultCodeNameSize};
}

std::wstring FaultCodeName(uint32_t code) {
  wchar_t text[kFaultCodeNameSize];
  return std::wstring(WriteFaultCodeName(code, text));
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
