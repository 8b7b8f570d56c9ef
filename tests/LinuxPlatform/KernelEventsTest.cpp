// The kernel's thermal events on the Linux platform, end to end: netlink
// messages built with libnl go through the reader's seam, and a host's
// listener on the event manager receives what a driver or the firmware would
// have raised, named as the parameters view publishes the participants.
#include <gtest/gtest.h>
#include <linux/thermal.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/DriverProtocol.h"
#include "Platform/Linux/KernelThermalEvents.h"
#include "Platform/Linux/LinuxPlatform.h"
#include "Platform/PlatformEvents.h"
#include "Platform/Registry.h"
#include "support/FakeSysfs.h"
#include "support/SimPlatformTest.h"
#include "zivorivizo/OSEventManager.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/StatusCodes.h"

namespace {

struct Heard {
  VelmarEventListenerType kind;
  std::wstring name;
  int id;
  bool operator==(const Heard&) const = default;
};

class CHostListener : public CEventListener {
 public:
  int ProcessEvent(VelmarEventListenerType kind, std::wstring name, int eventId, void*) override {
    std::lock_guard<std::mutex> hold(mLock);
    mHeard.push_back({kind, std::move(name), eventId});
    mArrived.notify_all();
    return 0;
  }
  // The events heard so far, once there are at least `count` (or after a
  // bounded wait, whatever arrived).
  std::vector<Heard> WaitFor(std::size_t count) {
    std::unique_lock<std::mutex> lock(mLock);
    mArrived.wait_for(lock, std::chrono::seconds(5), [&] { return mHeard.size() >= count; });
    return mHeard;
  }

 private:
  std::mutex mLock;
  std::condition_variable mArrived;
  std::vector<Heard> mHeard;
};

class KernelEventsTest : public CSimPlatformTest {
 protected:
  void SetUp() override {
    CSimPlatformTest::SetUp();
    mSysfs.AddZone(0, "x86_pkg_temp", 45000);
    mSysfs.AddZone(2, "acpitz", 40000);
    mSysfs.AddCooling(1, "Fan", 3, 0);
    mLinux = std::make_shared<CLinuxPlatform>(mSysfs.Root());
    CPlatform::Install(mLinux);
    mManager = COSParticipantManager::GetInstance();
    ASSERT_EQ(mManager->Enumerate(), 0);
    mEvents = COSEventManager::GetInstance();
  }
  void TearDown() override {
    COSEventManager::DeleteInstance();
    CSimPlatformTest::TearDown();
  }

  // One message of the thermal family, as the kernel sends it.
  void Feed(uint8_t command, int idAttribute, uint32_t id) {
    nl_msg* message = nlmsg_alloc();
    ASSERT_NE(
        genlmsg_put(message, NL_AUTO_PORT, NL_AUTO_SEQ, 0x1d, 0, 0, command, THERMAL_GENL_VERSION),
        nullptr);
    ASSERT_EQ(nla_put_u32(message, idAttribute, id), 0);
    static_cast<CKernelThermalEvents&>(mLinux->Events()).Reader().Deliver(message);
    nlmsg_free(message);
  }

  CFakeSysfs mSysfs;
  std::shared_ptr<CLinuxPlatform> mLinux;
  COSParticipantManager* mManager = nullptr;
  COSEventManager* mEvents = nullptr;
};

TEST_F(KernelEventsTest, ATripCrossedIsTheZonesDriverNotification) {
  ASSERT_EQ(mEvents->Init(), 0);
  CHostListener listener;
  mEvents->AddEventListener(&listener, THERMAL_EVENT);
  // Zone 2 is the second zone listed: Sensor1.
  Feed(THERMAL_GENL_EVENT_TZ_TRIP_UP, THERMAL_GENL_ATTR_TZ_ID, 2);
  auto heard = listener.WaitFor(1);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0], (Heard{THERMAL_EVENT, mSysfs.ZonePathW(2), 1}));
  Feed(THERMAL_GENL_EVENT_TZ_TRIP_DOWN, THERMAL_GENL_ATTR_TZ_ID, 0);
  heard = listener.WaitFor(2);
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[1], (Heard{THERMAL_EVENT, mSysfs.ZonePathW(0), 1}));
  // A zone the view does not know, even after a rescan, is dropped.
  Feed(THERMAL_GENL_EVENT_TZ_TRIP_UP, THERMAL_GENL_ATTR_TZ_ID, 9);
  Feed(THERMAL_GENL_EVENT_TZ_TRIP_UP, THERMAL_GENL_ATTR_TZ_ID, 0);
  heard = listener.WaitFor(3);
  ASSERT_EQ(heard.size(), 3u);
  EXPECT_EQ(heard[2].name, mSysfs.ZonePathW(0));
  mEvents->RemoveEventListener(&listener, THERMAL_EVENT);
}

TEST_F(KernelEventsTest, ParticipantsComingAndGoingReachTheHostUnderTheViewsNames) {
  ASSERT_EQ(mEvents->Init(), 0);
  CHostListener listener;
  mEvents->AddEventListener(
      &listener, static_cast<VelmarEventListenerType>(ADD_SENSOR_EVENT | REMOVE_SENSOR_EVENT |
                                                      ADD_DEVICE_EVENT | REMOVE_DEVICE_EVENT));
  // A zone and a cooling device appear: the host adds them by the names heard.
  mSysfs.AddZone(5, "skin", 35000);
  Feed(THERMAL_GENL_EVENT_TZ_CREATE, THERMAL_GENL_ATTR_TZ_ID, 5);
  auto heard = listener.WaitFor(1);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0], (Heard{ADD_SENSOR_EVENT, mSysfs.ZonePathW(5), 1}));
  EXPECT_EQ(mManager->AddSensor(heard[0].name), 0);

  mSysfs.AddCooling(4, "Processor", 10, 0);
  Feed(THERMAL_GENL_EVENT_CDEV_ADD, THERMAL_GENL_ATTR_CDEV_ID, 4);
  heard = listener.WaitFor(2);
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[1], (Heard{ADD_DEVICE_EVENT, mSysfs.CoolingPathW(4), 1}));
  EXPECT_EQ(mManager->AddDevice(heard[1].name), 0);

  // A trip of the new zone sets its own notification value, Sensor2. (The
  // notification thread scans the sensor count it read at Init.)
  Feed(THERMAL_GENL_EVENT_TZ_TRIP_UP, THERMAL_GENL_ATTR_TZ_ID, 5);
  long status = REG_STATUS_SUCCESS;
  auto notify = mLinux->Registry().Open(DRIVER_NOTIFY_KEY, REG_ACCESS_READ, status);
  ASSERT_NE(notify, nullptr);
  uint32_t value = 0;
  EXPECT_EQ(notify->QueryDword(L"Sensor2", value), REG_STATUS_SUCCESS);
  EXPECT_EQ(value, 1u);

  // They go: named as the view listed them, and the host removes them.
  mSysfs.Remove("thermal_zone5");
  Feed(THERMAL_GENL_EVENT_TZ_DELETE, THERMAL_GENL_ATTR_TZ_ID, 5);
  mSysfs.Remove("cooling_device4");
  Feed(THERMAL_GENL_EVENT_CDEV_DELETE, THERMAL_GENL_ATTR_CDEV_ID, 4);
  heard = listener.WaitFor(4);
  ASSERT_EQ(heard.size(), 4u);
  const std::vector<Heard> gone(heard.begin() + 2, heard.end());
  EXPECT_NE(std::find(gone.begin(), gone.end(), Heard{REMOVE_SENSOR_EVENT, mSysfs.ZonePathW(5), 1}),
            gone.end());
  EXPECT_NE(
      std::find(gone.begin(), gone.end(), Heard{REMOVE_DEVICE_EVENT, mSysfs.CoolingPathW(4), 1}),
      gone.end());
  EXPECT_EQ(mManager->RemoveSensor(mSysfs.ZonePathW(5)), 0);
  EXPECT_EQ(mManager->RemoveDevice(mSysfs.CoolingPathW(4)), 0);

  // A deletion of something the view never listed reports nothing.
  Feed(THERMAL_GENL_EVENT_TZ_DELETE, THERMAL_GENL_ATTR_TZ_ID, 7);
  mSysfs.AddZone(6, "late", 30000);
  Feed(THERMAL_GENL_EVENT_TZ_CREATE, THERMAL_GENL_ATTR_TZ_ID, 6);
  heard = listener.WaitFor(5);
  ASSERT_EQ(heard.size(), 5u);
  EXPECT_EQ(heard[4], (Heard{ADD_SENSOR_EVENT, mSysfs.ZonePathW(6), 1}));
  mEvents->RemoveEventListener(&listener, static_cast<VelmarEventListenerType>(31));
}

// A test tree is not what the kernel's events describe: Init still succeeds,
// with one Warning line, and nothing is started.
TEST_F(KernelEventsTest, WhereKernelEventsAreNotAvailableInitSucceedsWithOneWarning) {
  ASSERT_EQ(mEvents->Init(), 0);
  EXPECT_FALSE(static_cast<CKernelThermalEvents&>(mLinux->Events()).Reader().Running());
  int warnings = 0;
  for (const std::string& line : mLog.Lines()) {
    if (line.find("WARN") != std::string::npos &&
        line.find("Kernel thermal events are not available") != std::string::npos) {
      ++warnings;
    }
  }
  EXPECT_EQ(warnings, 1) << mLog.Text();
}

}  // namespace
