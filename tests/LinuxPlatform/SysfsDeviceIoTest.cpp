// What the sysfs drivers do beyond the shared driver protocol: the mapping of
// kernel type texts, device numbers that agree with the registry view, the
// trip point files, and descriptors that do not leak.
#include <gtest/gtest.h>

#include <dirent.h>

#include <array>
#include <cstring>
#include <memory>

#include "Platform/DriverProtocol.h"
#include "Platform/Linux/SysfsDeviceIo.h"
#include "Platform/Linux/SysfsRegistry.h"
#include "Platform/Linux/SysfsTypeMap.h"
#include "support/FakeSysfs.h"

namespace {

class SysfsDeviceIoTest : public testing::Test {
 protected:
  std::unique_ptr<CDeviceHandle> Open(const std::wstring& path) {
    uint32_t error = 0;
    auto handle = mIo.Open(path, error);
    EXPECT_NE(handle, nullptr) << "error " << error;
    return handle;
  }

  template <typename T>
  T Read(CDeviceHandle& handle, uint32_t code) {
    std::array<std::byte, sizeof(T)> out{};
    uint32_t error = 0;
    EXPECT_TRUE(handle.Control(code, {}, out, error)) << "error " << error;
    T value{};
    std::memcpy(&value, out.data(), sizeof(T));
    return value;
  }

  CFakeSysfs mTree;
  CSysfsDeviceIo mIo{mTree.Root()};
};

int OpenDescriptorCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) {
      ++count;
    }
    closedir(dir);
  }
  return count;
}

TEST(SysfsTypeMapTest, KernelTypeTextsGetTheDocumentedCodes) {
  const std::pair<const char*, uint32_t> zones[] = {{"skin", 1},
                                                    {"SKIN-therm", 1},
                                                    {"x86_pkg_temp", 2},
                                                    {"cpu-thermal", 2},
                                                    {"soc_dts0", 2},
                                                    {"gpu-thermal", 3},
                                                    {"BAT0", 4},
                                                    {"TMEM", 5},
                                                    {"nvme", 6},
                                                    {"iwlwifi_1", 7},
                                                    {"charger", 8},
                                                    {"acpitz", 9},
                                                    {"pch_skylake", 9},
                                                    {"INT3400 Thermal", 0},
                                                    {"", 0}};
  for (const auto& [text, code] : zones) {
    EXPECT_EQ(SensorTypeFromSysfs(text), code) << text;
  }
  const std::pair<const char*, uint32_t> coolers[] = {
      {"Fan", 9},        {"pwm-fan", 9},           {"Processor", 1},     {"intel_powerclamp", 1},
      {"TCC Offset", 1}, {"thermal-cpufreq-0", 1}, {"gpu", 2},           {"LCD", 3},
      {"wwan", 6},       {"thermal-devfreq-0", 8}, {"vendor-device", 0}, {"", 0}};
  for (const auto& [text, code] : coolers) {
    EXPECT_EQ(DeviceClassFromSysfs(text), code) << text;
  }
}

// Cooling devices 0, 2 and 5 are registry devices 0, 1 and 2; the zone names
// them by those indexes, once each, and leaves out a link to a device that is
// not in the list.
TEST_F(SysfsDeviceIoTest, LinkedDevicesAreReportedByRegistryIndex) {
  mTree.AddCooling(0, "Processor", 10, 0);
  mTree.AddCooling(2, "LCD", 7, 0);
  mTree.AddCooling(5, "Fan", 3, 0);
  mTree.AddZone(0, "x86_pkg_temp", 45000);
  mTree.LinkCooling(0, 0, 5);
  mTree.LinkCooling(0, 1, 0);
  mTree.LinkCooling(0, 2, 5);   // the fan again, for another trip point
  mTree.LinkCooling(0, 3, 7);   // no such cooling device
  mTree.LinkCooling(0, 10, 2);  // cdev10 sorts after cdev3

  auto zone = Open(mTree.ZonePathW(0));
  ASSERT_NE(zone, nullptr);
  const auto info = Read<_tagSSensorInfoBlock>(*zone, DRIVER_SENSOR_GET_INFO);
  ASSERT_EQ(info.DeviceCount, 3u);
  EXPECT_EQ(info.DeviceNumbers[0], 2u);
  EXPECT_EQ(info.DeviceNumbers[1], 0u);
  EXPECT_EQ(info.DeviceNumbers[2], 1u);
  EXPECT_EQ(info.Type, 2u);

  CSysfsRegistry registry(mTree.Root());
  long status = 0;
  auto key = registry.Open(SYSFS_PARAMETERS_KEY, REG_ACCESS_READ, status);
  ASSERT_NE(key, nullptr);
  std::wstring path;
  EXPECT_EQ(key->QueryString(L"Device2", 128, path), REG_STATUS_SUCCESS);
  EXPECT_EQ(path, mTree.CoolingPathW(5));
  EXPECT_EQ(key->QueryString(L"Device1", 128, path), REG_STATUS_SUCCESS);
  EXPECT_EQ(path, mTree.CoolingPathW(2));
}

TEST_F(SysfsDeviceIoTest, TripPointsFollowTheZoneFiles) {
  mTree.AddZone(0, "acpitz", -5500);
  mTree.SetTrip(0, 0, 95000);
  mTree.AddZone(1, "acpitz", 40000);
  for (uint32_t k = 0; k < 3; ++k) {
    mTree.SetTrip(1, k, 70000 + 10000 * k, k != 1);
  }
  auto one = Open(mTree.ZonePathW(0));
  auto three = Open(mTree.ZonePathW(1));
  ASSERT_NE(one, nullptr);
  ASSERT_NE(three, nullptr);

  EXPECT_EQ(Read<int32_t>(*one, DRIVER_SENSOR_GET_TEMP), 2677);  // -5.5 C
  auto info = Read<_tagSSensorInfoBlock>(*one, DRIVER_SENSOR_GET_INFO);
  EXPECT_EQ(info.AuxCount, 1u);
  EXPECT_EQ(info.Aux0Trip, 3682u);
  const auto trips = Read<_tagSTripBlock>(*one, DRIVER_SENSOR_GET_TRIPS);
  EXPECT_EQ(trips.Aux0Temp, 3682);
  EXPECT_EQ(trips.Aux1Temp, 0) << "a missing trip point reads as 0, not as a failure";

  info = Read<_tagSSensorInfoBlock>(*three, DRIVER_SENSOR_GET_INFO);
  EXPECT_EQ(info.AuxCount, 3u);
  EXPECT_EQ(info.Aux1Trip, 3532u);

  // Trip point 1 of the second zone is read-only: nothing is written, not
  // even the writable trip point 0 that comes first.
  const std::string before = mTree.Snapshot();
  std::array<std::byte, sizeof(_tagSTripBlock)> in{};
  const _tagSTripBlock block{0, 3332, 1, 3432};
  std::memcpy(in.data(), &block, sizeof(block));
  uint32_t error = 0;
  EXPECT_FALSE(three->Control(DRIVER_SENSOR_SET_TRIPS, in, {}, error));
  EXPECT_EQ(error, DEVICE_ERROR_ACCESS_DENIED);
  EXPECT_EQ(mTree.Snapshot(), before);

  // A trip point the zone does not have cannot be written either.
  const _tagSTripBlock missing{0, 3332, 5, 3432};
  std::memcpy(in.data(), &missing, sizeof(missing));
  EXPECT_FALSE(one->Control(DRIVER_SENSOR_SET_TRIPS, in, {}, error));
  EXPECT_EQ(error, DEVICE_ERROR_FILE_NOT_FOUND);

  // Written in millidegrees, as the kernel takes them.
  const _tagSTripBlock both{0, 3332, 2, 2632};
  std::memcpy(in.data(), &both, sizeof(both));
  EXPECT_TRUE(three->Control(DRIVER_SENSOR_SET_TRIPS, in, {}, error));
  EXPECT_EQ(mTree.ReadAttribute("thermal_zone1", "trip_point_0_temp"), "60000\n");
  EXPECT_EQ(mTree.ReadAttribute("thermal_zone1", "trip_point_2_temp").rfind("-10000\n", 0), 0u);
}

TEST_F(SysfsDeviceIoTest, OnlyZoneAndCoolingFoldersOpen) {
  mTree.AddZone(0, "skin", 30000);
  const std::string before = mTree.Snapshot();
  uint32_t error = 0;
  for (const std::string& path :
       {mTree.Root() + "/class/thermal", mTree.ZonePath(0) + "/temp", mTree.ZonePath(0) + "/cdev0",
        mTree.Root() + "/class/thermal/thermal_zone7/temp"}) {
    EXPECT_EQ(mIo.Open(std::wstring(path.begin(), path.end()), error), nullptr) << path;
    EXPECT_EQ(error, DEVICE_ERROR_FILE_NOT_FOUND) << path;
  }
  EXPECT_EQ(mTree.Snapshot(), before);
}

TEST_F(SysfsDeviceIoTest, UnreadableValuesFailTheRequest) {
  mTree.AddZone(0, "skin", 30000);
  mTree.WriteAttribute("thermal_zone0", "temp", "not a number\n", 0444);
  mTree.AddCooling(0, "Fan", 3, 0);
  mTree.WriteAttribute("cooling_device0", "cur_state", "", 0644);
  auto zone = Open(mTree.ZonePathW(0));
  auto fan = Open(mTree.CoolingPathW(0));
  ASSERT_NE(zone, nullptr);
  ASSERT_NE(fan, nullptr);
  std::array<std::byte, 4> out{};
  uint32_t error = 0;
  EXPECT_FALSE(zone->Control(DRIVER_SENSOR_GET_TEMP, {}, out, error));
  EXPECT_EQ(error, DEVICE_ERROR_GEN_FAILURE);
  EXPECT_FALSE(fan->Control(DRIVER_DEVICE_GET_STATE, {}, out, error));
  EXPECT_EQ(error, DEVICE_ERROR_GEN_FAILURE);

  mTree.SetCoolingState(0, 2);
  EXPECT_EQ(Read<uint32_t>(*fan, DRIVER_DEVICE_GET_STATE), 2u);
}

TEST_F(SysfsDeviceIoTest, ClosingAHandleClosesItsFiles) {
  mTree.AddZone(0, "skin", 30000);
  mTree.SetTrip(0, 0, 50000);
  mTree.SetTrip(0, 1, 60000);
  mTree.AddCooling(0, "Fan", 3, 1);
  mTree.LinkCooling(0, 0, 0);
  const int before = OpenDescriptorCount();
  {
    auto zone = Open(mTree.ZonePathW(0));
    auto fan = Open(mTree.CoolingPathW(0));
    ASSERT_NE(zone, nullptr);
    ASSERT_NE(fan, nullptr);
    Read<_tagSSensorInfoBlock>(*zone, DRIVER_SENSOR_GET_INFO);
    Read<int32_t>(*zone, DRIVER_SENSOR_GET_TEMP);
    Read<_tagSTripBlock>(*zone, DRIVER_SENSOR_GET_TRIPS);
    Read<_tagSDeviceInfoBlock>(*fan, DRIVER_DEVICE_GET_INFO);
    Read<uint32_t>(*fan, DRIVER_DEVICE_GET_STATE);
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

}  // namespace
