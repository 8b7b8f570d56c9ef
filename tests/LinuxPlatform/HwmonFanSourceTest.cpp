// hwmon fan channels found in a fake sysfs tree of hwmon chips. Channels in both
// attribute locations, names under both namings, a renumbering, two chips of
// one name, and a device opened through the Linux device I/O.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Platform/DriverProtocol.h"
#include "Platform/Linux/Hwmon/HwmonFanSource.h"
#include "Platform/Linux/SysfsDeviceIo.h"
#include "Platform/Linux/SysfsFailureBook.h"
#include "Platform/Linux/SysfsThermalScan.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Text.h"
#include "support/DriverCalls.h"
#include "support/FakeHwmonTree.h"
#include "zivorivizo/Platform.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> FanNames(const std::string& root, LinuxParticipantNaming naming) {
  std::vector<std::string> names;
  for (const _tagSThermalEntry& entry : ScanThermal(root, naming).devices) {
    if (entry.source == &CHwmonFanSource::Instance()) {
      names.push_back(ToUtf8(entry.name));
    }
  }
  return names;
}

TEST(HwmonFanSourceTest, NamesChannelsByFolderOrByChipBusAndChannel) {
  CFakeHwmonTree tree;
  tree.AddChip(2, "nct6798", "platform/nct6775.656", {1, 2});
  tree.AddChip(3, "nct6798", "platform/nct6775.2592", {1});
  tree.AddChip(4, "amdgpu", "pci0000:00/0000:00:03.1/0000:0b:00.0", {1});
  tree.AddChip(5, "applesmc", "platform/applesmc.768", {3}, true);
  tree.AddChip(6, "k10temp", "pci0000:00/0000:00:18.3", {});

  EXPECT_EQ(FanNames(tree.Root(), LinuxParticipantNaming::Stable),
            (std::vector<std::string>{"fan:amdgpu-pci-0b00:pwm1", "fan:applesmc-isa-0300:pwm3",
                                      "fan:nct6798-isa-0290:pwm1", "fan:nct6798-isa-0290:pwm2",
                                      "fan:nct6798-isa-0a20:pwm1"}));
  const std::string cls = tree.Root() + "/class/hwmon/";
  EXPECT_EQ(FanNames(tree.Root(), LinuxParticipantNaming::Path),
            (std::vector<std::string>{cls + "hwmon2/pwm1", cls + "hwmon2/pwm2", cls + "hwmon3/pwm1",
                                      cls + "hwmon4/pwm1", cls + "hwmon5/device/pwm3"}));

  // A boot that registers the chips in another order.
  const auto before = FanNames(tree.Root(), LinuxParticipantNaming::Stable);
  tree.Renumber(2, 12);
  tree.Renumber(3, 2);
  tree.Renumber(12, 3);
  EXPECT_EQ(FanNames(tree.Root(), LinuxParticipantNaming::Stable), before);
}

TEST(HwmonFanSourceTest, AFanOpenedThroughTheDeviceIoIsAnActiveDeviceGivenBackWhenClosed) {
  CFakeHwmonTree tree;
  tree.AddChip(2, "nct6798", "platform/nct6775.656", {2});
  CSysfsDeviceIo io(
      std::make_shared<CSysfsThermalView>(tree.Root(), LinuxParticipantNaming::Stable));
  auto handle = OpenOrFail(io, L"fan:nct6798-isa-0290:pwm2");
  ASSERT_NE(handle, nullptr);
  const auto info = Read<_tagSDeviceInfoBlock>(*handle, DRIVER_DEVICE_GET_INFO);
  EXPECT_EQ(info.Class, 9u);
  EXPECT_EQ(info.MaxState, 10u);
  ASSERT_TRUE(Send(*handle, DRIVER_DEVICE_SET_STATE, uint32_t{10}));
  const auto value = [&tree](const char* name) { return tree.Get(2, name); };
  EXPECT_EQ(value("pwm2_enable"), 1);
  EXPECT_EQ(value("pwm2"), 255);
  // A failed request is noted under the channel's name, with its file.
  std::ofstream(tree.Class(2) / "pwm2") << "fast\n";
  uint32_t error = 0;
  uint32_t state = 0;
  EXPECT_FALSE(Read(*handle, DRIVER_DEVICE_GET_STATE, state, error));
  LinuxAccessFailure failure;
  ASSERT_TRUE(io.Failures().Find(L"fan:nct6798-isa-0290:pwm2", failure));
  EXPECT_TRUE(failure.file.ends_with("/pwm2")) << failure.file;
  EXPECT_EQ(failure.error, 0);
  handle.reset();
  EXPECT_EQ(value("pwm2_enable"), 2);
  EXPECT_EQ(value("pwm2"), 100);

  // Fewer, coarser states for the channels opened from now on.
  SetLinuxFanLevels(4);
  handle = OpenOrFail(io, L"fan:nct6798-isa-0290:pwm2");
  SetLinuxFanLevels(0);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(Read<_tagSDeviceInfoBlock>(*handle, DRIVER_DEVICE_GET_INFO).MaxState, 4u);
  ASSERT_TRUE(Send(*handle, DRIVER_DEVICE_SET_STATE, uint32_t{2}));
  EXPECT_EQ(value("pwm2"), 100 + 155 * 2 / 4);
}

}  // namespace
