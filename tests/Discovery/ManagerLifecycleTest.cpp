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
  void ClearFaults() {
    Faults().Clear();
    Firmware().SetVelmarStatus(1);
  }
};

TEST_F(ManagerLifecycleTest, EveryInitStepThatFailsThrows13AndReturnsItsCode) {
  const wchar_t* params = L"DTMSystemParams";
  const auto fail = [](FaultOp op, long status, std::wstring target = L"") {
    return std::function<void()>([=] { Faults().Fail(op, status, target); });
  };
  const int init = ZIVO_PM_INIT_FAILED, create = ZIVO_WMI_CREATE_FAILED;
  const std::vector<std::tuple<const char*, std::function<void()>, int>> steps = {
      {"apartment", fail(FaultOp::CoInitializeEx, E_OUTOFMEMORY), init},
      {"security", fail(FaultOp::CoInitializeSecurity, E_ACCESSDENIED), init},
      {"locator", fail(FaultOp::CreateWbemLocator, REGDB_E_CLASSNOTREG), init},
      {"connect", fail(FaultOp::ConnectServer, WBEM_E_ACCESS_DENIED), init},
      {"blanket", fail(FaultOp::SetBlanket, E_ACCESSDENIED), init},
      {"enumeration", fail(FaultOp::WmiCreateInstanceEnum, WBEM_E_FAILED, params), create},
      {"next", fail(FaultOp::WmiNext, WBEM_E_FAILED, params), create},
      {"no instance", [&] { Wmi().RemoveInstance(params, L""); }, create},
      {"status read", fail(FaultOp::WmiGet, WBEM_E_FAILED, L"velmarstatus"), ZIVO_WMI_GET_FAILED},
      {"status null", [&] { Wmi().SetProperty(params, L"", L"velmarstatus", CVariant::Null()); },
       ZIVO_WMI_GET_FAILED},
  };
  for (const auto& [step, arm, code] : steps) {
    SCOPED_TRACE(step);
    mLog.Clear();
    arm();
    EXPECT_EQ(Thrown(), ZIVO_THROW_PM_INIT_FAILED);
    // Only the base part, already constructed, is destroyed again.
    EXPECT_FALSE(mLog.HasMessage("COSParticipantMgr Destructor called"));
    EXPECT_TRUE(mLog.HasMessage("CParticipantMgr Destructor called  "));

    // Nothing remains: the next call constructs afresh, and succeeds.
    ClearFaults();
    ASSERT_EQ(Thrown(), std::nullopt);
    // The same fault met by Init itself gives the step's code.
    arm();
    int status = -1;
    EXPECT_EQ(Manager().Init(3, status), code);
    ClearFaults();
    EXPECT_EQ(Manager().Init(3, status), ZIVO_SUCCESS);
    EXPECT_EQ(status, 1);
    COSParticipantManager::DeleteInstance();
  }
}

TEST_F(ManagerLifecycleTest, DeleteInstanceStopsAndDestroysEveryParticipant) {
  PublishDevice(1);
  PublishSensor(L"S", {1});
  SeedDrivers({L"TZ0"}, {L"FAN0"});
  auto sensorDriver = AttachSensor(L"TZ0");
  auto deviceDriver = AttachDevice(L"FAN0");
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  ASSERT_EQ(Devices().OpenHandleCount(), 2);
  Firmware().ClearCalls();

  COSParticipantManager::DeleteInstance();
  EXPECT_EQ(Firmware().Calls(L"Stop").size(), 2u);
  EXPECT_EQ(deviceDriver->CountRequests(DRIVER_DEVICE_STOP), 1);
  EXPECT_EQ(sensorDriver->CountRequests(DRIVER_SENSOR_STOP), 1);
  EXPECT_EQ(Devices().OpenHandleCount(), 0);
  EXPECT_EQ(Com().InitCount(), 0);
  COSParticipantManager::DeleteInstance();  // a second delete does nothing
}

}  // namespace
