// Why a sysfs access failed, kept for the host: the file and the errno of
// each participant's latest failure, under the name it was opened with, and
// read back through the exported GetLinuxAccessFailure.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "Platform/DriverProtocol.h"
#include "Platform/Linux/SysfsDeviceIo.h"
#include "Platform/Linux/SysfsFailureBook.h"
#include "Platform/Linux/SysfsThermalView.h"
#include "support/DriverCalls.h"
#include "support/FakeSysfs.h"
#include "zivorivizo/Platform.h"

namespace {

TEST(SysfsFailureTest, KeepsTheFileAndTheErrnoOfTheLatestFailure) {
  struct Case {
    const char* name;
    bool zone;
    std::function<void(CFakeSysfs&)> spoil;  // after the open
    uint32_t code;
    const char* file;  // under the folder; empty: the folder itself
    int error;
    const char* reason;
  };
  const Case cases[] = {
      {"read-only state", false,
       [](CFakeSysfs& tree) { tree.WriteAttribute("cooling_device0", "cur_state", "0\n", 0444); },
       DRIVER_DEVICE_SET_STATE, "/cur_state", EACCES, "Permission denied (EACCES)"},
      {"temperature that is no number", true,
       [](CFakeSysfs& tree) { tree.WriteAttribute("thermal_zone0", "temp", "hot\n"); },
       DRIVER_SENSOR_GET_TEMP, "/temp", 0, "not a decimal value, or not a regular file"},
      {"attribute gone", false,
       [](CFakeSysfs& tree) { std::filesystem::remove(tree.CoolingPath(0) + "/max_state"); },
       DRIVER_DEVICE_GET_INFO, "/max_state", ENOENT, "No such file or directory (ENOENT)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CFakeSysfs tree;
    tree.AddZone(0, "acpitz", 40000);
    tree.AddCooling(0, "Fan", 3, 0);
    CSysfsDeviceIo io(
        std::make_shared<CSysfsThermalView>(tree.Root(), LinuxParticipantNaming::Path));
    const std::wstring name = c.zone ? tree.ZonePathW(0) : tree.CoolingPathW(0);
    const std::string folder = c.zone ? tree.ZonePath(0) : tree.CoolingPath(0);
    auto handle = OpenOrFail(io, name);
    ASSERT_NE(handle, nullptr);
    LinuxAccessFailure failure;
    EXPECT_FALSE(io.Failures().Find(name, failure)) << "nothing failed yet";
    c.spoil(tree);
    uint32_t error = 0;
    bool done = false;
    if (c.code == DRIVER_DEVICE_SET_STATE) {
      done = Send(*handle, c.code, uint32_t{1}, error);
    } else if (c.code == DRIVER_DEVICE_GET_INFO) {
      _tagSDeviceInfoBlock info{};
      done = Read(*handle, c.code, info, error);
    } else {
      uint32_t value = 0;
      done = Read(*handle, c.code, value, error);
    }
    EXPECT_FALSE(done);
    ASSERT_TRUE(io.Failures().Find(name, failure));
    EXPECT_EQ(failure.file, folder + c.file);
    EXPECT_EQ(failure.error, c.error);
    EXPECT_EQ(failure.reason, c.reason);
  }
}

// Through the installed platform, as a host reads it; another platform's
// device I/O keeps nothing.
TEST(SysfsFailureTest, TheHostReadsItByParticipantName) {
  const std::shared_ptr<CPlatform> previous = CPlatform::Current();
  CFakeSysfs tree;
  tree.AddCooling(0, "Fan", 3, 0);
  tree.WriteAttribute("cooling_device0", "cur_state", "0\n", 0444);
  CPlatform::Install(CreateLinuxPlatform(tree.Root()));
  auto handle = OpenOrFail(CPlatform::Current()->Devices(), tree.CoolingPathW(0));
  ASSERT_NE(handle, nullptr);
  uint32_t error = 0;
  EXPECT_FALSE(Send(*handle, DRIVER_DEVICE_SET_STATE, uint32_t{2}, error));
  LinuxAccessFailure failure;
  ASSERT_TRUE(GetLinuxAccessFailure(tree.CoolingPathW(0), failure));
  EXPECT_EQ(failure.file, tree.CoolingPath(0) + "/cur_state");
  EXPECT_FALSE(GetLinuxAccessFailure(tree.ZonePathW(0), failure)) << "another name";
  CPlatform::Install(previous);
  EXPECT_FALSE(GetLinuxAccessFailure(tree.CoolingPathW(0), failure)) << "not the Linux platform";
}

}  // namespace
