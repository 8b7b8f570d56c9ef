// Simulated COM over an in-memory WMI namespace. One instance stands for one
// process: it keeps each thread's apartment and whether the process security
// has been set. Every call can be made to fail from a test; the locator it
// creates connects to the namespace it was given ("root\WMI" only). The
// unsecured apartments it creates make stubs that forward to the object and
// hold one reference on it while they live.
//
// Thread-safe.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "Platform/Com.h"
#include "Platform/Sim/SimComFaults.h"

class CSimWmi;

class CSimCom : public CCom {
 public:
  enum class Op {
    CoInitializeEx,
    CoInitializeSecurity,
    CreateWbemLocator,
    ConnectServer,
    QueryClientSecurity,
    SetBlanket,
    CreateUnsecuredApartment,  // CoCreateInstance of CLSID_UnsecuredApartment
    CreateObjectStub,
    StubQueryInterface,  // QueryInterface of a stub, for any interface
  };

  explicit CSimCom(std::shared_ptr<CSimWmi> wmi);
  ~CSimCom() override;

  HRESULT CoInitializeEx(ECoInit model) override;
  void CoUninitialize() override;
  HRESULT CoInitializeSecurity(const _tagSComSecurity& security) override;
  HRESULT CreateWbemLocator(std::shared_ptr<CWbemLocator>& locator) override;
  HRESULT QueryClientSecurity(const std::shared_ptr<CWbemServices>& connection,
                              std::shared_ptr<CClientSecurity>& security) override;
  HRESULT CreateUnsecuredApartment(uint32_t clsContext,
                                   CComPtr<CUnsecuredApartment>& apartment) override;

  // The nth call of `op` from now fails with `hr` (and every later one when
  // `always`). A failing CoInitializeEx or CoInitializeSecurity changes no
  // state.
  void Fail(Op op, HRESULT hr, int nth = 1, bool always = false);
  void ClearFaults();
  int Calls(Op op);

  // Whether connections offer their client security (they do by default).
  void SetClientSecurityOffered(bool offered);

  // The calling thread's successful CoInitializeEx calls not yet balanced
  // (0 when it is in no apartment), and whether the process security is set.
  int InitCount(std::thread::id thread = std::this_thread::get_id());
  bool SecuritySet();
  // Apartments and stubs made and not yet released.
  int LiveApartments();
  int LiveStubs();

 private:
  struct _tagSApartment {
    ECoInit model = COINIT_MULTITHREADED;
    int count = 0;
  };

  std::shared_ptr<CSimWmi> mWmi;
  std::shared_ptr<CSimFaultTable<Op>> mFaults;
  std::mutex mLock;
  std::map<std::thread::id, _tagSApartment> mApartments;
  bool mSecuritySet = false;
  bool mClientSecurityOffered = true;
  std::shared_ptr<std::atomic<int>> mLiveApartments = std::make_shared<std::atomic<int>>(0);
  std::shared_ptr<std::atomic<int>> mLiveStubs = std::make_shared<std::atomic<int>>(0);
};
