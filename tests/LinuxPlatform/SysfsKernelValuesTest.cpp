// What the sysfs drivers make of the kernel's own values: which trips the
// host sees and may move, trip writes that are both or neither, attributes
// that cannot be read or mean "invalid", and attributes that are no files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "Platform/DriverProtocol.h"
#include "Platform/Linux/SysfsDeviceIo.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Linux/SysfsValueWriter.h"
#include "support/FakeSysfs.h"

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

class SysfsKernelValuesTest : public testing::Test {
 protected:
  std::unique_ptr<CDeviceHandle> Open(const std::wstring& name, uint32_t& error) {
    return mIo.Open(name, error);
  }

  template <typename T>
  bool Read(CDeviceHandle& handle, uint32_t code, T& value, uint32_t& error) {
    std::array<std::byte, sizeof(T)> out{};
    if (!handle.Control(code, {}, out, error)) {
      return false;
    }
    std::memcpy(&value, out.data(), sizeof(T));
    return true;
  }

  bool SetTrips(CDeviceHandle& handle, const _tagSTripBlock& block, uint32_t& error) {
    std::array<std::byte, sizeof(block)> in{};
    std::memcpy(in.data(), &block, sizeof(block));
    return handle.Control(DRIVER_SENSOR_SET_TRIPS, in, {}, error);
  }

  CFakeSysfs mTree;
  std::shared_ptr<CRefusingWriter> mWriter = std::make_shared<CRefusingWriter>();
  CSysfsDeviceIo mIo{
      std::make_shared<CSysfsThermalView>(mTree.Root(), LinuxParticipantNaming::Path), mWriter};
};

// The aux trips are the passive and active trips in trip order; critical and
// hot ones are never reported, and writing them is refused.
TEST_F(SysfsKernelValuesTest, OnlyPassiveAndActiveTripsAreAuxTrips) {
  struct _tagSCase {
    std::vector<const char*> types;  // trip K at 60 + 10 * K degrees
    std::vector<uint32_t> aux;       // the ids reported, in order
  };
  const _tagSCase cases[] = {
      {{"critical", "passive", "active"}, {1, 2}},
      {{"active", "hot", "critical", "passive"}, {0, 3}},
      {{"critical", "hot"}, {}},
      {{"critical", "passive"}, {1}},
      {{"passive", "active", "active"}, {0, 1, 2}},
  };
  uint32_t n = 0;
  for (const _tagSCase& c : cases) {
    mTree.AddZone(n, "acpitz", 40000);
    for (uint32_t k = 0; k < c.types.size(); ++k) {
      mTree.SetTrip(n, k, 60000 + 10000 * k, true, c.types[k]);
    }
    uint32_t error = 0;
    auto zone = Open(mTree.ZonePathW(n), error);
    ASSERT_NE(zone, nullptr) << n;
    _tagSSensorInfoBlock info{};
    ASSERT_TRUE(Read(*zone, DRIVER_SENSOR_GET_INFO, info, error)) << n;
    EXPECT_EQ(info.AuxCount, c.aux.size()) << n;
    _tagSTripBlock trips{};
    ASSERT_TRUE(Read(*zone, DRIVER_SENSOR_GET_TRIPS, trips, error)) << n;
    if (c.aux.size() >= 1) {
      EXPECT_EQ(info.Aux0Type, c.aux[0]) << n;
      EXPECT_EQ(trips.Aux0Type, c.aux[0]) << n;
      EXPECT_EQ(trips.Aux0Temp, static_cast<int32_t>(3332 + 100 * c.aux[0])) << n;
    }
    if (c.aux.size() >= 2) {
      EXPECT_EQ(info.Aux1Type, c.aux[1]) << n;
      EXPECT_EQ(trips.Aux1Temp, static_cast<int32_t>(3332 + 100 * c.aux[1])) << n;
    }
    // Neither of the kernel's own trips can be moved, in either slot.
    for (uint32_t k = 0; k < c.types.size(); ++k) {
      const std::string type = c.types[k];
      if (type != "critical" && type != "hot") {
        continue;
      }
      const std::string before = mTree.Snapshot();
      EXPECT_FALSE(SetTrips(*zone, {k, 2732, c.aux.empty() ? k : c.aux[0], 3000}, error));
      EXPECT_EQ(error, DEVICE_ERROR_ACCESS_DENIED) << n << " trip " << k;
      EXPECT_FALSE(SetTrips(*zone, {c.aux.empty() ? k : c.aux[0], 3000, k, 2732}, error));
      EXPECT_EQ(mTree.Snapshot(), before) << n << " trip " << k;
    }
    ++n;
  }
}

// Both trips are written or neither: a refusal of the second puts the first
// back; a refusal of the first writes nothing.
TEST_F(SysfsKernelValuesTest, TripWritesAreBothOrNeither) {
  mTree.AddZone(0, "acpitz", 40000);
  mTree.SetTrip(0, 0, 100000, true, "critical");
  mTree.SetTrip(0, 1, 70000, true, "passive");
  mTree.SetTrip(0, 2, 80000, true, "active");
  uint32_t error = 0;
  auto zone = Open(mTree.ZonePathW(0), error);
  ASSERT_NE(zone, nullptr);
  for (int refuse : {1, 2}) {
    mWriter->mWrites = 0;
    mWriter->mRefuse = refuse;
    const std::string before = mTree.Snapshot();
    EXPECT_FALSE(SetTrips(*zone, {1, 3232, 2, 3332}, error)) << refuse;
    EXPECT_EQ(error, DEVICE_ERROR_GEN_FAILURE) << refuse;
    EXPECT_EQ(mTree.Snapshot(), before) << "refusal of write " << refuse;
  }
  mWriter->mRefuse = 0;
  EXPECT_TRUE(SetTrips(*zone, {1, 3232, 2, 3332}, error));
  EXPECT_EQ(mTree.ReadAttribute("thermal_zone0", "trip_point_1_temp"), "50000\n");
  EXPECT_EQ(mTree.ReadAttribute("thermal_zone0", "trip_point_2_temp"), "60000\n");
  EXPECT_EQ(mTree.ReadAttribute("thermal_zone0", "trip_point_0_temp"), "100000\n");
}

// What cannot be read, or reads as a kernel "invalid", is left out; only
// `temp`, `cur_state` and `max_state` fail the information request.
TEST_F(SysfsKernelValuesTest, UnreadableOrInvalidValues) {
  struct _tagSZoneCase {
    const char* name;
    const char* attribute;
    const char* text;
    bool infoOk;
    uint32_t auxCount;
    uint32_t devices;
  };
  const _tagSZoneCase zones[] = {
      {"all readable", "mode", "enabled\n", true, 2, 1},
      {"garbled trip", "trip_point_0_temp", "garbage\n", true, 1, 1},
      {"disabled trip", "trip_point_0_temp", "-274000\n", true, 1, 1},
      {"trip beyond 16 bits", "trip_point_1_temp", "9999999\n", true, 1, 1},
      {"no type", "type", "", true, 2, 1},
      {"garbled temp", "temp", "hot\n", false, 0, 0},
      {"temp below absolute zero", "temp", "-274000\n", false, 0, 0},
      {"temp too large", "temp", "99999999999999\n", false, 0, 0},
  };
  mTree.AddCooling(0, "Fan", 3, 1);
  uint32_t n = 0;
  for (const _tagSZoneCase& c : zones) {
    mTree.AddZone(n, "acpitz", 40000);
    mTree.SetTrip(n, 0, 60000);
    mTree.SetTrip(n, 1, 70000);
    mTree.LinkCooling(n, 0, 0);
    mTree.LinkCooling(n, 1, 9);  // a dangling link
    mTree.WriteAttribute("thermal_zone" + std::to_string(n), c.attribute, c.text);
    uint32_t error = 0;
    auto zone = Open(mTree.ZonePathW(n), error);
    ASSERT_NE(zone, nullptr) << c.name;
    _tagSSensorInfoBlock info{};
    EXPECT_EQ(Read(*zone, DRIVER_SENSOR_GET_INFO, info, error), c.infoOk) << c.name;
    int32_t temp = 0;
    EXPECT_EQ(Read(*zone, DRIVER_SENSOR_GET_TEMP, temp, error), c.infoOk) << c.name;
    if (c.infoOk) {
      EXPECT_EQ(info.AuxCount, c.auxCount) << c.name;
      EXPECT_EQ(info.DeviceCount, c.devices) << c.name;
      EXPECT_EQ(temp, 3132) << c.name;
    } else {
      EXPECT_EQ(error, DEVICE_ERROR_GEN_FAILURE) << c.name;
    }
    ++n;
  }

  struct _tagSCoolingCase {
    const char* name;
    const char* attribute;
    const char* text;
    bool infoOk;
    bool stateOk;
  };
  const _tagSCoolingCase coolers[] = {
      {"no type", "type", "", true, true},
      {"garbled max_state", "max_state", "many\n", false, true},
      {"max_state beyond 32 bits", "max_state", "4294967296\n", false, true},
      {"negative cur_state", "cur_state", "-1\n", false, false},
  };
  n = 1;
  for (const _tagSCoolingCase& c : coolers) {
    mTree.AddCooling(n, "Processor", 10, 2);
    mTree.WriteAttribute("cooling_device" + std::to_string(n), c.attribute, c.text);
    uint32_t error = 0;
    auto device = Open(mTree.CoolingPathW(n), error);
    ASSERT_NE(device, nullptr) << c.name;
    _tagSDeviceInfoBlock info{};
    EXPECT_EQ(Read(*device, DRIVER_DEVICE_GET_INFO, info, error), c.infoOk) << c.name;
    uint32_t state = 0;
    EXPECT_EQ(Read(*device, DRIVER_DEVICE_GET_STATE, state, error), c.stateOk) << c.name;
    if (c.infoOk) {
      EXPECT_EQ(info.MaxState, 10u) << c.name;
      EXPECT_EQ(info.Class, 0u) << c.name;
    }
    ++n;
  }
}

// A FIFO in place of `temp` or `type` fails at once instead of blocking.
// Should it block, the test opens the FIFO's other end so that it ends.
TEST_F(SysfsKernelValuesTest, AFifoAttributeNeverBlocks) {
  for (const char* attribute : {"temp", "type"}) {
    CFakeSysfs tree;
    tree.AddZone(0, "acpitz", 40000);
    tree.MakeFifo("thermal_zone0", attribute);
    CSysfsDeviceIo io(tree.Root());
    auto opened = std::async(std::launch::async, [&] {
      uint32_t error = 0;
      return io.Open(tree.ZonePathW(0), error) != nullptr;
    });
    if (opened.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << attribute << " blocked";
      const std::string fifo = tree.Root() + "/devices/virtual/thermal/thermal_zone0/" + attribute;
      close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
    }
    EXPECT_EQ(opened.get(), std::string(attribute) == "type") << attribute;
  }
}

}  // namespace
