#include "Sim/FaultyCom.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/ComCounted.h"
#include "Platform/Variant.h"
#include "Platform/Wmi.h"
#include "Sim/FaultForwarder.h"

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
class CFaultyArray : public CFaultForwarder<CSafeArray> {
 public:
  CFaultyArray(std::shared_ptr<CSafeArray> inner, std::wstring property, CPlan plan)
      : CFaultForwarder(std::move(inner), std::move(plan), std::vector<int32_t>{}),
        mProperty(std::move(property)) {}

  // Never fails: the dimension count is read from the array itself.
  uint32_t GetDim() const override { return mInner->GetDim(); }
  HRESULT GetLBound(uint32_t dim, int32_t& bound) const override {
    const auto fault = Fault(FaultOp::ArrayLBound, {mProperty});
    return fault ? ComStatus(*fault) : mInner->GetLBound(dim, bound);
  }
  HRESULT GetUBound(uint32_t dim, int32_t& bound) const override {
    const auto fault = Fault(FaultOp::ArrayUBound, {mProperty});
    return fault ? ComStatus(*fault) : mInner->GetUBound(dim, bound);
  }
  HRESULT GetElement(int32_t index, int32_t& value) const override {
    // With no fault armed no target can match: the element's name is built
    // only while one is, as a read of every element would otherwise pay for it.
    std::wstring element;
    if (mPlan->Pending() != 0) {
      element = mProperty + L"[" + std::to_wstring(index) + L"]";
    }
    const auto fault = Fault(FaultOp::ArrayElement, {mProperty, element});
    return fault ? ComStatus(*fault) : mInner->GetElement(index, value);
  }

 private:
  std::wstring mProperty;
};

class CFaultyObject : public CFaultForwarder<CWbemClassObject> {
 public:
  CFaultyObject(std::shared_ptr<CWbemClassObject> inner, CPlan plan)
      : CFaultForwarder(std::move(inner), std::move(plan)) {}

  HRESULT Get(const std::wstring& name, CVariant& value) override {
    if (const auto fault = Fault(FaultOp::WmiGet, {name})) {
      return WmiStatus(*fault);
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
    const auto fault = FaultAfter(FaultOp::WmiPut, {name}, [&] { mInner->Put(name, value); });
    return fault ? WmiStatus(*fault) : mInner->Put(name, value);
  }
  HRESULT GetMethod(const std::wstring& name, std::shared_ptr<CWbemClassObject>* inSignature,
                    std::shared_ptr<CWbemClassObject>* outSignature) override {
    if (const auto fault = Fault(FaultOp::WmiGetMethod, {name})) {
      return WmiStatus(*fault);
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
    CVariant cls;
    mInner->Get(L"__CLASS", cls);
    if (const auto fault = Fault(FaultOp::WmiSpawnInstance, {cls.bstrVal})) {
      return WmiStatus(*fault);
    }
    const HRESULT hr = mInner->SpawnInstance(instance);
    if (HrSucceeded(hr) && instance) {
      instance = Wrap(instance, mPlan);
    }
    return hr;
  }
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

class CFaultyEnum : public CFaultForwarder<CEnumWbemClassObject> {
 public:
  CFaultyEnum(std::shared_ptr<CEnumWbemClassObject> inner, std::wstring className, CPlan plan)
      : CFaultForwarder(std::move(inner), std::move(plan)), mClassName(std::move(className)) {}

  HRESULT Next(int32_t timeout, std::span<std::shared_ptr<CWbemClassObject>> objects,
               uint32_t& returned) override {
    returned = 0;
    // A proceeding fault still hands out (at most) one object.
    const auto fault = FaultAfter(FaultOp::WmiNext, {mClassName}, [&] {
      if (!objects.empty()) {
        mInner->Next(timeout, objects.first(1), returned);
      }
    });
    const HRESULT hr = fault ? WmiStatus(*fault) : mInner->Next(timeout, objects, returned);
    for (uint32_t i = 0; i < returned && i < objects.size(); ++i) {
      objects[i] = Wrap(objects[i], mPlan);
    }
    return hr;
  }

 private:
  const std::wstring mClassName;
};

// Stands between a subscription and the caller's sink, so that the event
// objects delivered are forwarders too.
class CFaultySink : public CFaultForwarder<CComCounted<CWbemObjectSink>, CComPtr<CWbemObjectSink>> {
 public:
  CFaultySink(CWbemObjectSink* inner, CPlan plan)
      : CFaultForwarder(CComPtr<CWbemObjectSink>(inner), std::move(plan)) {}

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
};

class CFaultyServices : public CFaultForwarder<CWbemServices> {
 public:
  CFaultyServices(std::shared_ptr<CWbemServices> inner, CPlan plan)
      : CFaultForwarder(std::move(inner), std::move(plan)) {}

  HRESULT GetObject(const std::wstring& path, std::shared_ptr<CWbemClassObject>& object) override {
    if (const auto fault = Fault(FaultOp::WmiGetObject, {path})) {
      return WmiStatus(*fault);
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
    // As for array elements, "key/method" is built only while a fault is armed.
    std::wstring keyed;
    if (mPlan->Pending() != 0) {
      keyed = KeyOf(objectPath) + L"/" + method;
    }
    if (const auto fault = Fault(FaultOp::WmiExecMethod, {method, keyed})) {
      return WmiStatus(*fault);
    }
    const HRESULT hr = mInner->ExecMethod(objectPath, method, Unwrap(inParams, mPlan), outParams);
    if (HrSucceeded(hr) && outParams != nullptr) {
      *outParams = Wrap(*outParams, mPlan);
    }
    return hr;
  }
  HRESULT CreateInstanceEnum(const std::wstring& className, int32_t flags,
                             std::shared_ptr<CEnumWbemClassObject>& instances) override {
    if (const auto fault = Fault(FaultOp::WmiCreateInstanceEnum, {className})) {
      return WmiStatus(*fault);
    }
    const HRESULT hr = mInner->CreateInstanceEnum(className, flags, instances);
    if (HrSucceeded(hr) && instances) {
      instances = std::make_shared<CFaultyEnum>(std::move(instances), className, mPlan);
    }
    return hr;
  }
  HRESULT ExecNotificationQueryAsync(const std::wstring& language, const std::wstring& query,
                                     int32_t flags, CWbemObjectSink* handler) override {
    if (const auto fault = Fault(FaultOp::WmiExecNotificationQueryAsync, {query})) {
      return WmiStatus(*fault);
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
    if (const auto fault = Fault(FaultOp::WmiCancelAsyncCall, {})) {
      return WmiStatus(*fault);
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

  std::mutex mLock;
  // The forwarding sinks of each caller's handler, for CancelAsyncCall.
  std::map<CWbemObjectSink*, std::vector<CComPtr<CWbemObjectSink>>> mSinks;
};

class CFaultyLocator : public CFaultForwarder<CWbemLocator> {
 public:
  CFaultyLocator(std::shared_ptr<CWbemLocator> inner, CPlan plan)
      : CFaultForwarder(std::move(inner), std::move(plan)) {}

  HRESULT ConnectServer(const std::wstring& resource,
                        std::shared_ptr<CWbemServices>& services) override {
    if (const auto fault = Fault(FaultOp::ConnectServer, {resource})) {
      return ComStatus(*fault);
    }
    const HRESULT hr = mInner->ConnectServer(resource, services);
    if (HrSucceeded(hr) && services) {
      services = std::make_shared<CFaultyServices>(std::move(services), mPlan);
    }
    return hr;
  }
};

class CFaultyClientSecurity : public CFaultForwarder<CClientSecurity> {
 public:
  CFaultyClientSecurity(std::shared_ptr<CClientSecurity> inner, CPlan plan)
      : CFaultForwarder(std::move(inner), std::move(plan)) {}

  HRESULT SetBlanket(const _tagSSecurityBlanket& blanket) override {
    const auto fault = Fault(FaultOp::SetBlanket, {});
    return fault ? ComStatus(*fault) : mInner->SetBlanket(blanket);
  }
};

// A stub's forwarder: its QueryInterface can fail; what it hands out is the
// wrapped stub's own interface.
class CFaultyStub : public CFaultForwarder<CComCounted<CUnknown>, CUnknown*> {
 public:
  // Takes over the caller's reference on `inner`.
  CFaultyStub(CUnknown* inner, CPlan plan) : CFaultForwarder(inner, std::move(plan)) {}
  ~CFaultyStub() override { mInner->Release(); }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (const auto fault = Fault(FaultOp::StubQueryInterface, {})) {
      return ComStatus(*fault);
    }
    return mInner->QueryInterface(riid, object);
  }
};

class CFaultyApartment
    : public CFaultForwarder<CComCounted<CUnsecuredApartment>, CComPtr<CUnsecuredApartment>> {
 public:
  CFaultyApartment(CComPtr<CUnsecuredApartment> inner, CPlan plan)
      : CFaultForwarder(std::move(inner), std::move(plan)) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IUnsecuredApartment) {
      *object = static_cast<CUnsecuredApartment*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  HRESULT CreateObjectStub(CUnknown* object, CUnknown** stub) override {
    if (const auto fault = Fault(FaultOp::CreateObjectStub, {})) {
      return ComStatus(*fault);
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
};

}  // namespace

std::shared_ptr<CWbemClassObject> FaultyObject(std::shared_ptr<CWbemClassObject> object,
                                               const std::shared_ptr<CFaultPlan>& plan) {
  return Wrap(std::move(object), plan);
}

CFaultyCom::CFaultyCom(std::shared_ptr<CCom> inner, std::shared_ptr<CFaultPlan> plan)
    : CFaultForwarder(std::move(inner), std::move(plan)) {}
CFaultyCom::~CFaultyCom() = default;

HRESULT CFaultyCom::CoInitializeEx(ECoInit model) {
  const auto fault = Fault(FaultOp::CoInitializeEx, {});
  return fault ? ComStatus(*fault) : mInner->CoInitializeEx(model);
}

void CFaultyCom::CoUninitialize() {
  mInner->CoUninitialize();
}

HRESULT CFaultyCom::CoInitializeSecurity(const _tagSComSecurity& security) {
  const auto fault = Fault(FaultOp::CoInitializeSecurity, {});
  return fault ? ComStatus(*fault) : mInner->CoInitializeSecurity(security);
}

HRESULT CFaultyCom::CreateWbemLocator(std::shared_ptr<CWbemLocator>& locator) {
  if (const auto fault = Fault(FaultOp::CreateWbemLocator, {})) {
    return ComStatus(*fault);
  }
  const HRESULT hr = mInner->CreateWbemLocator(locator);
  if (HrSucceeded(hr) && locator) {
    locator = std::make_shared<CFaultyLocator>(std::move(locator), mPlan);
  }
  return hr;
}

HRESULT CFaultyCom::QueryClientSecurity(const std::shared_ptr<CWbemServices>& connection,
                                        std::shared_ptr<CClientSecurity>& security) {
  if (const auto fault = Fault(FaultOp::QueryClientSecurity, {})) {
    return ComStatus(*fault);
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
  if (const auto fault = Fault(FaultOp::CreateUnsecuredApartment, {})) {
    return ComStatus(*fault);
  }
  CComPtr<CUnsecuredApartment> inner;
  const HRESULT hr = mInner->CreateUnsecuredApartment(clsContext, inner);
  if (HrSucceeded(hr) && inner) {
    apartment = CComPtr<CUnsecuredApartment>(new CFaultyApartment(std::move(inner), mPlan));
  }
  return hr;
}
