// Creating and deleting the participant manager: every step of Init that
// can fail, the two thrown values, and creating it again in one process.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <type_traits>

#include "DiscoveryTest.h"
#include "zivorivizo/StatusCodes.h"

namespace {

// A copy would share the participants and the connection and, when
// destroyed, stop and delete them under the one instance.
static_assert(!std::is_copy_constructible_v<COSParticipantManager>);
static_assert(!std::is_copy_assignable_v<COSParticipantManager>);

class ManagerLifecycleTest : public CDiscoveryTest {
 protected:
  // The int GetInstance threw, or nullopt when it returned an instance.
  std::optional<int> Thrown(int historyLength = 3) {
    try {
      COSParticipantManager::GetInstance(historyLength);
    } catch (int value) {
      return value;
    }
    return std::nullopt;
  }
};

struct _tagSInitStep {
  const char* step;
  std::function<void(CManagerTest&, CMemoryCom&, CMemoryWmi&)> arm;
  std::string line;
  int code;
};

TEST_F(ManagerLifecycleTest, EveryInitStepThatFailsThrows13AndReturnsItsCode) {
  const std::string prefix = "WmiParticipantManager Init: ";
  const std::vector<_tagSInitStep> steps = {
      {"apartment",
       [](auto&, CMemoryCom&, auto&) { Faults().Fail(FaultOp::CoInitializeEx, E_OUTOFMEMORY); },
       prefix + "CoInitialize failed", ZIVO_PM_INIT_FAILED},
      {"security",
       [](auto&, CMemoryCom&, auto&) {
         Faults().Fail(FaultOp::CoInitializeSecurity, E_ACCESSDENIED);
       },
       prefix + "CoInitializeSecurity failed", ZIVO_PM_INIT_FAILED},
      {"locator",
       [](auto&, CMemoryCom&, auto&) {
         Faults().Fail(FaultOp::CreateWbemLocator, REGDB_E_CLASSNOTREG);
       },
       prefix + "CoCreateInstance failed", ZIVO_PM_INIT_FAILED},
      {"connect",
       [](auto&, CMemoryCom&, auto&) {
         Faults().Fail(FaultOp::ConnectServer, WBEM_E_ACCESS_DENIED);
       },
       prefix + "IWbemLocator::ConnectServer failed", ZIVO_PM_INIT_FAILED},
      {"blanket",
       [](auto&, CMemoryCom&, auto&) { Faults().Fail(FaultOp::SetBlanket, E_ACCESSDENIED); },
       prefix + "IClientSecurity::SetBlanket failed", ZIVO_PM_INIT_FAILED},
      {"enumeration",
       [](auto&, auto&, CMemoryWmi&) {
         Faults().Fail(FaultOp::WmiCreateInstanceEnum, WBEM_E_FAILED, L"DTMSystemParams");
       },
       "Failed to get Velmar status instance", ZIVO_WMI_CREATE_FAILED},
      {"next",
       [](auto&, auto&, CMemoryWmi&) {
         Faults().Fail(FaultOp::WmiNext, WBEM_E_FAILED, L"DTMSystemParams");
       },
       "Failed to get Velmar status instance", ZIVO_WMI_CREATE_FAILED},
      {"no instance",
       [](auto&, auto&, CMemoryWmi& wmi) { wmi.RemoveInstance(L"DTMSystemParams", L""); },
       "Failed to get Velmar status instance", ZIVO_WMI_CREATE_FAILED},
      {"status read",
       [](auto&, auto&, CMemoryWmi&) {
         Faults().Fail(FaultOp::WmiGet, WBEM_E_FAILED, L"velmarstatus");
       },
       "Failed to get status value", ZIVO_WMI_GET_FAILED},
      {"status null",
       [](auto&, auto&, CMemoryWmi& wmi) {
         wmi.SetProperty(L"DTMSystemParams", L"", L"velmarstatus", CVariant::Null());
       },
       "Failed to get status value", ZIVO_WMI_GET_FAILED},
  };
  for (const _tagSInitStep& step : steps) {
    SCOPED_TRACE(step.step);
    mLog.Clear();
    step.arm(*this, Com(), Wmi());
    EXPECT_EQ(Thrown(), ZIVO_THROW_PM_INIT_FAILED);
    EXPECT_EQ(mLog.LevelOf(step.line), "ERROR") << mLog.Text();
    EXPECT_EQ(mLog.LevelOf("PM Init failed, throwing..."), "ERROR");
    // Only the base part, already constructed, is destroyed again.
    EXPECT_FALSE(mLog.HasMessage("COSParticipantMgr Destructor called"));
    const std::string text = mLog.Text();
    const std::size_t base = text.find("CParticipantMgr Destructor called  ");
    ASSERT_NE(base, std::string::npos);
    EXPECT_LT(text.find("PM Init failed, throwing..."), base);

    // Nothing remains: the next call constructs afresh, and succeeds.
    Faults().Clear();
    Faults().Clear();
    Firmware().SetVelmarStatus(1);
    mLog.Clear();
    ASSERT_EQ(Thrown(), std::nullopt);
    EXPECT_TRUE(mLog.HasMessage("Participant Manger Construction called"));

    // The same fault met by Init itself gives the step's code.
    step.arm(*this, Com(), Wmi());
    int status = -1;
    EXPECT_EQ(Manager().Init(3, status), step.code);
    Faults().Clear();
    Faults().Clear();
    Firmware().SetVelmarStatus(1);
    EXPECT_EQ(Manager().Init(3, status), ZIVO_SUCCESS);
    EXPECT_EQ(status, 1);
    COSParticipantManager::DeleteInstance();
  }
}

TEST_F(ManagerLifecycleTest, TheCallingThreadsApartmentDecides) {
  // A thread in a single-threaded apartment is refused.
  ASSERT_EQ(Com().CoInitializeEx(COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(Thrown(), ZIVO_THROW_PM_INIT_FAILED);
  EXPECT_TRUE(mLog.HasMessage("WmiParticipantManager Init: CoInitialize failed"));
  Com().CoUninitialize();

  // A thread already in the multithreaded apartment is accepted, and the
  // manager's destruction balances only its own entry.
  ASSERT_EQ(Com().CoInitializeEx(COINIT_MULTITHREADED), S_OK);
  ASSERT_EQ(Thrown(), std::nullopt);
  EXPECT_EQ(Com().InitCount(), 2);
  COSParticipantManager::DeleteInstance();
  EXPECT_EQ(Com().InitCount(), 1);
  Com().CoUninitialize();

  // A connection without client security goes without a blanket.
  Com().SetClientSecurityOffered(false);
  ASSERT_EQ(Thrown(), std::nullopt);
  EXPECT_EQ(Faults().Calls(FaultOp::SetBlanket), 1) << "only the earlier construction's";
}

TEST_F(ManagerLifecycleTest, ADisabledPlatformThrows1000UntilItIsEnabled) {
  for (int32_t disabled : {0, 0x10000}) {
    Firmware().SetVelmarStatus(disabled);
    mLog.Clear();
    EXPECT_EQ(Thrown(), ZIVO_THROW_PLATFORM_DISABLED) << "status " << disabled;
    EXPECT_EQ(mLog.LevelOf("Velmar is Disabled in BIOS"), "DEBUG");
    EXPECT_FALSE(mLog.HasMessage("PM Init failed, throwing..."));
  }
  // Security was set by the first attempt; a later construction in the same
  // process still succeeds.
  EXPECT_TRUE(Com().SecuritySet());
  Firmware().SetVelmarStatus(0x10005);
  ASSERT_EQ(Thrown(), std::nullopt);
  EXPECT_TRUE(mLog.HasMessage("Velmar is enabled, Status: 5"));

  COSParticipantManager::DeleteInstance();
  EXPECT_EQ(Com().InitCount(), 2) << "each thrown construction leaves its apartment entry";
  ASSERT_EQ(Thrown(), std::nullopt) << "created again after DeleteInstance";
}

TEST_F(ManagerLifecycleTest, TheFirstHistoryLengthStays) {
  PublishSensor(L"S", {});
  COSParticipantManager* first = COSParticipantManager::GetInstance();
  EXPECT_EQ(COSParticipantManager::GetInstance(5), first);
  EXPECT_EQ(CParticipantLists::HistoryLength(*first), 3);
  ASSERT_EQ(first->Enumerate(), ZIVO_SUCCESS);
  ASSERT_EQ(SensorList().size(), 1u);
  EXPECT_EQ(SensorList().front()->mSensor.TempHistory.size(), 4u)
      << "three zero samples and the first reading";

  COSParticipantManager::DeleteInstance();
  ASSERT_EQ(COSParticipantManager::GetInstance(5)->Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(SensorList().front()->mSensor.TempHistory.size(), 6u);
}

TEST_F(ManagerLifecycleTest, DeleteInstanceStopsAndDestroysEveryParticipant) {
  PublishDevice(1);
  PublishSensor(L"S", {1});
  SeedDrivers({L"\\\\.\\TZ0"}, {L"\\\\.\\FAN0"});
  auto sensorDriver = AttachSensor(L"\\\\.\\TZ0");
  auto deviceDriver = AttachDevice(L"\\\\.\\FAN0");
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  ASSERT_EQ(Devices().OpenHandleCount(), 2);
  Firmware().ClearCalls();

  COSParticipantManager::DeleteInstance();
  EXPECT_EQ(Firmware().Calls(L"Stop").size(), 2u);
  EXPECT_EQ(deviceDriver->CountRequests(DRIVER_DEVICE_STOP), 1);
  EXPECT_EQ(sensorDriver->CountRequests(DRIVER_SENSOR_STOP), 1);
  EXPECT_EQ(Devices().OpenHandleCount(), 0);
  EXPECT_TRUE(mLog.HasMessage("Deleting ACPI\\PNP0C14\\1_0"));
  EXPECT_TRUE(mLog.HasMessage("Deleting S"));
  EXPECT_EQ(Com().InitCount(), 0);

  mLog.Clear();
  COSParticipantManager::DeleteInstance();
  EXPECT_EQ(mLog.Lines().size(), 1u);
  EXPECT_TRUE(mLog.HasMessage("Deleting Participant manager"));
}

}  // namespace
