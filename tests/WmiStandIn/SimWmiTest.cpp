// The simulated COM, WMI namespace and firmware: what tests of the library
// rely on when they script participants and inject faults.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "Platform/Variant.h"
#include "Platform/Wmi.h"
#include "support/SimPlatformTest.h"

namespace {

const wchar_t kDevice[] = L"ACPI\\PNP0C14\\1_0";
const wchar_t kDeviceControlPath[] =
    L"DtmDeviceControlMethod.InstanceName=\"ACPI\\\\PNP0C14\\\\1_0\"";

class SimWmiTest : public CSimPlatformTest {
 protected:
  std::shared_ptr<CWbemServices> Connect() { return Wmi().Connect(); }

  // SetThrottleState(state) by the steps the library takes.
  HRESULT SetThrottle(CWbemServices& services, const std::wstring& path, int32_t state) {
    std::shared_ptr<CWbemClassObject> cls;
    std::shared_ptr<CWbemClassObject> signature;
    std::shared_ptr<CWbemClassObject> input;
    HRESULT hr = services.GetObject(L"DtmDeviceControlMethod", cls);
    if (HrSucceeded(hr)) hr = cls->GetMethod(L"SetThrottleState", &signature, nullptr);
    if (HrSucceeded(hr)) hr = signature->SpawnInstance(input);
    if (HrSucceeded(hr)) hr = input->Put(L"State", CVariant::I4(state));
    if (HrSucceeded(hr)) hr = services.ExecMethod(path, L"SetThrottleState", input, nullptr);
    return hr;
  }
};

TEST_F(SimWmiTest, FaultsFireOnTheNthMatchingCallOnceOrFromThenOn) {
  auto services = Connect();
  std::shared_ptr<CWbemClassObject> object;

  Wmi().Fail(CSimWmi::Op::GetObject, WBEM_E_ACCESS_DENIED, L"DTMSystemParams", 2);
  EXPECT_EQ(services->GetObject(L"DtmDeviceControlMethod", object), WBEM_S_NO_ERROR)
      << "another target is not counted";
  EXPECT_EQ(services->GetObject(L"dtmsystemparams", object), WBEM_S_NO_ERROR);
  EXPECT_EQ(services->GetObject(L"DTMSystemParams", object), WBEM_E_ACCESS_DENIED);
  EXPECT_EQ(services->GetObject(L"DTMSystemParams", object), WBEM_S_NO_ERROR) << "once only";

  Wmi().Fail(CSimWmi::Op::GetObject, WBEM_E_FAILED, L"", 1, /*always=*/true);
  EXPECT_EQ(services->GetObject(L"DTMSystemParams", object), WBEM_E_FAILED);
  EXPECT_EQ(services->GetObject(L"DtmSensorControlMethod", object), WBEM_E_FAILED);
  Wmi().ClearFaults();
  EXPECT_EQ(services->GetObject(L"DTMSystemParams", object), WBEM_S_NO_ERROR);
  EXPECT_EQ(Wmi().Calls(CSimWmi::Op::GetObject), 7);

  Com().Fail(CSimCom::Op::CoInitializeSecurity, E_ACCESSDENIED);
  EXPECT_EQ(Com().CoInitializeSecurity(_tagSComSecurity()), E_ACCESSDENIED);
  EXPECT_FALSE(Com().SecuritySet()) << "a failed call changes nothing";
  EXPECT_EQ(Com().CoInitializeSecurity(_tagSComSecurity()), S_OK);

  Com().SetClientSecurityOffered(false);
  std::shared_ptr<CClientSecurity> security;
  EXPECT_EQ(Com().QueryClientSecurity(services, security), E_NOINTERFACE);
  EXPECT_EQ(security, nullptr);
}

TEST_F(SimWmiTest, ValuesAndArraysBehaveAsTheLibraryReadsThem) {
  std::wstring text;
  EXPECT_EQ(VariantToWString(CVariant::Bstr(std::wstring(300, L'x')), text), 0);
  EXPECT_EQ(text, std::wstring(254, L'x'));
  VariantToWString(CVariant::Bstr(std::wstring(L"ab\0cd", 5)), text);
  EXPECT_EQ(text, L"ab");
  VariantToWString(CVariant::I4(5), text);
  EXPECT_EQ(text, L"");

  int32_t number = 9;
  EXPECT_EQ(VariantToInt32(CVariant::Null(), number), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(number, 9);

  CSafeArray array({10, 20, 30}, 5);
  int32_t lower = 0;
  int32_t upper = 0;
  EXPECT_EQ(array.GetDim(), 1u);
  EXPECT_EQ(array.GetLBound(1, lower), S_OK);
  EXPECT_EQ(array.GetUBound(1, upper), S_OK);
  EXPECT_EQ(lower, 5);
  EXPECT_EQ(upper, 7);
  EXPECT_EQ(array.GetLBound(2, lower), E_INVALIDARG);
  EXPECT_EQ(array.GetElement(7, number), S_OK);
  EXPECT_EQ(number, 30);
  EXPECT_EQ(array.GetElement(8, number), DISP_E_BADINDEX);
  EXPECT_EQ(array.GetElement(4, number), DISP_E_BADINDEX);
  array.FailElement(6, E_OUTOFMEMORY);
  EXPECT_EQ(array.GetElement(6, number), E_OUTOFMEMORY);
  EXPECT_EQ(number, 30) << "a failed fetch leaves the output alone";
  array.FailUBound(E_FAIL);
  EXPECT_EQ(array.GetUBound(1, upper), E_FAIL);

  CSafeArray empty(std::vector<int32_t>{});
  EXPECT_EQ(empty.GetUBound(1, upper), S_OK);
  EXPECT_EQ(upper, -1) << "an empty array's upper bound is below its lower bound";

  CSafeArray square({{2, 0}, {2, 0}}, {1, 2, 3, 4});
  EXPECT_EQ(square.GetDim(), 2u);
  EXPECT_EQ(square.GetElement(0, number), E_INVALIDARG);
}

TEST_F(SimWmiTest, ObjectPathsEscapeKeysAndMethodsCheckTheirInput) {
  Firmware().AddDevice({kDevice, 0, 1, 4, 0});
  auto services = Connect();

  std::shared_ptr<CWbemClassObject> info =
      Wmi().Instance(L"DtmDeviceParticipantInformation", kDevice);
  ASSERT_NE(info, nullptr);
  CVariant relPath;
  ASSERT_EQ(info->Get(L"__RELPATH", relPath), WBEM_S_NO_ERROR);
  EXPECT_EQ(relPath.bstrVal,
            L"DtmDeviceParticipantInformation.InstanceName=\"ACPI\\\\PNP0C14\\\\1_0\"");

  std::shared_ptr<CWbemClassObject> byPath;
  EXPECT_EQ(services->GetObject(relPath.bstrVal, byPath), WBEM_S_NO_ERROR);
  CVariant name;
  ASSERT_EQ(byPath->Get(L"InstanceName", name), WBEM_S_NO_ERROR);
  EXPECT_EQ(name.bstrVal, kDevice);

  EXPECT_EQ(SetThrottle(*services, kDeviceControlPath, 3), WBEM_S_NO_ERROR);
  EXPECT_EQ(Firmware().ThrottleState(kDevice), 3);
  EXPECT_EQ(SetThrottle(*services, L"DtmDeviceControlMethod.InstanceName=\"ACPI\\PNP0C14\"", 2),
            WBEM_E_NOT_FOUND)
      << "an unescaped key names another instance";
  EXPECT_EQ(SetThrottle(*services, L"DtmDeviceControlMethod.InstanceName=ACPI", 2),
            WBEM_E_INVALID_OBJECT_PATH);

  std::shared_ptr<CWbemClassObject> cls;
  std::shared_ptr<CWbemClassObject> in;
  std::shared_ptr<CWbemClassObject> out;
  ASSERT_EQ(services->GetObject(L"DtmDeviceControlMethod", cls), WBEM_S_NO_ERROR);
  ASSERT_EQ(cls->GetMethod(L"GetThrottleState", &in, &out), WBEM_S_NO_ERROR);
  EXPECT_EQ(in, nullptr) << "a method without input has no input signature";
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(cls->GetMethod(L"SetThrottleState", &in, nullptr), WBEM_S_NO_ERROR);
  std::shared_ptr<CWbemClassObject> input;
  ASSERT_EQ(in->SpawnInstance(input), WBEM_S_NO_ERROR);
  EXPECT_EQ(input->Put(L"state", CVariant::I4(1)), WBEM_S_NO_ERROR) << "names ignore case";
  EXPECT_EQ(input->Put(L"Level", CVariant::I4(1)), WBEM_E_NOT_FOUND);
  EXPECT_EQ(services->ExecMethod(kDeviceControlPath, L"SetThrottleState", nullptr, nullptr),
            WBEM_E_INVALID_PARAMETER);
  EXPECT_EQ(services->ExecMethod(kDeviceControlPath, L"SetThrottleState", in, nullptr),
            WBEM_E_INVALID_PARAMETER)
      << "the signature itself is no input instance";
  EXPECT_EQ(services->ExecMethod(kDeviceControlPath, L"Reset", nullptr, nullptr),
            WBEM_E_INVALID_METHOD);

  std::shared_ptr<CWbemClassObject> output;
  ASSERT_EQ(services->ExecMethod(kDeviceControlPath, L"GetThrottleState", nullptr, &output),
            WBEM_S_NO_ERROR);
  CVariant state;
  ASSERT_EQ(output->Get(L"State", state), WBEM_S_NO_ERROR);
  EXPECT_EQ(state.lVal, 3);
}

// Enumerations and instance snapshots share the stored instances rather
// than copying them: what is stored later, or put on a handed-out object,
// must not show through either way.
TEST_F(SimWmiTest, EnumerationsAndSnapshotsKeepTheInstancesAsTheyWereWhenTaken) {
  Wmi().DefineClass(L"Probe", L"Name");
  Wmi().AddInstance(L"Probe", {{L"Name", CVariant::Bstr(L"a")}, {L"Level", CVariant::I4(1)}});
  Wmi().AddInstance(L"Probe", {{L"Name", CVariant::Bstr(L"b")}, {L"Level", CVariant::I4(5)}});
  auto services = Connect();
  auto levelOf = [](CWbemClassObject& object) {
    CVariant level;
    return HrSucceeded(object.Get(L"Level", level)) ? level.lVal : -1;
  };
  auto walk = [&] {
    std::shared_ptr<CEnumWbemClassObject> instances;
    EXPECT_EQ(services->CreateInstanceEnum(L"Probe", 0, instances), WBEM_S_NO_ERROR);
    return instances;
  };

  std::shared_ptr<CWbemClassObject> before = Wmi().Instance(L"Probe", L"a");
  ASSERT_NE(before, nullptr);
  std::shared_ptr<CEnumWbemClassObject> opened = walk();
  ASSERT_NE(opened, nullptr);
  ASSERT_TRUE(Wmi().SetProperty(L"Probe", L"a", L"Level", CVariant::I4(2)));
  ASSERT_TRUE(Wmi().RemoveInstance(L"Probe", L"b"));
  Wmi().AddInstance(L"Probe", {{L"Name", CVariant::Bstr(L"c")}, {L"Level", CVariant::I4(7)}});

  EXPECT_EQ(levelOf(*before), 1);
  std::vector<std::shared_ptr<CWbemClassObject>> objects(3);
  uint32_t returned = 0;
  EXPECT_EQ(opened->Next(0, objects, returned), WBEM_S_FALSE);
  ASSERT_EQ(returned, 2u);
  EXPECT_EQ(levelOf(*objects[0]), 1);
  EXPECT_EQ(levelOf(*objects[1]), 5);
  CVariant relPath;
  ASSERT_EQ(objects[1]->Get(L"__RELPATH", relPath), WBEM_S_NO_ERROR);
  EXPECT_EQ(relPath.bstrVal, L"Probe.Name=\"b\"");
  EXPECT_EQ(objects[0]->Put(L"Level", CVariant::I4(9)), WBEM_S_NO_ERROR);

  std::shared_ptr<CEnumWbemClassObject> now = walk();
  ASSERT_NE(now, nullptr);
  EXPECT_EQ(now->Next(0, objects, returned), WBEM_S_FALSE);
  ASSERT_EQ(returned, 2u);
  EXPECT_EQ(levelOf(*objects[0]), 2) << "a put on a handed-out object stays on it";
  EXPECT_EQ(levelOf(*objects[1]), 7);
}

TEST_F(SimWmiTest, ObjectsAreUsableFromSeveralThreadsAtOnce) {
  Firmware().AddDevice({kDevice, 0, 0, 100, 0});
  auto services = Connect();
  constexpr int kThreads = 4;
  constexpr int kCalls = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i) {
        EXPECT_EQ(SetThrottle(*services, kDeviceControlPath, t), WBEM_S_NO_ERROR);
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(Firmware().Calls(L"SetThrottleState").size(),
            static_cast<std::size_t>(kThreads * kCalls));
}

}  // namespace
