// zivo report on a simulated week: a record of 7 days at a 5 s interval
// (120,960 samples of three sensors and three devices, with decisions and
// stretches of failed readings) drawn as HTML, against merely parsing every
// line of the same file as JSON, measured in the same run in alternating
// rounds. Prints both times, their ratio against its goal (<= 2x), the
// page's size against its goal (<= 4 MB) and the time to draw it (< 1 s).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "CollectingReporter.h"
#include "RecordFile.h"
#include "RecordLines.h"
#include "ReportHtml.h"
#include "RunRecord.h"

namespace {

constexpr int kSamples = 7 * 24 * 3600 / 5;
constexpr double kStart = 1767571200;  // 2026-01-05 00:00:00

std::filesystem::path& Folder() {
  static std::filesystem::path folder;
  return folder;
}

std::string RecordPath() {
  return (Folder() / "week.jsonl").string();
}

// A daily load cycle with noise (a fixed linear congruential sequence), a
// throttle that follows the temperature as the policy would, and a sensor
// that fails for a minute twice a day.
bool WriteWeek(std::string& error) {
  CRecordFile file;
  if (!file.Open(RecordPath(), error)) {
    return false;
  }
  RecordHeader header;
  header.platform = "the simulated handheld \"bench week\"";
  header.policy = "bench/velmarconfig.xml";
  header.intervalSeconds = 5;
  const char* names[] = {"ACPI\\PNP0C14\\10_0", "ACPI\\PNP0C14\\11_0", "ACPI\\PNP0C14\\12_0"};
  const char* devices[] = {"ACPI\\PNP0C14\\3_0", "ACPI\\PNP0C14\\4_0", "ACPI\\PNP0C14\\5_0"};
  for (int i = 0; i < 3; ++i) {
    header.sensors.push_back({names[i],
                              "skin",
                              3112 + 10 * i,
                              3092 + 10 * i,
                              3182 + 10 * i,
                              3232 + 10 * i,
                              {devices[i]}});
  }
  file.Append(RecordHeaderLine(header, RecordTimeText(kStart)).dump());
  uint32_t seed = 12345;
  uint32_t state[3] = {0, 0, 0};
  for (int n = 0; n < kSamples; ++n) {
    const double t = kStart + 5.0 * n;
    RecordSample sample;
    sample.time = RecordTimeText(t);
    const double day = std::sin((t - kStart) / 86400.0 * 2 * M_PI);
    for (int i = 0; i < 3; ++i) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = static_cast<int>(seed >> 28) - 8;
      const int temperature =
          3092 + 10 * i + static_cast<int>(40 * day) + noise - static_cast<int>(5 * state[i]);
      const int inDay = n % (86400 / 5);
      if (i == 1 && (inDay % 8640 < 12)) {
        sample.sensors[names[i]] = {std::nullopt, "the sensor's driver answered 31"};
      } else {
        sample.sensors[names[i]] = {temperature, ""};
        const RecordSensor& s = header.sensors[i];
        std::optional<uint32_t> to;
        if (temperature >= s.throttleStart && state[i] < 4) {
          to = state[i] + 1;
        } else if (temperature < s.release && state[i] > 0) {
          to = state[i] - 1;
        }
        if (to) {
          nlohmann::json line = {{"time", sample.time},
                                 {"action", *to > state[i] ? "throttle" : "release"},
                                 {"dryRun", true},
                                 {"applied", false},
                                 {"status", 0},
                                 {"sensor", names[i]},
                                 {"temperature", temperature},
                                 {"threshold", *to > state[i] ? s.throttleStart : s.release},
                                 {"record", "sensor record: class 1"},
                                 {"reason", std::string(names[i]) + " at its threshold"},
                                 {"device", devices[i]},
                                 {"from", state[i]},
                                 {"to", *to}};
          file.Append(line.dump());
          state[i] = *to;
        }
      }
      DeviceReading device{state[i], 4, std::nullopt};
      if (i == 1) {
        device.rpm = 1200 * state[i];
      }
      sample.devices[devices[i]] = device;
    }
    file.Append(RecordSampleLine(sample).dump());
  }
  error = file.Error();
  return error.empty();
}

std::string ReadAll() {
  std::ifstream in(RecordPath(), std::ios::binary);
  std::ostringstream whole;
  whole << in.rdbuf();
  return whole.str();
}

void BM_ParseOnly(benchmark::State& state) {
  for (auto _ : state) {
    const std::string text = ReadAll();
    std::size_t objects = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      objects += nlohmann::json::parse(line, nullptr, false).is_object();
    }
    benchmark::DoNotOptimize(objects);
  }
}

void BM_Report(benchmark::State& state) {
  for (auto _ : state) {
    RunRecord record;
    std::string error;
    if (!ReadRunRecord(RecordPath(), record, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    const std::string html = ReportHtml(record, "bench week");
    std::ofstream((Folder() / "week.html").string(), std::ios::binary) << html;
  }
}

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/zivo-reportbench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::perror("mkdtemp");
    return 2;
  }
  Folder() = pattern;
  std::string error;
  if (!WriteWeek(error)) {
    std::fprintf(stderr, "ReportBench: %s\n", error.c_str());
    return 2;
  }
  benchmark::Initialize(&argc, argv);
  for (int i = 0; i < 3; ++i) {
    benchmark::RegisterBenchmark("parse_only", BM_ParseOnly)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("report", BM_Report)->Unit(benchmark::kMillisecond);
  }
  CCollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  CCollectingReporter::Cost parse{}, report{};
  const uintmax_t recordSize = std::filesystem::file_size(RecordPath());
  const uintmax_t pageSize = std::filesystem::file_size(Folder() / "week.html");
  if (reporter.Median("parse_only", parse) && reporter.Median("report", report)) {
    const double ratio = report.cpu / parse.cpu;
    std::printf(
        "\nmedian CPU time of 3 alternating rounds, a week of %d samples (%.1f MB record)\n",
        kSamples, recordSize / 1e6);
    std::printf("parse every line:                 %8.0f ms CPU\n", parse.cpu);
    std::printf("zivo report (read, draw, write):  %8.0f ms CPU\n", report.cpu);
    std::printf("ratio report / parse:             %8.2f\n", ratio);
    std::printf("page size:                        %8.2f MB\n", pageSize / 1e6);
    std::printf("target: ratio <= 2.00 ... %s\n", ratio <= 2.0 ? "met" : "NOT met");
    std::printf("target: page <= 4 MB ... %s\n", pageSize <= 4000000 ? "met" : "NOT met");
    std::printf("target: drawn (report less parse) in under 1 s ... %s\n",
                report.cpu - parse.cpu < 1000 ? "met" : "NOT met");
  }
  std::error_code ignored;
  if (std::getenv("ZIVO_BENCH_KEEP") == nullptr) {
    std::filesystem::remove_all(Folder(), ignored);
  }
  return 0;
}
