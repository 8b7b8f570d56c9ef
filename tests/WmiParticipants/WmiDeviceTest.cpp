// The firmware device: its description, the throttle read-back rules, and
// the status of each step of a method call that fails.
#include <gtest/gtest.h>

#include <tuple>

#include "PartMgr/WmiDevice.h"
#include "support/ManagerTest.h"
#include "zivorivizo/StatusCodes.h"

namespace {

class WmiDeviceTest : public CManagerTest {
 protected:
  void SetUp() override {
    CManagerTest::SetUp();
    Manager();  // opens the connection the device calls through
  }

  std::unique_ptr<CWmiDevice> Publish(int32_t type, int32_t current = 1, int32_t maximum = 4) {
    Firmware().AddDevice({mName, 0x55, current, maximum, type});
    return std::make_unique<CWmiDevice>(DeviceInstance(mName));
  }

  const std::wstring mName = FirmwareDeviceName(1);
};

TEST_F(WmiDeviceTest, APropertyThatFailsToReadLeavesItsFieldAtZero) {
  for (const std::wstring property :
       {L"caps", L"Control", L"Current", L"Maximum", L"type", L"InstanceName"}) {
    Faults().Fail(FaultOp::WmiGet, WBEM_E_FAILED, property);
    auto device = Publish(7, 2, 4);
    const _tagSDevice& d = device->mDevice;
    EXPECT_EQ(d.Caps, property == L"caps" ? 0u : 0x55u);
    EXPECT_EQ(d.Max, property == L"Maximum" || property == L"Control" ? 0u : 4u);
    EXPECT_EQ(d.Class, property == L"type" ? 0u : 7u);
    EXPECT_EQ(d.Name, property == L"InstanceName" ? L"" : mName);
  }
  Faults().Fail(FaultOp::WmiGet, WBEM_E_FAILED, L"__RELPATH");
  auto pathless = Publish(0);
  Firmware().ClearCalls();
  EXPECT_EQ(pathless->Start(), ZIVO_WMI_EXEC_FAILED) << "no control path, no call";
  EXPECT_TRUE(Firmware().Calls().empty());
}

TEST_F(WmiDeviceTest, ThrottleStatesAreReadBackAndCheckedAgainstMax) {
  auto device = Publish(0, 1, 3);
  Firmware().SetReportedState(mName, 4);
  EXPECT_EQ(device->GetCurrentThrottleLimit(), ZIVO_STATE_ABOVE_MAX);
  EXPECT_EQ(device->mDevice.Current, 1u);
  device->mDevice.Current = 2;
  EXPECT_EQ(device->SetCurrentThrottleLimit(), ZIVO_STATE_ABOVE_MAX)
      << "a set that reached the device reports its read-back";

  Firmware().SetReportedState(mName, std::nullopt);
  Firmware().SetAcceptsThrottle(mName, false);
  device->mDevice.Current = 3;
  EXPECT_EQ(device->SetCurrentThrottleLimit(), ZIVO_THROTTLE_MISMATCH);
  EXPECT_EQ(device->mDevice.Current, 2u) << "the state the device reports";

  Firmware().SetAcceptsThrottle(mName, true);
  Firmware().ClearCalls();
  device->mDevice.Current = 3;
  EXPECT_EQ(device->SetCurrentThrottleLimit(), ZIVO_SUCCESS);
  EXPECT_EQ(Firmware().ThrottleState(mName), 3);
  const auto sets = Firmware().Calls(L"SetThrottleState");
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].inputs.at(L"State"), 3);

  // Shutdown passes its flag as Option.
  EXPECT_EQ(device->Shutdown(false), ZIVO_SUCCESS);
  EXPECT_EQ(device->Shutdown(true), ZIVO_SUCCESS);
  const auto calls = Firmware().Calls(L"Shutdown");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].inputs.at(L"Option"), 0);
  EXPECT_EQ(calls[1].inputs.at(L"Option"), 1);
}

TEST_F(WmiDeviceTest, EachFailingStepOfAMethodCallHasItsStatus) {
  auto device = Publish(0, 1, 3);
  for (const auto& [op, status] : std::vector<std::pair<FaultOp, int>>{
           {FaultOp::WmiGetObject, ZIVO_WMI_GETOBJECT_FAILED},
           {FaultOp::WmiGetMethod, ZIVO_WMI_GET_FAILED},
           {FaultOp::WmiSpawnInstance, ZIVO_WMI_CREATE_FAILED},
           {FaultOp::WmiPut, ZIVO_WMI_PUT_FAILED},
           {FaultOp::WmiExecMethod, ZIVO_WMI_EXEC_FAILED},
       }) {
    Firmware().ClearCalls();
    Faults().Fail(op, WBEM_E_FAILED);
    EXPECT_EQ(device->SetCurrentThrottleLimit(), status);
    Faults().Fail(op, WBEM_E_FAILED);
    EXPECT_EQ(device->Shutdown(true), status);
    EXPECT_TRUE(Firmware().Calls().empty()) << "nothing reaches the device";
  }
  Faults().Fail(FaultOp::WmiExecMethod, WBEM_E_FAILED, L"GetThrottleState");
  EXPECT_EQ(device->GetCurrentThrottleLimit(), ZIVO_WMI_EXEC_FAILED);
  Faults().Fail(FaultOp::WmiGet, WBEM_E_FAILED, L"State");
  EXPECT_EQ(device->GetCurrentThrottleLimit(), ZIVO_WMI_GET_FAILED);
  Faults().Fail(FaultOp::WmiExecMethod, WBEM_E_FAILED, mName + L"/" + L"Start");
  EXPECT_EQ(device->Start(), ZIVO_WMI_EXEC_FAILED);
  Faults().Fail(FaultOp::WmiExecMethod, WBEM_E_FAILED, mName + L"/" + L"Stop");
  EXPECT_EQ(device->Stop(), ZIVO_WMI_EXEC_FAILED);
}

}  // namespace
