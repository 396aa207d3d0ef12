// The set-up of every mechanism file without a user: reader, pre-analysis,
// planner and the search for an initial drive value that assembles, as
// batch_load does it, the console going to /dev/null.
//
//   bench_setup [--mechanisms=DIR] [Google Benchmark flags]
//
// After the table one line names the slowest set-up against the target.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/bench_support.h"
#include "model/mechanism_model.h"

constexpr double setup_target_ms = 50.0;  // every set-up below this

static void bm_setup(benchmark::State &state, const std::string &path) {
  if (!load_quietly(path)) {
    state.SkipWithError("does not assemble");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(load_quietly(path));
  state.counters["joints"] = mech.n;
  state.counters["links"] = link_count();
  state.counters["records"] = mech.junjo_count;
}

int main(int argc, char **argv) {
  std::string dir;
  const std::vector<std::string> names = begin_benchmarks(&argc, argv, "bench_setup", &dir);
  for (const std::string &name : names)
    benchmark::RegisterBenchmark(("setup/" + name).c_str(), bm_setup, dir + "/" + name)
        ->Unit(benchmark::kMillisecond);
  summary_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::string slowest;
  double worst = -1.0;
  for (const std::string &name : names) {
    const double t = reporter.cpu_ns("setup/" + name);
    if (t > worst) worst = t, slowest = name;
  }
  if (worst > 0.0) {
    const double ms = worst / 1e6;
    printf("\nslowest set-up: %s %.3f ms, %.3f of the %.0f ms target (%s)\n", slowest.c_str(), ms,
           ms / setup_target_ms, setup_target_ms, ms < setup_target_ms ? "met" : "MISSED");
  }
  return 0;
}
