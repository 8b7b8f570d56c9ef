// The COM contract that the library relies on, run against every platform's
// implementation: the simulated one and the Linux one on fake sysfs trees.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include <unistd.h>

#include "Platform/Com.h"
#include "Platform/Wmi.h"
#include "support/SimPlatformTest.h"
#include "zivorivizo/Platform.h"

namespace {

struct _tagSPlatformCase {
  const char* name;
  std::function<std::shared_ptr<CPlatform>(const std::filesystem::path& tree)> make;
  int32_t velmarStatus;
};

std::vector<std::shared_ptr<CWbemClassObject>> InstancesOf(CWbemServices& services,
                                                           const std::wstring& className) {
  std::shared_ptr<CEnumWbemClassObject> instances;
  EXPECT_EQ(services.CreateInstanceEnum(className, 0x31, instances), WBEM_S_NO_ERROR);
  std::vector<std::shared_ptr<CWbemClassObject>> all;
  for (;;) {
    std::shared_ptr<CWbemClassObject> one;
    uint32_t returned = 7;
    const HRESULT hr = instances->Next(WBEM_INFINITE, {&one, 1}, returned);
    if (returned == 0) {
      EXPECT_EQ(hr, WBEM_S_FALSE);
      break;
    }
    EXPECT_EQ(hr, WBEM_S_NO_ERROR);
    all.push_back(one);
  }
  return all;
}

class ComContractTest : public CSimPlatformTest,
                        public testing::WithParamInterface<_tagSPlatformCase> {
 protected:
  void SetUp() override {
    CSimPlatformTest::SetUp();
    mTree = std::filesystem::temp_directory_path() /
            ("zivo-com-" + std::to_string(::getpid()) + "-" + GetParam().name);
    std::filesystem::remove_all(mTree);
    std::filesystem::create_directories(mTree);
    mUnderTest = GetParam().make(mTree);
  }
  void TearDown() override {
    mUnderTest.reset();
    std::filesystem::remove_all(mTree);
    CSimPlatformTest::TearDown();
  }

  std::filesystem::path mTree;
  std::shared_ptr<CPlatform> mUnderTest;
};

TEST_P(ComContractTest, ApartmentsArePerThreadAndBalanced) {
  CCom& com = mUnderTest->Com();
  EXPECT_EQ(com.CoInitializeEx(COINIT_MULTITHREADED), S_OK);
  EXPECT_EQ(com.CoInitializeEx(COINIT_MULTITHREADED), S_FALSE);
  EXPECT_EQ(com.CoInitializeEx(COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);

  HRESULT single = E_FAIL;
  HRESULT thenMulti = E_FAIL;
  HRESULT afterLeaving = E_FAIL;
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
}

TEST_P(ComContractTest, SecurityIsSetOncePerProcess) {
  CCom& com = mUnderTest->Com();
  EXPECT_EQ(com.CoInitializeSecurity(_tagSComSecurity()), S_OK);
  EXPECT_EQ(com.CoInitializeSecurity(_tagSComSecurity()), RPC_E_TOO_LATE);
}

TEST_P(ComContractTest, ConnectsToRootWmiOnlyAndPublishesTheEnableStatus) {
  CCom& com = mUnderTest->Com();
  std::shared_ptr<CWbemLocator> locator;
  ASSERT_EQ(com.CreateWbemLocator(locator), S_OK);
  std::shared_ptr<CWbemServices> services;
  EXPECT_EQ(locator->ConnectServer(L"root\\cimv2", services), WBEM_E_INVALID_NAMESPACE);
  EXPECT_EQ(services, nullptr);
  ASSERT_EQ(locator->ConnectServer(L"ROOT\\wmi", services), WBEM_S_NO_ERROR);

  std::shared_ptr<CClientSecurity> security;
  ASSERT_EQ(com.QueryClientSecurity(services, security), S_OK);
  EXPECT_EQ(security->SetBlanket(_tagSSecurityBlanket()), S_OK);

  auto params = InstancesOf(*services, L"DTMSystemParams");
  ASSERT_EQ(params.size(), 1u);
  CVariant status;
  ASSERT_EQ(params[0]->Get(L"velmarstatus", status), WBEM_S_NO_ERROR);
  EXPECT_EQ(status.vt, VT_I4);
  EXPECT_EQ(status.lVal, GetParam().velmarStatus);

  // The participant classes exist even when they have no instances.
  std::shared_ptr<CEnumWbemClassObject> none;
  EXPECT_EQ(services->CreateInstanceEnum(L"NoSuchClass", 0x31, none), WBEM_E_INVALID_CLASS);
  EXPECT_TRUE(InstancesOf(*services, L"DtmDeviceParticipantInformation").empty());
  EXPECT_TRUE(InstancesOf(*services, L"DtmSensorParticipantInformation").empty());
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

TEST_P(ComContractTest, AnswersExactlyTheFiveNotificationQueriesAndCancelsThem) {
  std::shared_ptr<CWbemLocator> locator;
  ASSERT_EQ(mUnderTest->Com().CreateWbemLocator(locator), S_OK);
  std::shared_ptr<CWbemServices> services;
  ASSERT_EQ(locator->ConnectServer(L"root\\WMI", services), WBEM_S_NO_ERROR);
  const std::wstring creation =
      L"SELECT * FROM __InstanceCreationEvent WITHIN 1 WHERE TargetInstance ISA ";
  const std::wstring deletion =
      L"SELECT * FROM __InstanceDeletionEvent WITHIN 1 WHERE TargetInstance ISA ";
  struct _tagSQueryRow {
    std::wstring language;
    std::wstring query;
    HRESULT result;
  };
  const std::vector<_tagSQueryRow> rows = {
      {L"WQL", creation + L"\"DtmSensorParticipantInformation\"", WBEM_S_NO_ERROR},
      {L"WQL", creation + L"\"DtmDeviceParticipantInformation\"", WBEM_S_NO_ERROR},
      {L"WQL", deletion + L"\"DtmSensorParticipantInformation\"", WBEM_S_NO_ERROR},
      {L"WQL", deletion + L"\"DtmDeviceParticipantInformation\"", WBEM_S_NO_ERROR},
      {L"WQL", L"SELECT * FROM DTMEvent", WBEM_S_NO_ERROR},
      {L"wql", L"SELECT * FROM DTMEvent", WBEM_S_NO_ERROR},
      {L"WQL", L"SELECT * FROM DTMEvent ", WBEM_E_INVALID_QUERY},
      {L"WQL", L"select * from DTMEvent", WBEM_E_INVALID_QUERY},
      {L"WQL", creation + L"DtmSensorParticipantInformation", WBEM_E_INVALID_QUERY},
      {L"WQL", creation + L"\"DTMSystemParams\"", WBEM_E_INVALID_QUERY},
      {L"WQL", L"", WBEM_E_INVALID_QUERY},
      {L"SQL", L"SELECT * FROM DTMEvent", WBEM_E_INVALID_QUERY_TYPE},
  };
  for (const _tagSQueryRow& row : rows) {
    CContractSink sink;
    EXPECT_EQ(
        services->ExecNotificationQueryAsync(row.language, row.query, WBEM_FLAG_SEND_STATUS, &sink),
        row.result);
    if (row.result != WBEM_S_NO_ERROR) {
      EXPECT_EQ(sink.mCount.load(), 0u) << "a refused query keeps no reference";
      EXPECT_EQ(services->CancelAsyncCall(&sink), WBEM_E_NOT_FOUND);
      continue;
    }
    EXPECT_EQ(sink.mCount.load(), 1u);
    EXPECT_EQ(services->CancelAsyncCall(&sink), WBEM_S_NO_ERROR);
    EXPECT_EQ(sink.mStatus.load(), WBEM_E_CALL_CANCELLED);
    EXPECT_NE(sink.mStatusThread, std::this_thread::get_id());
    EXPECT_EQ(sink.mCount.load(), 0u) << "cancelling releases the handler";
    EXPECT_EQ(services->CancelAsyncCall(&sink), WBEM_E_NOT_FOUND);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Platforms, ComContractTest,
    testing::Values(
        _tagSPlatformCase{"Simulated",
                          [](const std::filesystem::path&) -> std::shared_ptr<CPlatform> {
                            return std::make_shared<CSimPlatform>();
                          },
                          1},
        _tagSPlatformCase{"LinuxWithThermal",
                          [](const std::filesystem::path& tree) {
                            std::filesystem::create_directories(tree / "class" / "thermal");
                            return CreateLinuxPlatform(tree.string());
                          },
                          1},
        _tagSPlatformCase{
            "LinuxWithoutThermal",
            [](const std::filesystem::path& tree) { return CreateLinuxPlatform(tree.string()); },
            0}),
    [](const testing::TestParamInfo<_tagSPlatformCase>& info) { return info.param.name; });

}  // namespace

namespace {

class LinuxComTest : public CSimPlatformTest {};

TEST_F(LinuxComTest, TheEnableStatusIsReadWhenAskedNotAtConstruction) {
  const std::filesystem::path tree =
      std::filesystem::temp_directory_path() / ("zivo-com-late-" + std::to_string(::getpid()));
  std::filesystem::remove_all(tree);
  auto platform = CreateLinuxPlatform(tree.string());
  std::shared_ptr<CWbemLocator> locator;
  std::shared_ptr<CWbemServices> services;
  ASSERT_EQ(platform->Com().CreateWbemLocator(locator), S_OK);
  ASSERT_EQ(locator->ConnectServer(L"root\\WMI", services), WBEM_S_NO_ERROR);
  const auto status = [&] {
    auto params = InstancesOf(*services, L"DTMSystemParams");
    CVariant value;
    EXPECT_EQ(params.size(), 1u);
    EXPECT_EQ(params.at(0)->Get(L"velmarstatus", value), WBEM_S_NO_ERROR);
    return value.lVal;
  };
  EXPECT_EQ(status(), 0);
  std::filesystem::create_directories(tree / "class" / "thermal");
  EXPECT_EQ(status(), 1);
  std::filesystem::remove_all(tree);
}

}  // namespace
