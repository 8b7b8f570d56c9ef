// A console reporter that also keeps the time of every run, so that a
// benchmark program can print the comparison with its baseline at the end.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Keeps the time per iteration of every run, by benchmark name, in the order
// the runs ran.
class CCollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        mRuns[run.run_name.function_name].push_back(
            {run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()});
      }
    }
    if (!mQuiet) {
      ConsoleReporter::ReportRuns(runs);
    }
  }

  // Whether the runs from now on are kept without a line each (for a
  // benchmark of hundreds of short rounds, which prints its medians).
  void SetQuiet(bool quiet) { mQuiet = quiet; }

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
    out = {MedianOf(std::move(cpu)), MedianOf(std::move(real))};
    return true;
  }

  // The median, over the rounds, of the CPU time of `name`'s run divided by
  // that of `baseline`'s run in the same round (their n-th runs): a change
  // of the machine's speed from round to round, which moves both runs of a
  // round alike, leaves each ratio as it is.
  bool MedianRatio(const std::string& name, const std::string& baseline, double& out) const {
    const auto ours = mRuns.find(name);
    const auto theirs = mRuns.find(baseline);
    if (ours == mRuns.end() || theirs == mRuns.end() || ours->second.empty() ||
        ours->second.size() != theirs->second.size()) {
      return false;
    }
    std::vector<double> ratios;
    for (std::size_t i = 0; i < ours->second.size(); ++i) {
      ratios.push_back(ours->second[i].cpu / theirs->second[i].cpu);
    }
    out = MedianOf(std::move(ratios));
    return true;
  }

 private:
  // The middle value (the upper of the two middle ones) of a non-empty list.
  static double MedianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  }

  std::map<std::string, std::vector<Cost>> mRuns;
  bool mQuiet = false;
};
