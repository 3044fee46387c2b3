// What the benchmarks are held to: a console reporter that keeps the median
// time of every benchmark's runs, and the table of goals printed after them
// (a measured ratio beside its limit, met or not). Belongs to the
// benchmark's main thread.
#ifndef TARNALERT_BENCH_GOALS_H_
#define TARNALERT_BENCH_GOALS_H_

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

// Keeps the median of every benchmark's repetitions, in ns per iteration.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  explicit MedianReporter(OutputOptions options = OO_Defaults) : ConsoleReporter(options) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      std::string name = run.run_name.function_name;
      if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
      if (!run.run_name.threads.empty()) name += "/" + run.run_name.threads;
      if (run.run_type == Run::RT_Iteration) {
        cpu_[name].push_back(run.GetAdjustedCPUTime());
        real_[name].push_back(run.GetAdjustedRealTime());
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double Cpu(const std::string& name) const { return Median(cpu_, name); }
  double Real(const std::string& name) const { return Median(real_, name); }

 private:
  static double Median(const std::map<std::string, std::vector<double>>& all,
                       const std::string& name) {
    auto found = all.find(name);
    if (found == all.end() || found->second.empty()) return 0;
    std::vector<double> values = found->second;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  }
  std::map<std::string, std::vector<double>> cpu_, real_;
};

// A figure with the goal it is held to; a limit of 0 shows the figure
// without one.
struct Goal {
  std::string what;
  double value;  // 0: not measured
  double limit;
  bool atMost;
};

// `numerator` / `denominator`, 0 when either was not measured.
inline double Ratio(double numerator, double denominator) {
  return numerator > 0 && denominator > 0 ? numerator / denominator : 0;
}

inline void PrintGoals(const std::vector<Goal>& goals) {
  std::printf("\nGoals\n");
  for (const Goal& goal : goals) {
    if (goal.limit <= 0) {
      std::printf("  %-68s %7.2f  no goal\n", goal.what.c_str(), goal.value);
      continue;
    }
    const bool measured = goal.value > 0;
    const bool met =
        measured && (goal.atMost ? goal.value <= goal.limit : goal.value >= goal.limit);
    std::printf("  %-68s %7.2f %s %5.2f  %s\n", goal.what.c_str(), goal.value,
                goal.atMost ? "<=" : ">=", goal.limit,
                !measured ? "not measured"
                : met     ? "met"
                          : "NOT met");
  }
}

#endif  // TARNALERT_BENCH_GOALS_H_
