// The cost of reading a driver-backed sensor's temperature through the
// participant manager (GetCurrentTemperature on a sensor whose driver is a
// sysfs thermal zone in a fake tree under /tmp), against a plain pread of the
// same `temp` file and its conversion, measured in the same run: once with the
// log mask at 0 and once with every level on (a file logger in /tmp).
// Prints both ratios at the end. Target with the log off: at most 1.1.
// The same for an hwmon temperature input (tempN_input of a chip with no
// tempN_fault) against a plain pread of that file. Target: at most 1.1.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>

#include "CollectingReporter.h"
#include "PartMgr/NonWmiSensor.h"
#include "zivorivizo/Log.h"
#include "zivorivizo/ParticipantMgr.h"
#include "zivorivizo/Platform.h"

namespace {

// Rounds of the log-off comparisons, and the reads of each kind in a round
// (a few milliseconds).
constexpr int kRounds = 200;
constexpr int kReadsPerRound = 10000;

// A participant manager holding one sensor; discovery is not measured here.
class CBenchParticipantMgr : public CParticipantMgr {
 public:
  explicit CBenchParticipantMgr(std::initializer_list<CSensor*> sensors) {
    mSensorList.assign(sensors.begin(), sensors.end());
  }
  ~CBenchParticipantMgr() override {
    for (CSensor* sensor : mSensorList) {
      delete sensor;
    }
  }
  int Init(int, int&) override { return 0; }
  int Enumerate() override { return 0; }
  int AddSensor(const std::wstring&) override { return 0; }
  int AddDevice(const std::wstring&) override { return 0; }

 private:
  int UpdateSensorDeviceLinks() override { return 0; }
};

std::filesystem::path gFolder;
std::filesystem::path gZone;
std::filesystem::path gHwmonInput;
std::unique_ptr<CBenchParticipantMgr> gManager;
const std::wstring* gName = nullptr;
const std::wstring* gHwmonName = nullptr;

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path) << text << "\n";
}

void PlainRead(benchmark::State& state, const std::filesystem::path& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  char buffer[32];
  for (auto _ : state) {
    const ssize_t n = pread(fd, buffer, sizeof(buffer), 0);
    long milli = 0;
    std::from_chars(buffer, buffer + (n > 0 ? n : 0), milli);
    int tenths = static_cast<int>(milli / 100 + 2732);
    benchmark::DoNotOptimize(tenths);
  }
  close(fd);
}

void BM_PlainRead(benchmark::State& state) {
  PlainRead(state, gZone / "temp");
}
void BM_PlainReadHwmon(benchmark::State& state) {
  PlainRead(state, gHwmonInput);
}

void RunManagerRead(benchmark::State& state, LEVEL mask, const std::wstring& name) {
  myPrint.SetLogLevel(mask);
  int temperature = 0;
  for (auto _ : state) {
    const int status = gManager->GetCurrentTemperature(name, temperature);
    benchmark::DoNotOptimize(status);
    benchmark::DoNotOptimize(temperature);
  }
}

void BM_ManagerLogOff(benchmark::State& state) {
  RunManagerRead(state, static_cast<LEVEL>(0), *gName);
}
void BM_ManagerLogOn(benchmark::State& state) {
  RunManagerRead(state, LEVEL_ALL, *gName);
}
void BM_HwmonLogOff(benchmark::State& state) {
  RunManagerRead(state, static_cast<LEVEL>(0), *gHwmonName);
}

}  // namespace

int main(int argc, char** argv) {
  char pattern[] = "/tmp/zv-temp-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::perror("mkdtemp");
    return 2;
  }
  gFolder = pattern;
  gZone = gFolder / "class" / "thermal" / "thermal_zone0";
  std::filesystem::create_directories(gZone);
  WriteFile(gZone / "type", "x86_pkg_temp");
  WriteFile(gZone / "temp", "45000");
  WriteFile(gZone / "trip_point_0_temp", "90000");
  WriteFile(gZone / "trip_point_1_temp", "100000");
  const std::filesystem::path chip = gFolder / "class" / "hwmon" / "hwmon0";
  std::filesystem::create_directories(chip);
  WriteFile(chip / "name", "k10temp");
  WriteFile(chip / "temp1_label", "Tctl");
  gHwmonInput = chip / "temp1_input";
  WriteFile(gHwmonInput, "45000");

  CPlatform::Install(CreateLinuxPlatform(gFolder.string()));
  const std::wstring logPath = (gFolder / "zivo.log").wstring();
  InitLog(logPath.c_str(), logPath.c_str());
  myPrint.SetLogLevel(static_cast<LEVEL>(0));
  const std::wstring name = gZone.wstring();
  gName = &name;
  const std::wstring hwmonName = gHwmonInput.wstring();
  gHwmonName = &hwmonName;
  // The manager owns the sensors.
  gManager = std::make_unique<CBenchParticipantMgr>(
      std::initializer_list<CSensor*>{new CNonWmiSensor(3, name), new CNonWmiSensor(4, hwmonName)});

  for (const std::wstring* sensor : {gName, gHwmonName}) {
    int check = 0;
    if (gManager->GetCurrentTemperature(*sensor, check) != 0 || check != 3182) {
      std::fprintf(stderr, "a sensor did not read 45.0 C (status or value wrong: %d)\n", check);
      return 1;
    }
  }

  benchmark::Initialize(&argc, argv);
  // Many short rounds, each a fixed number of reads of every kind, the order
  // within a round turned around from one round to the next; the ratios are
  // the medians of each round's own ratio, so that a change of the machine's
  // speed during the run, which a run shares with its neighbour, cancels.
  for (int round = 0; round < kRounds; ++round) {
    const bool plainFirst = round % 2 == 0;
    const auto add = [](const char* name, void (*fn)(benchmark::State&)) {
      benchmark::RegisterBenchmark(name, fn)->Iterations(kReadsPerRound);
    };
    add(plainFirst ? "plain_pread" : "manager_log_off",
        plainFirst ? BM_PlainRead : BM_ManagerLogOff);
    add(plainFirst ? "manager_log_off" : "plain_pread",
        plainFirst ? BM_ManagerLogOff : BM_PlainRead);
    add(plainFirst ? "hwmon_log_off" : "plain_pread_hwmon",
        plainFirst ? BM_HwmonLogOff : BM_PlainReadHwmon);
    add(plainFirst ? "plain_pread_hwmon" : "hwmon_log_off",
        plainFirst ? BM_PlainReadHwmon : BM_HwmonLogOff);
  }
  // The rounds with every level on come after those the targets are measured
  // in: each writes tens of megabytes of log, whose writeback would otherwise
  // land in the middle of the log-off rounds.
  for (int round = 0; round < 5; ++round) {
    benchmark::RegisterBenchmark("manager_log_on", BM_ManagerLogOn);
  }
  CCollectingReporter reporter;
  reporter.SetQuiet(true);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  CCollectingReporter::Cost plain{};
  CCollectingReporter::Cost off{};
  CCollectingReporter::Cost on{};
  double ratioOff = 0;
  if (reporter.Median("plain_pread", plain) && reporter.Median("manager_log_off", off) &&
      reporter.Median("manager_log_on", on) &&
      reporter.MedianRatio("manager_log_off", "plain_pread", ratioOff)) {
    std::printf("\nmedian of %d alternating rounds of %d reads     CPU        real\n", kRounds,
                kReadsPerRound);
    std::printf("plain pread of temp:                     %8.0f ns %8.0f ns\n", plain.cpu,
                plain.real);
    std::printf("GetCurrentTemperature, log mask 0:       %8.0f ns %8.0f ns\n", off.cpu, off.real);
    std::printf("GetCurrentTemperature, every level on:   %8.0f ns %8.0f ns  (5 rounds)\n", on.cpu,
                on.real);
    std::printf("ratio, log off / plain:                  %8.3f  (median of the rounds' ratios)\n",
                ratioOff);
    std::printf("ratio, log on  / plain:                  %8.2f\n", on.cpu / plain.cpu);
    std::printf("target: log-off ratio <= 1.10 ... %s\n", ratioOff <= 1.1 ? "met" : "NOT met");
  }
  CCollectingReporter::Cost plainHwmon{};
  CCollectingReporter::Cost hwmon{};
  double ratio = 0;
  if (reporter.Median("plain_pread_hwmon", plainHwmon) && reporter.Median("hwmon_log_off", hwmon) &&
      reporter.MedianRatio("hwmon_log_off", "plain_pread_hwmon", ratio)) {
    std::printf("plain pread of tempN_input:              %8.0f ns %8.0f ns\n", plainHwmon.cpu,
                plainHwmon.real);
    std::printf("GetCurrentTemperature, hwmon, log 0:     %8.0f ns %8.0f ns\n", hwmon.cpu,
                hwmon.real);
    std::printf("ratio, hwmon log off / plain:            %8.3f  (median of the rounds' ratios)\n",
                ratio);
    std::printf("target: hwmon ratio <= 1.10 ... %s\n", ratio <= 1.1 ? "met" : "NOT met");
  }
  gManager.reset();
  std::error_code ignored;
  std::filesystem::remove_all(gFolder, ignored);
  return 0;
}
