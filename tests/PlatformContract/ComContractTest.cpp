// The COM and WMI contract the library relies on, run against every
// platform's implementation behind the fault decorator: the simulated one and
// the Linux one on fake sysfs trees with and without thermal management.
#include <atomic>
#include <filesystem>
#include <thread>

#include "Platform/Com.h"
#include "Platform/Wmi.h"
#include "PlatformContract/Contract.h"
#include "Sim/FaultyCom.h"
#include "Sim/SimPlatform.h"
#include "support/TempFolder.h"
#include "zivorivizo/Platform.h"

namespace {

class CComEnv : public CContractEnv {
 public:
  explicit CComEnv(int32_t velmarStatus) : mVelmarStatus(velmarStatus) {}

  CCom& Com() { return *mCom; }
  std::shared_ptr<CWbemServices> Connect() {
    std::shared_ptr<CWbemLocator> locator;
    std::shared_ptr<CWbemServices> services;
    EXPECT_EQ(Com().CreateWbemLocator(locator), S_OK);
    EXPECT_EQ(locator->ConnectServer(L"root\\WMI", services), WBEM_S_NO_ERROR);
    return services;
  }

  const int32_t mVelmarStatus;
  CTempFolder mTemp;
  const std::filesystem::path mTree = mTemp.Path();

 protected:
  void Wrap(std::shared_ptr<CPlatform> platform) {
    mCom = std::make_shared<CFaultyCom>(std::shared_ptr<CCom>(platform, &platform->Com()), mPlan);
  }

 private:
  std::shared_ptr<CFaultyCom> mCom;
};

struct CSimComEnv : CComEnv {
  CSimComEnv() : CComEnv(1) { Wrap(std::make_shared<CSimPlatform>()); }
};
struct CLinuxComEnv : CComEnv {
  CLinuxComEnv() : CComEnv(1) {
    std::filesystem::create_directories(mTree / "class" / "thermal");
    Wrap(CreateLinuxPlatform(mTree.string()));
  }
};
struct CLinuxWithoutThermalEnv : CComEnv {
  CLinuxWithoutThermalEnv() : CComEnv(0) { Wrap(CreateLinuxPlatform(mTree.string())); }
};

using ComContract = CContractTest<CComEnv>;

TEST_P(ComContract, ApartmentsArePerThreadAndBalancedAndSecurityIsSetOnce) {
  CCom& com = E().Com();
  EXPECT_EQ(com.CoInitializeEx(COINIT_MULTITHREADED), S_OK);
  EXPECT_EQ(com.CoInitializeEx(COINIT_MULTITHREADED), S_FALSE);
  EXPECT_EQ(com.CoInitializeEx(COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
  HRESULT single = E_FAIL, thenMulti = E_FAIL, afterLeaving = E_FAIL;
  std::thread other([&] {
    single = com.CoInitializeEx(COINIT_APARTMENTTHREADED);
    thenMulti = com.CoInitializeEx(COINIT_MULTITHREADED);
    com.CoUninitialize();
    afterLeaving = com.CoInitializeEx(COINIT_MULTITHREADED);
    com.CoUninitialize();
  });
  other.join();
  EXPECT_EQ(single, S_OK);
  EXPECT_EQ(thenMulti, RPC_E_CHANGED_MODE);
  EXPECT_EQ(afterLeaving, S_OK) << "a thread that left its apartment may enter another kind";
  com.CoUninitialize();
  com.CoUninitialize();
  EXPECT_EQ(com.CoInitializeEx(COINIT_APARTMENTTHREADED), S_OK);
  com.CoUninitialize();

  Plan().Fail(FaultOp::CoInitializeSecurity, E_ACCESSDENIED);
  EXPECT_EQ(com.CoInitializeSecurity(_tagSComSecurity()), E_ACCESSDENIED);
  EXPECT_EQ(com.CoInitializeSecurity(_tagSComSecurity()), S_OK) << "the failed call set nothing";
  EXPECT_EQ(com.CoInitializeSecurity(_tagSComSecurity()), RPC_E_TOO_LATE);
}

// A sink that counts its references and records what it is told.
class CContractSink : public CWbemObjectSink {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IWbemObjectSink) {
      *object = static_cast<CWbemObjectSink*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++mCount; }
  ULONG Release() override { return --mCount; }  // lives on the test's stack
  HRESULT Indicate(LONG, std::shared_ptr<CWbemClassObject>*) override { return S_OK; }
  HRESULT SetStatus(LONG, HRESULT result, const std::wstring&,
                    const std::shared_ptr<CWbemClassObject>&) override {
    mStatus = result;
    mStatusThread = std::this_thread::get_id();
    return S_OK;
  }
  std::atomic<ULONG> mCount{0};
  std::atomic<HRESULT> mStatus{S_OK};
  std::thread::id mStatusThread;
};

// Faults reach every object the stand-in hands out, connections and objects
// made before the fault was armed included.
TEST_P(ComContract, FaultsFailTheNthMatchingCallAtEveryLevel) {
  auto services = E().Connect();
  ASSERT_NE(services, nullptr);
  std::shared_ptr<CWbemClassObject> object;
  Plan().Fail(FaultOp::WmiGetObject, WBEM_E_ACCESS_DENIED, L"DTMSystemParams", 2);
  EXPECT_EQ(services->GetObject(L"DtmDeviceControlMethod", object), WBEM_S_NO_ERROR);
  EXPECT_EQ(services->GetObject(L"dtmsystemparams", object), WBEM_S_NO_ERROR);
  EXPECT_EQ(services->GetObject(L"DTMSystemParams", object), WBEM_E_ACCESS_DENIED);
  EXPECT_EQ(services->GetObject(L"DTMSystemParams", object), WBEM_S_NO_ERROR) << "once only";

  std::shared_ptr<CWbemClassObject> signature;
  Plan().Fail(FaultOp::WmiGetMethod, 0, L"SetThrottleState");
  ASSERT_EQ(services->GetObject(L"DtmDeviceControlMethod", object), WBEM_S_NO_ERROR);
  EXPECT_EQ(object->GetMethod(L"SetThrottleState", &signature, nullptr), WBEM_E_FAILED);
  ASSERT_EQ(object->GetMethod(L"SetThrottleState", &signature, nullptr), WBEM_S_NO_ERROR);
  Plan().Fail(FaultOp::WmiSpawnInstance, E_OUTOFMEMORY, L"__PARAMETERS");
  EXPECT_EQ(signature->SpawnInstance(object), E_OUTOFMEMORY);
  Plan().Fail(FaultOp::WmiExecMethod, WBEM_E_ACCESS_DENIED, L"nobody/SetThrottleState");
  EXPECT_EQ(services->ExecMethod(L"DtmDeviceControlMethod.InstanceName=\"nobody\"",
                                 L"SetThrottleState", nullptr, nullptr),
            WBEM_E_ACCESS_DENIED);

  // A proceeding fault on Next still hands out the object, and what it
  // hands out answers faults too.
  std::shared_ptr<CEnumWbemClassObject> instances;
  ASSERT_EQ(services->CreateInstanceEnum(L"DTMSystemParams", 0, instances), WBEM_S_NO_ERROR);
  Plan().Arm({FaultOp::WmiNext, L"DTMSystemParams", 1, 1, WBEM_E_FAILED, true});
  Plan().Fail(FaultOp::WmiGet, 0, L"velmarstatus", 1, CFaultPlan::kAlways);
  std::shared_ptr<CWbemClassObject> params[2];
  uint32_t returned = 0;
  EXPECT_EQ(instances->Next(0, params, returned), WBEM_E_FAILED);
  ASSERT_EQ(returned, 1u);
  CVariant value;
  EXPECT_EQ(params[0]->Get(L"velmarstatus", value), WBEM_E_FAILED);
  EXPECT_EQ(params[0]->Get(L"__CLASS", value), WBEM_S_NO_ERROR);

  Plan().Fail(FaultOp::QueryClientSecurity, E_NOINTERFACE);
  Plan().Fail(FaultOp::WmiExecNotificationQueryAsync, WBEM_E_FAILED, L"SELECT * FROM DTMEvent");
  std::shared_ptr<CClientSecurity> security;
  EXPECT_EQ(E().Com().QueryClientSecurity(services, security), E_NOINTERFACE);
  CContractSink sink;
  EXPECT_EQ(services->ExecNotificationQueryAsync(L"WQL", L"SELECT * FROM DTMEvent", 0, &sink),
            WBEM_E_FAILED);
  EXPECT_EQ(sink.mCount.load(), 0u);
  Plan().Clear();
  EXPECT_EQ(Plan().Calls(FaultOp::WmiGetObject), 5);
}

ZIVO_CONTRACT_SUITE(ComContract, {"Simulated", Make<CSimComEnv, CComEnv>},
                    {"LinuxWithThermal", Make<CLinuxComEnv, CComEnv>},
                    {"LinuxWithoutThermal", Make<CLinuxWithoutThermalEnv, CComEnv>});

}  // namespace
