// The metrics textfile: the names, labels and units node_exporter expects,
// label values escaped, counters that count, and a file replaced whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "MetricsTextfile.h"
#include "support/TempFolder.h"

namespace {

RecordHeader Header(bool dryRun) {
  RecordHeader header;
  header.dryRun = dryRun;
  header.sensors.push_back({"ACPI\\PNP0C14\\10_0", "skin \"a\"", 3112, 3092, 3182, 3232, {}});
  header.sensors.push_back({"zone1", "", 3000, 2980, 3100, std::nullopt, {}});
  return header;
}

RecordSample Sample() {
  RecordSample sample;
  sample.sensors["ACPI\\PNP0C14\\10_0"] = {3142, ""};
  sample.sensors["zone1"] = {std::nullopt, "failed"};
  sample.devices["fan"] = {2, 3, 2400};
  sample.devices["cpu"] = {1, std::nullopt, std::nullopt};
  return sample;
}

TEST(MetricsTextfile, NamesLabelsAndUnits) {
  CMetricsTextfile metrics("/nonexistent/zivo.prom", "1.2.3");
  metrics.CountDecision("fan", "up", DecisionCause::ThrottleStart);
  metrics.CountDecision("fan", "up", DecisionCause::ThrottleStart);
  metrics.CountDecision("", "shutdown", DecisionCause::Library);
  metrics.CountReadError("zone1");
  const std::string text = metrics.Text(Header(true), Sample());
  const char* expected[] = {
      "zivo_sensor_temperature_celsius{sensor=\"ACPI\\\\PNP0C14\\\\10_0\",type=\"skin "
      "\\\"a\\\"\"} 41.0\n",
      "zivo_sensor_threshold_celsius{sensor=\"ACPI\\\\PNP0C14\\\\10_0\",threshold=\"throttle_"
      "start\"} 38.0\n",
      "threshold=\"release\"} 36.0\n",
      "threshold=\"shutdown\"} 45.0\n",
      "threshold=\"critical\"} 50.0\n",
      "zivo_device_state{device=\"fan\"} 2\n",
      "zivo_device_state{device=\"cpu\"} 1\n",
      "zivo_device_max_state{device=\"fan\"} 3\n",
      "zivo_fan_rpm{device=\"fan\"} 2400\n",
      "zivo_decisions_total{device=\"fan\",direction=\"up\",reason=\"throttle_start\"} 2\n",
      "zivo_decisions_total{device=\"\",direction=\"shutdown\",reason=\"library\"} 1\n",
      "zivo_read_errors_total{sensor=\"zone1\"} 1\n",
      "zivo_dry_run 1\n",
      "zivo_build_info{version=\"1.2.3\"} 1\n",
      "# TYPE zivo_decisions_total counter\n",
  };
  for (const char* line : expected) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n---\n" << text;
  }
  // What was not read is left out rather than shown as 0.
  EXPECT_EQ(text.find("sensor=\"zone1\",type"), std::string::npos);
  EXPECT_EQ(text.find("zivo_device_max_state{device=\"cpu\"}"), std::string::npos);
  EXPECT_EQ(text.find("zivo_fan_rpm{device=\"cpu\"}"), std::string::npos);
  EXPECT_EQ(text.find("zone1\",threshold=\"critical"), std::string::npos);
}

TEST(MetricsTextfile, ReplacesTheFileWholeAndLeavesNoTemporaryFile) {
  CTempFolder folder;
  const std::string path = folder.Path() + "/zivo.prom";
  CMetricsTextfile metrics(path, "1");
  std::string error;
  ASSERT_TRUE(metrics.Write(Header(false), Sample(), error)) << error;
  metrics.CountReadError("zone1");
  ASSERT_TRUE(metrics.Write(Header(false), Sample(), error)) << error;
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), metrics.Text(Header(false), Sample()));
  EXPECT_NE(text.str().find("zivo_dry_run 0\n"), std::string::npos);
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
    ++files;
    EXPECT_EQ(entry.path().filename(), "zivo.prom");
    EXPECT_EQ(entry.status().permissions() & std::filesystem::perms::others_read,
              std::filesystem::perms::others_read);
  }
  EXPECT_EQ(files, 1u);
  // A folder that cannot take the file: the error names it, nothing is left.
  CMetricsTextfile nowhere(folder.Path() + "/missing/zivo.prom", "1");
  EXPECT_FALSE(nowhere.Write(Header(false), Sample(), error));
  EXPECT_NE(error.find("missing/zivo.prom"), std::string::npos) << error;
}

}  // namespace
