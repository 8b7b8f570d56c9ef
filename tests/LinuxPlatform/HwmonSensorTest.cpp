// hwmon temperature inputs as driver-backed sensors, on fake trees modelled
// on real chips: what is read and how it is typed, what is listed and what
// left out, names that survive a renumbering of hwmonN, limits never
// written, and a chip that goes away under an open handle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "Platform/DriverProtocol.h"
#include "Platform/Linux/Hwmon/HwmonChipId.h"
#include "Platform/Linux/Hwmon/HwmonSource.h"
#include "Platform/Linux/SysfsDeviceIo.h"
#include "Platform/Linux/SysfsFailureBook.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "Platform/Linux/Uevent/UeventSource.h"
#include "Platform/Text.h"
#include "support/DriverCalls.h"
#include "support/FailingRead.h"
#include "support/FakeHwmon.h"
#include "support/FakeSysfs.h"

namespace {

constexpr uint32_t kCpu = 2, kGpu = 3, kMemory = 5, kDisk = 6, kBoard = 9;

std::vector<std::wstring> Sensors(CSysfsThermalView& view) {
  std::vector<std::wstring> names;
  for (const auto& entry : view.Current()->Scan().sensors) {
    names.push_back(entry.name);
  }
  return names;
}

TEST(HwmonSensorTest, ReadsTypesAndRefusesWhatIsNoTemperature) {
  const struct {
    const char* what;
    const char* chip;
    const char* device;
    const char* bus;
    const char* label;    // "" for none
    const char* input;    // temp1_input
    const char* fault;    // temp1_fault, "" for none
    bool inDevice;        // attributes in hwmonN/device
    const wchar_t* name;  // the stable name
    int32_t tenths;       // -1: the read fails
    uint32_t type;
    int readErrno;  // what every read of temp1_input answers; 0: its text
  } cases[] = {
      {"k10temp Tctl", "k10temp", "pci0000:00/0000:00:18.3", "pci", "Tctl", "45500", "", false,
       L"hwmon:k10temp-pci-00c3:Tctl", 3187, kCpu, 0},
      {"coretemp package", "coretemp", "platform/coretemp.0", "platform", "Package id 0", "50000",
       "", false, L"hwmon:coretemp-isa-0000:Package_id_0", 3232, kCpu, 0},
      {"amdgpu edge", "amdgpu", "pci0000:00/0000:03:00.0", "pci", "edge", "41000", "", false,
       L"hwmon:amdgpu-pci-0300:edge", 3142, kGpu, 0},
      {"nvme composite", "nvme", "pci0000:00/0000:01:00.0", "pci", "Composite", "38850", "", false,
       L"hwmon:nvme-pci-0100:Composite", 3120, kDisk, 0},
      {"spd5118 on i2c", "spd5118", "i2c-1/1-0050", "i2c", "", "32000", "", false,
       L"hwmon:spd5118-i2c-1-50:temp1", 3052, kMemory, 0},
      {"board CPUTIN", "nct6798", "platform/nct6775.656", "platform", "CPUTIN", "40000", "0", false,
       L"hwmon:nct6798-isa-0290:CPUTIN", 3132, kCpu, 0},
      {"board SYSTIN", "nct6798", "platform/nct6775.656", "platform", "SYSTIN", "30000", "", false,
       L"hwmon:nct6798-isa-0290:SYSTIN", 3032, kBoard, 0},
      {"older driver", "applesmc", "platform/applesmc.768", "platform", "", "51000", "", true,
       L"hwmon:applesmc-isa-0300:temp1", 3242, kBoard, 0},
      {"diode open", "nct6798", "platform/nct6775.656", "platform", "AUXTIN0", "25000", "1", false,
       L"hwmon:nct6798-isa-0290:AUXTIN0", -1, kBoard, 0},
      {"below absolute zero", "it8686", "platform/it87.2608", "platform", "", "-273150", "", false,
       L"hwmon:it8686-isa-0a30:temp1", -1, kBoard, 0},
      {"unconnected high", "it8686", "platform/it87.2608", "platform", "", "250000", "", false,
       L"hwmon:it8686-isa-0a30:temp1", -1, kBoard, 0},
      {"not a number", "drivetemp", "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0",
       "scsi", "", "n/a", "", false, L"hwmon:drivetemp-scsi-0_0_0_0:temp1", -1, kDisk, 0},
      // A GPU asleep: the file holds a plausible value, but the driver
      // refuses the read.
      {"GPU asleep, EINVAL", "amdgpu", "pci0000:00/0000:03:00.0", "pci", "edge", "41000", "", false,
       L"hwmon:amdgpu-pci-0300:edge", -1, kGpu, EINVAL},
      {"no data yet, ENODATA", "amdgpu", "pci0000:00/0000:03:00.0", "pci", "junction", "52000", "",
       false, L"hwmon:amdgpu-pci-0300:junction", -1, kGpu, ENODATA},
      {"try again, EAGAIN", "nvme", "pci0000:00/0000:01:00.0", "pci", "Composite", "38850", "",
       false, L"hwmon:nvme-pci-0100:Composite", -1, kDisk, EAGAIN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CFakeSysfs sysfs;
    CFakeHwmon hwmon(sysfs.Root());
    hwmon.AddChip(4, c.chip, c.device, c.bus);
    hwmon.Write(4, "temp1_input", c.input, 0444, c.inDevice);
    if (*c.label != '\0') {
      hwmon.Write(4, "temp1_label", c.label, 0444, c.inDevice);
    }
    if (*c.fault != '\0') {
      hwmon.Write(4, "temp1_fault", c.fault, 0444, c.inDevice);
    }
    auto view = std::make_shared<CSysfsThermalView>(sysfs.Root(), LinuxParticipantNaming::Stable);
    CSysfsDeviceIo io(view);
    ASSERT_EQ(Sensors(*view), std::vector<std::wstring>{c.name});
    auto handle = OpenOrFail(io, c.name);
    ASSERT_NE(handle, nullptr);
    int32_t tenths = 0;
    uint32_t error = 0;
    if (c.readErrno != 0) {
      const int fd = DescriptorOpenOn(hwmon.ChipPath(4) + "/temp1_input");
      ASSERT_GE(fd, 0);
      bool read = true;
      uint32_t infoError = 0;
      if (!WithFailingReads(fd, c.readErrno, [&] {
            _tagSSensorInfoBlock info;
            read = Read(*handle, DRIVER_SENSOR_GET_TEMP, tenths, error) ||
                   Read(*handle, DRIVER_SENSOR_GET_INFO, info, infoError);
          })) {
        GTEST_SKIP() << "the kernel offers no seccomp filter to fail a read";
      }
      EXPECT_FALSE(read) << "read " << tenths;
      EXPECT_EQ(error, DEVICE_ERROR_GEN_FAILURE);
      EXPECT_EQ(infoError, DEVICE_ERROR_GEN_FAILURE);
      LinuxAccessFailure failure;
      ASSERT_TRUE(io.Failures().Find(c.name, failure));
      EXPECT_EQ(failure.error, c.readErrno) << failure.reason;
      EXPECT_NE(failure.file.find("temp1_input"), std::string::npos) << failure.file;
      // Awake again: the same handle reads the value.
      EXPECT_TRUE(Read(*handle, DRIVER_SENSOR_GET_TEMP, tenths, error));
      continue;
    }
    EXPECT_EQ(Read(*handle, DRIVER_SENSOR_GET_TEMP, tenths, error), c.tenths >= 0);
    if (c.tenths >= 0) {
      EXPECT_EQ(tenths, c.tenths);
      const auto info = Read<_tagSSensorInfoBlock>(*handle, DRIVER_SENSOR_GET_INFO);
      EXPECT_EQ(info.Type, c.type);
      EXPECT_EQ(info.AuxCount, 0u);
      EXPECT_EQ(info.DeviceCount, 0u);
    } else {
      EXPECT_NE(error, 0u);
    }
  }
}

TEST(HwmonSensorTest, ListsInputsAfterZonesAndLeavesOutMirrorsTctlAndUnreadableInputs) {
  CFakeSysfs sysfs;
  sysfs.AddZone(0, "acpitz", 27800);
  CFakeHwmon hwmon(sysfs.Root());
  hwmon.AddZoneMirror(0, "acpitz", 0);
  hwmon.Write(0, "temp1_input", "27800");
  hwmon.AddChip(1, "k10temp", "pci0000:00/0000:00:18.3", "pci");
  hwmon.Write(1, "temp1_input", "61000");
  hwmon.Write(1, "temp1_label", "Tctl");
  hwmon.Write(1, "temp2_input", "51000");
  hwmon.Write(1, "temp2_label", "Tdie");
  hwmon.Write(1, "temp3_input", "49000", 0200);  // unreadable
  // Two disks of one driver, told apart by bus.
  hwmon.AddChip(2, "nvme", "pci0000:00/0000:01:00.0", "pci");
  hwmon.Write(2, "temp1_input", "38850");
  hwmon.AddChip(3, "nvme", "pci0000:00/0000:02:00.0", "pci");
  hwmon.Write(3, "temp1_input", "40850");

  CSysfsThermalView stable(sysfs.Root(), LinuxParticipantNaming::Stable);
  EXPECT_EQ(Sensors(stable), (std::vector<std::wstring>{
                                 L"zone:acpitz:0",
                                 L"hwmon:k10temp-pci-00c3:Tdie",
                                 L"hwmon:nvme-pci-0100:temp1",
                                 L"hwmon:nvme-pci-0200:temp1",
                             }));
  CSysfsThermalView path(sysfs.Root(), LinuxParticipantNaming::Path);
  const auto paths = Sensors(path);
  ASSERT_EQ(paths.size(), 4u);
  EXPECT_EQ(paths[0], sysfs.ZonePathW(0));
  EXPECT_EQ(paths[1], FromUtf8(hwmon.ChipPath(1) + "/temp2_input"));
  EXPECT_EQ(stable.Current()->Scan().ZoneIndexOf(0), 0u);
}

TEST(HwmonSensorTest, RenumberedChipsKeepTheirStableNamesAndValues) {
  const auto build = [](CFakeSysfs& sysfs, uint32_t cpu, uint32_t disk) {
    CFakeHwmon hwmon(sysfs.Root());
    hwmon.AddChip(cpu, "k10temp", "pci0000:00/0000:00:18.3", "pci");
    hwmon.Write(cpu, "temp1_input", "61000");
    hwmon.Write(cpu, "temp1_label", "Tctl");
    hwmon.AddChip(disk, "nvme", "pci0000:00/0000:01:00.0", "pci");
    hwmon.Write(disk, "temp1_input", "38800");
  };
  CFakeSysfs first, second;
  build(first, 0, 1);
  build(second, 7, 2);
  for (CFakeSysfs* sysfs : {&first, &second}) {
    auto view = std::make_shared<CSysfsThermalView>(sysfs->Root(), LinuxParticipantNaming::Stable);
    CSysfsDeviceIo io(view);
    auto cpu = OpenOrFail(io, L"hwmon:k10temp-pci-00c3:Tctl");
    auto disk = OpenOrFail(io, L"hwmon:nvme-pci-0100:temp1");
    ASSERT_TRUE(cpu && disk);
    EXPECT_EQ(Read<int32_t>(*cpu, DRIVER_SENSOR_GET_TEMP), 3342);
    EXPECT_EQ(Read<int32_t>(*disk, DRIVER_SENSOR_GET_TEMP), 3120);
  }
}

TEST(HwmonSensorTest, LimitsAreNoTripsAndAreNeverWritten) {
  CFakeSysfs sysfs;
  CFakeHwmon hwmon(sysfs.Root());
  hwmon.AddChip(0, "coretemp", "platform/coretemp.0", "platform");
  hwmon.Write(0, "temp1_input", "50000");
  hwmon.Write(0, "temp1_max", "80000");
  hwmon.Write(0, "temp1_crit", "100000");
  hwmon.Write(0, "temp1_emergency", "105000");
  const std::string before = sysfs.Snapshot();
  auto view = std::make_shared<CSysfsThermalView>(sysfs.Root(), LinuxParticipantNaming::Path);
  CSysfsDeviceIo io(view);
  auto handle = OpenOrFail(io, FromUtf8(hwmon.ChipPath(0) + "/temp1_input"));
  ASSERT_NE(handle, nullptr);
  const auto trips = Read<_tagSTripBlock>(*handle, DRIVER_SENSOR_GET_TRIPS);
  EXPECT_EQ(trips.Aux0Type, 0xFFFFFFFFu);
  EXPECT_EQ(trips.Aux1Type, 0xFFFFFFFFu);
  uint32_t error = 0;
  EXPECT_FALSE(Send(*handle, DRIVER_SENSOR_SET_TRIPS, _tagSTripBlock{0, 3000, 1, 3100}, error));
  EXPECT_EQ(error, DEVICE_ERROR_INVALID_FUNCTION);
  EXPECT_EQ(sysfs.Snapshot(), before);
}

TEST(HwmonSensorTest, AChipThatGoesAwayFailsItsHandleAndUeventsWatchHwmon) {
  CFakeSysfs sysfs;
  CFakeHwmon hwmon(sysfs.Root());
  hwmon.AddChip(5, "amdgpu", "pci0000:00/0000:03:00.0", "pci");
  hwmon.Write(5, "temp1_input", "41000");
  auto view = std::make_shared<CSysfsThermalView>(sysfs.Root(), LinuxParticipantNaming::Stable);
  CSysfsDeviceIo io(view);
  auto handle = OpenOrFail(io, L"hwmon:amdgpu-pci-0300:temp1");
  ASSERT_NE(handle, nullptr);
  hwmon.Remove(5);
  view->Refresh();
  int32_t tenths = 0;
  uint32_t error = 0;
  EXPECT_FALSE(Read(*handle, DRIVER_SENSOR_GET_TEMP, tenths, error));
  EXPECT_EQ(error, DEVICE_ERROR_FILE_NOT_FOUND);
  const auto& subsystems = UeventSubsystems();
  EXPECT_NE(std::find(subsystems.begin(), subsystems.end(), "hwmon"), subsystems.end());
}

}  // namespace
