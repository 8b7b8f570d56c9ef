// The kernel's thermal events on the Linux platform, end to end: netlink
// messages built with libnl go through the reader's seam, and a host's
// listener on the event manager receives what a driver or the firmware would
// have raised, named as the parameters view publishes the participants.
#include <gtest/gtest.h>
#include <linux/thermal.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <tuple>

#include "Platform/Linux/KernelThermalEvents.h"
#include "Platform/Linux/LinuxPlatform.h"
#include "Platform/Linux/PeriodicCompare.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Registry.h"
#include "Platform/Text.h"
#include "support/EventTest.h"
#include "support/FakeHwmon.h"
#include "support/FakeSysfs.h"
#include "zivorivizo/OSParticipantMgr.h"

namespace {

class KernelEventsTest : public CSimPlatformTest {
 protected:
  static constexpr int kFamily = 0x1d;  // the family id the kernel gave "thermal"

  void SetUp() override {
    Prepare();
    InitEvents();
  }
  // Two zones (Sensor0, Sensor1) and a cooling device, enumerated.
  void Prepare() {
    CSimPlatformTest::SetUp();
    mSysfs.AddZone(0, "x86_pkg_temp", 45000);
    mSysfs.AddZone(2, "acpitz", 40000);
    mSysfs.AddCooling(1, "Fan", 3, 0);
    CPlatform::Install(mLinux);
    mManager = COSParticipantManager::GetInstance();
    ASSERT_EQ(mManager->Enumerate(), 0);
    Reader().ExpectFamily(kFamily);
  }
  // The host's listener for every kind, then Init. A test tree is not what
  // the kernel's events describe: Init succeeds with one Warning line, and
  // the reader is not started.
  void InitEvents() {
    COSEventManager::GetInstance()->AddEventListener(&mHost,
                                                     static_cast<VelmarEventListenerType>(31));
    ASSERT_EQ(COSEventManager::GetInstance()->Init(), 0);
    int warnings = 0;
    for (const std::string& line : mLog.Lines()) {
      warnings += line.find("WARNING : ") != std::string::npos &&
                  line.find("Kernel thermal events are not available") != std::string::npos;
    }
    EXPECT_EQ(warnings, 1) << mLog.Text();
    EXPECT_FALSE(Reader().Running());
  }
  CKernelThermalEvents& Kernel() { return static_cast<CKernelThermalEvents&>(mLinux->Events()); }
  CThermalNetlinkReader& Reader() { return Kernel().Reader(); }
  uint32_t NotifyValue(int k) {
    long status = 0;
    auto key = mLinux->Registry().Open(DRIVER_NOTIFY_KEY, REG_ACCESS_READ, status);
    uint32_t value = 0;
    return key && key->QueryDword(L"Sensor" + std::to_wstring(k), value) == 0 ? value : 0;
  }
  // The host's events once there are `count`, sorted by kind then name.
  std::vector<HeardEvent> Sorted(std::size_t count) {
    auto heard = Heard(count);
    std::sort(heard.begin(), heard.end(),
              [](auto& a, auto& b) { return std::tie(a.kind, a.name) < std::tie(b.kind, b.name); });
    return heard;
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

class KernelEventsBeforeInitTest : public KernelEventsTest {
 protected:
  void SetUp() override { Prepare(); }
};

// A trip on zone 2 (Sensor1) waits in its notification value; zone 1 is
// created before the notification thread looks: zone 2 is now Sensor2, and
// its value moved with it, so the event is heard under zone 2's name.
TEST_F(KernelEventsBeforeInitTest, ATripIsHeardUnderItsZonesNameAfterARenumbering) {
  Feed(THERMAL_GENL_EVENT_TZ_TRIP_UP, 2);
  EXPECT_EQ(NotifyValue(1), 1u);
  mSysfs.AddZone(1, "skin", 30000);
  Feed(THERMAL_GENL_EVENT_TZ_CREATE, 1);
  EXPECT_EQ(NotifyValue(1), 0u);
  EXPECT_EQ(NotifyValue(2), 1u);
  // A zone that goes takes its pending value along.
  mSysfs.Remove("thermal_zone0");
  mSysfs.Remove("thermal_zone2");
  mLinux->Registry().Refresh();
  EXPECT_EQ(NotifyValue(0), 0u);
  EXPECT_EQ(NotifyValue(1), 0u);
  mSysfs.AddZone(2, "acpitz", 40000);
  Feed(THERMAL_GENL_EVENT_TZ_TRIP_UP, 2);
  InitEvents();
  EXPECT_EQ(Heard(1), (std::vector<HeardEvent>{{THERMAL_EVENT, mSysfs.ZonePathW(2), 1}}));
}

// What changed is found by comparing with the last view compared, whoever
// refreshed the view since and whichever message (or none) announced it.
TEST_F(KernelEventsTest, ChangesAreFoundAgainstTheLastViewCompared) {
  // Gone without a message, and the view refreshed by an enumeration: the
  // deletion still names the zone; a cooling device that went silently is
  // found by the same compare.
  mSysfs.Remove("thermal_zone2");
  mSysfs.Remove("cooling_device1");
  mLinux->Registry().Refresh();
  Feed(THERMAL_GENL_EVENT_TZ_DELETE, 2);
  EXPECT_EQ(Sorted(2), (std::vector<HeardEvent>{{REMOVE_SENSOR_EVENT, mSysfs.ZonePathW(2), 1},
                                                {REMOVE_DEVICE_EVENT, mSysfs.CoolingPathW(1), 1}}));
  // A trip message on a zone that came silently reports the arrival too.
  mSysfs.AddZone(4, "skin", 30000);
  Feed(THERMAL_GENL_EVENT_TZ_TRIP_UP, 4);
  // (The two come on different threads: in either order.)
  const auto heard = Sorted(4);
  EXPECT_EQ(
      std::count(heard.begin(), heard.end(), HeardEvent{THERMAL_EVENT, mSysfs.ZonePathW(4), 1}), 1);
  EXPECT_EQ(
      std::count(heard.begin(), heard.end(), HeardEvent{ADD_SENSOR_EVENT, mSysfs.ZonePathW(4), 1}),
      1);
  // The periodic compare of the platform ends in the same compare.
  mSysfs.AddCooling(3, "Processor", 10, 0);
  Kernel().Bridge().Compare();
  EXPECT_EQ(Heard(5).back(), (HeardEvent{ADD_DEVICE_EVENT, mSysfs.CoolingPathW(3), 1}));
}

// A trip of a zone the view lists reads no tree: a zone come silently is not
// found by it, but what another rescan found since the last compare is
// raised along with the trip.
TEST_F(KernelEventsTest, ATripOfAKnownZoneReadsNoTree) {
  const uint64_t generation = mLinux->ThermalView().Generation();
  mSysfs.AddZone(4, "skin", 30000);
  Feed(THERMAL_GENL_EVENT_TZ_TRIP_UP, 0);
  EXPECT_EQ(Heard(1), (std::vector<HeardEvent>{{THERMAL_EVENT, mSysfs.ZonePathW(0), 1}}));
  EXPECT_EQ(mLinux->ThermalView().Generation(), generation);
  mLinux->Registry().Refresh();
  Feed(THERMAL_GENL_EVENT_TZ_TRIP_DOWN, 2);
  EXPECT_EQ(Sorted(3), (std::vector<HeardEvent>{{THERMAL_EVENT, mSysfs.ZonePathW(0), 1},
                                                {THERMAL_EVENT, mSysfs.ZonePathW(2), 1},
                                                {ADD_SENSOR_EVENT, mSysfs.ZonePathW(4), 1}}));
}

// An overrun: a Warning, a compare, and every zone re-read by the host.
TEST_F(KernelEventsTest, AnOverrunRescansAndNotifiesEveryZone) {
  mSysfs.AddZone(3, "skin", 30000);
  Reader().ReportOverrun();
  EXPECT_EQ(Sorted(4), (std::vector<HeardEvent>{{THERMAL_EVENT, mSysfs.ZonePathW(0), 1},
                                                {THERMAL_EVENT, mSysfs.ZonePathW(2), 1},
                                                {THERMAL_EVENT, mSysfs.ZonePathW(3), 1},
                                                {ADD_SENSOR_EVENT, mSysfs.ZonePathW(3), 1}}));
  EXPECT_EQ(Reader().Overruns(), 1u);
  EXPECT_EQ(mLog.LevelOf("Kernel thermal events: the netlink socket overran and events were "
                         "lost; the thermal tree is read again and every zone re-read"),
            "WARNING");
}

// Uevents of the watched subsystems, additions and removals, lead to the
// compare; others do not.
TEST_F(KernelEventsTest, UeventsLeadToTheCompare) {
  const struct {
    UeventRecord record;
    bool acted;
  } rows[] = {
      {{"thermal", "add", "cooling_device4"}, true},
      {{"thermal", "remove", "thermal_zone0"}, true},
      {{"thermal", "change", "thermal_zone0"}, false},
      {{"thermal", "bind", "cooling_device4"}, false},
      {{"power_supply", "add", "BAT0"}, false},
      {{"", "add", ""}, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.record.subsystem + " " + row.record.action);
    EXPECT_EQ(Kernel().Uevents().Deliver(row.record), row.acted);
  }
  mSysfs.AddCooling(4, "Processor", 10, 0);
  EXPECT_TRUE(Kernel().Uevents().Deliver({"thermal", "add", "cooling_device4"}));
  EXPECT_EQ(Heard(1), (std::vector<HeardEvent>{{ADD_DEVICE_EVENT, mSysfs.CoolingPathW(4), 1}}));
}

TEST(PeriodicCompareTest, ComparesEveryIntervalUntilStopped) {
  std::atomic<int> compares{0};
  CPeriodicCompare periodic(std::chrono::milliseconds(1), [&] { ++compares; });
  periodic.Start();
  periodic.Start();  // once
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (compares < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  periodic.Stop();
  const int stopped = compares;
  EXPECT_GE(stopped, 3);
  EXPECT_FALSE(periodic.Running());
  EXPECT_EQ(compares, stopped);
  CPeriodicCompare off(std::chrono::milliseconds(0), [] { ADD_FAILURE(); });
  off.Start();
  EXPECT_FALSE(off.Running());
  // The platform's option, 10 seconds unless given.
  for (const auto& [platform, interval] :
       {std::pair{CreateLinuxPlatform("/nowhere"), std::chrono::milliseconds(10000)},
        std::pair{CreateLinuxPlatform("/nowhere", LinuxParticipantNaming::Path,
                                      std::chrono::milliseconds(250)),
                  std::chrono::milliseconds(250)}}) {
    EXPECT_EQ(static_cast<CKernelThermalEvents&>(platform->Events()).Periodic().Interval(),
              interval);
  }
}

}  // namespace

// A GPU's hwmon chip that comes and goes (runtime power management, a
// driver reload) is a sensor arriving and leaving, through the uevents of
// the hwmon subsystem and the one compare.
TEST_F(KernelEventsTest, HwmonChipsComeAndGoThroughTheirUevents) {
  CFakeHwmon hwmon(mSysfs.Root());
  hwmon.AddChip(3, "amdgpu", "pci0000:00/0000:03:00.0", "pci");
  hwmon.Write(3, "temp1_input", "41000");
  const std::wstring input = FromUtf8(hwmon.ChipPath(3) + "/temp1_input");
  EXPECT_TRUE(Kernel().Uevents().Deliver({"hwmon", "add", "hwmon3"}));
  EXPECT_EQ(Heard(1).back(), (HeardEvent{ADD_SENSOR_EVENT, input, 1}));
  EXPECT_EQ(mManager->AddSensor(input), 0);
  int temperature = 0;
  EXPECT_EQ(mManager->GetCurrentTemperature(input, temperature), 0);
  EXPECT_EQ(temperature, 3142);

  hwmon.Remove(3);
  EXPECT_TRUE(Kernel().Uevents().Deliver({"hwmon", "remove", "hwmon3"}));
  EXPECT_EQ(Heard(2).back(), (HeardEvent{REMOVE_SENSOR_EVENT, input, 1}));
  EXPECT_EQ(mManager->RemoveSensor(input), 0);
}
