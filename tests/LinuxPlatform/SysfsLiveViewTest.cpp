// The live view of the thermal tree: a refresh follows the tree, open
// handles never reach a newcomer, only the platform's own thermal folders
// open, refreshes race no reader, and the stable names.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <thread>

#include "Platform/DeviceIo.h"
#include "Platform/DriverProtocol.h"
#include "Platform/Linux/LinuxPlatform.h"
#include "Platform/Linux/SysfsRegistry.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Linux/ThermalClass/SysfsStableName.h"
#include "Platform/Registry.h"
#include "support/DriverCalls.h"
#include "support/FakeSysfs.h"

namespace {

class SysfsLiveViewTest : public testing::Test {
 protected:
  explicit SysfsLiveViewTest(LinuxParticipantNaming naming = LinuxParticipantNaming::Path)
      : mPlatform(mTree.Root(), "unix:path=/nonexistent-zv-bus/socket", naming) {}

  std::unique_ptr<CDeviceHandle> Open(const std::wstring& name, uint32_t& error) {
    return mPlatform.Devices().Open(name, error);
  }
  std::unique_ptr<CDeviceHandle> Open(const std::wstring& name) {
    uint32_t error = 0;
    return Open(name, error);
  }
  // Reads the temperature (or a device's state); 0 and `error` set when that fails.
  int32_t Value(CDeviceHandle& handle, uint32_t code, uint32_t& error) {
    int32_t value = 0;
    error = 0;
    return Read(handle, code, value, error) ? value : 0;
  }

  CFakeSysfs mTree;
  CLinuxPlatform mPlatform;
};

// Handles opened before the tree changed: the one whose folder went fails
// from the refresh on, even though a newcomer has its number; the others go
// on. A name the view does not know yet opens after a rescan.
TEST_F(SysfsLiveViewTest, OpenHandlesNeverReachANewcomer) {
  mTree.AddZone(0, "acpitz", 40000);
  mTree.AddZone(1, "skin", 30000);
  mTree.AddCooling(0, "Fan", 3, 1);
  auto kept = Open(mTree.ZonePathW(0));
  auto gone = Open(mTree.ZonePathW(1));
  auto fan = Open(mTree.CoolingPathW(0));
  ASSERT_TRUE(kept && gone && fan);
  mTree.Remove("thermal_zone1");
  mTree.Remove("cooling_device0");
  mTree.AddZone(1, "skin", 55000);
  mTree.AddCooling(0, "Processor", 10, 7);
  mPlatform.Registry().Refresh();

  uint32_t error = 0;
  EXPECT_EQ(Value(*gone, DRIVER_SENSOR_GET_TEMP, error), 0);
  EXPECT_EQ(error, DEVICE_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Value(*fan, DRIVER_DEVICE_GET_STATE, error), 0);
  EXPECT_EQ(error, DEVICE_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Value(*kept, DRIVER_SENSOR_GET_TEMP, error), 3132);
  auto newcomer = Open(mTree.ZonePathW(1));
  ASSERT_NE(newcomer, nullptr);
  EXPECT_EQ(Value(*newcomer, DRIVER_SENSOR_GET_TEMP, error), 3282);
  mTree.AddZone(7, "gpu", 30000);
  EXPECT_NE(Open(mTree.ZonePathW(7)), nullptr) << "unknown names rescan";
}

// Only the thermal_zoneN and cooling_deviceN folders of the platform's own
// tree open, whatever files another folder has.
TEST_F(SysfsLiveViewTest, OnlyTheTreesOwnThermalFoldersOpen) {
  mTree.AddZone(0, "acpitz", 40000);
  CFakeSysfs other;
  other.AddZone(0, "acpitz", 40000);
  const std::string battery = mTree.Root() + "/class/power_supply/BAT0";
  std::filesystem::create_directories(battery);
  mTree.WriteAttribute("../../../class/power_supply/BAT0", "temp", "295\n");
  const std::string zone = mTree.ZonePath(0);
  for (const std::string& path :
       {battery, other.ZonePath(0), mTree.Root() + "/devices/virtual/thermal/thermal_zone0",
        zone + "/", zone + "/temp", zone + "/cdev0", mTree.Root() + "/class/thermal",
        mTree.Root() + "/class/thermal/thermal_zone7/temp", std::string("thermal_zone0"),
        std::string()}) {
    uint32_t error = 0;
    EXPECT_EQ(Open(std::wstring(path.begin(), path.end()), error), nullptr) << path;
    EXPECT_EQ(error, DEVICE_ERROR_FILE_NOT_FOUND) << path;
  }
  EXPECT_NE(Open(mTree.ZonePathW(0)), nullptr);
}

// The bridge's questions, before and after the refresh that follows a zone
// deleted and a cooling device created.
TEST_F(SysfsLiveViewTest, TheViewAnswersByKernelNumber) {
  mTree.AddZone(2, "acpitz", 40000);
  mTree.AddZone(5, "skin", 30000);
  CSysfsThermalView& view = mPlatform.ThermalView();
  EXPECT_EQ(view.SensorIndexOfZone(5), 1u);
  EXPECT_EQ(view.ZoneName(5), mTree.ZonePathW(5));
  EXPECT_EQ(view.CoolingDeviceName(0), std::nullopt);
  mTree.Remove("thermal_zone2");
  mTree.AddCooling(0, "Fan", 3, 0);
  EXPECT_EQ(view.ZoneName(2), mTree.ZonePathW(2)) << "still listed until the refresh";
  const uint64_t generation = view.Generation();
  view.Refresh();
  EXPECT_GT(view.Generation(), generation);
  EXPECT_EQ(view.ZoneName(2), std::nullopt);
  EXPECT_EQ(view.SensorIndexOfZone(5), 0u);
  EXPECT_EQ(view.CoolingDeviceName(0), mTree.CoolingPathW(0));
  const uint64_t settled = view.Generation();
  view.Refresh();
  EXPECT_EQ(view.Generation(), settled) << "nothing changed";
}

// The kernel event bridge refreshes on its own thread while the host reads:
// each reader sees a whole snapshot and handles stay usable.
TEST_F(SysfsLiveViewTest, RefreshesRaceNoReader) {
  mTree.AddZone(0, "acpitz", 40000);
  mTree.AddCooling(0, "Fan", 3, 0);
  mTree.LinkCooling(0, 0, 0);
  auto zone = Open(mTree.ZonePathW(0));
  ASSERT_NE(zone, nullptr);
  std::thread bridge([this] {
    for (int i = 0; i < 100; ++i) {
      if (i % 2 == 0) {
        mTree.AddZone(1, "skin", 30000);
      } else {
        mTree.Remove("thermal_zone1");
      }
      mPlatform.ThermalView().Refresh();
      mPlatform.ThermalView().ZoneName(1);
    }
  });
  for (int i = 0; i < 200; ++i) {
    uint32_t count = 0;
    Read<_tagSSensorInfoBlock>(*zone, DRIVER_SENSOR_GET_INFO);
    long status = 0;
    auto key = mPlatform.Registry().Open(SYSFS_PARAMETERS_KEY, REG_ACCESS_READ, status);
    EXPECT_EQ(key->QueryDword(L"DeviceCount", count), REG_STATUS_SUCCESS);
    EXPECT_EQ(count, 1u);
    EXPECT_NE(Open(mTree.CoolingPathW(0)), nullptr);
  }
  bridge.join();
}

class SysfsStableViewTest : public SysfsLiveViewTest {
 protected:
  SysfsStableViewTest() : SysfsLiveViewTest(LinuxParticipantNaming::Stable) {}
};

// Names count within each type, in kernel number order; the path is no
// name here.
TEST_F(SysfsStableViewTest, StableNamesCountWithinEachType) {
  mTree.AddZone(0, "x86_pkg_temp", 50000);
  mTree.AddZone(3, "acpitz", 40000);
  mTree.AddZone(1, "acpitz", 41000);
  mTree.AddZone(4, "INT3400 Thermal", 20000);
  mTree.AddCooling(2, "Processor", 3, 0);
  mTree.AddCooling(0, "Processor", 3, 0);
  mTree.AddCooling(1, "Fan", 1, 0);
  CSysfsThermalView& view = mPlatform.ThermalView();
  const std::pair<uint32_t, std::wstring> zones[] = {{0, L"zone:x86_pkg_temp:0"},
                                                     {1, L"zone:acpitz:0"},
                                                     {3, L"zone:acpitz:1"},
                                                     {4, L"zone:INT3400_Thermal:0"}};
  for (const auto& [n, name] : zones) {
    EXPECT_EQ(view.ZoneName(n), name);
  }
  const std::pair<uint32_t, std::wstring> coolers[] = {
      {0, L"cooling:Processor:0"}, {1, L"cooling:Fan:0"}, {2, L"cooling:Processor:1"}};
  for (const auto& [n, name] : coolers) {
    EXPECT_EQ(view.CoolingDeviceName(n), name);
  }
  EXPECT_NE(Open(L"zone:acpitz:1"), nullptr);
  EXPECT_EQ(Open(mTree.ZonePathW(1)), nullptr);
}

TEST(SysfsStableNameTest, TypeTextsAreCleaned) {
  const std::pair<std::string, std::string> cases[] = {
      {"acpitz", "acpitz"}, {"INT3400 Thermal", "INT3400_Thermal"},       {"a:b\xc3\xa9", "a_b__"},
      {"", "unknown"},      {std::string(50, 'x'), std::string(40, 'x')},
  };
  for (const auto& [type, text] : cases) {
    EXPECT_EQ(StableTypeText(type), text) << type;
  }
  EXPECT_EQ(StableParticipantName("cooling", std::string(40, 'x'), 123).size(), 52u);
}

}  // namespace
