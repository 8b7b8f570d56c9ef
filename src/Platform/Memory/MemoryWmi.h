// The in-memory WMI namespace ("root\WMI") behind the in-memory COM: classes
// with an optional key property and methods, instances with properties, and
// connections to it. A class's methods run handlers that whoever defines the
// class supplies (a firmware model); instances and classes can be added and
// removed at any time. On Linux it holds the thermal classes with no firmware
// participant, and carries the kernel's arrival and removal events.
//
// Events: a connection answers the notification queries of
// CWbemServices::ExecNotificationQueryAsync. Each subscription has a delivery
// thread of its own, which calls the handler's Indicate with one event object
// at a time, in the order the events were raised. RaiseInstanceEvent and
// RaiseThermalEvent are how a publisher (the simulated firmware, the Linux
// platform) reports an instance that came or went and a platform thermal
// event; they return at once.
//
// Thread-safe: one lock guards the namespace; method handlers run without it,
// so a handler may call back into the namespace. Sinks are called without any
// lock of the namespace, so a sink may call back too.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Wmi.h"
#include "zivorivizo/Export.h"

// Case-insensitive (ASCII) equality and ordering, as WMI compares names.
ZIVO_EXPORT bool WmiNameEquals(const std::wstring& a, const std::wstring& b);
struct ZIVO_EXPORT _tagSNameLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const;
};

using CWmiPropertyMap = std::map<std::wstring, CVariant, _tagSNameLess>;

class ZIVO_EXPORT CMemoryWmi : public std::enable_shared_from_this<CMemoryWmi> {
 public:
  // A method body: the key of the instance it runs on, the input parameters
  // (every input of the signature, null when the caller did not put it), and
  // the output parameters to fill. A failing result is what ExecMethod
  // returns; the output is then discarded.
  using MethodHandler = std::function<HRESULT(const std::wstring& key, const CWmiPropertyMap& in,
                                              CWmiPropertyMap& out)>;

  // Computes a class's instances when they are asked for, as a dynamic
  // provider does. Runs under the namespace's lock: it must not call back.
  using InstanceProvider = std::function<std::vector<CWmiPropertyMap>()>;

  CMemoryWmi();
  ~CMemoryWmi();

  // Schema. A class with a key property names its instances by that
  // property's value; a class without one holds at most one instance (a
  // singleton). Defining a class again keeps its instances.
  void DefineClass(const std::wstring& className, const std::wstring& keyProperty = L"");
  void DefineMethod(const std::wstring& className, const std::wstring& method,
                    std::vector<std::wstring> inParams, std::vector<std::wstring> outParams,
                    MethodHandler handler);

  // From now on the class's instances are those `provider` returns at each
  // enumeration or lookup; the instances added are set aside (and
  // AddInstance, RemoveInstance and SetProperty no longer show).
  void SetProvider(const std::wstring& className, InstanceProvider provider);

  // Instances, kept in the order of addition. Adding one whose key exists
  // replaces it in place. __CLASS and, for a keyed class, __RELPATH
  // (Class.Key="value" with \ and " escaped) are added by the namespace.
  void AddInstance(const std::wstring& className, CWmiPropertyMap properties);
  bool RemoveInstance(const std::wstring& className, const std::wstring& key);
  bool SetProperty(const std::wstring& className, const std::wstring& key,
                   const std::wstring& property, CVariant value);
  // A snapshot of an instance, or null.
  std::shared_ptr<CWbemClassObject> Instance(const std::wstring& className,
                                             const std::wstring& key);
  // A free-standing object of a class the namespace need not know (for
  // embedded objects).
  std::shared_ptr<CWbemClassObject> MakeObject(const std::wstring& className,
                                               CWmiPropertyMap properties);

  // Raises __InstanceCreationEvent (`created`) or __InstanceDeletionEvent
  // whose TargetInstance is an object of `className` with `properties` (its
  // InstanceName among them), to every subscription for that class.
  void RaiseInstanceEvent(bool created, const std::wstring& className, CWmiPropertyMap properties);
  // Raises a DTMEvent: InstanceName, and event_desc holding EventCode.
  void RaiseThermalEvent(const std::wstring& instanceName, int32_t eventCode);
  // Raises a prepared event object (of any shape, a broken one included) to
  // the subscriptions of `eventClass` ("DTMEvent", "__InstanceCreationEvent",
  // "__InstanceDeletionEvent") whose target class is `targetClass` (empty
  // for DTMEvent).
  void RaiseEvent(const std::wstring& eventClass, const std::wstring& targetClass,
                  std::shared_ptr<CWbemClassObject> event);
  // Subscriptions not yet cancelled.
  int Subscriptions();
  // Waits until every event raised so far has been delivered (or dropped by
  // a cancellation); false when `timeoutMs` passed first.
  bool WaitDelivered(int timeoutMs);

  // A new connection to this namespace.
  std::shared_ptr<CWbemServices> Connect();

  // Escapes a key value for an object path, and splits an object path
  // (Class.Key="value", or Class=@ for a singleton) into its parts; false for
  // a malformed one.
  static std::wstring EscapeKey(const std::wstring& value);
  static bool ParsePath(const std::wstring& path, std::wstring& className,
                        std::wstring& keyProperty, std::wstring& key);

 private:
  friend class CMemoryWbemServices;
  struct _tagSMethod;
  struct _tagSClass;

  _tagSClass* FindClassLocked(const std::wstring& className);
  std::shared_ptr<CWbemClassObject> ClassObjectLocked(const _tagSClass& cls);
  std::shared_ptr<CWbemClassObject> SnapshotLocked(
      const _tagSClass& cls, std::shared_ptr<const CWmiPropertyMap> properties);

  HRESULT ExecMethod(const std::wstring& objectPath, const std::wstring& method,
                     const std::shared_ptr<CWbemClassObject>& inParams,
                     std::shared_ptr<CWbemClassObject>* outParams);
  HRESULT GetObject(const std::wstring& path, std::shared_ptr<CWbemClassObject>& object);
  HRESULT CreateInstanceEnum(const std::wstring& className,
                             std::shared_ptr<CEnumWbemClassObject>& instances);
  HRESULT ExecNotificationQueryAsync(const std::wstring& language, const std::wstring& query,
                                     CWbemObjectSink* handler);
  HRESULT CancelAsyncCall(CWbemObjectSink* handler);

  struct _tagSSubscription;

  std::mutex mLock;
  std::map<std::wstring, std::unique_ptr<_tagSClass>, _tagSNameLess> mClasses;
  std::mutex mEventLock;  // guards mSubscriptions only
  std::vector<std::shared_ptr<_tagSSubscription>> mSubscriptions;
};
