// "zivo config check --against": a policy compared with the participants a
// fake sysfs tree discovers, with the library's
// rule that a device record applies to every name its path occurs in.
#include <gtest/gtest.h>

#include <functional>

#include "support/FakeHwmon.h"
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

// What each managed sensor will control, and the start-up warnings of a
// policy that will not work on the machine as its writer means: one zone
// (thermal_zone0) linking one fan (cooling_device0) unless a case says
// otherwise. Warnings only: the check passes without --strict.
TEST(StartupFindingsTest, SaysWhatItWillControlAndWarnsOfWhatWillNotWork) {
  struct Case {
    const char* name;
    std::function<void(CFakeSysfs&)> tree;
    std::function<std::string(const CFakeSysfs&)> policy;
    std::vector<std::string> out;  // on the standard output
    std::vector<std::string> err;  // on the standard error, after "warning: "
    std::string absent;            // on neither
  };
  const auto both = [](const CFakeSysfs& t) {
    return Policy(Device("cooling_device0"), Sensor(t.ZonePath(0)));
  };
  const auto governor = [](const char* policy, const char* mode) {
    return [=](CFakeSysfs& t) {
      t.WriteAttribute("thermal_zone0", "policy", std::string(policy) + "\n");
      t.WriteAttribute("thermal_zone0", "mode", std::string(mode) + "\n");
    };
  };
  const auto critical = [](int64_t milli) {
    return [=](CFakeSysfs& t) { t.SetTrip(0, 0, milli, false, "critical"); };
  };
  const Case cases[] = {
      {"controls its fan",
       governor("user_space", "enabled"),
       both,
       {"Controls:\n  @Z0 (<Sensor> line 5) -> @C0\n"},
       {},
       "warning"},
      {"a governor that overwrites",
       governor("step_wise", "enabled"),
       both,
       {"-> @C0"},
       {"device @C0 is bound to zone @Z0 whose kernel governor step_wise will overwrite"},
       ""},
      {"a disabled zone's governor",
       governor("power_allocator", "disabled"),
       both,
       {},
       {},
       "governor"},
      {"shutdown at the critical trip",
       critical(90000),
       both,
       {},
       {"<Sensor Path=\"@Z0\"> shutdown temperature 90.0 °C is at or above the zone's "
        "critical trip 90.0 °C: the kernel powers the machine off first"},
       ""},
      {"shutdown below the critical trip", critical(95000), both, {}, {}, "critical trip"},
      {"shutdown at an hwmon chip's critical limit",
       [](CFakeSysfs& t) {
         CFakeHwmon hwmon(t.Root());
         hwmon.AddChip(0, "coretemp", "platform/coretemp.0", "platform");
         hwmon.Write(0, "temp1_input", "50000");
         hwmon.Write(0, "temp1_crit", "85000");
       },
       [](const CFakeSysfs& t) {
         return Policy(Device("cooling_device0"),
                       Sensor(CFakeHwmon(t.Root()).ChipPath(0) + "/temp1_input"));
       },
       {},
       {"shutdown temperature 90.0 °C is at or above the chip's critical limit 85.0 °C"},
       "zone's critical trip"},
      {"a sensor without a device",
       governor("user_space", "enabled"),
       [](const CFakeSysfs& t) { return Policy(Device("nothing"), Sensor(t.ZonePath(0))); },
       {"@Z0 (<Sensor> line 5) -> no device",
        "Nothing to control: no managed sensor has a device to throttle"},
       {"<Sensor Path=\"@Z0\"> controls no device", "the policy controls nothing on "},
       ""},
      {"a record that matches nothing",
       {},
       [](const CFakeSysfs&) { return Policy(Device("cooling_device0"), Sensor("zone:none")); },
       {"Nothing to control: no sensor of the platform has a <Sensor> record"},
       {"<Sensor Path=\"zone:none\"> names no sensor of the platform",
        "sensor @Z0 has no <Sensor> record"},
       ""},
      {"a second zone without a record",
       [](CFakeSysfs& t) { t.AddZone(1, "x86_pkg_temp", 50000); },
       both,
       {"-> @C0"},
       {"sensor @Z1 has no <Sensor> record"},
       "Nothing to control"},
      {"a skin sensor's device path",
       [](CFakeSysfs& t) {
         t.AddZone(1, "skin", 35000);
         t.AddCooling(1, "Fan", 3, 0);
         t.LinkCooling(0, 1, 1);
       },
       [](const CFakeSysfs& t) {
         return Policy(Device("cooling_device"),
                       Sensor(t.ZonePath(0)) + Sensor(t.ZonePath(1), t.CoolingPath(1)));
       },
       {"@Z1 (<Sensor> line 6) -> @C1\n"},
       {},
       "Nothing to control"},
      {"a skin device path that matches nothing",
       {},
       [](const CFakeSysfs& t) {
         return Policy(Device("cooling_device0"),
                       Sensor(t.ZonePath(0)) + Sensor("skin", "cooling_device9"));
       },
       {},
       {"<Sensor Path=\"skin\"> <DevicePath> \"cooling_device9\" names no device"},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CFakeSysfs sysfs;
    sysfs.AddZone(0, "acpitz", 40000);
    sysfs.AddCooling(0, "Fan", 3, 0);
    sysfs.LinkCooling(0, 0, 0);
    if (c.tree) {
      c.tree(sysfs);
    }
    const auto expand = [&](std::string text) {
      for (const auto& [mark, name] :
           {std::pair<std::string, std::string>{"@Z0", sysfs.ZonePath(0)},
            {"@Z1", sysfs.ZonePath(1)},
            {"@C0", sysfs.CoolingPath(0)},
            {"@C1", sysfs.CoolingPath(1)}}) {
        for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark)) {
          text.replace(at, mark.size(), name);
        }
      }
      return text;
    };
    CTempFolder work;
    const std::string file = work.Write("policy.xml", c.policy(sysfs));
    const _tagSZivoRun run = RunZivo(
        {"config", "check", file, "--against", "linux", "--sysfs-root", sysfs.Root()}, work.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    for (const std::string& text : c.out) {
      EXPECT_NE(run.out.find(expand(text)), std::string::npos) << expand(text) << " in\n"
                                                               << run.out;
    }
    for (const std::string& text : c.err) {
      EXPECT_NE(run.err.find("warning: " + file), std::string::npos) << run.err;
      EXPECT_NE(run.err.find(expand(text)), std::string::npos) << expand(text) << " in\n"
                                                               << run.err;
    }
    if (!c.absent.empty()) {
      EXPECT_EQ((run.out + run.err).find(c.absent), std::string::npos) << run.out << run.err;
    }
  }
}

}  // namespace
