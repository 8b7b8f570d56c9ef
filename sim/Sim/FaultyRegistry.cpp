#include "Sim/FaultyRegistry.h"

namespace {

// The status a fault returns: its own, or access denied.
long Status(long status) {
  return status != REG_STATUS_SUCCESS ? status : REG_STATUS_ACCESS_DENIED;
}

class CFaultyRegistryKey : public CFaultForwarder<CRegistryKey, std::unique_ptr<CRegistryKey>> {
 public:
  CFaultyRegistryKey(std::unique_ptr<CRegistryKey> inner, std::wstring path,
                     std::shared_ptr<CFaultPlan> plan)
      : CFaultForwarder(std::move(inner), std::move(plan)), mPath(std::move(path)) {}

  long QueryDword(const std::wstring& name, uint32_t& value) override {
    const auto fault = Fault(FaultOp::RegQueryDword, {name});
    return fault ? Status(*fault) : mInner->QueryDword(name, value);
  }
  long QueryString(const std::wstring& name, std::size_t capacityBytes,
                   std::wstring& value) override {
    const auto fault = Fault(FaultOp::RegQueryString, {name});
    return fault ? Status(*fault) : mInner->QueryString(name, capacityBytes, value);
  }
  long SetDword(const std::wstring& name, uint32_t value) override {
    return Set(name, [&] { return mInner->SetDword(name, value); });
  }
  long SetString(const std::wstring& name, const std::wstring& value) override {
    return Set(name, [&] { return mInner->SetString(name, value); });
  }
  long WaitForValueChange(std::stop_token stop) override {
    const auto fault = Fault(FaultOp::RegWait, {mPath});
    return fault ? Status(*fault) : mInner->WaitForValueChange(stop);
  }

 private:
  template <typename Call>
  long Set(const std::wstring& name, Call call) {
    const auto fault = FaultAfter(FaultOp::RegSet, {name}, call);
    return fault ? Status(*fault) : call();
  }

  const std::wstring mPath;
};

}  // namespace

CFaultyRegistry::CFaultyRegistry(std::shared_ptr<CRegistry> inner, std::shared_ptr<CFaultPlan> plan)
    : CFaultForwarder(std::move(inner), std::move(plan)) {}

std::unique_ptr<CRegistryKey> CFaultyRegistry::Open(const std::wstring& path, uint32_t access,
                                                    long& status) {
  if (const auto fault = Fault(FaultOp::RegOpen, {path})) {
    status = Status(*fault);
    return nullptr;
  }
  std::unique_ptr<CRegistryKey> key = mInner->Open(path, access, status);
  if (!key) {
    return nullptr;
  }
  return std::make_unique<CFaultyRegistryKey>(std::move(key), path, mPlan);
}
