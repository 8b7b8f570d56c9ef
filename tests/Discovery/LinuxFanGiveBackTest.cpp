// A fan channel the library took into manual control goes back to the chip
// when the library lets go of its device: RemoveDevice, or DeleteInstance of
// the whole participant manager.
#include <gtest/gtest.h>

#include <functional>

#include "support/FakeHwmonTree.h"
#include "support/ManagerTest.h"
#include "zivorivizo/Device.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/StatusCodes.h"

namespace {

class LinuxFanGiveBackTest : public CManagerTest {};

TEST_F(LinuxFanGiveBackTest, TheFanGoesBackWhenItsDeviceGoes) {
  const std::wstring fan = L"fan:nct6798-isa-0290:pwm2";
  struct Case {
    const char* name;
    std::function<void(COSParticipantManager&)> letGo;
  };
  const Case cases[] = {
      {"RemoveDevice",
       [&fan](COSParticipantManager& manager) {
         EXPECT_EQ(manager.RemoveDevice(fan), ZIVO_SUCCESS);
       }},
      {"DeleteInstance", [](COSParticipantManager&) { COSParticipantManager::DeleteInstance(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CFakeHwmonTree tree;
    tree.AddChip(3, "nct6798", "platform/nct6775.656", {1, 2});
    CPlatform::Install(CreateLinuxPlatform(tree.Root(), LinuxParticipantNaming::Stable));
    ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
    CDevice* device = nullptr;
    for (CDevice* listed : DeviceList()) {
      if (listed->mDevice.Name == fan) device = listed;
    }
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->mDevice.Max, 10u);
    device->mDevice.Current = 7;
    ASSERT_EQ(device->SetCurrentThrottleLimit(), ZIVO_SUCCESS);
    EXPECT_EQ(tree.Get(3, "pwm2_enable"), 1);
    EXPECT_EQ(tree.Get(3, "pwm2"), 100 + 155 * 7 / 10);
    c.letGo(Manager());
    EXPECT_EQ(tree.Get(3, "pwm2_enable"), 2);
    EXPECT_EQ(tree.Get(3, "pwm2"), 100);
    EXPECT_EQ(tree.Get(3, "pwm1_enable"), 2) << "never taken";
    COSParticipantManager::DeleteInstance();
  }
}

}  // namespace
