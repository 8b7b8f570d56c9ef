// "zivo config check --against": a policy compared with the participants a
// fake sysfs tree discovers, with the library's
// rule that a device record applies to every name its path occurs in.
#include <gtest/gtest.h>

#include "support/FakeSysfs.h"
#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

using json = nlohmann::json;

std::string Device(const std::string& path) {
  return "<Device Path=\"" + path +
         "\" class=\"3\"><Throttle limit=\"2\" step=\"1\" priority=\"1\"/>"
         "<DUsage enable=\"1\" shutdown=\"0\"/></Device>\n";
}

std::string Sensor(const std::string& name, const std::string& skinDevice = "") {
  const std::string temperature =
      "<Temperature shutdown=\"90\" ThrottleStart=\"60\"/><SUsage enable=\"1\" "
      "aux_interval=\"2\"/>";
  if (skinDevice.empty()) {
    return "<Sensor Path=\"" + name + "\" class=\"2\">" + temperature + "</Sensor>\n";
  }
  return "<Sensor Path=\"" + name + "\" class=\"1\" ThirdParty_DeviceCount=\"1\">" + temperature +
         "<DevicePath Device0=\"" + skinDevice + "\"/></Sensor>\n";
}

// Devices from line 4 on, one a line, then the sensors.
std::string Policy(const std::string& devices, const std::string& sensors) {
  return "<?xml version=\"1.0\"?>\n<Config>\n<Platform><Shutdown option=\"shutdown\" "
         "timer=\"15\"/><Throttling preference=\"Passive\"/></Platform>\n" +
         devices + sensors + "</Config>\n";
}

class AgainstPlatformTest : public testing::Test {
 protected:
  void SetUp() override {
    for (uint32_t n : {0u, 1u, 12u}) {
      mSysfs.AddCooling(n, "Processor", 3, 0);
    }
    mSysfs.AddZone(0, "acpitz", 40000);
    mSysfs.AddZone(1, "x86_pkg_temp", 50000);
  }

  _tagSZivoRun Check(const std::string& policy, std::vector<std::string> extra = {}) {
    const std::string file = mWork.Write("policy.xml", policy);
    std::vector<std::string> args = {"config", "check",        file,         "--against",
                                     "linux",  "--sysfs-root", mSysfs.Root()};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunZivo(args, mWork.Path());
  }

  std::string Cooling(uint32_t n) const { return mSysfs.CoolingPath(n); }
  std::string Zone(uint32_t n) const { return mSysfs.ZonePath(n); }

  CFakeSysfs mSysfs;
  CTempFolder mWork;
};

TEST_F(AgainstPlatformTest, ReportsWhatEachRecordAppliesToAndWarnsOfTheSurprises) {
  const std::string policy =
      Policy(Device("cooling_device1") + Device("cooling_device7") + Device("cooling_device12"),
             Sensor(Zone(0)) + Sensor("zone:none") + Sensor("skin", "cooling_device0"));
  _tagSZivoRun run = Check(policy);
  ASSERT_EQ(run.status, 0) << "warnings only\n" << run.err;
  const std::string file = mWork.Path() + "/policy.xml";
  for (const std::string& line : {
           file + ":4: <Device Path=\"cooling_device1\"> applies to 2 devices: " + Cooling(1) +
               ", " + Cooling(12),
           file + ":5: <Device Path=\"cooling_device7\"> occurs in no device name",
           file + ":6: <Device Path=\"cooling_device12\"> applies to no device: " + Cooling(12) +
               " takes the earlier <Device Path=\"cooling_device1\"> (line 4)",
           file + ":8: <Sensor Path=\"zone:none\"> names no sensor of the platform",
           file + ":9: <Sensor Path=\"skin\"> <DevicePath> \"cooling_device0\" names no device",
           file + ": sensor " + Zone(1) + " has no <Sensor> record",
           file + ": device " + Cooling(0) + " has no <Device> record",
       }) {
    EXPECT_NE(run.err.find("warning: " + line), std::string::npos) << line << "\n" << run.err;
  }
  EXPECT_EQ(run.err.find(Zone(0) + " has no"), std::string::npos) << run.err;
  EXPECT_EQ(Check(policy, {"--strict"}).status, 1) << "--strict fails on the warnings";

  run = Check(policy, {"--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const json against = run.Json().at("against");
  EXPECT_EQ(against.at("devices")[0].at("appliesTo"), (json{Cooling(1), Cooling(12)}));
  EXPECT_EQ(against.at("sensors")[1].at("found"), false);
  EXPECT_EQ(against.at("devicesWithoutRecord"), (json{Cooling(0)}));
  EXPECT_EQ(against.at("sensorsWithoutRecord"), (json{Zone(1)}));

  for (const std::vector<std::string>& mistake : std::vector<std::vector<std::string>>{
           {"--platform", "sim"}, {"--naming", "stable", "--against", "sim"}, {"--against"}}) {
    run = Check(policy, mistake);
    EXPECT_EQ(run.status, 2) << mistake[0] << "\n" << run.err;
    EXPECT_EQ(run.err.find("--platform goes"), std::string::npos) << run.err;
  }
}

}  // namespace
