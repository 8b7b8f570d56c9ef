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
