#include "Platform/Memory/MemoryCom.h"

#include "Platform/ComCounted.h"
#include "Platform/Memory/MemoryWmi.h"
#include "Platform/Wmi.h"

namespace {

class CMemoryWbemLocator : public CWbemLocator {
 public:
  explicit CMemoryWbemLocator(std::shared_ptr<CMemoryWmi> wmi) : mWmi(std::move(wmi)) {}

  HRESULT ConnectServer(const std::wstring& resource,
                        std::shared_ptr<CWbemServices>& services) override {
    if (!WmiNameEquals(resource, L"root\\WMI")) {
      return WBEM_E_INVALID_NAMESPACE;
    }
    services = mWmi->Connect();
    return WBEM_S_NO_ERROR;
  }

 private:
  std::shared_ptr<CMemoryWmi> mWmi;
};

class CMemoryClientSecurity : public CClientSecurity {
 public:
  HRESULT SetBlanket(const _tagSSecurityBlanket& /*blanket*/) override { return S_OK; }
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

// The stub of an object: its QueryInterface hands out the stub itself for
// IUnknown and, when the object has it, IWbemObjectSink, forwarding every
// call to the object.
class CMemoryStub : public CComCounted<CWbemObjectSink> {
 public:
  CMemoryStub(CComPtr<CUnknown> object, std::shared_ptr<std::atomic<int>> live)
      : mObject(std::move(object)), mLive(std::move(live)) {
    void* sink = nullptr;
    if (HrSucceeded(mObject->QueryInterface(IID_IWbemObjectSink, &sink))) {
      mSink = CComPtr<CWbemObjectSink>::Adopt(static_cast<CWbemObjectSink*>(sink));
    }
  }

  HRESULT QueryInterface(REFIID riid, void** object) override {
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
  CLiveCount mLive;
};

class CMemoryUnsecuredApartment : public CComCounted<CUnsecuredApartment> {
 public:
  CMemoryUnsecuredApartment(std::shared_ptr<std::atomic<int>> live,
                            std::shared_ptr<std::atomic<int>> liveStubs)
      : mLive(std::move(live)), mLiveStubs(std::move(liveStubs)) {}

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
    if (object == nullptr || stub == nullptr) {
      return E_POINTER;
    }
    auto* made = new CMemoryStub(CComPtr<CUnknown>(object), mLiveStubs);
    made->AddRef();  // the caller's reference
    *stub = static_cast<CUnknown*>(made);
    return S_OK;
  }

 private:
  CLiveCount mLive;
  std::shared_ptr<std::atomic<int>> mLiveStubs;
};

}  // namespace

CMemoryCom::CMemoryCom(std::shared_ptr<CMemoryWmi> wmi) : mWmi(std::move(wmi)) {}

CMemoryCom::~CMemoryCom() = default;

HRESULT CMemoryCom::CoInitializeEx(ECoInit model) {
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

void CMemoryCom::CoUninitialize() {
  std::lock_guard<std::mutex> hold(mLock);
  auto it = mApartments.find(std::this_thread::get_id());
  if (it != mApartments.end() && --it->second.count <= 0) {
    mApartments.erase(it);
  }
}

HRESULT CMemoryCom::CoInitializeSecurity(const _tagSComSecurity& /*security*/) {
  std::lock_guard<std::mutex> hold(mLock);
  if (mSecuritySet) {
    return RPC_E_TOO_LATE;
  }
  mSecuritySet = true;
  return S_OK;
}

HRESULT CMemoryCom::CreateWbemLocator(std::shared_ptr<CWbemLocator>& locator) {
  locator = std::make_shared<CMemoryWbemLocator>(mWmi);
  return S_OK;
}

HRESULT CMemoryCom::QueryClientSecurity(const std::shared_ptr<CWbemServices>& connection,
                                        std::shared_ptr<CClientSecurity>& security) {
  std::lock_guard<std::mutex> hold(mLock);
  if (!connection || !mClientSecurityOffered) {
    security.reset();
    return E_NOINTERFACE;
  }
  security = std::make_shared<CMemoryClientSecurity>();
  return S_OK;
}

HRESULT CMemoryCom::CreateUnsecuredApartment(uint32_t clsContext,
                                             CComPtr<CUnsecuredApartment>& apartment) {
  // The apartment is a local server: an in-process request finds no class.
  if ((clsContext & CLSCTX_LOCAL_SERVER) == 0) {
    return REGDB_E_CLASSNOTREG;
  }
  apartment =
      CComPtr<CUnsecuredApartment>(new CMemoryUnsecuredApartment(mLiveApartments, mLiveStubs));
  return S_OK;
}

int CMemoryCom::LiveApartments() {
  return mLiveApartments->load();
}

int CMemoryCom::LiveStubs() {
  return mLiveStubs->load();
}

void CMemoryCom::SetClientSecurityOffered(bool offered) {
  std::lock_guard<std::mutex> hold(mLock);
  mClientSecurityOffered = offered;
}

int CMemoryCom::InitCount(std::thread::id thread) {
  std::lock_guard<std::mutex> hold(mLock);
  auto it = mApartments.find(thread);
  return it == mApartments.end() ? 0 : it->second.count;
}

bool CMemoryCom::SecuritySet() {
  std::lock_guard<std::mutex> hold(mLock);
  return mSecuritySet;
}
