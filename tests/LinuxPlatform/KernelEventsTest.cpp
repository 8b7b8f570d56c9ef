// The kernel's thermal events on the Linux platform, end to end: netlink
// messages built with libnl go through the reader's seam, and a host's
// listener on the event manager receives what a driver or the firmware would
// have raised, named as the parameters view publishes the participants.
#include <gtest/gtest.h>
#include <linux/thermal.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>

#include <algorithm>

#include "Platform/Linux/KernelThermalEvents.h"
#include "Platform/Linux/LinuxPlatform.h"
#include "support/EventTest.h"
#include "support/FakeSysfs.h"
#include "zivorivizo/OSParticipantMgr.h"

namespace {

class KernelEventsTest : public CSimPlatformTest {
 protected:
  static constexpr int kFamily = 0x1d;  // the family id the kernel gave "thermal"

  void SetUp() override {
    CSimPlatformTest::SetUp();
    mSysfs.AddZone(0, "x86_pkg_temp", 45000);
    mSysfs.AddZone(2, "acpitz", 40000);
    mSysfs.AddCooling(1, "Fan", 3, 0);
    CPlatform::Install(mLinux);
    mManager = COSParticipantManager::GetInstance();
    ASSERT_EQ(mManager->Enumerate(), 0);
    // A test tree is not what the kernel's events describe: Init succeeds
    // with one Warning line, and the reader is not started.
    ASSERT_EQ(COSEventManager::GetInstance()->Init(), 0);
    int warnings = 0;
    for (const std::string& line : mLog.Lines()) {
      warnings += line.find("WARNING : ") != std::string::npos &&
                  line.find("Kernel thermal events are not available") != std::string::npos;
    }
    EXPECT_EQ(warnings, 1) << mLog.Text();
    EXPECT_FALSE(Reader().Running());
    Reader().ExpectFamily(kFamily);
    COSEventManager::GetInstance()->AddEventListener(&mHost,
                                                     static_cast<VelmarEventListenerType>(31));
  }
  CThermalNetlinkReader& Reader() {
    return static_cast<CKernelThermalEvents&>(mLinux->Events()).Reader();
  }
  // One message of the thermal family, as the kernel sends it.
  void Feed(uint8_t command, uint32_t id) {
    const bool cooling =
        command == THERMAL_GENL_EVENT_CDEV_ADD || command == THERMAL_GENL_EVENT_CDEV_DELETE;
    nl_msg* message = nlmsg_alloc();
    genlmsg_put(message, NL_AUTO_PORT, NL_AUTO_SEQ, kFamily, 0, 0, command, THERMAL_GENL_VERSION);
    nla_put_u32(message, cooling ? THERMAL_GENL_ATTR_CDEV_ID : THERMAL_GENL_ATTR_TZ_ID, id);
    Reader().Deliver(message);
    nlmsg_free(message);
  }
  // The events heard once there are `count`.
  std::vector<HeardEvent> Heard(std::size_t count) {
    EXPECT_TRUE(mHost.WaitFor(count));
    return mHost.Heard();
  }

  CFakeSysfs mSysfs;
  std::shared_ptr<CLinuxPlatform> mLinux = std::make_shared<CLinuxPlatform>(mSysfs.Root());
  COSParticipantManager* mManager = nullptr;
  CRecordingListener mHost;
};

TEST_F(KernelEventsTest, ATripCrossedIsTheZonesDriverNotification) {
  // Zone 2 is the second zone listed: Sensor1. A zone the view does not
  // know, even after a rescan, is dropped.
  Feed(THERMAL_GENL_EVENT_TZ_TRIP_UP, 2);
  Heard(1);
  Feed(THERMAL_GENL_EVENT_TZ_TRIP_UP, 9);
  Feed(THERMAL_GENL_EVENT_TZ_TRIP_DOWN, 0);
  EXPECT_EQ(Heard(2), (std::vector<HeardEvent>{{THERMAL_EVENT, mSysfs.ZonePathW(2), 1},
                                               {THERMAL_EVENT, mSysfs.ZonePathW(0), 1}}));
}

TEST_F(KernelEventsTest, ParticipantsComingAndGoingReachTheHostUnderTheViewsNames) {
  // A zone and a cooling device appear: the host adds them by the names heard.
  mSysfs.AddZone(5, "skin", 35000);
  Feed(THERMAL_GENL_EVENT_TZ_CREATE, 5);
  EXPECT_EQ(Heard(1).back(), (HeardEvent{ADD_SENSOR_EVENT, mSysfs.ZonePathW(5), 1}));
  EXPECT_EQ(mManager->AddSensor(mSysfs.ZonePathW(5)), 0);
  mSysfs.AddCooling(4, "Processor", 10, 0);
  Feed(THERMAL_GENL_EVENT_CDEV_ADD, 4);
  EXPECT_EQ(Heard(2).back(), (HeardEvent{ADD_DEVICE_EVENT, mSysfs.CoolingPathW(4), 1}));
  EXPECT_EQ(mManager->AddDevice(mSysfs.CoolingPathW(4)), 0);

  // A trip of the new zone sets its own notification value, Sensor2, and is
  // heard although the count read at Init was two.
  Feed(THERMAL_GENL_EVENT_TZ_TRIP_UP, 5);
  EXPECT_EQ(Heard(3).back(), (HeardEvent{THERMAL_EVENT, mSysfs.ZonePathW(5), 1}));

  // They go: named as the view listed them, and the host removes them. A
  // deletion of something the view never listed reports nothing.
  mSysfs.Remove("thermal_zone5");
  Feed(THERMAL_GENL_EVENT_TZ_DELETE, 5);
  Feed(THERMAL_GENL_EVENT_TZ_DELETE, 7);
  mSysfs.Remove("cooling_device4");
  Feed(THERMAL_GENL_EVENT_CDEV_DELETE, 4);
  mSysfs.AddZone(6, "late", 30000);
  Feed(THERMAL_GENL_EVENT_TZ_CREATE, 6);
  auto heard = Heard(6);
  std::sort(heard.begin() + 3, heard.end(), [](auto& a, auto& b) { return a.kind < b.kind; });
  EXPECT_EQ(std::vector<HeardEvent>(heard.begin() + 3, heard.end()),
            (std::vector<HeardEvent>{{ADD_SENSOR_EVENT, mSysfs.ZonePathW(6), 1},
                                     {REMOVE_SENSOR_EVENT, mSysfs.ZonePathW(5), 1},
                                     {REMOVE_DEVICE_EVENT, mSysfs.CoolingPathW(4), 1}}));
  EXPECT_EQ(mManager->RemoveSensor(mSysfs.ZonePathW(5)), 0);
  EXPECT_EQ(mManager->RemoveDevice(mSysfs.CoolingPathW(4)), 0);
}

}  // namespace
