// The firmware device: its description, the throttle read-back rules, and
// the status and log line of each step of a method call that fails.
#include <gtest/gtest.h>

#include <functional>

#include "PartMgr/WmiDevice.h"
#include "support/ManagerTest.h"
#include "zivorivizo/StatusCodes.h"

namespace {

class WmiDeviceTest : public CManagerTest {
 protected:
  void SetUp() override {
    CManagerTest::SetUp();
    Manager();  // opens the connection the device calls through
    mName = FirmwareDeviceName(1);
  }

  std::unique_ptr<CWmiDevice> Publish(int32_t type, int32_t current = 1, int32_t maximum = 4) {
    Firmware().AddDevice({mName, 0x55, current, maximum, type});
    mInstance = DeviceInstance(mName);
    return std::make_unique<CWmiDevice>(mInstance);
  }

  std::wstring mName;
  std::shared_ptr<CWbemClassObject> mInstance;
};

TEST_F(WmiDeviceTest, ReadsItsDescriptionAndCallsItsControlInstance) {
  auto device = Publish(7, 2, 4);
  EXPECT_EQ(device->mDevice.Name, mName);
  EXPECT_EQ(device->mDevice.Caps, 0x55u);
  EXPECT_EQ(device->mDevice.Current, 2u);
  EXPECT_EQ(device->mDevice.Max, 4u);
  EXPECT_EQ(device->mDevice.Class, 7u);
  EXPECT_EQ(device->mDevice.Valid, 0);
  EXPECT_TRUE(mLog.HasMessage("CWmiDevice created: ACPI\\PNP0C14\\1_0"));
  // The constructor's read went to the control-method instance of the same
  // key, which only a correctly rewritten and escaped path reaches.
  const auto reads = Firmware().Calls(L"GetThrottleState");
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].instanceName, mName);

  for (const auto& [type, expected] :
       std::vector<std::pair<int32_t, uint32_t>>{{6, 0}, {7, 7}, {12, 0}, {9, 9}, {0x10003, 3}}) {
    Firmware().AddDevice({mName, 0, 0, 4, type});
    EXPECT_EQ(CWmiDevice(DeviceInstance(mName)).mDevice.Class, expected) << "type " << type;
  }
}

TEST_F(WmiDeviceTest, APropertyThatFailsToReadLeavesItsFieldAtZero) {
  struct _tagSCase {
    const wchar_t* property;
    std::string message;  // without the instance address
  };
  const std::string name = "ACPI\\PNP0C14\\1_0";
  const std::vector<_tagSCase> cases = {
      {L"caps", "WmiDevice, Get caps Failed Instance: "},
      {L"Control", "WmiDevice, Get control Failed Instance: %x Name:" + name},
      {L"Current", "WmiDevice, Get control->current Failed Instance: %x Name:" + name},
      {L"Maximum", "WmiDevice, Get control->max Failed Instance: %x Name:" + name},
      {L"type", "WmiDevice, Get type Failed Instance: %x Name:" + name},
  };
  Firmware().AddDevice({mName, 0x55, 2, 4, 7});
  for (const _tagSCase& c : cases) {
    mLog.Clear();
    Faults().Fail(FaultOp::WmiGet, WBEM_E_FAILED, c.property);
    auto instance = DeviceInstance(mName);
    CWmiDevice device(instance);
    std::string message = c.message;
    const std::size_t at = message.find("%x");
    message = at == std::string::npos ? message + Hex(instance.get())
                                      : message.replace(at, 2, Hex(instance.get()));
    EXPECT_TRUE(mLog.HasMessage(message)) << message << "\n" << mLog.Text();
    EXPECT_EQ(mLog.LevelOf(message), "ERROR");
    const _tagSDevice& d = device.mDevice;
    EXPECT_EQ(d.Caps, c.property == std::wstring(L"caps") ? 0u : 0x55u);
    EXPECT_EQ(
        d.Max,
        c.property == std::wstring(L"Maximum") || c.property == std::wstring(L"Control") ? 0u : 4u);
    EXPECT_EQ(d.Class, c.property == std::wstring(L"type") ? 0u : 7u);
    EXPECT_EQ(d.Name, mName) << "the device is complete but for the field";
  }

  Faults().Fail(FaultOp::WmiGet, WBEM_E_FAILED, L"InstanceName");
  auto instance = DeviceInstance(mName);
  CWmiDevice nameless(instance);
  EXPECT_TRUE(mLog.HasMessage("WmiDevice, Get InstanceName Failed " + Hex(instance.get())));
  EXPECT_EQ(nameless.mDevice.Name, L"");
  EXPECT_EQ(nameless.mDevice.Max, 4u);

  Faults().Fail(FaultOp::WmiGet, WBEM_E_FAILED, L"__RELPATH");
  instance = DeviceInstance(mName);
  Firmware().ClearCalls();
  CWmiDevice pathless(instance);
  EXPECT_TRUE(mLog.HasMessage("WmiDevice, Get __RELPATH Failed " + Hex(instance.get())));
  EXPECT_EQ(pathless.Start(), ZIVO_WMI_EXEC_FAILED) << "no control path, no call";
  EXPECT_TRUE(Firmware().Calls().empty());
}

TEST_F(WmiDeviceTest, ThrottleStatesAreReadBackAndCheckedAgainstMax) {
  auto device = Publish(0, 1, 3);

  Firmware().SetReportedState(mName, 4);
  EXPECT_EQ(device->GetCurrentThrottleLimit(), ZIVO_STATE_ABOVE_MAX);
  EXPECT_EQ(device->mDevice.Current, 1u);
  EXPECT_TRUE(mLog.HasMessage("Device reporting state which is greater than MAX value: 4"));

  device->mDevice.Current = 2;
  EXPECT_EQ(device->SetCurrentThrottleLimit(), ZIVO_STATE_ABOVE_MAX)
      << "a set that reached the device reports its read-back";
  EXPECT_TRUE(mLog.HasMessage(
      "SetCurrentThrottleLimit: GetCurrentThrottleLimit failed ACPI\\PNP0C14\\1_0 Error:163"));

  Firmware().SetReportedState(mName, std::nullopt);
  Firmware().SetAcceptsThrottle(mName, false);
  device->mDevice.Current = 3;
  EXPECT_EQ(device->SetCurrentThrottleLimit(), ZIVO_THROTTLE_MISMATCH);
  EXPECT_EQ(device->mDevice.Current, 2u) << "the state the device reports";
  EXPECT_TRUE(mLog.HasMessage("SetCurrentThrottleLimit. Mismatch in set/get ACPI\\PNP0C14\\1_0"));
  EXPECT_TRUE(mLog.HasMessage("Before 3, After 2"));

  Firmware().SetAcceptsThrottle(mName, true);
  Firmware().ClearCalls();
  device->mDevice.Current = 3;
  EXPECT_EQ(device->SetCurrentThrottleLimit(), ZIVO_SUCCESS);
  EXPECT_EQ(Firmware().ThrottleState(mName), 3);
  const auto sets = Firmware().Calls(L"SetThrottleState");
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].inputs.at(L"State"), 3);
}

TEST_F(WmiDeviceTest, EachFailingStepOfAMethodCallHasItsStatusAndLine) {
  auto device = Publish(0, 1, 3);
  const std::string name = "ACPI\\PNP0C14\\1_0";
  struct _tagSCase {
    FaultOp op;
    int status;
    std::string setLine;
    std::string shutdownLine;
  };
  const std::vector<_tagSCase> cases = {
      {FaultOp::WmiGetObject, ZIVO_WMI_GETOBJECT_FAILED,
       "SetCurrentThrottleLimit, GetObject failed " + name, "Shutdown, GetObject failed " + name},
      {FaultOp::WmiGetMethod, ZIVO_WMI_GET_FAILED, "SetCurrentThrottleLimit failed " + name,
       "Shutdown failed " + name},
      {FaultOp::WmiSpawnInstance, ZIVO_WMI_CREATE_FAILED, "", ""},
      {FaultOp::WmiPut, ZIVO_WMI_PUT_FAILED, "", ""},
      {FaultOp::WmiExecMethod, ZIVO_WMI_EXEC_FAILED,
       "SetCurrentThrottleLimit, ExecMethod failed  " + name,
       "Shutdown, ExecMethod failed " + name},
  };
  for (const _tagSCase& c : cases) {
    mLog.Clear();
    Firmware().ClearCalls();
    Faults().Fail(c.op, WBEM_E_FAILED);
    EXPECT_EQ(device->SetCurrentThrottleLimit(), c.status);
    Faults().Fail(c.op, WBEM_E_FAILED);
    EXPECT_EQ(device->Shutdown(true), c.status);
    EXPECT_TRUE(Firmware().Calls().empty()) << "nothing reaches the device";
    if (!c.setLine.empty()) {
      EXPECT_TRUE(mLog.HasMessage(c.setLine)) << mLog.Text();
      EXPECT_TRUE(mLog.HasMessage(c.shutdownLine)) << mLog.Text();
    } else {
      // The lines name the signature or input instance by address.
      const std::string prefix = c.op == FaultOp::WmiPut ? "Put failed " : "SpawnInstance failed ";
      EXPECT_NE(mLog.Text().find("SetCurrentThrottleLimit, " + prefix), std::string::npos);
      EXPECT_NE(mLog.Text().find("Shutdown, " + prefix), std::string::npos);
    }
  }

  Faults().Fail(FaultOp::WmiExecMethod, WBEM_E_FAILED, L"GetThrottleState");
  EXPECT_EQ(device->GetCurrentThrottleLimit(), ZIVO_WMI_EXEC_FAILED);
  EXPECT_TRUE(mLog.HasMessage("GetCurrentThrottleLimit, ExecMethod failed " + name));
  Faults().Fail(FaultOp::WmiGet, WBEM_E_FAILED, L"State");
  EXPECT_EQ(device->GetCurrentThrottleLimit(), ZIVO_WMI_GET_FAILED);
  EXPECT_TRUE(mLog.HasMessage("GetCurrentThrottleLimit, GetState failed " + name));

  Faults().Fail(FaultOp::WmiExecMethod, WBEM_E_FAILED, mName + L"/" + L"Start");
  EXPECT_EQ(device->Start(), ZIVO_WMI_EXEC_FAILED);
  EXPECT_TRUE(mLog.HasMessage("Start ExecMethod failed " + name));
  Faults().Fail(FaultOp::WmiExecMethod, WBEM_E_FAILED, mName + L"/" + L"Stop");
  EXPECT_EQ(device->Stop(), ZIVO_WMI_EXEC_FAILED);
  EXPECT_TRUE(mLog.HasMessage("Stop ExecMethod failed " + name));
}

TEST_F(WmiDeviceTest, ShutdownPassesItsFlagAsOption) {
  auto device = Publish(0);
  EXPECT_EQ(device->Shutdown(false), ZIVO_SUCCESS);
  EXPECT_EQ(device->Shutdown(true), ZIVO_SUCCESS);
  const auto calls = Firmware().Calls(L"Shutdown");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].inputs.at(L"Option"), 0);
  EXPECT_EQ(calls[1].inputs.at(L"Option"), 1);
  EXPECT_TRUE(mLog.HasMessage("Shutdown: Device ACPI\\PNP0C14\\1_0, bShutdown = 0"));
}

}  // namespace
