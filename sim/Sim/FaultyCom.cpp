#include "Sim/FaultyCom.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/ComCounted.h"
#include "Platform/Variant.h"
#include "Platform/Wmi.h"

namespace {

using CPlan = std::shared_ptr<CFaultPlan>;

HRESULT ComStatus(long status) {
  return status != 0 ? static_cast<HRESULT>(status) : E_FAIL;
}
HRESULT WmiStatus(long status) {
  return status != 0 ? static_cast<HRESULT>(status) : WBEM_E_FAILED;
}

std::shared_ptr<CWbemClassObject> Wrap(std::shared_ptr<CWbemClassObject> inner, const CPlan& plan);

// An array read out of an object through the decorator: its bounds and
// elements fail as the plan says, named after the property that held it.
class CFaultyArray : public CSafeArray {
 public:
  CFaultyArray(std::shared_ptr<CSafeArray> inner, std::wstring property, CPlan plan)
      : CSafeArray(std::vector<int32_t>{}),
        mInner(std::move(inner)),
        mProperty(std::move(property)),
        mPlan(std::move(plan)) {}

  uint32_t GetDim() const override { return mInner->GetDim(); }
  HRESULT GetLBound(uint32_t dim, int32_t& bound) const override {
    long status = 0;
    if (mPlan->Take(FaultOp::ArrayLBound, {mProperty}, status)) {
      return ComStatus(status);
    }
    return mInner->GetLBound(dim, bound);
  }
  HRESULT GetUBound(uint32_t dim, int32_t& bound) const override {
    long status = 0;
    if (mPlan->Take(FaultOp::ArrayUBound, {mProperty}, status)) {
      return ComStatus(status);
    }
    return mInner->GetUBound(dim, bound);
  }
  HRESULT GetElement(int32_t index, int32_t& value) const override {
    long status = 0;
    const std::wstring element = mProperty + L"[" + std::to_wstring(index) + L"]";
    if (mPlan->Take(FaultOp::ArrayElement, {mProperty, element}, status)) {
      return ComStatus(status);
    }
    return mInner->GetElement(index, value);
  }

 private:
  std::shared_ptr<CSafeArray> mInner;
  std::wstring mProperty;
  CPlan mPlan;
};

class CFaultyObject : public CWbemClassObject {
 public:
  CFaultyObject(std::shared_ptr<CWbemClassObject> inner, CPlan plan)
      : mInner(std::move(inner)), mPlan(std::move(plan)) {}

  HRESULT Get(const std::wstring& name, CVariant& value) override {
    long status = 0;
    if (mPlan->Take(FaultOp::WmiGet, {name}, status)) {
      return WmiStatus(status);
    }
    const HRESULT hr = mInner->Get(name, value);
    if (HrSucceeded(hr) && value.vt == VT_UNKNOWN && value.punkVal) {
      value.punkVal = Wrap(value.punkVal, mPlan);
    }
    if (HrSucceeded(hr) && (value.vt & VT_ARRAY) != 0 && value.parray) {
      value.parray = std::make_shared<CFaultyArray>(value.parray, name, mPlan);
    }
    return hr;
  }
  HRESULT Put(const std::wstring& name, const CVariant& value) override {
    long status = 0;
    bool proceed = false;
    if (!mPlan->Take(FaultOp::WmiPut, {name}, status, &proceed)) {
      return mInner->Put(name, value);
    }
    if (proceed) {
      mInner->Put(name, value);
    }
    return WmiStatus(status);
  }
  HRESULT GetMethod(const std::wstring& name, std::shared_ptr<CWbemClassObject>* inSignature,
                    std::shared_ptr<CWbemClassObject>* outSignature) override {
    long status = 0;
    if (mPlan->Take(FaultOp::WmiGetMethod, {name}, status)) {
      return WmiStatus(status);
    }
    const HRESULT hr = mInner->GetMethod(name, inSignature, outSignature);
    if (HrSucceeded(hr)) {
      for (auto* signature : {inSignature, outSignature}) {
        if (signature != nullptr && *signature) {
          *signature = Wrap(*signature, mPlan);
        }
      }
    }
    return hr;
  }
  HRESULT SpawnInstance(std::shared_ptr<CWbemClassObject>& instance) override {
    long status = 0;
    CVariant cls;
    mInner->Get(L"__CLASS", cls);
    if (mPlan->Take(FaultOp::WmiSpawnInstance, {cls.bstrVal}, status)) {
      return WmiStatus(status);
    }
    const HRESULT hr = mInner->SpawnInstance(instance);
    if (HrSucceeded(hr) && instance) {
      instance = Wrap(instance, mPlan);
    }
    return hr;
  }

  const std::shared_ptr<CWbemClassObject>& Inner() const { return mInner; }
  const CPlan& Plan() const { return mPlan; }

 private:
  std::shared_ptr<CWbemClassObject> mInner;
  CPlan mPlan;
};

// Objects that come back through this decorator (an embedded object read
// twice) are not wrapped again; those of another decorator are.
std::shared_ptr<CWbemClassObject> Wrap(std::shared_ptr<CWbemClassObject> inner, const CPlan& plan) {
  auto* faulty = dynamic_cast<CFaultyObject*>(inner.get());
  if (!inner || (faulty != nullptr && faulty->Plan() == plan)) {
    return inner;
  }
  return std::make_shared<CFaultyObject>(std::move(inner), plan);
}

// The object a forwarder of this decorator stands for, as the wrapped
// namespace expects it back.
std::shared_ptr<CWbemClassObject> Unwrap(const std::shared_ptr<CWbemClassObject>& object,
                                         const CPlan& plan) {
  auto* faulty = dynamic_cast<CFaultyObject*>(object.get());
  return faulty != nullptr && faulty->Plan() == plan ? faulty->Inner() : object;
}

class CFaultyEnum : public CEnumWbemClassObject {
 public:
  CFaultyEnum(std::shared_ptr<CEnumWbemClassObject> inner, std::wstring className, CPlan plan)
      : mInner(std::move(inner)), mClassName(std::move(className)), mPlan(std::move(plan)) {}

  HRESULT Next(int32_t timeout, std::span<std::shared_ptr<CWbemClassObject>> objects,
               uint32_t& returned) override {
    returned = 0;
    long status = 0;
    bool proceed = false;
    HRESULT hr = S_OK;
    if (mPlan->Take(FaultOp::WmiNext, {mClassName}, status, &proceed)) {
      // A proceeding fault still hands out (at most) one object.
      if (proceed && !objects.empty()) {
        mInner->Next(timeout, objects.first(1), returned);
      }
      hr = WmiStatus(status);
    } else {
      hr = mInner->Next(timeout, objects, returned);
    }
    for (uint32_t i = 0; i < returned && i < objects.size(); ++i) {
      objects[i] = Wrap(objects[i], mPlan);
    }
    return hr;
  }

 private:
  std::shared_ptr<CEnumWbemClassObject> mInner;
  const std::wstring mClassName;
  CPlan mPlan;
};

// Stands between a subscription and the caller's sink, so that the event
// objects delivered are forwarders too.
class CFaultySink : public CComCounted<CWbemObjectSink> {
 public:
  CFaultySink(CWbemObjectSink* inner, CPlan plan) : mInner(inner), mPlan(std::move(plan)) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IWbemObjectSink) {
      *object = static_cast<CWbemObjectSink*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  HRESULT Indicate(LONG count, std::shared_ptr<CWbemClassObject>* objects) override {
    std::vector<std::shared_ptr<CWbemClassObject>> wrapped;
    for (LONG i = 0; i < count; ++i) {
      wrapped.push_back(Wrap(objects[i], mPlan));
    }
    return mInner->Indicate(count, wrapped.data());
  }
  HRESULT SetStatus(LONG flags, HRESULT result, const std::wstring& param,
                    const std::shared_ptr<CWbemClassObject>& object) override {
    return mInner->SetStatus(flags, result, param, Wrap(object, mPlan));
  }

 private:
  CComPtr<CWbemObjectSink> mInner;
  CPlan mPlan;
};

class CFaultyServices : public CWbemServices {
 public:
  CFaultyServices(std::shared_ptr<CWbemServices> inner, CPlan plan)
      : mInner(std::move(inner)), mPlan(std::move(plan)) {}

  const std::shared_ptr<CWbemServices>& Inner() const { return mInner; }

  HRESULT GetObject(const std::wstring& path, std::shared_ptr<CWbemClassObject>& object) override {
    long status = 0;
    if (mPlan->Take(FaultOp::WmiGetObject, {path}, status)) {
      return WmiStatus(status);
    }
    const HRESULT hr = mInner->GetObject(path, object);
    if (HrSucceeded(hr)) {
      object = Wrap(object, mPlan);
    }
    return hr;
  }
  HRESULT ExecMethod(const std::wstring& objectPath, const std::wstring& method,
                     const std::shared_ptr<CWbemClassObject>& inParams,
                     std::shared_ptr<CWbemClassObject>* outParams) override {
    long status = 0;
    if (mPlan->Take(FaultOp::WmiExecMethod, {method, KeyOf(objectPath) + L"/" + method}, status)) {
      return WmiStatus(status);
    }
    const HRESULT hr = mInner->ExecMethod(objectPath, method, Unwrap(inParams, mPlan), outParams);
    if (HrSucceeded(hr) && outParams != nullptr) {
      *outParams = Wrap(*outParams, mPlan);
    }
    return hr;
  }
  HRESULT CreateInstanceEnum(const std::wstring& className, int32_t flags,
                             std::shared_ptr<CEnumWbemClassObject>& instances) override {
    long status = 0;
    if (mPlan->Take(FaultOp::WmiCreateInstanceEnum, {className}, status)) {
      return WmiStatus(status);
    }
    const HRESULT hr = mInner->CreateInstanceEnum(className, flags, instances);
    if (HrSucceeded(hr) && instances) {
      instances = std::make_shared<CFaultyEnum>(std::move(instances), className, mPlan);
    }
    return hr;
  }
  HRESULT ExecNotificationQueryAsync(const std::wstring& language, const std::wstring& query,
                                     int32_t flags, CWbemObjectSink* handler) override {
    long status = 0;
    if (mPlan->Take(FaultOp::WmiExecNotificationQueryAsync, {query}, status)) {
      return WmiStatus(status);
    }
    if (handler == nullptr) {
      return mInner->ExecNotificationQueryAsync(language, query, flags, nullptr);
    }
    CComPtr<CWbemObjectSink> sink(new CFaultySink(handler, mPlan));
    const HRESULT hr = mInner->ExecNotificationQueryAsync(language, query, flags, sink.Get());
    if (HrSucceeded(hr)) {
      std::lock_guard<std::mutex> hold(mLock);
      mSinks[handler].push_back(sink);
    }
    return hr;
  }
  HRESULT CancelAsyncCall(CWbemObjectSink* handler) override {
    long status = 0;
    if (mPlan->Take(FaultOp::WmiCancelAsyncCall, {}, status)) {
      return WmiStatus(status);
    }
    std::vector<CComPtr<CWbemObjectSink>> sinks;
    {
      std::lock_guard<std::mutex> hold(mLock);
      auto it = mSinks.find(handler);
      if (it != mSinks.end()) {
        sinks = std::move(it->second);
        mSinks.erase(it);
      }
    }
    if (sinks.empty()) {
      return mInner->CancelAsyncCall(handler);
    }
    HRESULT hr = WBEM_S_NO_ERROR;
    for (const auto& sink : sinks) {
      const HRESULT one = mInner->CancelAsyncCall(sink.Get());
      if (HrFailed(one)) {
        hr = one;
      }
    }
    return hr;
  }

 private:
  // The key of an object path, Class.Key="value" (unescaped), or the path.
  static std::wstring KeyOf(const std::wstring& path) {
    const std::size_t open = path.find(L"=\"");
    if (open == std::wstring::npos || path.size() < open + 3) {
      return path;
    }
    std::wstring key;
    for (std::size_t i = open + 2; i + 1 < path.size(); ++i) {
      if (path[i] == L'\\' && i + 2 < path.size()) {
        ++i;
      }
      key.push_back(path[i]);
    }
    return key;
  }

  std::shared_ptr<CWbemServices> mInner;
  CPlan mPlan;
  std::mutex mLock;
  // The forwarding sinks of each caller's handler, for CancelAsyncCall.
  std::map<CWbemObjectSink*, std::vector<CComPtr<CWbemObjectSink>>> mSinks;
};

class CFaultyLocator : public CWbemLocator {
 public:
  CFaultyLocator(std::shared_ptr<CWbemLocator> inner, CPlan plan)
      : mInner(std::move(inner)), mPlan(std::move(plan)) {}

  HRESULT ConnectServer(const std::wstring& resource,
                        std::shared_ptr<CWbemServices>& services) override {
    long status = 0;
    if (mPlan->Take(FaultOp::ConnectServer, {resource}, status)) {
      return ComStatus(status);
    }
    const HRESULT hr = mInner->ConnectServer(resource, services);
    if (HrSucceeded(hr) && services) {
      services = std::make_shared<CFaultyServices>(std::move(services), mPlan);
    }
    return hr;
  }

 private:
  std::shared_ptr<CWbemLocator> mInner;
  CPlan mPlan;
};

class CFaultyClientSecurity : public CClientSecurity {
 public:
  CFaultyClientSecurity(std::shared_ptr<CClientSecurity> inner, CPlan plan)
      : mInner(std::move(inner)), mPlan(std::move(plan)) {}

  HRESULT SetBlanket(const _tagSSecurityBlanket& blanket) override {
    long status = 0;
    return mPlan->Take(FaultOp::SetBlanket, {}, status) ? ComStatus(status)
                                                        : mInner->SetBlanket(blanket);
  }

 private:
  std::shared_ptr<CClientSecurity> mInner;
  CPlan mPlan;
};

// A stub's forwarder: its QueryInterface can fail; what it hands out is the
// wrapped stub's own interface.
class CFaultyStub : public CComCounted<CUnknown> {
 public:
  CFaultyStub(CUnknown* inner, CPlan plan) : mInner(inner), mPlan(std::move(plan)) {}
  ~CFaultyStub() override { mInner->Release(); }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    long status = 0;
    if (mPlan->Take(FaultOp::StubQueryInterface, {}, status)) {
      return ComStatus(status);
    }
    return mInner->QueryInterface(riid, object);
  }

 private:
  CUnknown* mInner;  // one reference, owned
  CPlan mPlan;
};

class CFaultyApartment : public CComCounted<CUnsecuredApartment> {
 public:
  CFaultyApartment(CComPtr<CUnsecuredApartment> inner, CPlan plan)
      : mInner(std::move(inner)), mPlan(std::move(plan)) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IUnsecuredApartment) {
      *object = static_cast<CUnsecuredApartment*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  HRESULT CreateObjectStub(CUnknown* object, CUnknown** stub) override {
    long status = 0;
    if (mPlan->Take(FaultOp::CreateObjectStub, {}, status)) {
      return ComStatus(status);
    }
    CUnknown* made = nullptr;
    const HRESULT hr = mInner->CreateObjectStub(object, &made);
    if (HrFailed(hr) || made == nullptr) {
      return hr;
    }
    auto* forwarder = new CFaultyStub(made, mPlan);
    forwarder->AddRef();  // the caller's reference
    *stub = forwarder;
    return hr;
  }

 private:
  CComPtr<CUnsecuredApartment> mInner;
  CPlan mPlan;
};

}  // namespace

std::shared_ptr<CWbemClassObject> FaultyObject(std::shared_ptr<CWbemClassObject> object,
                                               const std::shared_ptr<CFaultPlan>& plan) {
  return Wrap(std::move(object), plan);
}

CFaultyCom::CFaultyCom(std::shared_ptr<CCom> inner, std::shared_ptr<CFaultPlan> plan)
    : mInner(std::move(inner)), mPlan(std::move(plan)) {}
CFaultyCom::~CFaultyCom() = default;

HRESULT CFaultyCom::CoInitializeEx(ECoInit model) {
  long status = 0;
  return mPlan->Take(FaultOp::CoInitializeEx, {}, status) ? ComStatus(status)
                                                          : mInner->CoInitializeEx(model);
}

void CFaultyCom::CoUninitialize() {
  mInner->CoUninitialize();
}

HRESULT CFaultyCom::CoInitializeSecurity(const _tagSComSecurity& security) {
  long status = 0;
  return mPlan->Take(FaultOp::CoInitializeSecurity, {}, status)
             ? ComStatus(status)
             : mInner->CoInitializeSecurity(security);
}

HRESULT CFaultyCom::CreateWbemLocator(std::shared_ptr<CWbemLocator>& locator) {
  long status = 0;
  if (mPlan->Take(FaultOp::CreateWbemLocator, {}, status)) {
    return ComStatus(status);
  }
  const HRESULT hr = mInner->CreateWbemLocator(locator);
  if (HrSucceeded(hr) && locator) {
    locator = std::make_shared<CFaultyLocator>(std::move(locator), mPlan);
  }
  return hr;
}

HRESULT CFaultyCom::QueryClientSecurity(const std::shared_ptr<CWbemServices>& connection,
                                        std::shared_ptr<CClientSecurity>& security) {
  long status = 0;
  if (mPlan->Take(FaultOp::QueryClientSecurity, {}, status)) {
    return ComStatus(status);
  }
  auto* faulty = dynamic_cast<CFaultyServices*>(connection.get());
  const HRESULT hr =
      mInner->QueryClientSecurity(faulty != nullptr ? faulty->Inner() : connection, security);
  if (HrSucceeded(hr) && security) {
    security = std::make_shared<CFaultyClientSecurity>(std::move(security), mPlan);
  }
  return hr;
}

HRESULT CFaultyCom::CreateUnsecuredApartment(uint32_t clsContext,
                                             CComPtr<CUnsecuredApartment>& apartment) {
  long status = 0;
  if (mPlan->Take(FaultOp::CreateUnsecuredApartment, {}, status)) {
    return ComStatus(status);
  }
  CComPtr<CUnsecuredApartment> inner;
  const HRESULT hr = mInner->CreateUnsecuredApartment(clsContext, inner);
  if (HrSucceeded(hr) && inner) {
    apartment = CComPtr<CUnsecuredApartment>(new CFaultyApartment(std::move(inner), mPlan));
  }
  return hr;
}
