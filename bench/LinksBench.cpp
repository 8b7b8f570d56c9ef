// The sensor-device links that Enumerate makes last (UpdateSensorDeviceLinks),
// on simulated handhelds of 10, 100 and 1,000 registry-listed sensors and as
// many devices, each sensor reporting five devices (as many as a driver
// reports) spread over the list. The link step is private to the manager, so
// it is measured as a difference in the same run: Enumerate of a handheld whose
// sensors report their devices, minus Enumerate of the same handheld whose
// sensors report none. Printed per link made; making a link means finding a
// device by name. The baseline, measured in the same rounds, is that lookup
// alone: the same device names, in the same order, looked up in a
// std::unordered_map<std::wstring, ...> of as many devices, each found device
// appended to a vector. Target: a link at most 2x the baseline at every size.
//
// Registry-listed participants keep the firmware stand-in out of the
// measurement: only the registry and the simulated drivers are involved.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <unordered_map>
#include <vector>

#include "CollectingReporter.h"
#include "Sim/SimDeviceIo.h"
#include "Sim/SimPlatform.h"
#include "Sim/SimScriptedDriver.h"
#include "zivorivizo-sim/SimHandheld.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/OSParticipantMgr.h"

namespace {

const int kSizes[] = {10, 100, 1000};
constexpr int kLinksPerSensor = 5;
// Each size is measured this many times, interleaved; the median is printed.
// At 10 sensors the difference is that of two short runs, so it needs several.
constexpr int kRounds = 7;

std::wstring DeviceName(int index) {
  return L"\\\\.\\ZivoFan" + std::to_wstring(index);
}

// The device a sensor reports in slot k: spread over the whole list, five
// different devices at every size, the smallest included.
int ReportedDevice(int sensor, int slot, int size) {
  return (sensor * 7 + 3 + 2 * slot) % size;
}

std::string Description(int size, bool linked) {
  nlohmann::json devices = nlohmann::json::array();
  nlohmann::json sensors = nlohmann::json::array();
  for (int i = 0; i < size; ++i) {
    devices.push_back({{"path", "\\\\.\\ZivoFan" + std::to_string(i)}, {"maximum", 3}});
  }
  for (int i = 0; i < size; ++i) {
    nlohmann::json sensor = {{"path", "\\\\.\\ZivoSensor" + std::to_string(i)},
                             {"trips", {{{"id", 0}, {"temp", 70.0}}, {{"id", 1}, {"temp", 80.0}}}}};
    if (linked) {
      // Spread over the whole list, five different devices at every size,
      // the smallest included.
      nlohmann::json reported = nlohmann::json::array();
      for (int k = 0; k < kLinksPerSensor; ++k) {
        reported.push_back(ReportedDevice(i, k, size));
      }
      sensor["devices"] = reported;
    }
    sensors.push_back(sensor);
  }
  return nlohmann::json{{"devices", devices}, {"sensors", sensors}}.dump();
}

std::string Name(int size, bool linked) {
  return std::string(linked ? "linked_" : "unlinked_") + std::to_string(size);
}

// The handheld's drivers keep no record of the requests they answer. The
// record is the simulator's, for tests to read: keeping it took a third of an
// Enumerate here, and its spread from run to run was larger than the links
// being measured.
void KeepNoRecords(CSimPlatform& platform, const CSimHandheld& handheld) {
  for (const auto* list : {&handheld.Devices(), &handheld.Sensors()}) {
    for (const _tagSHandheldParticipant& participant : *list) {
      std::static_pointer_cast<CSimScriptedDriver>(platform.SimDevices().Driver(participant.name))
          ->KeepRequests(false);
    }
  }
}

void BM_Enumerate(benchmark::State& state, int size, bool linked) {
  _tagSHandheldError error;
  auto handheld = CSimHandheld::Parse(Description(size, linked), "generated", error);
  if (!handheld) {
    state.SkipWithError(error.Text().c_str());
    return;
  }
  auto platform = InstallSimPlatform();
  handheld->Install(platform);
  KeepNoRecords(*platform, *handheld);
  COSParticipantManager* manager = COSParticipantManager::GetInstance();
  std::vector<_tagSDevice> linkedDevices;
  if (manager->Enumerate() != 0 ||
      manager->GetDeviceList(L"\\\\.\\ZivoSensor0", linkedDevices) != 0 ||
      linkedDevices.size() != (linked ? kLinksPerSensor : 0u)) {
    state.SkipWithError("the handheld is not linked as generated");
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(manager->Enumerate());
  }
  COSParticipantManager::DeleteInstance();
  COSConfigManager::DeleteInstance();
}

// The lookups alone, per iteration every link of the handheld.
void BM_Baseline(benchmark::State& state, int size) {
  struct Device {
    int index;
  };
  std::vector<Device> devices(static_cast<std::size_t>(size));
  std::unordered_map<std::wstring, Device*> byName;
  for (int i = 0; i < size; ++i) {
    devices[static_cast<std::size_t>(i)].index = i;
    byName.emplace(DeviceName(i), &devices[static_cast<std::size_t>(i)]);
  }
  std::vector<std::wstring> lookups;
  for (int i = 0; i < size; ++i) {
    for (int k = 0; k < kLinksPerSensor; ++k) {
      lookups.push_back(DeviceName(ReportedDevice(i, k, size)));
    }
  }
  std::vector<Device*> linked;
  for (auto _ : state) {
    linked.clear();
    for (const std::wstring& name : lookups) {
      const auto found = byName.find(name);
      if (found != byName.end()) {
        linked.push_back(found->second);
      }
    }
    benchmark::DoNotOptimize(linked.data());
  }
}

std::string BaselineName(int size) {
  return "baseline_" + std::to_string(size);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (int round = 0; round < kRounds; ++round) {
    for (int size : kSizes) {
      for (bool linked : {false, true}) {
        benchmark::RegisterBenchmark(Name(size, linked).c_str(), BM_Enumerate, size, linked)
            ->Unit(benchmark::kMicrosecond);
      }
      benchmark::RegisterBenchmark(BaselineName(size).c_str(), BM_Baseline, size)
          ->Unit(benchmark::kMicrosecond);
    }
  }
  CCollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf(
      "\nmedian of %d rounds          unlinked        linked     links    per link   baseline  "
      "ratio\n",
      kRounds);
  bool met = true;
  int sizesMeasured = 0;
  for (int size : kSizes) {
    CCollectingReporter::Cost unlinked{};
    CCollectingReporter::Cost linked{};
    CCollectingReporter::Cost baseline{};
    if (!reporter.Median(Name(size, false), unlinked) ||
        !reporter.Median(Name(size, true), linked) ||
        !reporter.Median(BaselineName(size), baseline)) {
      continue;
    }
    const int links = size * kLinksPerSensor;
    const double perLink = (linked.cpu - unlinked.cpu) * 1000.0 / links;
    const double perLookup = baseline.cpu * 1000.0 / links;
    const double ratio = perLink / perLookup;
    std::printf("%5d sensors/devices  %10.1f us %10.1f us  %8d  %8.0f ns %8.1f ns %6.2f\n", size,
                unlinked.cpu, linked.cpu, links, perLink, perLookup, ratio);
    met = met && ratio <= 2.0;
    ++sizesMeasured;
  }
  if (sizesMeasured > 0) {
    std::printf("target: a link <= 2.00x the baseline at every size ... %s\n",
                met ? "met" : "NOT met");
  }
  return 0;
}
