#include "Platform/Memory/MemoryWmi.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>

#include "Platform/Text.h"

namespace {

using CSharedProperties = std::shared_ptr<const CWmiPropertyMap>;

const wchar_t kParameters[] = L"__PARAMETERS";

// A class's method signatures: the properties of each direction, every one
// null; null for a direction without parameters.
struct _tagSSignatureProperties {
  CSharedProperties in;
  CSharedProperties out;
};
using CSignatureTable = std::map<std::wstring, _tagSSignatureProperties, _tagSNameLess>;

// Every object the namespace hands out: a class, an instance snapshot, a
// method signature or output, an embedded object.
//
// Its properties are its own ones over a map it may share with others (a
// stored instance, a method's signature), which is never changed: a write
// to a shared property puts the new value among the object's own. Handing
// out a snapshot of a stored instance therefore copies nothing. __CLASS is
// the object's class name, whatever the properties hold.
class CMemoryWbemObject : public CWbemClassObject {
 public:
  struct _tagSMethodSignatures {
    std::shared_ptr<CWbemClassObject> in;
    std::shared_ptr<CWbemClassObject> out;
  };

  // `signatures`: a class's methods, whose signature objects are made when
  // first asked for.
  CMemoryWbemObject(std::wstring className, bool isClass, CWmiPropertyMap properties,
                    CSharedProperties shared = nullptr,
                    std::shared_ptr<const CSignatureTable> signatures = nullptr)
      : mClassName(std::move(className)),
        mIsClass(isClass),
        mShared(std::move(shared)),
        mSignatures(std::move(signatures)),
        mProperties(std::move(properties)) {}

  HRESULT Get(const std::wstring& name, CVariant& value) override {
    static const std::wstring kClassProperty = L"__CLASS";
    if (WmiNameEquals(name, kClassProperty)) {
      value = CVariant::Bstr(mClassName);
      return WBEM_S_NO_ERROR;
    }
    std::lock_guard<std::mutex> hold(mLock);
    auto it = mProperties.find(name);
    if (it != mProperties.end()) {
      value = it->second;
      return WBEM_S_NO_ERROR;
    }
    if (mShared) {
      auto shared = mShared->find(name);
      if (shared != mShared->end()) {
        value = shared->second;
        return WBEM_S_NO_ERROR;
      }
    }
    return WBEM_E_NOT_FOUND;
  }

  HRESULT Put(const std::wstring& name, const CVariant& value) override {
    if (name.starts_with(L"__")) {
      return WBEM_E_ACCESS_DENIED;
    }
    std::lock_guard<std::mutex> hold(mLock);
    auto it = mProperties.find(name);
    if (it != mProperties.end()) {
      it->second = value;
      return WBEM_S_NO_ERROR;
    }
    if (mShared) {
      auto shared = mShared->find(name);
      if (shared != mShared->end()) {
        mProperties.emplace(shared->first, value);
        return WBEM_S_NO_ERROR;
      }
    }
    if (!mIsClass) {
      return WBEM_E_NOT_FOUND;
    }
    mProperties[name] = value;
    return WBEM_S_NO_ERROR;
  }

  HRESULT GetMethod(const std::wstring& name, std::shared_ptr<CWbemClassObject>* inSignature,
                    std::shared_ptr<CWbemClassObject>* outSignature) override {
    if (!mIsClass) {
      return WBEM_E_ILLEGAL_OPERATION;
    }
    std::lock_guard<std::mutex> hold(mLock);
    auto it = mMethods.find(name);
    if (it == mMethods.end()) {
      auto found = mSignatures ? mSignatures->find(name) : CSignatureTable::const_iterator();
      if (!mSignatures || found == mSignatures->end()) {
        return WBEM_E_NOT_FOUND;
      }
      _tagSMethodSignatures made;
      if (found->second.in) {
        made.in = std::make_shared<CMemoryWbemObject>(kParameters, true, CWmiPropertyMap(),
                                                      found->second.in);
      }
      if (found->second.out) {
        made.out = std::make_shared<CMemoryWbemObject>(kParameters, true, CWmiPropertyMap(),
                                                       found->second.out);
      }
      it = mMethods.emplace(found->first, std::move(made)).first;
    }
    if (inSignature != nullptr) {
      *inSignature = it->second.in;
    }
    if (outSignature != nullptr) {
      *outSignature = it->second.out;
    }
    return WBEM_S_NO_ERROR;
  }

  HRESULT SpawnInstance(std::shared_ptr<CWbemClassObject>& instance) override {
    if (!mIsClass) {
      return WBEM_E_ILLEGAL_OPERATION;
    }
    CWmiPropertyMap properties;
    {
      std::lock_guard<std::mutex> hold(mLock);
      const auto addNulls = [&](const CWmiPropertyMap& map) {
        for (const auto& [name, value] : map) {
          if (!name.starts_with(L"__")) {
            properties[name] = CVariant::Null();
          }
        }
      };
      if (mShared) {
        addNulls(*mShared);
      }
      addNulls(mProperties);
    }
    instance = std::make_shared<CMemoryWbemObject>(mClassName, false, std::move(properties));
    return WBEM_S_NO_ERROR;
  }

  bool IsClass() const { return mIsClass; }

 private:
  const std::wstring mClassName;
  const bool mIsClass;
  const CSharedProperties mShared;                           // may be null
  const std::shared_ptr<const CSignatureTable> mSignatures;  // may be null
  std::mutex mLock;
  CWmiPropertyMap mProperties;
  std::map<std::wstring, _tagSMethodSignatures, _tagSNameLess> mMethods;
};

// The value of a keyed class's key property, empty for a singleton or when
// it is not a string.
std::wstring KeyValue(const std::wstring& key, const CWmiPropertyMap& properties) {
  if (key.empty()) {
    return L"";
  }
  auto it = properties.find(key);
  return it == properties.end() || it->second.vt != VT_BSTR ? L"" : it->second.bstrVal;
}

// An instance snapshot: the stored properties, shared, with __RELPATH
// (Class.Key="value", or Class=@ for a singleton) of its own.
std::shared_ptr<CWbemClassObject> Snapshot(const std::wstring& className, const std::wstring& key,
                                           CSharedProperties properties) {
  CWmiPropertyMap own;
  own.emplace(
      L"__RELPATH",
      CVariant::Bstr(key.empty() ? className + L"=@"
                                 : className + L"." + key + L"=\"" +
                                       CMemoryWmi::EscapeKey(KeyValue(key, *properties)) + L"\""));
  return std::make_shared<CMemoryWbemObject>(className, false, std::move(own),
                                             std::move(properties));
}

// Holds the instances as they were when the enumeration was opened (stored
// instances are never changed in place, so sharing them is enough) and makes
// each snapshot when Next hands it out: an enumeration of many instances
// neither copies them all up front nor keeps every copy alive until its end.
class CMemoryEnum : public CEnumWbemClassObject {
 public:
  CMemoryEnum(std::wstring className, std::wstring key, std::vector<CSharedProperties> instances)
      : mClassName(std::move(className)), mKey(std::move(key)), mInstances(std::move(instances)) {}

  HRESULT Next(int32_t /*timeout*/, std::span<std::shared_ptr<CWbemClassObject>> objects,
               uint32_t& returned) override {
    returned = 0;
    std::lock_guard<std::mutex> hold(mLock);
    std::size_t n = 0;
    while (n < objects.size() && mPosition < mInstances.size()) {
      objects[n++] = TakeNext();
    }
    returned = static_cast<uint32_t>(n);
    return n == objects.size() ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
  }

 private:
  std::shared_ptr<CWbemClassObject> TakeNext() {
    return Snapshot(mClassName, mKey, std::move(mInstances[mPosition++]));
  }

  const std::wstring mClassName;
  const std::wstring mKey;
  std::mutex mLock;
  std::vector<CSharedProperties> mInstances;
  std::size_t mPosition = 0;
};

const wchar_t kCreation[] = L"__InstanceCreationEvent";
const wchar_t kDeletion[] = L"__InstanceDeletionEvent";
const wchar_t kThermal[] = L"DTMEvent";

// The notification queries the namespace answers, by their exact text.
struct _tagSQuery {
  const wchar_t* text;
  const wchar_t* eventClass;
  const wchar_t* targetClass;
};

const _tagSQuery kQueries[] = {
    {L"SELECT * FROM __InstanceCreationEvent WITHIN 1 WHERE TargetInstance ISA "
     L"\"DtmSensorParticipantInformation\"",
     kCreation, L"DtmSensorParticipantInformation"},
    {L"SELECT * FROM __InstanceCreationEvent WITHIN 1 WHERE TargetInstance ISA "
     L"\"DtmDeviceParticipantInformation\"",
     kCreation, L"DtmDeviceParticipantInformation"},
    {L"SELECT * FROM __InstanceDeletionEvent WITHIN 1 WHERE TargetInstance ISA "
     L"\"DtmSensorParticipantInformation\"",
     kDeletion, L"DtmSensorParticipantInformation"},
    {L"SELECT * FROM __InstanceDeletionEvent WITHIN 1 WHERE TargetInstance ISA "
     L"\"DtmDeviceParticipantInformation\"",
     kDeletion, L"DtmDeviceParticipantInformation"},
    {L"SELECT * FROM DTMEvent", kThermal, L""},
};

CWmiPropertyMap NullProperties(const std::vector<std::wstring>& names) {
  CWmiPropertyMap properties;
  for (const std::wstring& name : names) {
    properties[name] = CVariant::Null();
  }
  return properties;
}

}  // namespace

bool WmiNameEquals(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](wchar_t x, wchar_t y) { return FoldAsciiCase(x) == FoldAsciiCase(y); });
}

bool _tagSNameLess::operator()(const std::wstring& a, const std::wstring& b) const {
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](wchar_t x, wchar_t y) { return FoldAsciiCase(x) < FoldAsciiCase(y); });
}

// A method never changes once defined (defining it again replaces it), so
// a call holds it by a shared pointer rather than copying it.
struct CMemoryWmi::_tagSMethod {
  std::vector<std::wstring> inParams;
  std::vector<std::wstring> outParams;
  MethodHandler handler;
};

struct CMemoryWmi::_tagSClass {
  std::wstring name;
  std::wstring key;  // empty: a singleton class
  std::map<std::wstring, std::shared_ptr<const _tagSMethod>, _tagSNameLess> methods;
  // The methods' signatures, shared with the class objects handed out; a
  // method defined again gets a new table.
  std::shared_ptr<const CSignatureTable> signatures = std::make_shared<const CSignatureTable>();
  // Stored instances are shared with the enumerations open on them, so they
  // are replaced, never changed in place.
  std::vector<CSharedProperties> instances;
  std::map<std::wstring, std::size_t> index;  // key -> position in instances
  InstanceProvider provider;                  // when set, supplies the instances instead

  std::vector<CSharedProperties> Current() const {
    if (!provider) {
      return instances;
    }
    std::vector<CSharedProperties> current;
    for (CWmiPropertyMap& properties : provider()) {
      current.push_back(std::make_shared<const CWmiPropertyMap>(std::move(properties)));
    }
    return current;
  }

  // The current instance with that key, or null. Stored instances are
  // found through the index, so a method call costs the same however many
  // participants the firmware publishes.
  CSharedProperties Lookup(const std::wstring& value) const {
    if (!provider) {
      auto it = index.find(value);
      return it == index.end() ? nullptr : instances[it->second];
    }
    for (CWmiPropertyMap& properties : provider()) {
      if (KeyOf(properties) == value) {
        return std::make_shared<const CWmiPropertyMap>(std::move(properties));
      }
    }
    return nullptr;
  }

  std::wstring KeyOf(const CWmiPropertyMap& properties) const { return KeyValue(key, properties); }

  CSharedProperties* Find(const std::wstring& value) {
    auto it = index.find(value);
    return it == index.end() ? nullptr : &instances[it->second];
  }

  // Stores an instance, replacing the one of the same key.
  void Store(CWmiPropertyMap properties) {
    const std::wstring value = KeyOf(properties);
    auto stored = std::make_shared<const CWmiPropertyMap>(std::move(properties));
    if (CSharedProperties* existing = Find(value)) {
      *existing = std::move(stored);
      return;
    }
    index[value] = instances.size();
    instances.push_back(std::move(stored));
  }

  bool Erase(const std::wstring& value) {
    auto it = index.find(value);
    if (it == index.end()) {
      return false;
    }
    instances.erase(instances.begin() + static_cast<std::ptrdiff_t>(it->second));
    Reindex();
    return true;
  }

  void Reindex() {
    index.clear();
    for (std::size_t i = 0; i < instances.size(); ++i) {
      index.emplace(KeyOf(*instances[i]), i);
    }
  }
};

class CMemoryWbemServices : public CWbemServices {
 public:
  explicit CMemoryWbemServices(std::shared_ptr<CMemoryWmi> wmi) : mWmi(std::move(wmi)) {}

  HRESULT GetObject(const std::wstring& path, std::shared_ptr<CWbemClassObject>& object) override {
    return mWmi->GetObject(path, object);
  }
  HRESULT ExecMethod(const std::wstring& objectPath, const std::wstring& method,
                     const std::shared_ptr<CWbemClassObject>& inParams,
                     std::shared_ptr<CWbemClassObject>* outParams) override {
    return mWmi->ExecMethod(objectPath, method, inParams, outParams);
  }
  HRESULT CreateInstanceEnum(const std::wstring& className, int32_t /*flags*/,
                             std::shared_ptr<CEnumWbemClassObject>& instances) override {
    return mWmi->CreateInstanceEnum(className, instances);
  }
  HRESULT ExecNotificationQueryAsync(const std::wstring& language, const std::wstring& query,
                                     int32_t /*flags*/, CWbemObjectSink* handler) override {
    return mWmi->ExecNotificationQueryAsync(language, query, handler);
  }
  HRESULT CancelAsyncCall(CWbemObjectSink* handler) override {
    return mWmi->CancelAsyncCall(handler);
  }

 private:
  std::shared_ptr<CMemoryWmi> mWmi;
};

// One subscription: its handler, the events waiting for it and the thread
// that delivers them.
struct CMemoryWmi::_tagSSubscription {
  std::wstring eventClass;
  std::wstring targetClass;
  const CWbemObjectSink* key = nullptr;  // the handler, for CancelAsyncCall
  CComPtr<CWbemObjectSink> handler;      // touched by the worker only, once it runs
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::shared_ptr<CWbemClassObject>> queue;
  bool busy = false;
  bool cancelled = false;
  std::thread worker;

  static void Run(std::shared_ptr<_tagSSubscription> self) {
    std::unique_lock<std::mutex> hold(self->lock);
    for (;;) {
      self->changed.wait(hold, [&] { return self->cancelled || !self->queue.empty(); });
      if (self->cancelled) {
        break;
      }
      std::shared_ptr<CWbemClassObject> event = std::move(self->queue.front());
      self->queue.pop_front();
      self->busy = true;
      hold.unlock();
      self->handler->Indicate(1, &event);
      event.reset();
      hold.lock();
      self->busy = false;
      self->changed.notify_all();
    }
    self->queue.clear();
    self->changed.notify_all();
    hold.unlock();
    self->handler->SetStatus(WBEM_STATUS_COMPLETE, WBEM_E_CALL_CANCELLED, L"", nullptr);
    self->handler.Reset();
  }

  // Stops the worker; joins it unless this is the worker's own thread.
  void Cancel() {
    {
      std::lock_guard<std::mutex> hold(lock);
      cancelled = true;
    }
    changed.notify_all();
    if (worker.get_id() == std::this_thread::get_id()) {
      worker.detach();
    } else if (worker.joinable()) {
      worker.join();
    }
  }
};

CMemoryWmi::CMemoryWmi() = default;

CMemoryWmi::~CMemoryWmi() {
  std::vector<std::shared_ptr<_tagSSubscription>> subscriptions;
  {
    std::lock_guard<std::mutex> hold(mEventLock);
    subscriptions.swap(mSubscriptions);
  }
  for (const auto& subscription : subscriptions) {
    subscription->Cancel();
  }
}

HRESULT CMemoryWmi::ExecNotificationQueryAsync(const std::wstring& language,
                                               const std::wstring& query,
                                               CWbemObjectSink* handler) {
  if (handler == nullptr) {
    return WBEM_E_INVALID_PARAMETER;
  }
  if (!WmiNameEquals(language, L"WQL")) {
    return WBEM_E_INVALID_QUERY_TYPE;
  }
  const auto known = std::find_if(std::begin(kQueries), std::end(kQueries),
                                  [&](const _tagSQuery& q) { return query == q.text; });
  if (known == std::end(kQueries)) {
    return WBEM_E_INVALID_QUERY;
  }
  auto subscription = std::make_shared<_tagSSubscription>();
  subscription->eventClass = known->eventClass;
  subscription->targetClass = known->targetClass;
  subscription->key = handler;
  subscription->handler = CComPtr<CWbemObjectSink>(handler);
  std::lock_guard<std::mutex> hold(mEventLock);
  subscription->worker = std::thread(&_tagSSubscription::Run, subscription);
  mSubscriptions.push_back(std::move(subscription));
  return WBEM_S_NO_ERROR;
}

HRESULT CMemoryWmi::CancelAsyncCall(CWbemObjectSink* handler) {
  std::vector<std::shared_ptr<_tagSSubscription>> cancelled;
  {
    std::lock_guard<std::mutex> hold(mEventLock);
    auto keep = std::stable_partition(mSubscriptions.begin(), mSubscriptions.end(),
                                      [&](const auto& s) { return s->key != handler; });
    cancelled.assign(keep, mSubscriptions.end());
    mSubscriptions.erase(keep, mSubscriptions.end());
  }
  if (cancelled.empty()) {
    return WBEM_E_NOT_FOUND;
  }
  for (const auto& subscription : cancelled) {
    subscription->Cancel();
  }
  return WBEM_S_NO_ERROR;
}

void CMemoryWmi::RaiseInstanceEvent(bool created, const std::wstring& className,
                                    CWmiPropertyMap properties) {
  auto target = MakeObject(className, std::move(properties));
  RaiseEvent(created ? kCreation : kDeletion, className,
             MakeObject(created ? kCreation : kDeletion,
                        {{L"TargetInstance", CVariant::Object(std::move(target))}}));
}

void CMemoryWmi::RaiseThermalEvent(const std::wstring& instanceName, int32_t eventCode) {
  auto description = MakeObject(L"DTMEventDescription", {{L"EventCode", CVariant::I4(eventCode)}});
  RaiseEvent(kThermal, L"",
             MakeObject(kThermal, {{L"InstanceName", CVariant::Bstr(instanceName)},
                                   {L"event_desc", CVariant::Object(std::move(description))}}));
}

void CMemoryWmi::RaiseEvent(const std::wstring& eventClass, const std::wstring& targetClass,
                            std::shared_ptr<CWbemClassObject> event) {
  std::lock_guard<std::mutex> hold(mEventLock);
  for (const auto& subscription : mSubscriptions) {
    if (!WmiNameEquals(subscription->eventClass, eventClass) ||
        !WmiNameEquals(subscription->targetClass, targetClass)) {
      continue;
    }
    {
      std::lock_guard<std::mutex> queued(subscription->lock);
      subscription->queue.push_back(event);
    }
    subscription->changed.notify_all();
  }
}

int CMemoryWmi::Subscriptions() {
  std::lock_guard<std::mutex> hold(mEventLock);
  return static_cast<int>(mSubscriptions.size());
}

bool CMemoryWmi::WaitDelivered(int timeoutMs) {
  std::vector<std::shared_ptr<_tagSSubscription>> subscriptions;
  {
    std::lock_guard<std::mutex> hold(mEventLock);
    subscriptions = mSubscriptions;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (const auto& subscription : subscriptions) {
    std::unique_lock<std::mutex> hold(subscription->lock);
    if (!subscription->changed.wait_until(hold, deadline, [&] {
          return subscription->cancelled || (subscription->queue.empty() && !subscription->busy);
        })) {
      return false;
    }
  }
  return true;
}

void CMemoryWmi::DefineClass(const std::wstring& className, const std::wstring& keyProperty) {
  std::lock_guard<std::mutex> hold(mLock);
  std::unique_ptr<_tagSClass>& cls = mClasses[className];
  if (!cls) {
    cls = std::make_unique<_tagSClass>();
    cls->name = className;
  }
  cls->key = keyProperty;
}

void CMemoryWmi::DefineMethod(const std::wstring& className, const std::wstring& method,
                              std::vector<std::wstring> inParams,
                              std::vector<std::wstring> outParams, MethodHandler handler) {
  std::lock_guard<std::mutex> hold(mLock);
  _tagSClass* cls = FindClassLocked(className);
  if (cls == nullptr) {
    return;
  }
  _tagSSignatureProperties signature;
  if (!inParams.empty()) {
    signature.in = std::make_shared<const CWmiPropertyMap>(NullProperties(inParams));
  }
  if (!outParams.empty()) {
    signature.out = std::make_shared<const CWmiPropertyMap>(NullProperties(outParams));
  }
  auto table = std::make_shared<CSignatureTable>(*cls->signatures);
  table->insert_or_assign(method, std::move(signature));
  cls->signatures = std::move(table);
  auto body = std::make_shared<_tagSMethod>();
  body->inParams = std::move(inParams);
  body->outParams = std::move(outParams);
  body->handler = std::move(handler);
  cls->methods[method] = std::move(body);
}

void CMemoryWmi::SetProvider(const std::wstring& className, InstanceProvider provider) {
  std::lock_guard<std::mutex> hold(mLock);
  _tagSClass* cls = FindClassLocked(className);
  if (cls != nullptr) {
    cls->provider = std::move(provider);
  }
}

void CMemoryWmi::AddInstance(const std::wstring& className, CWmiPropertyMap properties) {
  std::lock_guard<std::mutex> hold(mLock);
  _tagSClass* cls = FindClassLocked(className);
  if (cls == nullptr) {
    return;
  }
  cls->Store(std::move(properties));
}

bool CMemoryWmi::RemoveInstance(const std::wstring& className, const std::wstring& key) {
  std::lock_guard<std::mutex> hold(mLock);
  _tagSClass* cls = FindClassLocked(className);
  if (cls == nullptr) {
    return false;
  }
  return cls->Erase(key);
}

bool CMemoryWmi::SetProperty(const std::wstring& className, const std::wstring& key,
                             const std::wstring& property, CVariant value) {
  std::lock_guard<std::mutex> hold(mLock);
  _tagSClass* cls = FindClassLocked(className);
  CSharedProperties* stored = cls == nullptr ? nullptr : cls->Find(key);
  if (stored == nullptr) {
    return false;
  }
  auto changed = std::make_shared<CWmiPropertyMap>(**stored);
  (*changed)[property] = std::move(value);
  *stored = std::move(changed);
  if (WmiNameEquals(property, cls->key)) {
    cls->Reindex();
  }
  return true;
}

std::shared_ptr<CWbemClassObject> CMemoryWmi::Instance(const std::wstring& className,
                                                       const std::wstring& key) {
  std::lock_guard<std::mutex> hold(mLock);
  _tagSClass* cls = FindClassLocked(className);
  const CSharedProperties properties = cls == nullptr ? nullptr : cls->Lookup(key);
  return properties ? SnapshotLocked(*cls, properties) : nullptr;
}

std::shared_ptr<CWbemClassObject> CMemoryWmi::MakeObject(const std::wstring& className,
                                                         CWmiPropertyMap properties) {
  return std::make_shared<CMemoryWbemObject>(className, false, std::move(properties));
}

std::shared_ptr<CWbemServices> CMemoryWmi::Connect() {
  return std::make_shared<CMemoryWbemServices>(shared_from_this());
}

std::wstring CMemoryWmi::EscapeKey(const std::wstring& value) {
  std::wstring out;
  for (wchar_t c : value) {
    if (c == L'\\' || c == L'"') {
      out.push_back(L'\\');
    }
    out.push_back(c);
  }
  return out;
}

bool CMemoryWmi::ParsePath(const std::wstring& path, std::wstring& className,
                           std::wstring& keyProperty, std::wstring& key) {
  keyProperty.clear();
  key.clear();
  const std::size_t dot = path.find(L'.');
  if (dot == std::wstring::npos) {
    if (path.size() > 2 && path.ends_with(L"=@")) {
      className = path.substr(0, path.size() - 2);
      return true;
    }
    return false;
  }
  className = path.substr(0, dot);
  const std::size_t equals = path.find(L'=', dot);
  if (className.empty() || equals == std::wstring::npos || equals + 1 >= path.size() ||
      path[equals + 1] != L'"' || path.back() != L'"' || equals + 2 > path.size() - 1) {
    return false;
  }
  keyProperty = path.substr(dot + 1, equals - dot - 1);
  key.reserve(path.size() - equals - 2);
  for (std::size_t i = equals + 2; i + 1 < path.size(); ++i) {
    wchar_t c = path[i];
    if (c == L'\\') {
      if (i + 2 >= path.size()) {
        return false;
      }
      c = path[++i];
    } else if (c == L'"') {
      return false;
    }
    key.push_back(c);
  }
  return !keyProperty.empty();
}

CMemoryWmi::_tagSClass* CMemoryWmi::FindClassLocked(const std::wstring& className) {
  auto it = mClasses.find(className);
  return it == mClasses.end() ? nullptr : it->second.get();
}

std::shared_ptr<CWbemClassObject> CMemoryWmi::ClassObjectLocked(const _tagSClass& cls) {
  CWmiPropertyMap properties;
  if (!cls.key.empty()) {
    properties[cls.key] = CVariant::Null();
  }
  return std::make_shared<CMemoryWbemObject>(cls.name, true, std::move(properties), nullptr,
                                             cls.signatures);
}

std::shared_ptr<CWbemClassObject> CMemoryWmi::SnapshotLocked(const _tagSClass& cls,
                                                             CSharedProperties properties) {
  return Snapshot(cls.name, cls.key, std::move(properties));
}

HRESULT CMemoryWmi::GetObject(const std::wstring& path, std::shared_ptr<CWbemClassObject>& object) {
  std::lock_guard<std::mutex> hold(mLock);
  if (path.find_first_of(L".=") == std::wstring::npos) {
    _tagSClass* cls = FindClassLocked(path);
    if (cls == nullptr) {
      return WBEM_E_NOT_FOUND;
    }
    object = ClassObjectLocked(*cls);
    return WBEM_S_NO_ERROR;
  }
  std::wstring className, keyProperty, key;
  if (!ParsePath(path, className, keyProperty, key)) {
    return WBEM_E_INVALID_OBJECT_PATH;
  }
  _tagSClass* cls = FindClassLocked(className);
  if (cls == nullptr || !WmiNameEquals(keyProperty, cls->key)) {
    return WBEM_E_NOT_FOUND;
  }
  const CSharedProperties properties = cls->Lookup(key);
  if (!properties) {
    return WBEM_E_NOT_FOUND;
  }
  object = SnapshotLocked(*cls, properties);
  return WBEM_S_NO_ERROR;
}

HRESULT CMemoryWmi::ExecMethod(const std::wstring& objectPath, const std::wstring& method,
                               const std::shared_ptr<CWbemClassObject>& inParams,
                               std::shared_ptr<CWbemClassObject>* outParams) {
  std::wstring className, keyProperty, key;
  if (!ParsePath(objectPath, className, keyProperty, key)) {
    return WBEM_E_INVALID_OBJECT_PATH;
  }
  std::shared_ptr<const _tagSMethod> body;
  {
    std::lock_guard<std::mutex> hold(mLock);
    _tagSClass* cls = FindClassLocked(className);
    if (cls == nullptr) {
      return WBEM_E_INVALID_CLASS;
    }
    auto found = cls->methods.find(method);
    if (found == cls->methods.end()) {
      return WBEM_E_INVALID_METHOD;
    }
    if (!WmiNameEquals(keyProperty, cls->key) || !cls->Lookup(key)) {
      return WBEM_E_NOT_FOUND;
    }
    body = found->second;
  }
  CWmiPropertyMap in;
  if (!body->inParams.empty()) {
    auto* given = dynamic_cast<CMemoryWbemObject*>(inParams.get());
    if (given == nullptr || given->IsClass()) {
      return WBEM_E_INVALID_PARAMETER;
    }
    for (const std::wstring& name : body->inParams) {
      CVariant value = CVariant::Null();
      given->Get(name, value);
      in.insert_or_assign(name, std::move(value));
    }
  }
  if (!body->handler) {
    return WBEM_E_NOT_SUPPORTED;
  }
  CWmiPropertyMap out;
  const HRESULT hr = body->handler(key, in, out);
  if (HrFailed(hr)) {
    return hr;
  }
  if (outParams != nullptr) {
    outParams->reset();
    if (!body->outParams.empty()) {
      CWmiPropertyMap result;
      for (const std::wstring& name : body->outParams) {
        auto it = out.find(name);
        if (it == out.end()) {
          result.try_emplace(name, CVariant::Null());
        } else {
          result.try_emplace(name, std::move(it->second));
        }
      }
      *outParams = std::make_shared<CMemoryWbemObject>(kParameters, false, std::move(result));
    }
  }
  return WBEM_S_NO_ERROR;
}

HRESULT CMemoryWmi::CreateInstanceEnum(const std::wstring& className,
                                       std::shared_ptr<CEnumWbemClassObject>& instances) {
  std::lock_guard<std::mutex> hold(mLock);
  _tagSClass* cls = FindClassLocked(className);
  if (cls == nullptr) {
    return WBEM_E_INVALID_CLASS;
  }
  instances = std::make_shared<CMemoryEnum>(cls->name, cls->key, cls->Current());
  return WBEM_S_NO_ERROR;
}
