// The run record read back: what the run writes is what the report reads,
// a crash's cut last line is left out, and records it cannot trust are
// refused with the line that is wrong.
#include <gtest/gtest.h>

#include <fstream>
#include <limits>

#include "RecordFile.h"
#include "RecordLines.h"
#include "RunRecord.h"
#include "support/TempFolder.h"

namespace {

RecordHeader Header() {
  RecordHeader header;
  header.platform = "the simulated handheld";
  header.policy = "policy.xml";
  header.intervalSeconds = 5;
  header.dryRun = false;
  header.sensors.push_back({"S\\1", "skin", 3112, 3092, 3182, 3232, {"D\\1", "F"}});
  header.sensors.push_back({"S2", "", 3000, 2980, 3100, std::nullopt, {}});
  return header;
}

RecordSample Sample(const std::string& time, std::optional<int32_t> temperature) {
  RecordSample sample;
  sample.time = time;
  sample.sensors["S\\1"] = {temperature, temperature ? "" : "read failed: 31"};
  sample.devices["D\\1"] = {2, 4, std::nullopt};
  sample.devices["F"] = {1, 3, 1200};
  return sample;
}

TEST(RunRecord, WhatTheRunWritesIsWhatTheReportReads) {
  CTempFolder folder;
  const std::string path = folder.Path() + "/run.jsonl";
  std::string error;
  CRecordFile file;
  ASSERT_TRUE(file.Open(path, error)) << error;
  ASSERT_TRUE(file.Append(RecordHeaderLine(Header(), "2026-01-01 12:00:00.000").dump()));
  ASSERT_TRUE(file.Append(RecordSampleLine(Sample("2026-01-01 12:00:05.000", 3120)).dump()));
  ASSERT_TRUE(file.Append(
      R"({"time":"2026-01-01 12:00:05.000","action":"throttle","dryRun":false,"applied":true,)"
      R"("sensor":"S\\1","temperature":3120,"device":"D\\1","from":1,"to":2,"reason":"hot"})"));
  ASSERT_TRUE(
      file.Append(RecordSampleLine(Sample("2026-01-01 12:00:10.500", std::nullopt)).dump()));

  RunRecord record;
  ASSERT_TRUE(ReadRunRecord(path, record, error)) << error;
  EXPECT_EQ(record.header.version, kRunRecordVersion);
  EXPECT_EQ(record.header.policy, "policy.xml");
  EXPECT_FALSE(record.header.dryRun);
  ASSERT_EQ(record.header.sensors.size(), 2u);
  EXPECT_EQ(record.header.sensors[0].name, "S\\1");
  EXPECT_EQ(record.header.sensors[0].critical, 3232);
  EXPECT_EQ(record.header.sensors[0].devices, (std::vector<std::string>{"D\\1", "F"}));
  EXPECT_FALSE(record.header.sensors[1].critical);
  ASSERT_EQ(record.samples.size(), 2u);
  EXPECT_DOUBLE_EQ(record.samples[0].seconds, 5.0);
  EXPECT_DOUBLE_EQ(record.samples[1].seconds, 10.5);
  EXPECT_EQ(record.samples[0].sensors.at("S\\1").temperature, 3120);
  EXPECT_FALSE(record.samples[1].sensors.at("S\\1").temperature);
  EXPECT_EQ(record.samples[1].sensors.at("S\\1").failure, "read failed: 31");
  EXPECT_EQ(record.samples[0].devices.at("F").rpm, 1200u);
  EXPECT_FALSE(record.samples[0].devices.at("D\\1").rpm);
  ASSERT_EQ(record.events.size(), 1u);
  EXPECT_EQ(record.events[0].device, "D\\1");
  EXPECT_EQ(record.events[0].to, 2u);
  EXPECT_TRUE(record.events[0].applied);
  EXPECT_FALSE(record.events[0].dryRun);
  EXPECT_EQ(record.cutLines, 0u);
}

TEST(RunRecord, RefusesWhatItCannotTrustAndLeavesOutACutLastLine) {
  const std::string header = RecordHeaderLine(Header(), "2026-01-01 12:00:00.000").dump() + "\n";
  const std::string sample = RecordSampleLine(Sample("2026-01-01 12:00:05.000", 3100)).dump();
  struct Case {
    const char* what;
    std::string text;
    bool reads;
    std::string error;  // a part of it
  } cases[] = {
      {"a cut last line", header + sample + "\n" + sample.substr(0, 20), true, ""},
      {"a cut line in the middle", header + sample.substr(0, 20) + "\n" + sample + "\n", false,
       ":2: not a JSON object"},
      {"no header", sample + "\n", false, ":1: a record starts with its header"},
      {"empty", "", false, "is empty"},
      {"a newer version", R"({"time":"2026-01-01 12:00:00.000","action":"header","version":99})",
       false, "of version 99; this zivo reads up to 1"},
      {"no version", R"({"time":"2026-01-01 12:00:00.000","action":"header"})", false,
       "no version"},
      {"a time that is not one", header + R"({"time":"yesterday","action":"sample"})" + "\n", false,
       ":2: its time \"yesterday\""},
  };
  for (const Case& c : cases) {
    CTempFolder folder;
    const std::string path = folder.Write("run.jsonl", c.text);
    RunRecord record;
    std::string error;
    EXPECT_EQ(ReadRunRecord(path, record, error), c.reads) << c.what << ": " << error;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
    if (c.reads) {
      EXPECT_EQ(record.cutLines, 1u) << c.what;
      EXPECT_EQ(record.samples.size(), 1u) << c.what;
    }
  }
  RunRecord record;
  std::string error;
  EXPECT_FALSE(ReadRunRecord("/nonexistent/run.jsonl", record, error));
  EXPECT_NE(error.find("cannot be opened"), std::string::npos);
}

TEST(RunRecord, NumbersOutOfRangeAreNoNumbers) {
  const std::string text =
      R"({"time":"2026-01-01 12:00:00.000","action":"header","version":1,"interval":1e999,)"
      R"("sensors":[{"name":"S","throttleStart":1e300,"release":-3e9,"shutdown":4294967296}]})"
      "\n"
      R"({"time":"2026-01-01 12:00:05.000","action":"sample","sensors":{"S":{"temperature":)"
      R"(2147483648},"T":{"temperature":-2147483648}},"devices":{"D":{"state":-1,"max":4294967295,)"
      R"("rpm":1.5e10}}})"
      "\n";
  RunRecord record;
  std::string error;
  // 1e999 is no JSON number nlohmann reads: the header is not an object.
  EXPECT_FALSE(ParseRunRecord(text, "r", record, error));
  std::string fixed = text;
  fixed.replace(fixed.find("1e999"), 5, "5");
  ASSERT_TRUE(ParseRunRecord(fixed, "r", record, error)) << error;
  const RecordSensor& s = record.header.sensors.at(0);
  EXPECT_EQ(s.throttleStart, 0);
  EXPECT_EQ(s.release, 0);
  EXPECT_EQ(s.shutdown, 0);
  const RecordSample& sample = record.samples.at(0);
  EXPECT_FALSE(sample.sensors.at("S").temperature);
  EXPECT_EQ(sample.sensors.at("T").temperature, std::numeric_limits<int32_t>::min());
  EXPECT_EQ(sample.devices.at("D").state, 0u);
  EXPECT_EQ(sample.devices.at("D").max, 4294967295u);
  EXPECT_FALSE(sample.devices.at("D").rpm);
}

TEST(RunRecord, TimeTextsRoundTrip) {
  struct Case {
    const char* text;
    std::optional<double> seconds;
  } cases[] = {
      {"1970-01-01 00:00:00.000", 0.0},
      {"2026-01-01 12:00:05.250", 1767268805.25},
      {"2024-02-29 23:59:59.999", 1709251199.999},
      {"2026-13-01 00:00:00.000", std::nullopt},
      {"2026-01-01T00:00:00.000", std::nullopt},
      {"2026-01-01 00:00:00", std::nullopt},
      {"2026-0a-01 00:00:00.000", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<double> seconds = RecordSeconds(c.text);
    ASSERT_EQ(seconds.has_value(), c.seconds.has_value()) << c.text;
    if (seconds) {
      EXPECT_NEAR(*seconds, *c.seconds, 1e-6) << c.text;
      EXPECT_EQ(RecordTimeText(*seconds), c.text);
    }
  }
}

TEST(RecordFile, AFailedWriteIsReportedAndEndsTheRecord) {
  CRecordFile file;
  std::string error;
  EXPECT_FALSE(file.Open("/nonexistent/folder/run.jsonl", error));
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
  EXPECT_FALSE(file.Append("{}"));
  // /dev/full takes the open and refuses every write.
  ASSERT_TRUE(file.Open("/dev/full", error)) << error;
  EXPECT_FALSE(file.Append("{}"));
  EXPECT_NE(file.Error().find("No space left on device"), std::string::npos) << file.Error();
  EXPECT_FALSE(file.Append("{}"));
}

}  // namespace
