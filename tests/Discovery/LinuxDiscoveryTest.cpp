// Discovery end to end on the Linux platform over a fake sysfs tree: thermal
// zones and cooling devices are the registry-listed participants, linked as
// the zones' cdev links say; without a thermal class the platform counts as
// disabled.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "DiscoveryTest.h"
#include "support/FakeSysfs.h"
#include "zivorivizo/StatusCodes.h"

namespace {

using Names = std::vector<std::wstring>;

class LinuxDiscoveryTest : public CDiscoveryTest {};

TEST_F(LinuxDiscoveryTest, ZonesAndCoolingDevicesAreDiscoveredAndLinked) {
  CFakeSysfs sysfs;
  sysfs.AddZone(0, "x86_pkg_temp", 45000);
  sysfs.AddZone(1, "acpitz", 40000);
  sysfs.AddCooling(0, "Processor", 3, 0);
  sysfs.AddCooling(1, "Fan", 1, 0);
  sysfs.LinkCooling(0, 0, 1);
  sysfs.LinkCooling(0, 1, 0);
  // A zone whose number does not fit in 32 bits is no zone.
  std::filesystem::create_directories(sysfs.Root() + "/class/thermal/thermal_zone4294967296");
  std::ofstream(sysfs.Root() + "/class/thermal/thermal_zone4294967296/temp") << "50000\n";
  CPlatform::Install(CreateLinuxPlatform(sysfs.Root()));
  const std::string before = sysfs.Snapshot();

  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(SensorNames(), (Names{sysfs.ZonePathW(0), sysfs.ZonePathW(1)}));
  EXPECT_EQ(DeviceNames(), (Names{sysfs.CoolingPathW(0), sysfs.CoolingPathW(1)}));
  CSensor* zone0 = SensorList().front();
  EXPECT_EQ(Links(zone0), (Names{sysfs.CoolingPathW(1), sysfs.CoolingPathW(0)}));
  EXPECT_EQ(zone0->mSensor.TempHistory.front().Temp, 3182);
  EXPECT_EQ(sysfs.Snapshot(), before) << "discovery writes nothing";
}

// The manager looks at the tree again when it enumerates and adds: a zone
// that went is left out, one that came can be added, and a new zone's device
// numbers name the devices it is bound to although a device before them went.
TEST_F(LinuxDiscoveryTest, EnumerateAndAddFollowTheTree) {
  CFakeSysfs sysfs;
  sysfs.AddZone(0, "acpitz", 40000);
  sysfs.AddZone(1, "skin", 30000);
  for (uint32_t n = 0; n < 3; ++n) sysfs.AddCooling(n, "Processor", 3, 0);
  CPlatform::Install(CreateLinuxPlatform(sysfs.Root()));
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);

  sysfs.Remove("cooling_device1");
  sysfs.AddZone(2, "x86_pkg_temp", 50000);
  sysfs.LinkCooling(2, 0, 2);
  ASSERT_EQ(Manager().AddSensor(sysfs.ZonePathW(2)), ZIVO_SUCCESS);
  CSensor* added = SensorNamed(sysfs.ZonePathW(2));
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->mSensor.Devices, (Names{sysfs.CoolingPathW(2)}));
  EXPECT_EQ(Links(added), (Names{sysfs.CoolingPathW(2)}));

  sysfs.Remove("thermal_zone1");
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(SensorNames(), (Names{sysfs.ZonePathW(0), sysfs.ZonePathW(2)}));
  EXPECT_EQ(DeviceNames(), (Names{sysfs.CoolingPathW(0), sysfs.CoolingPathW(2)}));
  sysfs.AddCooling(5, "Fan", 2, 0);
  EXPECT_EQ(Manager().AddDevice(sysfs.CoolingPathW(5)), ZIVO_SUCCESS);
  EXPECT_EQ(Manager().AddDevice(sysfs.CoolingPathW(1)), ZIVO_PARTICIPANT_NOT_FOUND);
}

// Two boots that number the same zones and cooling devices differently: with
// the stable naming one policy reaches the same zone and device in both.
TEST_F(LinuxDiscoveryTest, StableNamesCarryOnePolicyAcrossRenumbering) {
  const uint32_t boots[][4] = {{0, 1, 0, 1}, {3, 0, 1, 0}};  // skin, cpu, fan, processor
  for (const auto& [skin, cpu, fan, processor] : boots) {
    CFakeSysfs sysfs;
    sysfs.AddZone(skin, "skin", 33000);
    sysfs.AddZone(cpu, "x86_pkg_temp", 61000);
    sysfs.AddCooling(fan, "Fan", 3, 0);
    sysfs.AddCooling(processor, "Processor", 10, 0);
    sysfs.LinkCooling(cpu, 0, processor);
    CPlatform::Install(CreateLinuxPlatform(sysfs.Root(), LinuxParticipantNaming::Stable));
    LoadSkinConfig(L"zone:skin:0", {L"cooling:Fan:0"});
    ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);

    CSensor* skinZone = SensorNamed(L"zone:skin:0");
    CSensor* cpuZone = SensorNamed(L"zone:x86_pkg_temp:0");
    ASSERT_TRUE(skinZone && cpuZone) << skin;
    EXPECT_EQ(skinZone->mSensor.TempHistory.front().Temp, 3062) << skin;
    EXPECT_EQ(Links(skinZone), (Names{L"cooling:Fan:0"}));
    EXPECT_EQ(cpuZone->mSensor.TempHistory.front().Temp, 3342) << skin;
    EXPECT_EQ(Links(cpuZone), (Names{L"cooling:Processor:0"}));
    COSParticipantManager::DeleteInstance();
    COSConfigManager::DeleteInstance();
  }
}

TEST_F(LinuxDiscoveryTest, ATreeWithoutTheThermalClassIsDisabled) {
  CFakeSysfs sysfs;
  std::filesystem::remove_all(sysfs.Root() + "/class");
  CPlatform::Install(CreateLinuxPlatform(sysfs.Root()));
  try {
    COSParticipantManager::GetInstance();
    ADD_FAILURE() << "no exception";
  } catch (int thrown) {
    EXPECT_EQ(thrown, ZIVO_THROW_PLATFORM_DISABLED);
  }
}

}  // namespace
