// The report of a run record: thinning keeps the extremes, the summary's
// figures, the page's charts, lines and markers, CSV and axis labels.
#include <gtest/gtest.h>

#include "ColumnThinning.h"
#include "ReportAxes.h"
#include "ReportCsv.h"
#include "ReportHtml.h"
#include "ReportSummary.h"
#include "RunRecord.h"

namespace {

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++n;
  }
  return n;
}

TEST(ColumnThinning, KeepsEachColumnsExtremesAndEveryGap) {
  std::vector<ChartPoint> points;
  for (int i = 0; i < 10000; ++i) {
    points.push_back({static_cast<double>(i), static_cast<double>(i % 97)});
  }
  points[5003].value = 500;  // one spike
  points[7001].value = -40;  // one dip
  points[8000].value.reset();
  points[8001].value.reset();
  const std::vector<ChartPoint> thin = ThinPerColumn(points, 0, 10000, 100);
  EXPECT_LE(thin.size(), 4u * 101 + 2);
  std::size_t gaps = 0;
  double high = -1e9, low = 1e9;
  for (std::size_t i = 0; i < thin.size(); ++i) {
    if (i > 0) {
      EXPECT_LE(thin[i - 1].t, thin[i].t);
    }
    if (!thin[i].value) {
      ++gaps;
      continue;
    }
    high = std::max(high, *thin[i].value);
    low = std::min(low, *thin[i].value);
  }
  EXPECT_EQ(gaps, 1u);  // two failed readings in a row are one gap
  EXPECT_EQ(high, 500);
  EXPECT_EQ(low, -40);
  EXPECT_EQ(thin.front().t, 0);
  EXPECT_EQ(thin.back().t, 9999);
  // Fewer points than columns come back as they are.
  const std::vector<ChartPoint> few = {{0, 1.0}, {1, std::nullopt}, {2, 3.0}};
  EXPECT_EQ(ThinPerColumn(few, 0, 2, 900).size(), 3u);
}

// Two sensors, one device each; S1 hot for 10 s and unreadable once, with a
// throttle, a release and a shutdown; S2 never read.
RunRecord Record() {
  RunRecord record;
  record.origin = *RecordSeconds("2026-01-01 12:00:00.000");
  record.header.version = 1;
  record.header.platform = "the <simulated> handheld";
  record.header.intervalSeconds = 5;
  record.header.sensors.push_back({"S<1>", "skin", 3112, 3092, 3182, 3232, {"D&1"}});
  record.header.sensors.push_back({"S2", "", 3000, 2980, 3100, std::nullopt, {"D2"}});
  const std::optional<int32_t> temps[] = {3100, 3120, 3130, std::nullopt, 3090};
  for (int i = 0; i < 5; ++i) {
    RecordSample s;
    s.seconds = 5.0 * i;
    s.time = RecordTimeText(record.origin + s.seconds);
    s.sensors["S<1>"] = {temps[i], temps[i] ? "" : "read \"failed\""};
    s.devices["D&1"] = {i >= 1 && i < 4 ? 1u : 0u, 2, std::nullopt};
    s.devices["D2"] = {0, 1, i == 4 ? std::optional<uint32_t>() : 900u + i};
    record.samples.push_back(s);
  }
  const auto event = [&](double t, const char* action, const char* device, uint32_t from,
                         uint32_t to, int32_t temperature) {
    RecordEvent e;
    e.seconds = t;
    e.time = RecordTimeText(record.origin + t);
    e.action = action;
    e.sensor = "S<1>";
    e.device = device;
    e.from = from;
    e.to = to;
    e.temperature = temperature;
    e.reason = std::string("because \"") + action + "\"";
    e.applied = true;
    e.dryRun = false;
    record.events.push_back(e);
  };
  event(5, "throttle", "D&1", 0, 1, 3120);
  event(10, "pending", "", 0, 0, 3130);  // not a decision: no marker
  event(15, "shutdown", "", 0, 0, 3130);
  event(20, "release", "D&1", 1, 0, 3090);
  return record;
}

TEST(ReportSummary, FiguresOfARun) {
  const RunRecord record = Record();
  const RecordSummary summary = SummariseRun(record);
  EXPECT_DOUBLE_EQ(summary.seconds, 20);
  const SensorSummary& s1 = summary.sensors.at("S<1>");
  EXPECT_EQ(s1.highest, 3130);
  // At or above 3112 from 5 s to 15 s; the failed reading at 15 s counts no time.
  EXPECT_DOUBLE_EQ(s1.secondsAboveStart, 10);
  EXPECT_EQ(s1.readings, 4u);
  EXPECT_EQ(s1.failedReadings, 1u);
  EXPECT_FALSE(summary.sensors.at("S2").highest);
  const DeviceSummary& d1 = summary.devices.at("D&1");
  EXPECT_EQ(d1.raised, 1u);
  EXPECT_EQ(d1.lowered, 1u);
  EXPECT_DOUBLE_EQ(d1.secondsAtState.at(0), 5);
  EXPECT_DOUBLE_EQ(d1.secondsAtState.at(1), 15);
  ASSERT_EQ(summary.powerActions.size(), 1u);
  EXPECT_EQ(summary.powerActions[0]->action, "shutdown");
}

TEST(ReportHtml, OneChartPerSensorWithItsLinesMarkersAndGaps) {
  const RunRecord record = Record();
  const std::string html = ReportHtml(record, "a <run>");
  EXPECT_EQ(html, ReportHtml(record, "a <run>"));  // nothing depends on when it is made
  EXPECT_EQ(Count(html, "<svg class=\"chart\""), 2u);
  EXPECT_EQ(Count(html, "data-sensor=\"S&lt;1&gt;\""), 1u);
  EXPECT_EQ(Count(html, "<line class=\"threshold throttle-start\""), 2u);
  EXPECT_EQ(Count(html, "<line class=\"threshold release\""), 2u);
  EXPECT_EQ(Count(html, "<line class=\"threshold shutdown\""), 2u);
  EXPECT_EQ(Count(html, "<line class=\"threshold critical\""), 1u);  // S2 has no trip
  EXPECT_EQ(Count(html, "<g class=\"decision"), 3u);
  EXPECT_NE(html.find("because &quot;shutdown&quot;"), std::string::npos);
  EXPECT_EQ(Count(html, "<rect class=\"gap\""), 2u);  // S1 once; S2 has no reading at all
  EXPECT_NE(html.find("no reading: read &quot;failed&quot;"), std::string::npos);
  EXPECT_NE(html.find("D&amp;1: state"), std::string::npos);
  EXPECT_NE(html.find("D2: RPM"), std::string::npos);
  // The speed strip is drawn as one, to its own scale (the fastest, 903 RPM).
  EXPECT_EQ(Count(html, "<path class=\"rpm\""), 1u);
  EXPECT_NE(html.find(">903</text>"), std::string::npos);
  EXPECT_EQ(Count(html, "<table class=\"summary"), 3u);
  EXPECT_NE(html.find(">39.8 °C<"), std::string::npos);  // S1's highest, 3130
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("http://", html.find("<body")), html.find("http://www.w3.org/2000/svg"));
  // No raw markup from a name or a reason.
  EXPECT_EQ(html.find("<1>"), std::string::npos);
  EXPECT_EQ(html.find("<simulated>"), std::string::npos);
  // The temperature line breaks at the failed reading: two pieces.
  const std::string key = "class=\"temperature\" d=\"";
  const std::size_t from = html.find(key);
  ASSERT_NE(from, std::string::npos);
  const std::string path =
      html.substr(from + key.size(), html.find('"', from + key.size()) - from - key.size());
  EXPECT_EQ(Count(path, "M"), 2u) << path;
}

TEST(ReportCsv, OneRowPerSampleWithEmptyCellsForWhatWasNotRead) {
  RunRecord record = Record();
  record.header.sensors[0].name = "S,1";
  for (RecordSample& s : record.samples) {
    s.sensors["S,1"] = s.sensors["S<1>"];
  }
  const std::string csv = ReportCsv(record);
  const std::string expected =
      "time,seconds,\"S,1 C\",S2 C,D&1 state,D2 state,D2 rpm\n"
      "2026-01-01 12:00:00.000,0.000,36.8,,0,0,900\n"
      "2026-01-01 12:00:05.000,5.000,38.8,,1,0,901\n"
      "2026-01-01 12:00:10.000,10.000,39.8,,1,0,902\n"
      "2026-01-01 12:00:15.000,15.000,,,1,0,903\n"
      "2026-01-01 12:00:20.000,20.000,35.8,,0,0,\n";
  EXPECT_EQ(csv, expected);
}

TEST(ReportAxes, TicksAPersonReads) {
  const double origin = *RecordSeconds("2026-01-01 12:00:00.000");
  struct Case {
    double t1;
    std::string first, second;
  } cases[] = {
      {100, "12:00:00", "12:00:10"},
      {3600, "12:00", "12:10"},
      {7 * 86400, "01-02 00:00", "01-03 00:00"},
  };
  for (const Case& c : cases) {
    const std::vector<AxisTick> ticks = TimeTicks(origin, 0, c.t1);
    ASSERT_GE(ticks.size(), 2u) << c.t1;
    EXPECT_LE(ticks.size(), 11u) << c.t1;
    EXPECT_EQ(ticks[0].label, c.first) << c.t1;
    EXPECT_EQ(ticks[1].label, c.second) << c.t1;
  }
  const std::vector<AxisTick> degrees = CelsiusTicks(29, 51);
  ASSERT_FALSE(degrees.empty());
  EXPECT_EQ(degrees.front().label, "30 °C");
  EXPECT_EQ(degrees.back().label, "50 °C");
  EXPECT_TRUE(TimeTicks(origin, 5, 5).empty());
  // A damaged record may span ages: still a handful of ticks.
  EXPECT_LE(TimeTicks(origin, 0, 3e11).size(), 11u);
  EXPECT_LE(CelsiusTicks(-2e8, 2e8).size(), 9u);
  EXPECT_EQ(DurationText(59), "59 s");
  EXPECT_EQ(DurationText(3725), "1 h 02 min");
  EXPECT_EQ(DurationText(2 * 86400 + 3 * 3600 + 240), "2 d 03 h 04 min");
}

}  // namespace

// A sensor that joined after the header (its "sensor" object) and one seen
// only in samples both get a chart, a CSV column and a summary row; only
// the first has threshold lines. A "sensor" object never replaces the
// header's entry.
TEST(Report, SensorsThatJoinLaterAreChartedToo) {
  const std::string head =
      R"({"time":"2026-01-01 12:00:00.000","action":"header","version":1,"sensors":[)"
      R"({"name":"A","throttleStart":3112,"release":3092,"shutdown":3182,"devices":[]}]})"
      "\n";
  const std::string joined =
      R"({"time":"2026-01-01 12:00:04.000","action":"sensor","name":"B","type":"x86_pkg_temp",)"
      R"("throttleStart":3232,"release":3212,"shutdown":3632,"critical":3732,"devices":["D"]})"
      "\n";
  const std::string again =
      R"({"time":"2026-01-01 12:00:04.000","action":"sensor","name":"A","throttleStart":9,)"
      R"("release":9,"shutdown":9,"devices":[]})"
      "\n";
  const std::string samples =
      R"({"time":"2026-01-01 12:00:05.000","action":"sample","sensors":{"A":{"temperature":3100},)"
      R"("B":{"temperature":3300},"C":{"temperature":3250}},"devices":{"D":{"state":1}}})"
      "\n";
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> withThresholds;  // in chart order
    std::vector<std::string> without;
  } cases[] = {
      {"a version-1 record with no sensor object", head + samples, {"A"}, {"B", "C"}},
      {"a sensor object before its samples", head + joined + samples, {"A", "B"}, {"C"}},
      {"a sensor object for a sensor the header has", head + again + samples, {"A"}, {"B", "C"}},
  };
  for (const Case& c : cases) {
    RunRecord record;
    std::string error;
    ASSERT_TRUE(ParseRunRecord(c.text, "run.jsonl", record, error)) << c.what << ": " << error;
    EXPECT_TRUE(record.events.empty()) << c.what;  // a sensor object is no event
    std::vector<std::string> with, without;
    for (const RecordSensor& s : record.header.sensors) {
      (s.thresholds ? with : without).push_back(s.name);
    }
    EXPECT_EQ(with, c.withThresholds) << c.what;
    EXPECT_EQ(without, c.without) << c.what;
    EXPECT_EQ(record.header.sensors[0].throttleStart, 3112) << c.what;
    const std::string html = ReportHtml(record, "run");
    const std::string csv = ReportCsv(record);
    for (const char* name : {"A", "B", "C"}) {
      EXPECT_NE(html.find("data-sensor=\"" + std::string(name) + "\""), std::string::npos)
          << c.what << " " << name;
      EXPECT_NE(csv.find(std::string(name) + " C"), std::string::npos) << c.what << " " << name;
      EXPECT_NE(html.find("<tr><td>" + std::string(name) + "</td>"), std::string::npos)
          << c.what << " " << name;
    }
    // Threshold lines: three per sensor that has them, and B's critical trip.
    std::size_t lines = 0;
    for (std::size_t at = html.find("<line class=\"threshold "); at != std::string::npos;
         at = html.find("<line class=\"threshold ", at + 1)) {
      ++lines;
    }
    EXPECT_EQ(lines, 3 * c.withThresholds.size() + (c.withThresholds.size() == 2 ? 1 : 0))
        << c.what;
  }
}
