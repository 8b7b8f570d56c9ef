#include "Sim/FaultyRegistry.h"

namespace {

// The status a fault returns: its own, or access denied.
long Status(long status) {
  return status != REG_STATUS_SUCCESS ? status : REG_STATUS_ACCESS_DENIED;
}

class CFaultyRegistryKey : public CRegistryKey {
 public:
  CFaultyRegistryKey(std::unique_ptr<CRegistryKey> inner, std::wstring path,
                     std::shared_ptr<CFaultPlan> plan)
      : mInner(std::move(inner)), mPath(std::move(path)), mPlan(std::move(plan)) {}

  long QueryDword(const std::wstring& name, uint32_t& value) override {
    long status = 0;
    return mPlan->Take(FaultOp::RegQueryDword, {name}, status) ? Status(status)
                                                               : mInner->QueryDword(name, value);
  }
  long QueryString(const std::wstring& name, std::size_t capacityBytes,
                   std::wstring& value) override {
    long status = 0;
    return mPlan->Take(FaultOp::RegQueryString, {name}, status)
               ? Status(status)
               : mInner->QueryString(name, capacityBytes, value);
  }
  long SetDword(const std::wstring& name, uint32_t value) override {
    return Set(name, [&] { return mInner->SetDword(name, value); });
  }
  long SetString(const std::wstring& name, const std::wstring& value) override {
    return Set(name, [&] { return mInner->SetString(name, value); });
  }
  long WaitForValueChange(std::stop_token stop) override {
    long status = 0;
    return mPlan->Take(FaultOp::RegWait, {mPath}, status) ? Status(status)
                                                          : mInner->WaitForValueChange(stop);
  }

 private:
  template <typename Call>
  long Set(const std::wstring& name, Call call) {
    long status = 0;
    bool proceed = false;
    if (!mPlan->Take(FaultOp::RegSet, {name}, status, &proceed)) {
      return call();
    }
    if (proceed) {
      call();
    }
    return Status(status);
  }

  std::unique_ptr<CRegistryKey> mInner;
  const std::wstring mPath;
  std::shared_ptr<CFaultPlan> mPlan;
};

}  // namespace

CFaultyRegistry::CFaultyRegistry(std::shared_ptr<CRegistry> inner, std::shared_ptr<CFaultPlan> plan)
    : mInner(std::move(inner)), mPlan(std::move(plan)) {}

std::unique_ptr<CRegistryKey> CFaultyRegistry::Open(const std::wstring& path, uint32_t access,
                                                    long& status) {
  long armed = 0;
  if (mPlan->Take(FaultOp::RegOpen, {path}, armed)) {
    status = Status(armed);
    return nullptr;
  }
  std::unique_ptr<CRegistryKey> key = mInner->Open(path, access, status);
  if (!key) {
    return nullptr;
  }
  return std::make_unique<CFaultyRegistryKey>(std::move(key), path, mPlan);
}

void CFaultyRegistry::Refresh() {
  mInner->Refresh();
}
