// Discovery end to end on the Linux platform over a fake sysfs tree: thermal
// zones and cooling devices are the registry-listed participants, linked as
// the zones' cdev links say; without a thermal class the platform counts as
// disabled.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/FakeSysfs.h"
#include "support/ParticipantLists.h"
#include "support/SimPlatformTest.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/StatusCodes.h"

namespace {

class LinuxDiscoveryTest : public CSimPlatformTest {};

TEST_F(LinuxDiscoveryTest, ZonesAndCoolingDevicesAreDiscoveredAndLinked) {
  CFakeSysfs sysfs;
  sysfs.AddZone(0, "x86_pkg_temp", 45000);
  sysfs.AddZone(1, "acpitz", 40000);
  sysfs.AddCooling(0, "Processor", 3, 0);
  sysfs.AddCooling(1, "Fan", 1, 0);
  sysfs.LinkCooling(0, 0, 1);
  sysfs.LinkCooling(0, 1, 0);
  CPlatform::Install(CreateLinuxPlatform(sysfs.Root()));
  const std::string before = sysfs.Snapshot();

  COSParticipantManager* manager = COSParticipantManager::GetInstance();
  ASSERT_EQ(manager->Enumerate(), ZIVO_SUCCESS);
  std::vector<std::wstring> sensors;
  for (CSensor* sensor : CParticipantLists::Sensors(*manager)) {
    sensors.push_back(sensor->mSensor.Name);
  }
  std::vector<std::wstring> devices;
  for (CDevice* device : CParticipantLists::Devices(*manager)) {
    devices.push_back(device->mDevice.Name);
  }
  EXPECT_EQ(sensors, (std::vector<std::wstring>{sysfs.ZonePathW(0), sysfs.ZonePathW(1)}));
  EXPECT_EQ(devices, (std::vector<std::wstring>{sysfs.CoolingPathW(0), sysfs.CoolingPathW(1)}));

  CSensor* zone0 = CParticipantLists::Sensors(*manager).front();
  std::vector<std::wstring> linked;
  for (CDevice* device : zone0->mLinkedDevices) {
    linked.push_back(device->mDevice.Name);
  }
  EXPECT_EQ(linked, (std::vector<std::wstring>{sysfs.CoolingPathW(1), sysfs.CoolingPathW(0)}));
  EXPECT_EQ(zone0->mSensor.TempHistory.front().Temp, 3182);
  EXPECT_EQ(sysfs.Snapshot(), before) << "discovery writes nothing";
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
  EXPECT_TRUE(mLog.HasMessage("Velmar is Disabled in BIOS"));
}

}  // namespace
