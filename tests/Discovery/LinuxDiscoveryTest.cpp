// Discovery end to end on the Linux platform over a fake sysfs tree: thermal
// zones and cooling devices are the registry-listed participants, linked as
// the zones' cdev links say; without a thermal class the platform counts as
// disabled.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "Platform/Text.h"
#include "support/FakeSysfs.h"
#include "support/ParticipantLists.h"
#include "support/SimPlatformTest.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/StatusCodes.h"

namespace {

class LinuxDiscoveryTest : public CSimPlatformTest {
 protected:
  void TearDown() override {
    CSimPlatformTest::TearDown();
    std::error_code ignored;
    std::filesystem::remove(mConfig, ignored);
  }

  static const std::wstring& NameOf(const CSensor* sensor) { return sensor->mSensor.Name; }
  static const std::wstring& NameOf(const CDevice* device) { return device->mDevice.Name; }
  template <typename List>
  static std::vector<std::wstring> Names(const List& participants) {
    std::vector<std::wstring> names;
    for (const auto* participant : participants) {
      names.push_back(NameOf(participant));
    }
    return names;
  }
  static CSensor* SensorNamed(COSParticipantManager& manager, const std::wstring& name) {
    for (CSensor* sensor : CParticipantLists::Sensors(manager)) {
      if (sensor->mSensor.Name == name) {
        return sensor;
      }
    }
    return nullptr;
  }

  // A policy whose skin sensor `sensor` throttles `device`.
  void LoadSkinPolicy(const std::string& sensor, const std::string& device) {
    mConfig = std::filesystem::temp_directory_path() /
              ("zivo-linux-policy-" + std::to_string(getpid()) + ".xml");
    std::ofstream(mConfig)
        << "<?xml version=\"1.0\"?>\n<VelmarConfig><Platform><Shutdown option=\"hibernate\" "
           "timer=\"15\"/><Throttling preference=\"Active\"/></Platform><Sensor Path=\""
        << sensor
        << "\" class=\"1\" ThirdParty_DeviceCount=\"1\"><Temperature shutdown=\"45\" "
           "ThrottleStart=\"30\"/><SUsage enable=\"1\" aux_interval=\"2\"/><DevicePath Device0=\""
        << device << "\"/></Sensor></VelmarConfig>\n";
    COSConfigManager::GetInstance(FromUtf8(mConfig.string()));
  }

  std::filesystem::path mConfig;
};

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

// The manager looks at the tree again when it enumerates and adds: a zone
// that went is left out, one that came can be added, and a new zone's device
// numbers name the devices it is bound to although a device before them went.
TEST_F(LinuxDiscoveryTest, EnumerateAndAddFollowTheTree) {
  CFakeSysfs sysfs;
  sysfs.AddZone(0, "acpitz", 40000);
  sysfs.AddZone(1, "skin", 30000);
  for (uint32_t n = 0; n < 3; ++n) {
    sysfs.AddCooling(n, "Processor", 3, 0);
  }
  CPlatform::Install(CreateLinuxPlatform(sysfs.Root()));
  COSParticipantManager* manager = COSParticipantManager::GetInstance();
  ASSERT_EQ(manager->Enumerate(), ZIVO_SUCCESS);

  sysfs.Remove("cooling_device1");
  sysfs.AddZone(2, "x86_pkg_temp", 50000);
  sysfs.LinkCooling(2, 0, 2);
  ASSERT_EQ(manager->AddSensor(sysfs.ZonePathW(2)), ZIVO_SUCCESS);
  CSensor* added = SensorNamed(*manager, sysfs.ZonePathW(2));
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->mSensor.Devices, (std::vector<std::wstring>{sysfs.CoolingPathW(2)}));
  EXPECT_EQ(Names(added->mLinkedDevices), (std::vector<std::wstring>{sysfs.CoolingPathW(2)}));

  sysfs.Remove("thermal_zone1");
  ASSERT_EQ(manager->Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(Names(CParticipantLists::Sensors(*manager)),
            (std::vector<std::wstring>{sysfs.ZonePathW(0), sysfs.ZonePathW(2)}));
  EXPECT_EQ(Names(CParticipantLists::Devices(*manager)),
            (std::vector<std::wstring>{sysfs.CoolingPathW(0), sysfs.CoolingPathW(2)}));

  sysfs.AddCooling(5, "Fan", 2, 0);
  EXPECT_EQ(manager->AddDevice(sysfs.CoolingPathW(5)), ZIVO_SUCCESS);
  EXPECT_EQ(manager->AddDevice(sysfs.CoolingPathW(1)), ZIVO_PARTICIPANT_NOT_FOUND);
}

// Two boots that number the same zones and cooling devices differently: with
// the stable naming one policy reaches the same zone and device in both.
TEST_F(LinuxDiscoveryTest, StableNamesCarryOnePolicyAcrossRenumbering) {
  struct _tagSBoot {
    uint32_t skin, cpu, fan, processor;
  };
  const _tagSBoot boots[] = {{0, 1, 0, 1}, {3, 0, 1, 0}};
  for (const _tagSBoot& boot : boots) {
    CFakeSysfs sysfs;
    sysfs.AddZone(boot.skin, "skin", 33000);
    sysfs.AddZone(boot.cpu, "x86_pkg_temp", 61000);
    sysfs.AddCooling(boot.fan, "Fan", 3, 0);
    sysfs.AddCooling(boot.processor, "Processor", 10, 0);
    sysfs.LinkCooling(boot.cpu, 0, boot.processor);
    CPlatform::Install(CreateLinuxPlatform(sysfs.Root(), LinuxParticipantNaming::Stable));
    LoadSkinPolicy("zone:skin:0", "cooling:Fan:0");
    COSParticipantManager* manager = COSParticipantManager::GetInstance();
    ASSERT_EQ(manager->Enumerate(), ZIVO_SUCCESS);

    CSensor* skin = SensorNamed(*manager, L"zone:skin:0");
    CSensor* cpu = SensorNamed(*manager, L"zone:x86_pkg_temp:0");
    ASSERT_TRUE(skin && cpu) << boot.skin;
    EXPECT_EQ(skin->mSensor.TempHistory.front().Temp, 3062) << boot.skin;
    EXPECT_EQ(Names(skin->mLinkedDevices), (std::vector<std::wstring>{L"cooling:Fan:0"}));
    EXPECT_EQ(cpu->mSensor.TempHistory.front().Temp, 3342) << boot.skin;
    EXPECT_EQ(Names(cpu->mLinkedDevices), (std::vector<std::wstring>{L"cooling:Processor:0"}));
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
  EXPECT_TRUE(mLog.HasMessage("Velmar is Disabled in BIOS"));
}

}  // namespace
