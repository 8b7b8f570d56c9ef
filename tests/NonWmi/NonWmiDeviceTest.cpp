#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "PartMgr/NonWmiDevice.h"
#include "Platform/DriverProtocol.h"
#include "Sim/SimDeviceDriver.h"
#include "support/SimPlatformTest.h"
#include "zivorivizo/StatusCodes.h"

namespace {

const std::wstring kPath = L"\\\\.\\ThrottleDev0";

uint32_t InputValue(const _tagSDriverRequest& request) {
  uint32_t value = 0;
  EXPECT_EQ(request.input.size(), sizeof(value));
  ReadDriverBlock(std::span<const std::byte>(request.input), value);
  return value;
}

}  // namespace

class NonWmiDeviceTest : public CSimPlatformTest {
 protected:
  std::shared_ptr<CSimDeviceDriver> AttachDriver(const std::wstring& path = kPath) {
    auto driver = std::make_shared<CSimDeviceDriver>();
    Devices().Attach(path, driver);
    return driver;
  }

  // True when `expected` appears as consecutive log messages.
  bool LogHasSequence(const std::vector<std::string>& expected) {
    const std::vector<std::string> messages = mLog.Messages();
    return std::search(messages.begin(), messages.end(), expected.begin(), expected.end()) !=
           messages.end();
  }
};

TEST_F(NonWmiDeviceTest, DescribesItselfFromTheInformationBlock) {
  auto driver = AttachDriver();
  _tagSDeviceInfoBlock info;
  info.Caps = 0x15;
  info.Reserved[0] = 0xDEAD;
  info.MaxState = 4;
  info.Class = 9;
  driver->SetInfo(info);
  driver->SetState(3);

  CNonWmiDevice device(kPath);

  EXPECT_EQ(device.mDevice.Name, kPath);
  EXPECT_EQ(device.mDevice.Caps, 0x15u);
  EXPECT_EQ(device.mDevice.Max, 4u);
  EXPECT_EQ(device.mDevice.Class, 9u);
  EXPECT_EQ(device.mDevice.Current, 3u);
  EXPECT_EQ(device.mDevice.Valid, 0);
  const auto requests = driver->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].code, DRIVER_DEVICE_GET_INFO);
  EXPECT_EQ(requests[1].code, DRIVER_DEVICE_GET_STATE);
  EXPECT_TRUE(
      LogHasSequence({"CNonWmiDevice created: \\\\.\\ThrottleDev0", "********Device DUMP",
                      "Caps 21", "Class 9", "Current 3", "Max 4", "********END Device DUMP"}));
  EXPECT_EQ(mLog.LevelOf("Max 4"), "DEBUG");

  // Types beyond 9 are not known to the library.
  driver->SetClass(12);
  CNonWmiDevice unknownType(kPath);
  EXPECT_EQ(unknownType.mDevice.Class, 0u);
}

TEST_F(NonWmiDeviceTest, ConstructorKeepsWhatItObtainedWhenTheDriverFails) {
  // A path without a driver, and a driver that refuses the open.
  CNonWmiDevice missing(L"/dev/none");
  EXPECT_TRUE(mLog.HasMessage("cant create handle. Error 2"));
  EXPECT_EQ(mLog.LevelOf("cant create handle. Error 2"), "ERROR");
  auto driver = AttachDriver();
  Faults().Fail(FaultOp::DeviceOpen, DEVICE_ERROR_ACCESS_DENIED, kPath);
  CNonWmiDevice refused(kPath);
  EXPECT_TRUE(mLog.HasMessage("cant create handle. Error 5"));
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 0);

  // Without a driver, the name stays empty and every operation fails.
  for (CNonWmiDevice* device : {&missing, &refused}) {
    EXPECT_TRUE(device->mDevice.Name.empty());
    device->mDevice.Current = 1;
    EXPECT_EQ(device->SetCurrentThrottleLimit(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(device->GetCurrentThrottleLimit(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(device->Start(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(device->Stop(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(device->Shutdown(true), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(device->Shutdown(false), ZIVO_IOCTL_FAILED);
  }
  EXPECT_FALSE(mLog.HasMessage("********Device DUMP"));
  EXPECT_EQ(Devices().OpenHandleCount(), 0);

  // A driver that cannot describe itself: the name stays empty, the state is
  // not read, the handle stays open for the object's life.
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_DEVICE_GET_INFO));
  {
    CNonWmiDevice undescribed(kPath);
    EXPECT_TRUE(undescribed.mDevice.Name.empty());
    EXPECT_TRUE(mLog.HasMessage("Can get device info Ioctl Failed"));
    EXPECT_EQ(driver->CountRequests(DRIVER_DEVICE_GET_STATE), 0);
    EXPECT_EQ(Devices().OpenHandleCount(), 1);
  }
  EXPECT_EQ(Devices().OpenHandleCount(), 0);

  // A state that cannot be read leaves Current at 0; the device still joins.
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_DEVICE_GET_STATE));
  driver->SetState(2);
  CNonWmiDevice unread(kPath);
  EXPECT_EQ(unread.mDevice.Name, kPath);
  EXPECT_EQ(unread.mDevice.Current, 0u);
  EXPECT_TRUE(mLog.HasMessage("device get state Ioctl Failed"));
  EXPECT_TRUE(mLog.HasMessage("Current 0"));
}

TEST_F(NonWmiDeviceTest, GetCurrentThrottleLimitRejectsAStateAboveMax) {
  auto driver = AttachDriver();
  driver->SetMaxState(3);
  driver->SetState(2);
  CNonWmiDevice device(kPath);
  ASSERT_EQ(device.mDevice.Current, 2u);

  driver->SetState(3);
  EXPECT_EQ(device.GetCurrentThrottleLimit(), ZIVO_SUCCESS);
  EXPECT_EQ(device.mDevice.Current, 3u);

  driver->SetState(4);
  EXPECT_EQ(device.GetCurrentThrottleLimit(), ZIVO_STATE_ABOVE_MAX);
  EXPECT_EQ(device.mDevice.Current, 3u);
  EXPECT_TRUE(mLog.HasMessage("Device reporting state which is greater than MAX value: 4"));

  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_DEVICE_GET_STATE));
  EXPECT_EQ(device.GetCurrentThrottleLimit(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(device.mDevice.Current, 3u);
  EXPECT_EQ(mLog.LevelOf("device get state Ioctl Failed"), "ERROR");
}

TEST_F(NonWmiDeviceTest, SetCurrentThrottleLimitSendsTheStateAndChecksTheReadBack) {
  auto driver = AttachDriver();
  driver->SetMaxState(3);
  CNonWmiDevice device(kPath);
  driver->ClearRequests();

  device.mDevice.Current = 2;
  EXPECT_EQ(device.SetCurrentThrottleLimit(), ZIVO_SUCCESS);
  EXPECT_EQ(driver->State(), 2u);
  auto requests = driver->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].code, DRIVER_DEVICE_SET_STATE);
  EXPECT_EQ(InputValue(requests[0]), 2u);
  EXPECT_EQ(requests[1].code, DRIVER_DEVICE_GET_STATE);

  // Accepted, but the driver reports another state.
  driver->PinReportedState(1);
  device.mDevice.Current = 2;
  EXPECT_EQ(device.SetCurrentThrottleLimit(), ZIVO_THROTTLE_MISMATCH);
  EXPECT_EQ(device.mDevice.Current, 1u);
  EXPECT_TRUE(LogHasSequence(
      {"SetCurrentThrottleLimit. Mismatch in set/get \\\\.\\ThrottleDev0", "Before 2, After 1"}));

  // Accepted, but the state read back is above Max: the read-back's status.
  driver->PinReportedState(4);
  device.mDevice.Current = 2;
  EXPECT_EQ(device.SetCurrentThrottleLimit(), ZIVO_STATE_ABOVE_MAX);
  EXPECT_EQ(device.mDevice.Current, 2u);
  EXPECT_TRUE(mLog.HasMessage(
      "SetCurrentThrottleLimit: GetCurrentThrottleLimit failed \\\\.\\ThrottleDev0 Error:163"));

  // The read-back fails.
  driver->PinReportedState(std::nullopt);
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_DEVICE_GET_STATE));
  EXPECT_EQ(device.SetCurrentThrottleLimit(), ZIVO_IOCTL_FAILED);
  EXPECT_TRUE(mLog.HasMessage(
      "SetCurrentThrottleLimit: GetCurrentThrottleLimit failed \\\\.\\ThrottleDev0 Error:114"));

  // The set request fails: nothing is read back.
  driver->ClearRequests();
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_DEVICE_SET_STATE));
  device.mDevice.Current = 3;
  EXPECT_EQ(device.SetCurrentThrottleLimit(), ZIVO_IOCTL_FAILED);
  EXPECT_TRUE(mLog.HasMessage("device set state Ioctl Failed"));
  EXPECT_EQ(driver->CountRequests(DRIVER_DEVICE_GET_STATE), 0);
  EXPECT_EQ(device.mDevice.Current, 3u);
}

TEST_F(NonWmiDeviceTest, StartStopAndShutdownEachSendOneRequest) {
  auto driver = AttachDriver();
  auto owned = std::make_unique<CNonWmiDevice>(kPath);
  CNonWmiDevice& device = *owned;
  driver->ClearRequests();

  EXPECT_EQ(device.Start(), ZIVO_SUCCESS);
  EXPECT_TRUE(driver->Started());
  EXPECT_EQ(device.Stop(), ZIVO_SUCCESS);
  EXPECT_FALSE(driver->Started());
  EXPECT_EQ(device.Shutdown(true), ZIVO_SUCCESS);
  EXPECT_EQ(device.Shutdown(false), ZIVO_SUCCESS);
  const auto shutdowns = driver->RequestsWith(DRIVER_DEVICE_SHUTDOWN);
  ASSERT_EQ(shutdowns.size(), 2u);
  EXPECT_EQ(InputValue(shutdowns[0]), 1u);
  EXPECT_EQ(InputValue(shutdowns[1]), 0u);
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 4);
  EXPECT_TRUE(mLog.HasMessage("Start Called for \\\\.\\ThrottleDev0"));
  EXPECT_TRUE(mLog.HasMessage("Stop Called for \\\\.\\ThrottleDev0"));
  EXPECT_TRUE(mLog.HasMessage("Shutdown: Device \\\\.\\ThrottleDev0, bShutdown = 1"));
  EXPECT_TRUE(mLog.HasMessage("Shutdown: Device \\\\.\\ThrottleDev0, bShutdown = 0"));

  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE, L"", 1, 3);
  EXPECT_EQ(device.Start(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(device.Stop(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(device.Shutdown(true), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(mLog.LevelOf("device start Ioctl Failed"), "ERROR");
  EXPECT_EQ(mLog.LevelOf("device stop Ioctl Failed"), "ERROR");
  EXPECT_EQ(mLog.LevelOf("Device Shutdown Ioctl Failed"), "ERROR");

  // Destruction closes the driver.
  EXPECT_EQ(Devices().OpenHandleCount(), 1);
  owned.reset();
  EXPECT_EQ(Devices().OpenHandleCount(), 0);
  EXPECT_TRUE(mLog.HasMessage("Deleting \\\\.\\ThrottleDev0"));
}
