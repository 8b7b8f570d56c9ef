#include "Platform/Sim/SimCom.h"

#include "Platform/Sim/SimWmi.h"
#include "Platform/Wmi.h"

namespace {

using CComFaults = CSimFaultTable<CSimCom::Op>;

class CSimWbemLocator : public CWbemLocator {
 public:
  CSimWbemLocator(std::shared_ptr<CSimWmi> wmi, std::shared_ptr<CComFaults> faults)
      : mWmi(std::move(wmi)), mFaults(std::move(faults)) {}

  HRESULT ConnectServer(const std::wstring& resource,
                        std::shared_ptr<CWbemServices>& services) override {
    HRESULT hr = S_OK;
    if (mFaults->Take(CSimCom::Op::ConnectServer, resource, hr)) {
      return hr;
    }
    if (!SimNameEquals(resource, L"root\\WMI")) {
      return WBEM_E_INVALID_NAMESPACE;
    }
    services = mWmi->Connect();
    return WBEM_S_NO_ERROR;
  }

 private:
  std::shared_ptr<CSimWmi> mWmi;
  std::shared_ptr<CComFaults> mFaults;
};

class CSimClientSecurity : public CClientSecurity {
 public:
  explicit CSimClientSecurity(std::shared_ptr<CComFaults> faults) : mFaults(std::move(faults)) {}

  HRESULT SetBlanket(const _tagSSecurityBlanket& /*blanket*/) override {
    HRESULT hr = S_OK;
    if (mFaults->Take(CSimCom::Op::SetBlanket, L"", hr)) {
      return hr;
    }
    return S_OK;
  }

 private:
  std::shared_ptr<CComFaults> mFaults;
};

}  // namespace

CSimCom::CSimCom(std::shared_ptr<CSimWmi> wmi)
    : mWmi(std::move(wmi)), mFaults(std::make_shared<CComFaults>()) {}

CSimCom::~CSimCom() = default;

HRESULT CSimCom::CoInitializeEx(ECoInit model) {
  HRESULT hr = S_OK;
  if (mFaults->Take(Op::CoInitializeEx, L"", hr)) {
    return hr;
  }
  std::lock_guard<std::mutex> hold(mLock);
  _tagSApartment& apartment = mApartments[std::this_thread::get_id()];
  if (apartment.count == 0) {
    apartment.model = model;
    apartment.count = 1;
    return S_OK;
  }
  if (apartment.model != model) {
    return RPC_E_CHANGED_MODE;
  }
  ++apartment.count;
  return S_FALSE;
}

void CSimCom::CoUninitialize() {
  std::lock_guard<std::mutex> hold(mLock);
  auto it = mApartments.find(std::this_thread::get_id());
  if (it != mApartments.end() && --it->second.count <= 0) {
    mApartments.erase(it);
  }
}

HRESULT CSimCom::CoInitializeSecurity(const _tagSComSecurity& /*security*/) {
  HRESULT hr = S_OK;
  if (mFaults->Take(Op::CoInitializeSecurity, L"", hr)) {
    return hr;
  }
  std::lock_guard<std::mutex> hold(mLock);
  if (mSecuritySet) {
    return RPC_E_TOO_LATE;
  }
  mSecuritySet = true;
  return S_OK;
}

HRESULT CSimCom::CreateWbemLocator(std::shared_ptr<CWbemLocator>& locator) {
  HRESULT hr = S_OK;
  if (mFaults->Take(Op::CreateWbemLocator, L"", hr)) {
    return hr;
  }
  locator = std::make_shared<CSimWbemLocator>(mWmi, mFaults);
  return S_OK;
}

HRESULT CSimCom::QueryClientSecurity(const std::shared_ptr<CWbemServices>& connection,
                                     std::shared_ptr<CClientSecurity>& security) {
  HRESULT hr = S_OK;
  if (mFaults->Take(Op::QueryClientSecurity, L"", hr)) {
    return hr;
  }
  std::lock_guard<std::mutex> hold(mLock);
  if (!connection || !mClientSecurityOffered) {
    security.reset();
    return E_NOINTERFACE;
  }
  security = std::make_shared<CSimClientSecurity>(mFaults);
  return S_OK;
}

void CSimCom::Fail(Op op, HRESULT hr, int nth, bool always) {
  mFaults->Arm(op, hr, L"", nth, always);
}

void CSimCom::ClearFaults() {
  mFaults->Clear();
}

int CSimCom::Calls(Op op) {
  return mFaults->Calls(op);
}

void CSimCom::SetClientSecurityOffered(bool offered) {
  std::lock_guard<std::mutex> hold(mLock);
  mClientSecurityOffered = offered;
}

int CSimCom::InitCount(std::thread::id thread) {
  std::lock_guard<std::mutex> hold(mLock);
  auto it = mApartments.find(thread);
  return it == mApartments.end() ? 0 : it->second.count;
}

bool CSimCom::SecuritySet() {
  std::lock_guard<std::mutex> hold(mLock);
  return mSecuritySet;
}
