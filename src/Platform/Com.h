// COM stand-in: the per-thread apartment, the process security, creation of
// the WMI locator and the client security of a connection. Results are
// HRESULT values as on Windows: 32-bit, negative for a failure, 0 (S_OK) for
// success and small positive values for a qualified success (S_FALSE).
#pragma once

#include <cstdint>
#include <memory>

using HRESULT = int32_t;

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
  // QueryInterface of a connection for its client security; E_NOINTERFACE
  // (and `security` null) when the connection does not offer it.
  virtual HRESULT QueryClientSecurity(const std::shared_ptr<CWbemServices>& connection,
                                      std::shared_ptr<CClientSecurity>& security) = 0;
};
