// The driver-backed participants on the Linux platform over a fake sysfs
// tree: what they read from zones and cooling devices, and what they write.
// Power points at a bus that does not exist, so nothing here could reach the
// machine's logind.
#include <gtest/gtest.h>

#include <memory>

#include "PartMgr/NonWmiDevice.h"
#include "PartMgr/NonWmiSensor.h"
#include "Platform/Linux/LinuxPlatform.h"
#include "support/FakeSysfs.h"
#include "support/SimPlatformTest.h"

namespace {

class SysfsParticipantsTest : public CSimPlatformTest {
 protected:
  void SetUp() override {
    CSimPlatformTest::SetUp();
    CPlatform::Install(
        std::make_shared<CLinuxPlatform>(mTree.Root(), "unix:path=/nonexistent-zv-bus/socket"));
  }
  void TearDown() override {
    CSimPlatformTest::TearDown();
    CPlatform::Install(mPlatform);
  }

  CFakeSysfs mTree;
};

TEST_F(SysfsParticipantsTest, SensorAndDeviceReadAndWriteTheirFolders) {
  mTree.AddCooling(0, "Processor", 10, 0);
  mTree.AddCooling(4, "Fan", 3, 1);
  mTree.AddZone(0, "skin", 31500);
  mTree.SetTrip(0, 0, 45000);
  mTree.SetTrip(0, 1, 50000);
  mTree.LinkCooling(0, 0, 4);
  mTree.LinkCooling(0, 1, 0);

  CNonWmiDevice fan(mTree.CoolingPathW(4));
  EXPECT_EQ(fan.mDevice.Name, mTree.CoolingPathW(4));
  EXPECT_EQ(fan.mDevice.Class, 9u);
  EXPECT_EQ(fan.mDevice.Max, 3u);
  EXPECT_EQ(fan.mDevice.Current, 1u);
  fan.mDevice.Current = 2;
  EXPECT_EQ(fan.SetCurrentThrottleLimit(), 0);
  EXPECT_EQ(mTree.ReadAttribute("cooling_device4", "cur_state"), "2\n");

  CNonWmiSensor skin(3, mTree.ZonePathW(0));
  EXPECT_EQ(skin.mSensor.Name, mTree.ZonePathW(0));
  EXPECT_EQ(skin.mSensor.Class, 1u);
  EXPECT_EQ(skin.mSensor.Base, 1u);
  EXPECT_EQ(skin.mSensor.Devices,
            (std::vector<std::wstring>{mTree.CoolingPathW(4), mTree.CoolingPathW(0)}));
  ASSERT_EQ(skin.mSensor.TripPoints.size(), 2u);
  EXPECT_EQ(skin.mSensor.TripPoints[0].Temp, 3182);
  EXPECT_EQ(skin.mSensor.TripPoints[1].Temp, 3232);
  ASSERT_FALSE(skin.mSensor.TempHistory.empty());
  EXPECT_EQ(skin.mSensor.TempHistory[0].Temp, 3047);

  mTree.SetZoneTemp(0, 40000);
  EXPECT_EQ(skin.Refresh(), 0);
  EXPECT_EQ(skin.mSensor.TempHistory[0].Temp, 3132);

  skin.mSensor.TripPoints[0].Temp = 3232;
  EXPECT_EQ(skin.SetSensorTripValue(), 0);
  EXPECT_EQ(mTree.ReadAttribute("thermal_zone0", "trip_point_0_temp"), "50000\n");
}

// The information block has five device slots; the count says seven, and
// the trip points after the slots stay intact.
TEST_F(SysfsParticipantsTest, AZoneWithSevenDevicesNamesTheFirstFive) {
  mTree.AddZone(0, "acpitz", 40000);
  mTree.SetTrip(0, 0, 90000);
  mTree.SetTrip(0, 1, 95000);
  for (uint32_t n = 0; n < 7; ++n) {
    mTree.AddCooling(n, "Processor", 3, 0);
    mTree.LinkCooling(0, n, n);
  }
  CNonWmiSensor zone(3, mTree.ZonePathW(0));
  ASSERT_EQ(zone.mSensor.Devices.size(), 5u);
  EXPECT_EQ(zone.mSensor.Devices[4], mTree.CoolingPathW(4));
  ASSERT_EQ(zone.mSensor.TripPoints.size(), 2u);
  EXPECT_EQ(zone.mSensor.TripPoints[1].Temp, 3682);
  EXPECT_TRUE(mLog.HasMessage("Sensor reports 7 devices, only the first 5 are read"));
}

}  // namespace
