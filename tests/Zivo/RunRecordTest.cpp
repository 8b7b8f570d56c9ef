// "zivo run --record FILE --metrics-textfile PATH" on a fake sysfs tree: the
// record's header carries each controlled zone's thresholds, type, critical
// trip and devices; each tick is a sample with the readings that failed
// named; every other object of the record is a line --json printed, in the
// same order; the metrics count the decisions and failed readings; and the
// report draws it. A dry run with a dead system bus: nothing is acted on.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "support/FakeSysfs.h"
#include "support/TempFolder.h"
#include "support/ZivoProcess.h"

namespace {

using json = nlohmann::json;

std::vector<json> Lines(const std::string& text) {
  std::vector<json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(json::parse(line, nullptr, false));
  }
  return lines;
}

std::string Read(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(RunRecordTest, RecordsHeaderSamplesAndTheJsonLinesAndCountsMetrics) {
  setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zivo-test-bus", 1);
  CFakeSysfs sys;
  CTempFolder work;
  sys.AddZone(0, "acpitz", 60000);
  sys.SetTrip(0, 0, 95000, false, "critical");
  sys.AddZone(1, "x86_pkg_temp", 40000);
  sys.AddCooling(0, "Fan", 4, 0);
  sys.LinkCooling(0, 0, 0);
  std::string sensors;
  for (uint32_t zone = 0; zone < 2; ++zone) {
    sensors += "<Sensor Path=\"" + sys.ZonePath(zone) +
               "\" class=\"2\"><Temperature shutdown=\"90\" ThrottleStart=\"50\"/>"
               "<SUsage enable=\"1\" aux_interval=\"2\"/></Sensor>";
  }
  const std::string policy = work.Write(
      "policy.xml",
      "<?xml version=\"1.0\"?><VelmarConfig><Platform><Shutdown option=\"shutdown\" "
      "timer=\"15\"/><Throttling preference=\"Active\"/></Platform><Devices><Device "
      "Path=\"cooling_device0\" class=\"9\"><Throttle limit=\"4\" step=\"1\" priority=\"0\"/>"
      "<DUsage enable=\"1\" shutdown=\"0\"/></Device></Devices><Sensors>" +
          sensors + "</Sensors></VelmarConfig>\n");
  const std::string record = work.Path() + "/run.jsonl";
  const std::string metrics = work.Path() + "/zivo.prom";
  CZivoProcess process(
      {"run", "--json", "--platform", "linux", "--sysfs-root", sys.Root(), "--config", policy,
       "--interval", "0.05", "--duration", "1", "--record", record, "--metrics-textfile", metrics},
      work.Path());
  // Zone 1 stops reading once the run has started.
  ASSERT_TRUE(process.WaitFor("zivo run: applying", true));
  sys.WriteAttribute("thermal_zone1", "temp", "no reading\n", 0444);
  const _tagSZivoRun run = process.Finish();
  ASSERT_EQ(run.status, 0) << run.err;

  const std::vector<json> printed = Lines(run.out);
  const std::vector<json> kept = Lines(Read(record));
  ASSERT_GE(kept.size(), 3u);
  const json& header = kept[0];
  EXPECT_EQ(header["action"], "header");
  EXPECT_EQ(header["version"], 1);
  EXPECT_EQ(header["dryRun"], true);
  EXPECT_EQ(header["policy"], policy);
  EXPECT_EQ(header["interval"], 0.05);
  ASSERT_EQ(header["sensors"].size(), 2u);
  const json& zone0 = header["sensors"][0];
  EXPECT_EQ(zone0["name"], sys.ZonePath(0));
  EXPECT_EQ(zone0["type"], "acpitz");
  EXPECT_EQ(zone0["throttleStart"], 3232);
  EXPECT_EQ(zone0["release"], 3212);
  EXPECT_EQ(zone0["shutdown"], 3632);
  EXPECT_EQ(zone0["critical"], 3682);
  EXPECT_EQ(zone0["devices"], json::array({sys.CoolingPath(0)}));
  EXPECT_FALSE(header["sensors"][1].contains("critical"));

  std::vector<json> others;
  std::size_t samples = 0;
  std::size_t failed = 0;
  for (std::size_t i = 1; i < kept.size(); ++i) {
    ASSERT_TRUE(kept[i].is_object()) << i;
    if (kept[i]["action"] != "sample") {
      others.push_back(kept[i]);
      continue;
    }
    ++samples;
    const json& s = kept[i];
    EXPECT_EQ(s["sensors"][sys.ZonePath(0)]["temperature"], 3332);
    const json& zone1 = s["sensors"][sys.ZonePath(1)];
    if (zone1.contains("failure")) {
      ++failed;
      EXPECT_NE(zone1["failure"].get<std::string>().find("temp"), std::string::npos) << s;
    } else {
      EXPECT_EQ(zone1["temperature"], 3132) << s;
    }
    EXPECT_EQ(s["devices"][sys.CoolingPath(0)]["max"], 4);
  }
  EXPECT_GE(samples, 2u);
  EXPECT_GE(failed, 1u);
  // The same writer: the record's other objects are the printed lines.
  EXPECT_EQ(others, printed);
  // In a dry run the fan steps up as it would have: the last sample shows it.
  const json& last = *std::find_if(kept.rbegin(), kept.rend(),
                                   [](const json& o) { return o["action"] == "sample"; });
  EXPECT_GE(last["devices"][sys.CoolingPath(0)]["state"].get<int>(), 1);

  const std::string prom = Read(metrics);
  const std::string zone1 = "zivo_read_errors_total{sensor=\"" + sys.ZonePath(1) + "\"} ";
  EXPECT_NE(prom.find(zone1), std::string::npos) << prom;
  EXPECT_NE(prom.find("zivo_decisions_total{device=\"" + sys.CoolingPath(0) +
                      "\",direction=\"up\",reason=\"throttle_start\"}"),
            std::string::npos)
      << prom;
  EXPECT_NE(prom.find("zivo_sensor_temperature_celsius{sensor=\"" + sys.ZonePath(0) +
                      "\",type=\"acpitz\"} 60.0\n"),
            std::string::npos)
      << prom;
  EXPECT_NE(prom.find("threshold=\"critical\"} 95.0\n"), std::string::npos) << prom;
  EXPECT_NE(prom.find("zivo_dry_run 1\n"), std::string::npos) << prom;

  const _tagSZivoRun page = RunZivo({"report", record, "-o", work.Path() + "/run.html"});
  ASSERT_EQ(page.status, 0) << page.err;
  const std::string html = Read(work.Path() + "/run.html");
  EXPECT_NE(html.find("<line class=\"threshold critical\""), std::string::npos);
  EXPECT_NE(html.find("<rect class=\"gap\""), std::string::npos);
  EXPECT_NE(html.find("<g class=\"decision throttle\""), std::string::npos);
}

TEST(RunRecordTest, ARecordThatCannotBeCreatedEndsTheRunBeforeItStarts) {
  const _tagSZivoRun run =
      RunZivo({"run", "--platform", "sim", "--duration", "1", "--record",
               "/nonexistent/folder/run.jsonl", "--config", "docs/velmarconfig.xml"},
              ZIVO_SOURCE_DIR);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("zivo run: the record /nonexistent/folder/run.jsonl: No such file"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(RunZivo({"run", "--record"}).status, 2);
}

}  // namespace

namespace {

std::string JoinPolicy(const CFakeSysfs& sys, bool zone1Managed) {
  std::string sensors;
  for (uint32_t zone = 0; zone < 2; ++zone) {
    const bool managed = zone == 0 || zone1Managed;
    sensors += "<Sensor Path=\"" + sys.ZonePath(zone) +
               "\" class=\"2\"><Temperature shutdown=\"90\" ThrottleStart=\"50\"/>"
               "<SUsage enable=\"" +
               (managed ? "1" : "0") + "\" aux_interval=\"2\"/></Sensor>";
  }
  return "<?xml version=\"1.0\"?><VelmarConfig><Platform><Shutdown option=\"shutdown\" "
         "timer=\"15\"/></Platform><Devices/><Sensors>" +
         sensors + "</Sensors></VelmarConfig>\n";
}

// The "sensor" object of `name` in a record's lines: written once, after the
// header and before the first sample that reads it; null when missing.
const json* JoinedSensor(const std::vector<json>& kept, const std::string& name) {
  const json* joined = nullptr;
  for (std::size_t i = 1; i < kept.size(); ++i) {
    if (kept[i]["action"] == "sensor" && kept[i]["name"] == name) {
      EXPECT_EQ(joined, nullptr) << "written twice, again at line " << i + 1;
      joined = &kept[i];
    } else if (kept[i]["action"] == "sample" && kept[i]["sensors"].contains(name)) {
      EXPECT_NE(joined, nullptr) << "read at line " << i + 1 << " before it joined";
    }
  }
  return joined;
}

// A reload that turns on a zone's usage: the record gets the zone's
// "sensor" object with the header's fields; the metrics and the report
// cover it.
TEST(RunRecordTest, AZoneAReloadManagesIsRecordedAndReported) {
  setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zivo-test-bus", 1);
  CFakeSysfs sys;
  CTempFolder work;
  sys.AddZone(0, "acpitz", 40000);
  sys.AddZone(1, "x86_pkg_temp", 60000);
  sys.SetTrip(1, 0, 100000, false, "critical");
  const std::string policy = work.Write("policy.xml", JoinPolicy(sys, false));
  const std::string record = work.Path() + "/run.jsonl";
  const std::string metrics = work.Path() + "/zivo.prom";
  CZivoProcess process(
      {"run", "--json", "--platform", "linux", "--sysfs-root", sys.Root(), "--config", policy,
       "--interval", "0.05", "--record", record, "--metrics-textfile", metrics},
      work.Path());
  ASSERT_TRUE(process.WaitFor("zivo run: applying", true));
  work.Write("policy.xml", JoinPolicy(sys, true));
  process.Signal(SIGHUP);
  const std::string zone1 = sys.ZonePath(1);
  // A second sample after the zone joined: the metrics of the first are written.
  ASSERT_TRUE(process.WaitUntil([&] {
    const std::string text = Read(record);
    const std::size_t joined = text.find("\"action\":\"sensor\"");
    return joined != std::string::npos &&
           text.find("\"action\":\"sample\"", text.find("\"action\":\"sample\"", joined) + 1) !=
               std::string::npos;
  })) << Read(record);
  process.Signal(SIGTERM);
  const _tagSZivoRun run = process.Finish();
  ASSERT_EQ(run.status, 0) << run.err;

  const std::vector<json> kept = Lines(Read(record));
  ASSERT_EQ(kept[0]["sensors"].size(), 1u);
  const json* joined = JoinedSensor(kept, zone1);
  ASSERT_NE(joined, nullptr);
  EXPECT_EQ((*joined)["type"], "x86_pkg_temp");
  EXPECT_EQ((*joined)["throttleStart"], 3232);
  EXPECT_EQ((*joined)["release"], 3212);
  EXPECT_EQ((*joined)["shutdown"], 3632);
  EXPECT_EQ((*joined)["critical"], 3732);
  EXPECT_EQ((*joined)["devices"], json::array());

  const std::string prom = Read(metrics);
  EXPECT_NE(prom.find("zivo_sensor_threshold_celsius{sensor=\"" + zone1 +
                      "\",threshold=\"critical\"} 100.0\n"),
            std::string::npos)
      << prom;
  EXPECT_NE(prom.find("zivo_sensor_temperature_celsius{sensor=\"" + zone1 +
                      "\",type=\"x86_pkg_temp\"} 60.0\n"),
            std::string::npos)
      << prom;

  const _tagSZivoRun page = RunZivo({"report", record, "-o", work.Path() + "/run.html"});
  ASSERT_EQ(page.status, 0) << page.err;
  const std::string html = Read(work.Path() + "/run.html");
  EXPECT_NE(html.find("data-sensor=\"" + zone1 + "\""), std::string::npos);
  EXPECT_NE(html.find("critical trip 100.0"), std::string::npos);
}

// A sensor arriving mid-run on a simulated handheld: its "sensor" object
// names the device it throttles, and the report charts it.
TEST(RunRecordTest, ASensorArrivingMidRunIsRecordedAndReported) {
  CTempFolder work;
  const std::string handheld = work.Write("handheld.json",
                                          R"({"name": "arrival", "step_seconds": 5, "ambient": 25.0,
  "devices": [{"wmi": 5, "type": 2, "maximum": 3}],
  "sensors": [{"wmi": 11, "type": 2, "base": 1, "devices": [], "temperature": 30.0, "heat": 0.0},
              {"wmi": 13, "type": 7, "base": 1, "devices": [5], "hotplug": true,
               "temperature": 50.0}],
  "timeline": [{"at": 12, "event": "arrive", "wmi": 13}]})");
  const std::string policy = work.Write("policy.xml", R"(<?xml version="1.0"?>
<VelmarConfig><Platform><Shutdown option="hibernate" timer="15"/><Throttling preference="Active"/></Platform><Devices>
<Device Path="PNP0C14\5_0" class="2"><Throttle limit="3" step="3" priority="0"/><DUsage enable="1" shutdown="0"/></Device>
</Devices><Sensors>
<Sensor Path="ACPI\PNP0C14\11_0" class="2"><Temperature shutdown="90" ThrottleStart="40"/><SUsage enable="1" aux_interval="2"/></Sensor>
<Sensor Path="ACPI\PNP0C14\13_0" class="7"><Temperature shutdown="90" ThrottleStart="40"/><SUsage enable="1" aux_interval="2"/></Sensor>
</Sensors></VelmarConfig>
)");
  const _tagSZivoRun run =
      RunZivo({"run", "--platform", "sim:" + handheld, "--config", policy, "--interval", "5",
               "--speed", "1000000", "--duration", "60", "--record", "run.jsonl"},
              work.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<json> kept = Lines(Read(work.Path() + "/run.jsonl"));
  ASSERT_FALSE(kept.empty());
  ASSERT_EQ(kept[0]["sensors"].size(), 1u) << kept[0];
  const json* joined = JoinedSensor(kept, "ACPI\\PNP0C14\\13_0");
  ASSERT_NE(joined, nullptr) << run.out;
  EXPECT_EQ((*joined)["throttleStart"], 3132);
  EXPECT_EQ((*joined)["devices"], json::array({"ACPI\\PNP0C14\\5_0"}));

  const _tagSZivoRun page = RunZivo({"report", "run.jsonl", "--csv", "-o", "run.csv"}, work.Path());
  ASSERT_EQ(page.status, 0) << page.err;
  EXPECT_NE(Read(work.Path() + "/run.csv").find("ACPI\\PNP0C14\\13_0 C"), std::string::npos);
}

}  // namespace
