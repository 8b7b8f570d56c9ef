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

// Counts itself in `live` while it exists.
class CLiveCount {
 public:
  explicit CLiveCount(std::shared_ptr<std::atomic<int>> live) : mLive(std::move(live)) { ++*mLive; }
  ~CLiveCount() { --*mLive; }
  CLiveCount(const CLiveCount&) = delete;
  CLiveCount& operator=(const CLiveCount&) = delete;

 private:
  std::shared_ptr<std::atomic<int>> mLive;
};

// A counted object of the stand-in: deletes itself on its last Release.
template <typename Base>
class CSimCounted : public Base {
 public:
  ULONG AddRef() override { return ++mCount; }
  ULONG Release() override {
    const ULONG left = --mCount;
    if (left == 0) {
      delete this;
    }
    return left;
  }

 private:
  std::atomic<ULONG> mCount{0};
};

// The stub of an object: its QueryInterface hands out the stub itself for
// IUnknown and, when the object has it, IWbemObjectSink, forwarding every
// call to the object.
class CSimStub : public CSimCounted<CWbemObjectSink> {
 public:
  CSimStub(CComPtr<CUnknown> object, std::shared_ptr<CComFaults> faults,
           std::shared_ptr<std::atomic<int>> live)
      : mObject(std::move(object)), mFaults(std::move(faults)), mLive(std::move(live)) {
    void* sink = nullptr;
    if (HrSucceeded(mObject->QueryInterface(IID_IWbemObjectSink, &sink))) {
      mSink = CComPtr<CWbemObjectSink>::Adopt(static_cast<CWbemObjectSink*>(sink));
    }
  }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    HRESULT hr = S_OK;
    if (mFaults->Take(CSimCom::Op::StubQueryInterface, L"", hr)) {
      return hr;
    }
    if (riid == IID_IUnknown) {
      *object = static_cast<CUnknown*>(this);
    } else if (riid == IID_IWbemObjectSink && mSink) {
      *object = static_cast<CWbemObjectSink*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

  HRESULT Indicate(LONG count, std::shared_ptr<CWbemClassObject>* objects) override {
    return mSink->Indicate(count, objects);
  }
  HRESULT SetStatus(LONG flags, HRESULT result, const std::wstring& param,
                    const std::shared_ptr<CWbemClassObject>& object) override {
    return mSink->SetStatus(flags, result, param, object);
  }

 private:
  CComPtr<CUnknown> mObject;
  CComPtr<CWbemObjectSink> mSink;
  std::shared_ptr<CComFaults> mFaults;
  CLiveCount mLive;
};

class CSimUnsecuredApartment : public CSimCounted<CUnsecuredApartment> {
 public:
  CSimUnsecuredApartment(std::shared_ptr<CComFaults> faults, std::shared_ptr<std::atomic<int>> live,
                         std::shared_ptr<std::atomic<int>> liveStubs)
      : mFaults(std::move(faults)), mLive(std::move(live)), mLiveStubs(std::move(liveStubs)) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown) {
      *object = static_cast<CUnknown*>(this);
    } else if (riid == IID_IUnsecuredApartment) {
      *object = static_cast<CUnsecuredApartment*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

  HRESULT CreateObjectStub(CUnknown* object, CUnknown** stub) override {
    HRESULT hr = S_OK;
    if (mFaults->Take(CSimCom::Op::CreateObjectStub, L"", hr)) {
      return hr;
    }
    if (object == nullptr || stub == nullptr) {
      return E_POINTER;
    }
    auto* made = new CSimStub(CComPtr<CUnknown>(object), mFaults, mLiveStubs);
    made->AddRef();  // the caller's reference
    *stub = static_cast<CUnknown*>(made);
    return S_OK;
  }

 private:
  std::shared_ptr<CComFaults> mFaults;
  CLiveCount mLive;
  std::shared_ptr<std::atomic<int>> mLiveStubs;
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

HRESULT CSimCom::CreateUnsecuredApartment(uint32_t clsContext,
                                          CComPtr<CUnsecuredApartment>& apartment) {
  HRESULT hr = S_OK;
  if (mFaults->Take(Op::CreateUnsecuredApartment, L"", hr)) {
    return hr;
  }
  // The apartment is a local server: an in-process request finds no class.
  if ((clsContext & CLSCTX_LOCAL_SERVER) == 0) {
    return REGDB_E_CLASSNOTREG;
  }
  apartment = CComPtr<CUnsecuredApartment>(
      new CSimUnsecuredApartment(mFaults, mLiveApartments, mLiveStubs));
  return S_OK;
}

int CSimCom::LiveApartments() {
  return mLiveApartments->load();
}

int CSimCom::LiveStubs() {
  return mLiveStubs->load();
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
