// The Linux registry view: what it lists, when it scans, and the path length
// the library can read back.
#include <gtest/gtest.h>

#include <memory>

#include "Platform/Linux/LinuxPlatform.h"
#include "Platform/Linux/SysfsRegistry.h"
#include "Platform/Registry.h"
#include "support/FakeSysfs.h"

namespace {

std::unique_ptr<CRegistryKey> OpenParameters(CRegistry& registry) {
  long status = -1;
  auto key = registry.Open(SYSFS_PARAMETERS_KEY, REG_ACCESS_READ, status);
  EXPECT_EQ(status, REG_STATUS_SUCCESS);
  return key;
}

uint32_t Count(CRegistryKey& key, const wchar_t* name) {
  uint32_t count = 0xFFFFFFFF;
  EXPECT_EQ(key.QueryDword(name, count), REG_STATUS_SUCCESS) << name;
  return count;
}

std::wstring Path(CRegistryKey& key, const std::wstring& name) {
  std::wstring path;
  EXPECT_EQ(key.QueryString(name, 128, path), REG_STATUS_SUCCESS) << name;
  return path;
}

TEST(SysfsRegistryTest, ListsZonesAndCoolingDevicesInNumericOrder) {
  CFakeSysfs tree;
  tree.AddZone(10, "acpitz", 40000);
  tree.AddZone(2, "skin", 30000);
  tree.AddZone(0, "x86_pkg_temp", 50000);
  tree.AddCooling(3, "Fan", 3, 0);
  tree.AddCooling(1, "Processor", 10, 0);
  CSysfsRegistry registry(tree.Root());

  auto key = OpenParameters(registry);
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(Count(*key, L"SensorCount"), 3u);
  EXPECT_EQ(Path(*key, L"Sensor0"), tree.ZonePathW(0));
  EXPECT_EQ(Path(*key, L"Sensor1"), tree.ZonePathW(2));
  EXPECT_EQ(Path(*key, L"Sensor2"), tree.ZonePathW(10));
  ASSERT_EQ(Count(*key, L"DeviceCount"), 2u);
  EXPECT_EQ(Path(*key, L"Device0"), tree.CoolingPathW(1));
  EXPECT_EQ(Path(*key, L"Device1"), tree.CoolingPathW(3));
  std::wstring none;
  EXPECT_EQ(key->QueryString(L"Sensor3", 128, none), REG_STATUS_NOT_FOUND);
  EXPECT_EQ(key->QueryString(L"Device2", 128, none), REG_STATUS_NOT_FOUND);

  long status = -1;
  auto notify = registry.Open(SYSFS_DRIVER_NOTIFY_KEY, REG_ACCESS_ALL, status);
  ASSERT_NE(notify, nullptr);
  uint32_t value = 0;
  EXPECT_EQ(notify->QueryDword(L"Sensor0", value), REG_STATUS_NOT_FOUND);
}

// The platform is made before anything is asked of it (the log reads its
// clock at any time): the tree is scanned on the first registry open, and
// again only when the registry is refreshed.
TEST(SysfsRegistryTest, ScansOnTheFirstOpenAndOnRefresh) {
  CFakeSysfs tree;
  CLinuxPlatform platform(tree.Root(), "unix:path=/nonexistent/bus");
  tree.AddZone(0, "skin", 30000);

  auto key = OpenParameters(platform.Registry());
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(Count(*key, L"SensorCount"), 1u);
  tree.AddZone(1, "acpitz", 30000);
  auto again = OpenParameters(platform.Registry());
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(Count(*again, L"SensorCount"), 1u);
  platform.Registry().Refresh();
  auto refreshed = OpenParameters(platform.Registry());
  ASSERT_NE(refreshed, nullptr);
  EXPECT_EQ(Count(*refreshed, L"SensorCount"), 2u);
}

TEST(SysfsRegistryTest, AMissingRootListsNothing) {
  CSysfsRegistry registry("/nonexistent-zv-root");
  auto key = OpenParameters(registry);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(Count(*key, L"SensorCount"), 0u);
  EXPECT_EQ(Count(*key, L"DeviceCount"), 0u);
}

// The library reads paths into 128 bytes: 63 characters and the terminator.
TEST(SysfsRegistryTest, PathsLongerThan63CharactersDoNotRead) {
  CFakeSysfs tree(63 - std::string("/class/thermal/thermal_zone0").size());
  tree.AddZone(0, "skin", 30000);
  tree.AddZone(10, "acpitz", 30000);
  ASSERT_EQ(tree.ZonePath(0).size(), 63u);
  CSysfsRegistry registry(tree.Root());
  auto key = OpenParameters(registry);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(Path(*key, L"Sensor0"), tree.ZonePathW(0));
  std::wstring path = L"untouched";
  EXPECT_EQ(key->QueryString(L"Sensor1", 128, path), REG_STATUS_MORE_DATA);
  EXPECT_EQ(path, L"untouched");
}

}  // namespace
