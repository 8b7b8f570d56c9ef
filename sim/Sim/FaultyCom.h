// A forwarding COM stand-in that fails the calls a fault plan names, at every
// level the library reaches through it: the apartment and security calls, the
// locator and its connections, the objects and enumerations a connection
// hands out (embedded objects and event objects included), the client
// security and the unsecured apartment with its stubs. Every object handed
// out is a forwarder too, so a fault armed after a connection was made still
// applies to it. A failing call returns the fault's status (E_FAIL or
// WBEM_E_FAILED when it names none) and changes nothing, unless the fault
// proceeds. Thread-safe.
#pragma once

#include <memory>

#include "Platform/Com.h"
#include "Sim/FaultForwarder.h"

class CWbemClassObject;

// `object` as the decorator hands objects out: its calls (and those of the
// objects embedded in it) consult `plan`.
std::shared_ptr<CWbemClassObject> FaultyObject(std::shared_ptr<CWbemClassObject> object,
                                               const std::shared_ptr<CFaultPlan>& plan);

class CFaultyCom : public CFaultForwarder<CCom> {
 public:
  CFaultyCom(std::shared_ptr<CCom> inner, std::shared_ptr<CFaultPlan> plan);
  ~CFaultyCom() override;

  HRESULT CoInitializeEx(ECoInit model) override;
  void CoUninitialize() override;
  HRESULT CoInitializeSecurity(const _tagSComSecurity& security) override;
  HRESULT CreateWbemLocator(std::shared_ptr<CWbemLocator>& locator) override;
  HRESULT QueryClientSecurity(const std::shared_ptr<CWbemServices>& connection,
                              std::shared_ptr<CClientSecurity>& security) override;
  HRESULT CreateUnsecuredApartment(uint32_t clsContext,
                                   CComPtr<CUnsecuredApartment>& apartment) override;
};
