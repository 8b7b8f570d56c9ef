// The sysfs registry view and drivers over fake trees: what the view lists
// and when it scans, the kernel type texts, device numbers that agree with
// the view, the kernel's trips and values (invalid, unreadable, refused
// writes), attributes that are no files, and descriptors that do not leak.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <sstream>

#include "PartMgr/NonWmiSensor.h"
#include "Platform/DriverProtocol.h"
#include "Platform/Linux/LinuxPlatform.h"
#include "Platform/Linux/SysfsDeviceIo.h"
#include "Platform/Linux/SysfsRegistry.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Linux/SysfsValueWriter.h"
#include "Platform/Linux/ThermalClass/SysfsTypeMap.h"
#include "support/DriverCalls.h"
#include "support/FakeSysfs.h"
#include "support/SimPlatformTest.h"

namespace {

// Refuses the Nth write (1-based) from now on with what the kernel answers to
// a value out of range; forwards every other write.
class CRefusingWriter : public CSysfsValueWriter {
 public:
  bool Write(int dirFd, const std::string& name, int64_t value, uint32_t& error) override {
    if (++mWrites == mRefuse) {
      error = DEVICE_ERROR_GEN_FAILURE;  // EINVAL
      return false;
    }
    return CSysfsValueWriter::Write(dirFd, name, value, error);
  }
  int mRefuse = 0;
  int mWrites = 0;
};

bool SetTrips(CDeviceHandle& handle, const _tagSTripBlock& block, uint32_t& error) {
  return Send(handle, DRIVER_SENSOR_SET_TRIPS, block, error);
}

// The names the parameters key lists under "Sensor" or "Device"; a name that
// does not read is listed as "?".
std::vector<std::wstring> Listed(CRegistry& registry, const std::wstring& kind) {
  long status = -1;
  auto key = registry.Open(SYSFS_PARAMETERS_KEY, REG_ACCESS_READ, status);
  EXPECT_EQ(status, REG_STATUS_SUCCESS);
  uint32_t count = 0;
  EXPECT_EQ(key->QueryDword(kind + L"Count", count), REG_STATUS_SUCCESS);
  std::vector<std::wstring> names(count + 1, L"?");
  for (uint32_t i = 0; i <= count; ++i) {
    const long read = key->QueryString(kind + std::to_wstring(i), 128, names[i]);
    EXPECT_EQ(read == REG_STATUS_NOT_FOUND, i == count) << i;
  }
  names.pop_back();
  return names;
}

int OpenDescriptorCount() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dir != nullptr && readdir(dir) != nullptr) {
    ++count;
  }
  closedir(dir);
  return count;
}

class SysfsDriverTest : public testing::Test {
 protected:
  std::unique_ptr<CDeviceHandle> Open(const std::wstring& name) { return OpenOrFail(mIo, name); }

  CFakeSysfs mTree;
  std::shared_ptr<CRefusingWriter> mWriter = std::make_shared<CRefusingWriter>();
  CSysfsDeviceIo mIo{
      std::make_shared<CSysfsThermalView>(mTree.Root(), LinuxParticipantNaming::Path), mWriter};
};

// Texts by the code they get (the index), '|' between texts.
TEST(SysfsTypeMapTest, KernelTypeTextsGetTheDocumentedCodes) {
  const std::pair<uint32_t (*)(std::string_view), std::vector<std::string>> maps[] = {
      {SensorTypeFromSysfs,
       {"|INT3400 Thermal", "skin|SKIN-therm", "x86_pkg_temp|cpu-thermal|soc_dts0", "gpu-thermal",
        "BAT0", "TMEM", "nvme", "iwlwifi_1", "charger", "acpitz|pch_skylake"}},
      {DeviceClassFromSysfs,
       {"|vendor-device", "Processor|intel_powerclamp|TCC Offset|thermal-cpufreq-0", "gpu", "LCD",
        "", "", "wwan", "", "thermal-devfreq-0", "Fan|pwm-fan"}}};
  for (const auto& [map, byCode] : maps) {
    for (uint32_t code = 0; code < byCode.size(); ++code) {
      std::stringstream texts(byCode[code]);
      for (std::string text; std::getline(texts, text, '|');) {
        EXPECT_EQ(map(text), code) << text;
      }
    }
  }
}

// In numeric order, without folders whose number does not fit 32 bits; no
// notification value before the kernel raises one.
TEST(SysfsRegistryTest, ListsZonesAndCoolingDevicesInNumericOrder) {
  CFakeSysfs tree;
  tree.AddZone(10, "acpitz", 40000);
  tree.AddZone(2, "skin", 30000);
  tree.AddZone(0, "x86_pkg_temp", 50000);
  tree.AddCooling(3, "Fan", 3, 0);
  tree.AddCooling(1, "Processor", 10, 0);
  tree.AddZone(4, "acpitz", 40000);
  std::filesystem::rename(tree.ZonePath(4), tree.Root() + "/class/thermal/thermal_zone4294967296");
  CSysfsRegistry registry(tree.Root());
  EXPECT_EQ(Listed(registry, L"Sensor"),
            (std::vector<std::wstring>{tree.ZonePathW(0), tree.ZonePathW(2), tree.ZonePathW(10)}));
  EXPECT_EQ(Listed(registry, L"Device"),
            (std::vector<std::wstring>{tree.CoolingPathW(1), tree.CoolingPathW(3)}));
  long status = -1;
  auto notify = registry.Open(SYSFS_DRIVER_NOTIFY_KEY, REG_ACCESS_ALL, status);
  ASSERT_NE(notify, nullptr);
  uint32_t value = 0;
  EXPECT_EQ(notify->QueryDword(L"Sensor0", value), REG_STATUS_NOT_FOUND);

  CSysfsRegistry missing("/nonexistent-zv-root");
  EXPECT_TRUE(Listed(missing, L"Sensor").empty());
  EXPECT_TRUE(Listed(missing, L"Device").empty());
}

// The platform is made before anything is asked of it (the log reads its
// clock at any time): the tree is scanned on the first registry open, and
// again only when the registry is refreshed.
TEST(SysfsRegistryTest, ScansOnTheFirstOpenAndOnRefresh) {
  CFakeSysfs tree;
  CLinuxPlatform platform(tree.Root(), "unix:path=/nonexistent/bus");
  tree.AddZone(0, "skin", 30000);
  EXPECT_EQ(Listed(platform.Registry(), L"Sensor").size(), 1u);
  tree.AddZone(1, "acpitz", 30000);
  EXPECT_EQ(Listed(platform.Registry(), L"Sensor").size(), 1u);
  platform.Registry().Refresh();
  EXPECT_EQ(Listed(platform.Registry(), L"Sensor").size(), 2u);
}

// Cooling devices 0, 2 and 5 are registry devices 0, 1 and 2; the zone names
// them by those indexes, once each, and leaves out a link to a device that is
// not in the list.
TEST_F(SysfsDriverTest, LinkedDevicesAreReportedByRegistryIndex) {
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
  EXPECT_EQ(std::vector<uint32_t>(info.DeviceNumbers, info.DeviceNumbers + 3),
            (std::vector<uint32_t>{2, 0, 1}));
  EXPECT_EQ(info.Type, 2u);
}

// The aux trips are the passive and active trips in trip order; critical and
// hot ones are never reported, and writing them is refused in either slot.
TEST_F(SysfsDriverTest, OnlyPassiveAndActiveTripsAreAuxTrips) {
  const std::pair<std::vector<const char*>, std::vector<uint32_t>> cases[] = {
      // trip K at 60 + 10 * K degrees; the ids reported, in order
      {{"critical", "passive", "active"}, {1, 2}},
      {{"active", "hot", "critical", "passive"}, {0, 3}},
      {{"critical", "hot"}, {}},
      {{"critical", "passive"}, {1}},
      {{"passive", "active", "active"}, {0, 1, 2}},
  };
  uint32_t n = 0;
  for (const auto& [types, aux] : cases) {
    SCOPED_TRACE(n);
    mTree.AddZone(n, "acpitz", 40000);
    for (uint32_t k = 0; k < types.size(); ++k) {
      mTree.SetTrip(n, k, 60000 + 10000 * k, true, types[k]);
    }
    auto zone = Open(mTree.ZonePathW(n++));
    ASSERT_NE(zone, nullptr);
    const auto info = Read<_tagSSensorInfoBlock>(*zone, DRIVER_SENSOR_GET_INFO);
    const auto trips = Read<_tagSTripBlock>(*zone, DRIVER_SENSOR_GET_TRIPS);
    EXPECT_EQ(info.AuxCount, aux.size());
    if (!aux.empty()) {
      EXPECT_EQ(info.Aux0Type, aux[0]);
      EXPECT_EQ(trips.Aux0Type, aux[0]);
      EXPECT_EQ(trips.Aux0Temp, static_cast<int32_t>(3332 + 100 * aux[0]));
    }
    // A trip point the zone does not have reads as 0, not as a failure.
    EXPECT_EQ(trips.Aux1Temp, aux.size() >= 2 ? static_cast<int32_t>(3332 + 100 * aux[1]) : 0);
    if (aux.size() >= 2) {
      EXPECT_EQ(info.Aux1Type, aux[1]);
    }
    for (uint32_t k = 0; k < types.size(); ++k) {
      if (std::string(types[k]) == "critical" || std::string(types[k]) == "hot") {
        const std::string before = mTree.Snapshot();
        const uint32_t other = aux.empty() ? k : aux[0];
        uint32_t error = 0;
        EXPECT_FALSE(SetTrips(*zone, {k, 2732, other, 3000}, error));
        EXPECT_EQ(error, DEVICE_ERROR_ACCESS_DENIED) << "trip " << k;
        EXPECT_FALSE(SetTrips(*zone, {other, 3000, k, 2732}, error));
        EXPECT_EQ(mTree.Snapshot(), before) << "trip " << k;
      }
    }
  }
}

// Trip writes are both or neither: a refused, read-only or missing second
// trip leaves the first as it was.
TEST_F(SysfsDriverTest, TripWritesAreBothOrNeither) {
  mTree.AddZone(0, "acpitz", 40000);
  mTree.SetTrip(0, 0, 100000, true, "critical");
  mTree.SetTrip(0, 1, 70000);
  mTree.SetTrip(0, 2, 80000, true, "active");
  mTree.SetTrip(0, 3, 90000, false);
  auto zone = Open(mTree.ZonePathW(0));
  ASSERT_NE(zone, nullptr);
  EXPECT_EQ(Read<_tagSSensorInfoBlock>(*zone, DRIVER_SENSOR_GET_INFO).Aux0Trip, 3432u);
  const std::tuple<int, uint32_t, uint32_t> refused[] = {// write refused, second trip, error
                                                         {1, 2, DEVICE_ERROR_GEN_FAILURE},
                                                         {2, 2, DEVICE_ERROR_GEN_FAILURE},
                                                         {0, 3, DEVICE_ERROR_ACCESS_DENIED},
                                                         {0, 5, DEVICE_ERROR_FILE_NOT_FOUND}};
  for (const auto& [refuse, second, expected] : refused) {
    SCOPED_TRACE(refuse);
    mWriter->mWrites = 0;
    mWriter->mRefuse = refuse;
    const std::string before = mTree.Snapshot();
    uint32_t error = 0;
    EXPECT_FALSE(SetTrips(*zone, {1, 3232, second, 3332}, error));
    EXPECT_EQ(error, expected);
    EXPECT_EQ(mTree.Snapshot(), before);
  }
}

// What cannot be read, or reads as a kernel "invalid", is left out; only
// `temp`, `cur_state` and `max_state` fail a request.
TEST_F(SysfsDriverTest, UnreadableOrInvalidValues) {
  struct Zone {
    const char *attribute, *text;
    bool read;
    uint32_t auxCount, devices;
  };
  const Zone zones[] = {{"mode", "enabled\n", true, 2, 1},
                        {"trip_point_0_temp", "garbage\n", true, 1, 1},
                        {"trip_point_0_temp", "-274000\n", true, 1, 1},
                        {"trip_point_1_temp", "9999999\n", true, 1, 1},
                        {"type", "", true, 2, 1},
                        {"temp", "hot\n", false, 0, 0},
                        {"temp", "", false, 0, 0},
                        {"temp", "-274000\n", false, 0, 0},
                        {"temp", "99999999999999\n", false, 0, 0}};
  mTree.AddCooling(0, "Fan", 3, 1);
  uint32_t n = 0;
  for (const Zone& c : zones) {
    SCOPED_TRACE(std::string(c.attribute) + " " + c.text);
    mTree.AddZone(n, "acpitz", 40000);
    mTree.SetTrip(n, 0, 60000);
    mTree.SetTrip(n, 1, 70000);
    mTree.LinkCooling(n, 0, 0);
    mTree.LinkCooling(n, 1, 9);  // a dangling link
    mTree.WriteAttribute("thermal_zone" + std::to_string(n), c.attribute, c.text);
    auto zone = Open(mTree.ZonePathW(n++));
    ASSERT_NE(zone, nullptr);
    _tagSSensorInfoBlock info{};
    int32_t temp = 0;
    uint32_t error = 0;
    EXPECT_EQ(Read(*zone, DRIVER_SENSOR_GET_INFO, info, error), c.read);
    EXPECT_EQ(Read(*zone, DRIVER_SENSOR_GET_TEMP, temp, error), c.read);
    EXPECT_EQ(error, c.read ? 0u : DEVICE_ERROR_GEN_FAILURE);
    EXPECT_EQ(info.AuxCount, c.auxCount);
    EXPECT_EQ(info.DeviceCount, c.devices);
    EXPECT_EQ(temp, c.read ? 3132 : 0);
  }

  struct Cooling {
    const char *attribute, *text;
    bool info, state;
  };
  const Cooling coolers[] = {{"type", "", true, true},
                             {"max_state", "many\n", false, true},
                             {"max_state", "4294967296\n", false, true},
                             {"cur_state", "-1\n", false, false},
                             {"cur_state", "", false, false}};
  n = 1;
  for (const Cooling& c : coolers) {
    SCOPED_TRACE(std::string(c.attribute) + " " + c.text);
    mTree.AddCooling(n, "Processor", 10, 2);
    mTree.WriteAttribute("cooling_device" + std::to_string(n), c.attribute, c.text);
    auto device = Open(mTree.CoolingPathW(n++));
    ASSERT_NE(device, nullptr);
    _tagSDeviceInfoBlock info{};
    uint32_t state = 0, error = 0;
    EXPECT_EQ(Read(*device, DRIVER_DEVICE_GET_INFO, info, error), c.info);
    EXPECT_EQ(info.MaxState, c.info ? 10u : 0u);
    EXPECT_EQ(info.Class, 0u);
    EXPECT_EQ(Read(*device, DRIVER_DEVICE_GET_STATE, state, error), c.state);
    EXPECT_EQ(state, c.state ? 2u : 0u);
  }
}

// A FIFO in place of `temp` or `type` fails at once instead of blocking.
// Should it block, the test opens the FIFO's other end so that it ends.
TEST(SysfsFifoTest, AFifoAttributeNeverBlocks) {
  for (const std::string attribute : {"temp", "type"}) {
    CFakeSysfs tree;
    tree.AddZone(0, "acpitz", 40000);
    const std::string fifo = tree.Root() + "/devices/virtual/thermal/thermal_zone0/" + attribute;
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    CSysfsDeviceIo io(tree.Root());
    auto opened = std::async(std::launch::async, [&] {
      uint32_t error = 0;
      return io.Open(tree.ZonePathW(0), error) != nullptr;
    });
    if (opened.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << attribute << " blocked";
      close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
    }
    EXPECT_EQ(opened.get(), attribute == "type") << attribute;
  }
}

TEST_F(SysfsDriverTest, ClosingAHandleClosesItsFiles) {
  mTree.AddZone(0, "skin", 30000);
  mTree.SetTrip(0, 0, 50000);
  mTree.AddCooling(0, "Fan", 3, 1);
  mTree.LinkCooling(0, 0, 0);
  const int before = OpenDescriptorCount();
  {
    auto zone = Open(mTree.ZonePathW(0));
    auto fan = Open(mTree.CoolingPathW(0));
    ASSERT_TRUE(zone && fan);
    Read<_tagSSensorInfoBlock>(*zone, DRIVER_SENSOR_GET_INFO);
    Read<int32_t>(*zone, DRIVER_SENSOR_GET_TEMP);
    Read<_tagSTripBlock>(*zone, DRIVER_SENSOR_GET_TRIPS);
    Read<_tagSDeviceInfoBlock>(*fan, DRIVER_DEVICE_GET_INFO);
    Read<uint32_t>(*fan, DRIVER_DEVICE_GET_STATE);
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

class SysfsSensorTest : public CSimPlatformTest {};

// The information block has five device slots; the count says seven, and
// the trip points after the slots stay intact.
TEST_F(SysfsSensorTest, AZoneWithSevenDevicesNamesTheFirstFive) {
  CFakeSysfs tree;
  CPlatform::Install(std::make_shared<CLinuxPlatform>(tree.Root(), "unix:path=/nonexistent/bus"));
  tree.AddZone(0, "acpitz", 40000);
  tree.SetTrip(0, 0, 90000);
  tree.SetTrip(0, 1, 95000);
  for (uint32_t n = 0; n < 7; ++n) {
    tree.AddCooling(n, "Processor", 3, 0);
    tree.LinkCooling(0, n, n);
  }
  CNonWmiSensor zone(3, tree.ZonePathW(0));
  ASSERT_EQ(zone.mSensor.Devices.size(), 5u);
  EXPECT_EQ(zone.mSensor.Devices[4], tree.CoolingPathW(4));
  ASSERT_EQ(zone.mSensor.TripPoints.size(), 2u);
  EXPECT_EQ(zone.mSensor.TripPoints[1].Temp, 3682);
  EXPECT_TRUE(mLog.HasMessage("Sensor reports 7 devices, only the first 5 are read"));
}

}  // namespace
