// A console reporter that also keeps the time of every run, so that a
// benchmark program can print the comparison with its baseline at the end.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

// Keeps the time per iteration of every run, by benchmark name.
class CCollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        mRuns[run.run_name.function_name].push_back(
            {run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()});
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  struct Cost {
    double cpu;
    double real;
  };
  // Median CPU and real time of the runs of one benchmark.
  bool Median(const std::string& name, Cost& out) const {
    const auto found = mRuns.find(name);
    if (found == mRuns.end() || found->second.empty()) {
      return false;
    }
    std::vector<double> cpu;
    std::vector<double> real;
    for (const Cost& cost : found->second) {
      cpu.push_back(cost.cpu);
      real.push_back(cost.real);
    }
    std::sort(cpu.begin(), cpu.end());
    std::sort(real.begin(), real.end());
    out = {cpu[cpu.size() / 2], real[real.size() / 2]};
    return true;
  }

 private:
  std::map<std::string, std::vector<Cost>> mRuns;
};
