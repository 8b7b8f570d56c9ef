// WMI stand-in: a namespace ("root\WMI") of classes and instances reached
// through a connection. Objects have properties (read with Get, written with
// Put) and, for classes, methods whose input and output parameters are
// described by signature objects; methods are executed on an instance named
// by its object path. Names of classes, properties and methods compare
// case-insensitively, as in WMI.
//
// Every interface is handed out as a shared pointer and may be used from any
// thread. An object obtained from the stand-in is a snapshot: a later change
// of the instance in the namespace does not show in it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "Platform/Com.h"
#include "Platform/Variant.h"

inline constexpr HRESULT WBEM_S_NO_ERROR = 0;
// Next: fewer objects than asked for came back (the end of the enumeration).
inline constexpr HRESULT WBEM_S_FALSE = 1;
inline constexpr HRESULT WBEM_S_TIMEDOUT = 0x40004;
inline constexpr HRESULT WBEM_E_FAILED = static_cast<HRESULT>(0x80041001u);
inline constexpr HRESULT WBEM_E_NOT_FOUND = static_cast<HRESULT>(0x80041002u);
inline constexpr HRESULT WBEM_E_ACCESS_DENIED = static_cast<HRESULT>(0x80041003u);
inline constexpr HRESULT WBEM_E_TYPE_MISMATCH = static_cast<HRESULT>(0x80041005u);
inline constexpr HRESULT WBEM_E_OUT_OF_MEMORY = static_cast<HRESULT>(0x80041006u);
inline constexpr HRESULT WBEM_E_INVALID_PARAMETER = static_cast<HRESULT>(0x80041008u);
inline constexpr HRESULT WBEM_E_NOT_SUPPORTED = static_cast<HRESULT>(0x8004100Cu);
inline constexpr HRESULT WBEM_E_INVALID_NAMESPACE = static_cast<HRESULT>(0x8004100Eu);
inline constexpr HRESULT WBEM_E_INVALID_CLASS = static_cast<HRESULT>(0x80041010u);
inline constexpr HRESULT WBEM_E_ILLEGAL_OPERATION = static_cast<HRESULT>(0x80041016u);
inline constexpr HRESULT WBEM_E_INVALID_OBJECT_PATH = static_cast<HRESULT>(0x8004103Au);
inline constexpr HRESULT WBEM_E_INVALID_METHOD = static_cast<HRESULT>(0x8004102Eu);
inline constexpr HRESULT WBEM_E_INVALID_QUERY = static_cast<HRESULT>(0x80041017u);
inline constexpr HRESULT WBEM_E_INVALID_QUERY_TYPE = static_cast<HRESULT>(0x80041018u);
inline constexpr HRESULT WBEM_E_CALL_CANCELLED = static_cast<HRESULT>(0x80041032u);

inline constexpr int32_t WBEM_FLAG_RETURN_IMMEDIATELY = 0x10;
inline constexpr int32_t WBEM_FLAG_FORWARD_ONLY = 0x20;
inline constexpr int32_t WBEM_FLAG_SHALLOW = 0x1;
inline constexpr int32_t WBEM_INFINITE = -1;
// ExecNotificationQueryAsync: the sink also gets SetStatus calls.
inline constexpr int32_t WBEM_FLAG_SEND_STATUS = 0x80;
// SetStatus: the final status of an asynchronous call.
inline constexpr int32_t WBEM_STATUS_COMPLETE = 0;

// A class, an instance, a method signature or a method's output.
class CWbemClassObject {
 public:
  virtual ~CWbemClassObject() = default;
  // Reads a property (flags 0, no type or flavour). System properties
  // "__CLASS" and, for instances, "__RELPATH" are readable like the others.
  // WBEM_E_NOT_FOUND when the object has no such property; `value` is
  // written only on success.
  virtual HRESULT Get(const std::wstring& name, CVariant& value) = 0;
  // Writes a property of the object (flags 0, type 0). An instance accepts
  // only the properties of its class.
  virtual HRESULT Put(const std::wstring& name, const CVariant& value) = 0;
  // Of a class object: the signatures of a method. A signature is null when
  // the method has no parameter of that direction. Either out-pointer may be
  // null when the caller does not want it.
  virtual HRESULT GetMethod(const std::wstring& name,
                            std::shared_ptr<CWbemClassObject>* inSignature,
                            std::shared_ptr<CWbemClassObject>* outSignature) = 0;
  // A new instance of this class (or signature) with every property null.
  virtual HRESULT SpawnInstance(std::shared_ptr<CWbemClassObject>& instance) = 0;
};

// A forward-only enumeration of the instances a class had when it was made.
class CEnumWbemClassObject {
 public:
  virtual ~CEnumWbemClassObject() = default;
  // Fetches up to objects.size() instances into `objects`, waiting at most
  // `timeout` milliseconds (WBEM_INFINITE: no limit); `returned` is the
  // number that came back. WBEM_S_NO_ERROR when all came back, WBEM_S_FALSE
  // when fewer did (at the end), a failure code otherwise.
  virtual HRESULT Next(int32_t timeout, std::span<std::shared_ptr<CWbemClassObject>> objects,
                       uint32_t& returned) = 0;
};

// The receiver of an asynchronous call's results, implemented by the caller.
// Indicate hands over `count` objects (each may be used from any thread);
// SetStatus reports the call's end. Both are called on threads of the
// stand-in's own, never on the thread that made the call, and calls for
// different subscriptions may run at the same time.
class CWbemObjectSink : public CUnknown {
 public:
  virtual HRESULT Indicate(LONG count, std::shared_ptr<CWbemClassObject>* objects) = 0;
  virtual HRESULT SetStatus(LONG flags, HRESULT result, const std::wstring& param,
                            const std::shared_ptr<CWbemClassObject>& object) = 0;
};

// A connection to one namespace.
class CWbemServices {
 public:
  virtual ~CWbemServices() = default;
  // A class by name, or an instance by object path (flags 0, no context).
  virtual HRESULT GetObject(const std::wstring& path,
                            std::shared_ptr<CWbemClassObject>& object) = 0;
  // Executes `method` on the instance named by `objectPath` (flags 0, no
  // context). `inParams` is an instance of the method's input signature, or
  // null for a method without input; `outParams` receives the output object
  // when not null.
  virtual HRESULT ExecMethod(const std::wstring& objectPath, const std::wstring& method,
                             const std::shared_ptr<CWbemClassObject>& inParams,
                             std::shared_ptr<CWbemClassObject>* outParams) = 0;
  // The instances of a class (no context); WBEM_E_INVALID_CLASS for a class
  // the namespace does not have.
  virtual HRESULT CreateInstanceEnum(const std::wstring& className, int32_t flags,
                                     std::shared_ptr<CEnumWbemClassObject>& instances) = 0;
  // Subscribes `handler` to the events a notification query selects (no
  // context). The namespace answers these queries in the language "WQL":
  //
  //   SELECT * FROM __InstanceCreationEvent WITHIN 1 WHERE TargetInstance ISA "C"
  //   SELECT * FROM __InstanceDeletionEvent WITHIN 1 WHERE TargetInstance ISA "C"
  //       for C = DtmSensorParticipantInformation or DtmDeviceParticipantInformation:
  //       objects whose TargetInstance holds the created or deleted instance;
  //   SELECT * FROM DTMEvent
  //       objects with InstanceName (a string) and event_desc, an embedded
  //       object whose EventCode is an integer.
  //
  // Any other text fails with WBEM_E_INVALID_QUERY, another language with
  // WBEM_E_INVALID_QUERY_TYPE; nothing is subscribed then. The namespace
  // holds a reference on `handler` until the subscription is cancelled.
  virtual HRESULT ExecNotificationQueryAsync(const std::wstring& language,
                                             const std::wstring& query, int32_t flags,
                                             CWbemObjectSink* handler) = 0;
  // Cancels every subscription made with `handler`. When it returns, no
  // Indicate for them is under way or will begin (unless called from inside
  // one of its own deliveries, which then ends the subscription after that
  // delivery), SetStatus has been called with WBEM_E_CALL_CANCELLED and the
  // namespace's reference is released. WBEM_E_NOT_FOUND when `handler` has
  // no subscription.
  virtual HRESULT CancelAsyncCall(CWbemObjectSink* handler) = 0;
};

class CWbemLocator {
 public:
  virtual ~CWbemLocator() = default;
  // Connects to a namespace such as "root\WMI" (no user, password, locale or
  // authority, security flags 0, no context).
  virtual HRESULT ConnectServer(const std::wstring& resource,
                                std::shared_ptr<CWbemServices>& services) = 0;
};
