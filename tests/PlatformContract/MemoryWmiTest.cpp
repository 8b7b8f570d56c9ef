// The in-memory WMI namespace (behind both platforms' COM) and the simulated
// firmware that publishes in it, through the simulated platform's decorated
// COM as the library reaches them.
#include <thread>
#include <vector>

#include "Platform/Variant.h"
#include "Platform/Wmi.h"
#include "support/SimPlatformTest.h"

namespace {

const wchar_t kDevice[] = L"ACPI\\PNP0C14\\1_0";
const wchar_t kDevicePath[] = L"DtmDeviceControlMethod.InstanceName=\"ACPI\\\\PNP0C14\\\\1_0\"";

class MemoryWmiTest : public CSimPlatformTest {
 protected:
  void SetUp() override {
    CSimPlatformTest::SetUp();
    std::shared_ptr<CWbemLocator> locator;
    ASSERT_EQ(Sim().Com().CreateWbemLocator(locator), S_OK);
    ASSERT_EQ(locator->ConnectServer(L"root\\WMI", mServices), WBEM_S_NO_ERROR);
  }

  // SetThrottleState(state) by the steps the library takes.
  HRESULT SetThrottle(const std::wstring& path, int32_t state) {
    std::shared_ptr<CWbemClassObject> cls, signature, input;
    HRESULT hr = mServices->GetObject(L"DtmDeviceControlMethod", cls);
    if (HrSucceeded(hr)) hr = cls->GetMethod(L"SetThrottleState", &signature, nullptr);
    if (HrSucceeded(hr)) hr = signature->SpawnInstance(input);
    if (HrSucceeded(hr)) hr = input->Put(L"State", CVariant::I4(state));
    if (HrSucceeded(hr)) hr = mServices->ExecMethod(path, L"SetThrottleState", input, nullptr);
    return hr;
  }
  int32_t LevelOf(CWbemClassObject& object) {
    CVariant level;
    return HrSucceeded(object.Get(L"Level", level)) ? level.lVal : -1;
  }

  std::shared_ptr<CWbemServices> mServices;
};

TEST_F(MemoryWmiTest, ObjectPathsEscapeKeysAndMethodsCheckTheirInput) {
  Firmware().AddDevice({kDevice, 0, 1, 4, 0});
  CVariant relPath;
  ASSERT_EQ(Wmi().Instance(L"DtmDeviceParticipantInformation", kDevice)->Get(L"__RELPATH", relPath),
            WBEM_S_NO_ERROR);
  EXPECT_EQ(relPath.bstrVal,
            L"DtmDeviceParticipantInformation.InstanceName=\"ACPI\\\\PNP0C14\\\\1_0\"");
  std::shared_ptr<CWbemClassObject> byPath;
  EXPECT_EQ(mServices->GetObject(relPath.bstrVal, byPath), WBEM_S_NO_ERROR);

  EXPECT_EQ(SetThrottle(kDevicePath, 3), WBEM_S_NO_ERROR);
  EXPECT_EQ(Firmware().ThrottleState(kDevice), 3);
  EXPECT_EQ(SetThrottle(L"DtmDeviceControlMethod.InstanceName=\"ACPI\\PNP0C14\"", 2),
            WBEM_E_NOT_FOUND)
      << "an unescaped key names another instance";
  EXPECT_EQ(SetThrottle(L"DtmDeviceControlMethod.InstanceName=ACPI", 2),
            WBEM_E_INVALID_OBJECT_PATH);

  std::shared_ptr<CWbemClassObject> cls, in, out, input;
  ASSERT_EQ(mServices->GetObject(L"DtmDeviceControlMethod", cls), WBEM_S_NO_ERROR);
  ASSERT_EQ(cls->GetMethod(L"GetThrottleState", &in, &out), WBEM_S_NO_ERROR);
  EXPECT_EQ(in, nullptr) << "a method without input has no input signature";
  ASSERT_EQ(cls->GetMethod(L"SetThrottleState", &in, nullptr), WBEM_S_NO_ERROR);
  ASSERT_EQ(in->SpawnInstance(input), WBEM_S_NO_ERROR);
  EXPECT_EQ(input->Put(L"state", CVariant::I4(1)), WBEM_S_NO_ERROR) << "names ignore case";
  EXPECT_EQ(input->Put(L"Level", CVariant::I4(1)), WBEM_E_NOT_FOUND);
  EXPECT_EQ(mServices->ExecMethod(kDevicePath, L"SetThrottleState", nullptr, nullptr),
            WBEM_E_INVALID_PARAMETER);
  EXPECT_EQ(mServices->ExecMethod(kDevicePath, L"SetThrottleState", in, nullptr),
            WBEM_E_INVALID_PARAMETER)
      << "the signature itself is no input instance";
  EXPECT_EQ(mServices->ExecMethod(kDevicePath, L"Reset", nullptr, nullptr), WBEM_E_INVALID_METHOD);
  ASSERT_EQ(mServices->ExecMethod(kDevicePath, L"GetThrottleState", nullptr, &out),
            WBEM_S_NO_ERROR);
  CVariant state;
  ASSERT_EQ(out->Get(L"State", state), WBEM_S_NO_ERROR);
  EXPECT_EQ(state.lVal, 3);
}

// A failed SetThrottleState reaches no firmware: the state stays, and only
// the calls that got through are recorded.
TEST_F(MemoryWmiTest, AFailedFirmwareCallChangesNothing) {
  Firmware().AddDevice({kDevice, 0, 1, 4, 0});
  Faults().Fail(FaultOp::WmiExecMethod, WBEM_E_ACCESS_DENIED,
                std::wstring(kDevice) + L"/SetThrottleState");
  EXPECT_EQ(SetThrottle(kDevicePath, 3), WBEM_E_ACCESS_DENIED);
  EXPECT_EQ(Firmware().ThrottleState(kDevice), 1);
  EXPECT_TRUE(Firmware().Calls(L"SetThrottleState").empty());
  EXPECT_EQ(SetThrottle(kDevicePath, 2), WBEM_S_NO_ERROR);
  EXPECT_EQ(Firmware().ThrottleState(kDevice), 2);
}

// Enumerations and snapshots share the stored instances rather than copying
// them: what is stored later, or put on a handed-out object, must not show
// through either way.
TEST_F(MemoryWmiTest, EnumerationsAndSnapshotsKeepTheInstancesAsTheyWereWhenTaken) {
  Wmi().DefineClass(L"Probe", L"Name");
  Wmi().AddInstance(L"Probe", {{L"Name", CVariant::Bstr(L"a")}, {L"Level", CVariant::I4(1)}});
  Wmi().AddInstance(L"Probe", {{L"Name", CVariant::Bstr(L"b")}, {L"Level", CVariant::I4(5)}});
  std::shared_ptr<CWbemClassObject> before = Wmi().Instance(L"Probe", L"a");
  std::shared_ptr<CEnumWbemClassObject> opened, now;
  ASSERT_EQ(mServices->CreateInstanceEnum(L"Probe", 0, opened), WBEM_S_NO_ERROR);
  ASSERT_TRUE(Wmi().SetProperty(L"Probe", L"a", L"Level", CVariant::I4(2)));
  ASSERT_TRUE(Wmi().RemoveInstance(L"Probe", L"b"));
  Wmi().AddInstance(L"Probe", {{L"Name", CVariant::Bstr(L"c")}, {L"Level", CVariant::I4(7)}});

  EXPECT_EQ(LevelOf(*before), 1);
  std::vector<std::shared_ptr<CWbemClassObject>> objects(3);
  uint32_t returned = 0;
  EXPECT_EQ(opened->Next(0, objects, returned), WBEM_S_FALSE);
  ASSERT_EQ(returned, 2u);
  EXPECT_EQ(LevelOf(*objects[0]), 1);
  EXPECT_EQ(LevelOf(*objects[1]), 5);
  EXPECT_EQ(objects[0]->Put(L"Level", CVariant::I4(9)), WBEM_S_NO_ERROR);
  ASSERT_EQ(mServices->CreateInstanceEnum(L"Probe", 0, now), WBEM_S_NO_ERROR);
  EXPECT_EQ(now->Next(0, objects, returned), WBEM_S_FALSE);
  ASSERT_EQ(returned, 2u);
  EXPECT_EQ(LevelOf(*objects[0]), 2) << "a put on a handed-out object stays on it";
  EXPECT_EQ(LevelOf(*objects[1]), 7);
}

TEST_F(MemoryWmiTest, ObjectsAreUsableFromSeveralThreadsAtOnce) {
  Firmware().AddDevice({kDevice, 0, 0, 100, 0});
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(SetThrottle(kDevicePath, t), WBEM_S_NO_ERROR);
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(Firmware().Calls(L"SetThrottleState").size(), 200u);
}

TEST_F(MemoryWmiTest, ValuesAndArraysBehaveAsTheLibraryReadsThem) {
  std::wstring text;
  EXPECT_EQ(VariantToWString(CVariant::Bstr(std::wstring(300, L'x')), text), 0);
  EXPECT_EQ(text, std::wstring(254, L'x'));
  VariantToWString(CVariant::Bstr(std::wstring(L"ab\0cd", 5)), text);
  EXPECT_EQ(text, L"ab");
  int32_t number = 9;
  EXPECT_EQ(VariantToInt32(CVariant::Null(), number), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(number, 9);

  CSafeArray array({10, 20, 30}, 5);
  int32_t lower = 0, upper = 0;
  EXPECT_EQ(array.GetLBound(1, lower), S_OK);
  EXPECT_EQ(array.GetUBound(1, upper), S_OK);
  EXPECT_EQ(lower + upper, 5 + 7);
  EXPECT_EQ(array.GetLBound(2, lower), E_INVALIDARG);
  EXPECT_EQ(array.GetElement(7, number), S_OK);
  EXPECT_EQ(number, 30);
  EXPECT_EQ(array.GetElement(8, number), DISP_E_BADINDEX);
  EXPECT_EQ(array.GetElement(4, number), DISP_E_BADINDEX);
  EXPECT_EQ(number, 30) << "a failed fetch leaves the output alone";
  CSafeArray empty(std::vector<int32_t>{});
  EXPECT_EQ(empty.GetUBound(1, upper), S_OK);
  EXPECT_EQ(upper, -1) << "an empty array's upper bound is below its lower bound";
  CSafeArray square({{2, 0}, {2, 0}}, {1, 2, 3, 4});
  EXPECT_EQ(square.GetDim(), 2u);
  EXPECT_EQ(square.GetElement(0, number), E_INVALIDARG);
}

}  // namespace
