// COM stand-in: the per-thread apartment, the process security, creation of
// the WMI locator and the client security of a connection. Results are
// HRESULT values as on Windows: 32-bit, negative for a failure, 0 (S_OK) for
// success and small positive values for a qualified success (S_FALSE).
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

using HRESULT = int32_t;
using LONG = int32_t;
using ULONG = uint32_t;

inline constexpr bool HrSucceeded(HRESULT hr) {
  return hr >= 0;
}
inline constexpr bool HrFailed(HRESULT hr) {
  return hr < 0;
}

inline constexpr HRESULT S_OK = 0;
// CoInitializeEx: this thread is already in the multithreaded apartment.
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
// CoInitializeEx: this thread is already in another kind of apartment.
inline constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);
// CoInitializeSecurity: the process security has already been set.
inline constexpr HRESULT RPC_E_TOO_LATE = static_cast<HRESULT>(0x80010119u);
// A class that is not registered (CoCreateInstance).
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);

enum ECoInit : uint32_t {
  COINIT_MULTITHREADED = 0x0,
  COINIT_APARTMENTTHREADED = 0x2,
};

// RPC_C_AUTHN_LEVEL_*, RPC_C_IMP_LEVEL_*, RPC_C_AUTHN_*, RPC_C_AUTHZ_*.
inline constexpr uint32_t RPC_C_AUTHN_LEVEL_NONE = 1;
inline constexpr uint32_t RPC_C_AUTHN_LEVEL_CONNECT = 2;
inline constexpr uint32_t RPC_C_IMP_LEVEL_IMPERSONATE = 3;
inline constexpr uint32_t RPC_C_AUTHN_WINNT = 10;
inline constexpr uint32_t RPC_C_AUTHZ_NONE = 0;
inline constexpr uint32_t EOAC_NONE = 0;

// The arguments of CoInitializeSecurity that carry a value; the others are
// null in every call the library makes.
struct _tagSComSecurity {
  int32_t authenticationServices = -1;  // -1: COM chooses
  uint32_t authenticationLevel = RPC_C_AUTHN_LEVEL_NONE;
  uint32_t impersonationLevel = RPC_C_IMP_LEVEL_IMPERSONATE;
  uint32_t capabilities = EOAC_NONE;
};

// The arguments of IClientSecurity::SetBlanket, apart from the proxy.
struct _tagSSecurityBlanket {
  uint32_t authenticationService = RPC_C_AUTHN_WINNT;
  uint32_t authorisationService = RPC_C_AUTHZ_NONE;
  uint32_t authenticationLevel = RPC_C_AUTHN_LEVEL_CONNECT;
  uint32_t impersonationLevel = RPC_C_IMP_LEVEL_IMPERSONATE;
  uint32_t capabilities = EOAC_NONE;
};

// A 16-byte interface or class identifier, compared as 16 bytes.
struct GUID {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};

  friend bool operator==(const GUID& a, const GUID& b) {
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
  }
};
using IID = GUID;
using REFIID = const IID&;

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {7C857801-7381-11CF-884D-00AA004B2E24}
inline constexpr IID IID_IWbemObjectSink = {
    0x7C857801, 0x7381, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
// {1CFABA8C-1523-11D1-AD79-00C04FD8FDFF}
inline constexpr IID IID_IUnsecuredApartment = {
    0x1CFABA8C, 0x1523, 0x11D1, {0xAD, 0x79, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};
// {49BD2028-1523-11D1-AD79-00C04FD8FDFF}
inline constexpr GUID CLSID_UnsecuredApartment = {
    0x49BD2028, 0x1523, 0x11D1, {0xAD, 0x79, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};

inline constexpr uint32_t CLSCTX_INPROC_SERVER = 1;
inline constexpr uint32_t CLSCTX_LOCAL_SERVER = 4;

// A reference-counted object, for the few objects whose lifetime is shared
// between the library and the stand-in by counting (the event sinks, the
// unsecured apartment and its stubs). An object deletes itself on its last
// Release. QueryInterface stores an interface pointer already counted (the
// caller owns one reference) and returns E_NOINTERFACE, storing nothing, for
// an interface the object does not have.
class CUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~CUnknown() = default;
};

// Owns one reference on a counted object: releases it when destroyed or
// reset, adds one when copied.
template <typename T>
class CComPtr {
 public:
  CComPtr() = default;
  // Takes a new reference on `object`.
  explicit CComPtr(T* object) : mObject(object) {
    if (mObject != nullptr) {
      mObject->AddRef();
    }
  }
  CComPtr(const CComPtr& other) : CComPtr(other.mObject) {}
  CComPtr(CComPtr&& other) noexcept : mObject(std::exchange(other.mObject, nullptr)) {}
  CComPtr& operator=(CComPtr other) noexcept {
    std::swap(mObject, other.mObject);
    return *this;
  }
  ~CComPtr() { Reset(); }

  // Adopts a reference the caller already owns (an out-parameter of a call).
  static CComPtr Adopt(T* object) {
    CComPtr held;
    held.mObject = object;
    return held;
  }

  void Reset() {
    if (T* object = std::exchange(mObject, nullptr)) {
      object->Release();
    }
  }
  T* Get() const { return mObject; }
  T* operator->() const { return mObject; }
  explicit operator bool() const { return mObject != nullptr; }

 private:
  T* mObject = nullptr;
};

// The unsecured apartment: makes a stub for an object, through which a
// caller in another process or apartment reaches it without checking the
// caller's identity. The stub holds a reference on the object until the stub
// itself goes; the stub's QueryInterface hands out the object's interfaces as
// forwarders.
class CUnsecuredApartment : public CUnknown {
 public:
  virtual HRESULT CreateObjectStub(CUnknown* object, CUnknown** stub) = 0;
};

class CWbemLocator;
class CWbemServices;

// The client security of a connection's proxy. Thread-safe.
class CClientSecurity {
 public:
  virtual ~CClientSecurity() = default;
  virtual HRESULT SetBlanket(const _tagSSecurityBlanket& blanket) = 0;
};

// Implementations are thread-safe. Interfaces are handed out as shared
// pointers: an object lives as long as anyone holds it, and every object the
// stand-in hands out may be used from any thread.
class CCom {
 public:
  virtual ~CCom() = default;
  // Enters the calling thread into an apartment. The first call on a thread
  // returns S_OK, a repeated call of the same kind S_FALSE (a success; each
  // success must be balanced by CoUninitialize), and a call of the other kind
  // RPC_E_CHANGED_MODE.
  virtual HRESULT CoInitializeEx(ECoInit model) = 0;
  // Balances one successful CoInitializeEx of the calling thread.
  virtual void CoUninitialize() = 0;
  // Sets the process security. Once per process: every later call returns
  // RPC_E_TOO_LATE.
  virtual HRESULT CoInitializeSecurity(const _tagSComSecurity& security) = 0;
  // CoCreateInstance of the WMI locator (in-process server).
  virtual HRESULT CreateWbemLocator(std::shared_ptr<CWbemLocator>& locator) = 0;
  // CoCreateInstance of CLSID_UnsecuredApartment (no outer object, the
  // class context given, IID_IUnsecuredApartment): a new apartment, counted
  // once for the caller.
  virtual HRESULT CreateUnsecuredApartment(uint32_t clsContext,
                                           CComPtr<CUnsecuredApartment>& apartment) = 0;
  // QueryInterface of a connection for its client security; E_NOINTERFACE
  // (and `security` null) when the connection does not offer it.
  virtual HRESULT QueryClientSecurity(const std::shared_ptr<CWbemServices>& connection,
                                      std::shared_ptr<CClientSecurity>& security) = 0;
};
