// Discovery on simulated handhelds of 10, 100 and 1,000 participants
// (generated descriptions: firmware and registry-listed devices and sensors,
// every sensor reporting two devices): the time of one Enumerate divided by
// the number of participants. Discovery visits each participant once, so the
// time per participant should not grow with the size; the ratio of the
// largest size to the smallest, measured in the same run, is printed at the
// end. Target: at most 1.5.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "CollectingReporter.h"
#include "Sim/SimDeviceIo.h"
#include "Sim/SimFirmware.h"
#include "Sim/SimPlatform.h"
#include "Sim/SimScriptedDriver.h"
#include "zivorivizo-sim/SimHandheld.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/OSParticipantMgr.h"

namespace {

const int kSizes[] = {10, 100, 1000};

// `participants` split as 40% firmware devices, 40% firmware sensors, 10%
// registry devices and 10% registry sensors.
std::string Description(int participants) {
  const int registry = participants / 10;
  const int firmware = (participants - 2 * registry) / 2;
  nlohmann::json devices = nlohmann::json::array();
  nlohmann::json sensors = nlohmann::json::array();
  for (int i = 0; i < firmware; ++i) {
    devices.push_back({{"wmi", i}, {"type", 2}, {"maximum", 5}});
  }
  for (int i = 0; i < registry; ++i) {
    devices.push_back({{"path", "\\\\.\\ZivoFan" + std::to_string(i)}, {"maximum", 3}});
  }
  for (int i = 0; i < participants - firmware - 2 * registry; ++i) {
    sensors.push_back({{"wmi", firmware + i},
                       {"type", 2},
                       {"devices", {i % firmware, (i * 7 + 3) % firmware}},
                       {"trips", {{{"id", 0}, {"temp", 70.0}}, {{"id", 1}, {"temp", 80.0}}}}});
  }
  for (int i = 0; i < registry; ++i) {
    sensors.push_back({{"path", "\\\\.\\ZivoSensor" + std::to_string(i)},
                       {"base", 2},
                       {"devices", {i, (i + 1) % registry}},
                       {"trips", {{{"id", 0}, {"temp", 70.0}}, {{"id", 1}, {"temp", 80.0}}}}});
  }
  return nlohmann::json{{"devices", devices}, {"sensors", sensors}}.dump();
}

// The simulated firmware and drivers record every call; keep the records
// short so that memory does not grow with the number of iterations.
void ClearRecords(CSimPlatform& platform, const CSimHandheld& handheld) {
  platform.SimFirmware().ClearCalls();
  for (const auto* list : {&handheld.Devices(), &handheld.Sensors()}) {
    for (const _tagSHandheldParticipant& participant : *list) {
      if (!participant.firmware) {
        std::static_pointer_cast<CSimScriptedDriver>(platform.SimDevices().Driver(participant.name))
            ->ClearRequests();
      }
    }
  }
}

std::string Name(int size) {
  return "enumerate_" + std::to_string(size);
}

void BM_Enumerate(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  _tagSHandheldError error;
  auto handheld = CSimHandheld::Parse(Description(size), "generated", error);
  if (!handheld) {
    state.SkipWithError(error.Text().c_str());
    return;
  }
  auto platform = InstallSimPlatform();
  handheld->Install(platform);
  COSParticipantManager* manager = COSParticipantManager::GetInstance();
  if (manager->Enumerate() != 0) {
    state.SkipWithError("Enumerate failed");
  }
  int rounds = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(manager->Enumerate());
    if (++rounds % 32 == 0) {
      state.PauseTiming();
      ClearRecords(*platform, *handheld);
      state.ResumeTiming();
    }
  }
  state.counters["participants"] = size;
  COSParticipantManager::DeleteInstance();
  COSConfigManager::DeleteInstance();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (int round = 0; round < 3; ++round) {
    for (int size : kSizes) {
      benchmark::RegisterBenchmark(Name(size).c_str(), BM_Enumerate)
          ->Arg(size)
          ->Unit(benchmark::kMicrosecond);
    }
  }
  CCollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nmedian of 3 rounds        Enumerate    per participant\n");
  double smallest = 0;
  double largest = 0;
  for (int size : kSizes) {
    CCollectingReporter::Cost cost{};
    if (!reporter.Median(Name(size), cost)) {
      continue;
    }
    // Adjusted times are in the benchmark's unit, microseconds.
    const double perParticipant = cost.cpu * 1000.0 / size;
    std::printf("%5d participants   %10.1f us   %10.0f ns\n", size, cost.cpu, perParticipant);
    smallest = smallest == 0 ? perParticipant : smallest;
    largest = perParticipant;
  }
  if (smallest > 0) {
    const double ratio = largest / smallest;
    std::printf("ratio, per participant at 1,000 / at 10:   %.2f\n", ratio);
    std::printf("target: ratio <= 1.50 ... %s\n", ratio <= 1.5 ? "met" : "NOT met");
  }
  return 0;
}
