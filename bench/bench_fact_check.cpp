// What the check of a solved posture against its file's facts costs beside
// the solve itself: for every mechanism file, broken_fact on the postures
// of its motion, and solve_positions (which includes the check) on the
// same steps.  The summary gives the share of the check in each solve.
//
//   bench_fact_check [--mechanisms=DIR] [Google Benchmark flags]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "kinematics/fact_check.h"
#include "kinematics/solver.h"
#include "model/mechanism_model.h"

constexpr int motion_steps = 360;  // one turn of a crank, the batch tool's default

// The motion of the file recorded and the file loaded again, as the batch
// tool leaves it; 0 (the benchmark skipped) when it does not assemble.
static int prepare(benchmark::State &state, const std::string &path, motion_script *script) {
  if (!record_motion(path, motion_steps, script) || script->drive.empty()) {
    state.SkipWithError("does not assemble");
    return 0;
  }
  load_quietly(path);
  return 1;
}

static void bm_check(benchmark::State &state, const std::string &path) {
  motion_script script;
  if (!prepare(state, path, &script)) return;
  const size_t steps = script.drive.size();
  size_t s = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(broken_fact(solver_facts, script.J[s].data(), nullptr));
    if (++s == steps) s = 0;
  }
  state.counters["facts"] = solver_facts.count;
}

static void bm_solve(benchmark::State &state, const std::string &path) {
  motion_script script;
  if (!prepare(state, path, &script)) return;
  const size_t steps = script.drive.size();
  size_t s = 0;
  for (auto _ : state) {
    set_step_choices(script, s);
    benchmark::DoNotOptimize(solve_positions(script.drive[s]));
    if (++s == steps) s = 0;
  }
}

int main(int argc, char **argv) {
  std::string dir;
  const std::vector<std::string> names = begin_benchmarks(&argc, argv, "bench_fact_check", &dir);
  for (const std::string &name : names) {
    benchmark::RegisterBenchmark(("fact_check/" + name).c_str(), bm_check, dir + "/" + name);
    benchmark::RegisterBenchmark(("solve_positions/" + name).c_str(), bm_solve, dir + "/" + name);
  }
  summary_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  printf("\nshare of the fact check in solve_positions (check / solve, same run):\n");
  double worst = 0.0;
  std::string worst_name;
  for (const std::string &name : names) {
    const double check = reporter.cpu_ns("fact_check/" + name), solve = reporter.cpu_ns("solve_positions/" + name);
    if (check <= 0.0 || solve <= 0.0) continue;
    printf("  %-8s %7.1f ns of %8.1f ns: %5.1f %%\n", name.c_str(), check, solve, 100.0 * check / solve);
    if (check / solve > worst) worst = check / solve, worst_name = name;
  }
  if (!worst_name.empty()) printf("largest share: %s, %.1f %%\n", worst_name.c_str(), 100.0 * worst);
  return 0;
}
