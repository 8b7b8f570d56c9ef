// COM over an in-memory WMI namespace. One instance stands for one process:
// it keeps each thread's apartment and whether the process security has been
// set; the locator it creates connects to the namespace it was given
// ("root\WMI" only). The
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
#include "zivorivizo/Export.h"

class CMemoryWmi;

class ZIVO_EXPORT CMemoryCom : public CCom {
 public:
  explicit CMemoryCom(std::shared_ptr<CMemoryWmi> wmi);
  ~CMemoryCom() override;

  HRESULT CoInitializeEx(ECoInit model) override;
  void CoUninitialize() override;
  HRESULT CoInitializeSecurity(const _tagSComSecurity& security) override;
  HRESULT CreateWbemLocator(std::shared_ptr<CWbemLocator>& locator) override;
  HRESULT QueryClientSecurity(const std::shared_ptr<CWbemServices>& connection,
                              std::shared_ptr<CClientSecurity>& security) override;
  HRESULT CreateUnsecuredApartment(uint32_t clsContext,
                                   CComPtr<CUnsecuredApartment>& apartment) override;

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

  std::shared_ptr<CMemoryWmi> mWmi;
  std::mutex mLock;
  std::map<std::thread::id, _tagSApartment> mApartments;
  bool mSecuritySet = false;
  bool mClientSecurityOffered = true;
  std::shared_ptr<std::atomic<int>> mLiveApartments = std::make_shared<std::atomic<int>>(0);
  std::shared_ptr<std::atomic<int>> mLiveStubs = std::make_shared<std::atomic<int>>(0);
};
