// The driver-backed device: its description, the throttle read-back rules,
// and what it keeps when its driver fails.
#include <gtest/gtest.h>

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

class NonWmiDeviceTest : public CSimPlatformTest {
 protected:
  std::shared_ptr<CSimDeviceDriver> AttachDriver() {
    auto driver = std::make_shared<CSimDeviceDriver>();
    Devices().Attach(kPath, driver);
    return driver;
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
  driver->SetClass(12);
  EXPECT_EQ(CNonWmiDevice(kPath).mDevice.Class, 0u) << "types beyond 9 are unknown";
}

TEST_F(NonWmiDeviceTest, ConstructorKeepsWhatItObtainedWhenTheDriverFails) {
  // A path without a driver, and a driver that refuses the open.
  CNonWmiDevice missing(L"/dev/none");
  auto driver = AttachDriver();
  Faults().Fail(FaultOp::DeviceOpen, DEVICE_ERROR_ACCESS_DENIED, kPath);
  CNonWmiDevice refused(kPath);
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 0);
  for (CNonWmiDevice* device : {&missing, &refused}) {
    EXPECT_TRUE(device->mDevice.Name.empty());
    device->mDevice.Current = 1;
    EXPECT_EQ(device->SetCurrentThrottleLimit(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(device->GetCurrentThrottleLimit(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(device->Start(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(device->Stop(), ZIVO_IOCTL_FAILED);
    EXPECT_EQ(device->Shutdown(true), ZIVO_IOCTL_FAILED);
  }
  EXPECT_EQ(Devices().OpenHandleCount(), 0);

  // A driver that cannot describe itself: the name stays empty, the state is
  // not read, the handle stays open for the object's life.
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_DEVICE_GET_INFO));
  {
    CNonWmiDevice undescribed(kPath);
    EXPECT_TRUE(undescribed.mDevice.Name.empty());
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
}

TEST_F(NonWmiDeviceTest, ThrottleStatesAreSentReadBackAndCheckedAgainstMax) {
  auto driver = AttachDriver();
  driver->SetMaxState(3);
  driver->SetState(3);
  CNonWmiDevice device(kPath);
  ASSERT_EQ(device.mDevice.Current, 3u) << "Max itself is a state";
  driver->SetState(4);
  EXPECT_EQ(device.GetCurrentThrottleLimit(), ZIVO_STATE_ABOVE_MAX);
  EXPECT_EQ(device.mDevice.Current, 3u);
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_DEVICE_GET_STATE));
  EXPECT_EQ(device.GetCurrentThrottleLimit(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(device.mDevice.Current, 3u);

  driver->ClearRequests();
  device.mDevice.Current = 2;
  EXPECT_EQ(device.SetCurrentThrottleLimit(), ZIVO_SUCCESS);
  EXPECT_EQ(driver->State(), 2u);
  const auto requests = driver->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].code, DRIVER_DEVICE_SET_STATE);
  EXPECT_EQ(InputValue(requests[0]), 2u);
  EXPECT_EQ(requests[1].code, DRIVER_DEVICE_GET_STATE);

  // Accepted, but the driver reports another state, or one above Max.
  driver->PinReportedState(1);
  EXPECT_EQ(device.SetCurrentThrottleLimit(), ZIVO_THROTTLE_MISMATCH);
  EXPECT_EQ(device.mDevice.Current, 1u);
  driver->PinReportedState(4);
  device.mDevice.Current = 2;
  EXPECT_EQ(device.SetCurrentThrottleLimit(), ZIVO_STATE_ABOVE_MAX);
  EXPECT_EQ(device.mDevice.Current, 2u);
  driver->PinReportedState(std::nullopt);
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_DEVICE_GET_STATE));
  EXPECT_EQ(device.SetCurrentThrottleLimit(), ZIVO_IOCTL_FAILED);
  // The set request fails: nothing is read back.
  driver->ClearRequests();
  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE,
                FaultCodeName(DRIVER_DEVICE_SET_STATE));
  EXPECT_EQ(device.SetCurrentThrottleLimit(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(driver->CountRequests(DRIVER_DEVICE_GET_STATE), 0);
}

TEST_F(NonWmiDeviceTest, StartStopAndShutdownEachSendOneRequest) {
  auto driver = AttachDriver();
  auto device = std::make_unique<CNonWmiDevice>(kPath);
  driver->ClearRequests();
  EXPECT_EQ(device->Start(), ZIVO_SUCCESS);
  EXPECT_TRUE(driver->Started());
  EXPECT_EQ(device->Stop(), ZIVO_SUCCESS);
  EXPECT_FALSE(driver->Started());
  EXPECT_EQ(device->Shutdown(true), ZIVO_SUCCESS);
  EXPECT_EQ(device->Shutdown(false), ZIVO_SUCCESS);
  const auto shutdowns = driver->RequestsWith(DRIVER_DEVICE_SHUTDOWN);
  ASSERT_EQ(shutdowns.size(), 2u);
  EXPECT_EQ(InputValue(shutdowns[0]), 1u);
  EXPECT_EQ(InputValue(shutdowns[1]), 0u);
  EXPECT_EQ(driver->CountRequests(SIM_ANY_REQUEST), 4);

  Faults().Fail(FaultOp::DeviceControl, DEVICE_ERROR_GEN_FAILURE, L"", 1, 3);
  EXPECT_EQ(device->Start(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(device->Stop(), ZIVO_IOCTL_FAILED);
  EXPECT_EQ(device->Shutdown(true), ZIVO_IOCTL_FAILED);
  device.reset();
  EXPECT_EQ(Devices().OpenHandleCount(), 0);
}

}  // namespace
