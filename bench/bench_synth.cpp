// Dimensional synthesis on a00: one candidate's evaluation (rebuild, path,
// distances of twelve targets), the whole recovery of a00 from dimensions
// perturbed by 10 to 20 percent, and the closed-form four-bar floor that
// both are measured against in the same run.
//
//   bench_synth [--mechanisms=DIR] [Google Benchmark flags]
//
// After the table the summary lines give evaluations per second, the
// postures one evaluation solves, its cost in closed-form solves, and the
// recovery's time and error.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "analysis/synthesis.h"
#include "app/synth_rebuild.h"
#include "bench/bench_support.h"
#include "bench/closed_form_four_bar.h"
#include "kinematics/solver.h"
#include "model/mechanism_model.h"

constexpr int target_count = 12;       // as the recovery test: every 30 degrees of drive
constexpr int candidate_count = 16;    // candidates cycled through by the evaluation benchmark
constexpr long recovery_evaluations = 4000;  // the recovery test's budget

// The recovery problem on a00: its five lengths, bounds as the recovery
// test gives them, and twelve points of its coupler curve.
static synth_problem problem;
static mechanism base;
static double truth[5];
// Each length 10 to 20 percent off a00's 40, 110, 90, 70, 60.
static const double start_lengths[5] = {45, 96, 104, 80, 51};

static int set_up(const std::string &path) {
  if (!load_quietly(path)) return 0;
  problem = synth_problem{};
  const int pairs[5][2] = {{3, 4}, {4, 1}, {1, 2}, {4, 5}, {1, 5}};
  const double lo[5] = {30, 85, 75, 55, 45}, hi[5] = {50, 130, 110, 85, 70};
  for (int v = 0; v < 5; v++) {
    if (mech.l_known[pairs[v][0]][pairs[v][1]] != 'Y') return 0;
    problem.vars[v] = design_variable{var_length, pairs[v][0], pairs[v][1], 0, lo[v], hi[v]};
  }
  problem.var_count = 5;
  problem.rebuild = rebuild_candidate;
  problem.seed = 3;
  problem.max_evaluations = recovery_evaluations;
  problem.max_seconds = 60;
  read_variables(&problem, truth);
  for (int s = 0; s < target_count; s++) {
    if (!solve_positions(mech.tt0 + (1 + 30 * s) * deg_to_rad)) return 0;
    problem.targets[s] = synth_target{0, mech.J[mech.kten].x, mech.J[mech.kten].y};
  }
  problem.target_count = target_count;
  solve_positions(mech.tt0);
  base = mech;
  return 1;
}

static double floor_ns_per_solve;  // filled by the floor benchmark's own count

static void bm_closed_form(benchmark::State &state, const std::string &path) {
  four_bar f;
  if (!load_quietly(path) || !find_four_bar(&f)) {
    state.SkipWithError("not a four-bar with a coupler point");
    return;
  }
  int s = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(solve_four_bar(f, mech.tt0 + s * deg_to_rad));
    benchmark::ClobberMemory();
    if (++s == 360) s = 0;
  }
}

static double solves_per_evaluation;

static void bm_evaluation(benchmark::State &state, const std::string &path) {
  if (!set_up(path)) {
    state.SkipWithError("a00 does not load as the recovery problem");
    return;
  }
  // Candidates between the truth and the perturbed start, as a search
  // visits them.
  double x[candidate_count][5];
  for (int c = 0; c < candidate_count; c++)
    for (int v = 0; v < 5; v++) x[c][v] = truth[v] + (start_lengths[v] - truth[v]) * c / candidate_count;
  long solves = 0, evaluations = 0;
  int c = 0;
  for (auto _ : state) {
    candidate_result r;
    if (evaluate_candidate(&problem, &base, x[c], &r) < 0) {
      state.SkipWithError("a candidate between a00 and the start is refused");
      return;
    }
    solves += r.solves;
    evaluations++;
    if (++c == candidate_count) c = 0;
  }
  solves_per_evaluation = evaluations ? static_cast<double>(solves) / evaluations : 0;
  state.SetItemsProcessed(evaluations);
  state.counters["solves"] = solves_per_evaluation;
}

static double recovery_error, recovery_extent;
static long recovery_evals;

static void bm_recovery(benchmark::State &state, const std::string &path) {
  if (!set_up(path)) {
    state.SkipWithError("a00 does not load as the recovery problem");
    return;
  }
  double xmin = 1e300, xmax = -1e300, ymin = 1e300, ymax = -1e300;
  for (int s = 0; s < target_count; s++) {
    xmin = std::fmin(xmin, problem.targets[s].x), xmax = std::fmax(xmax, problem.targets[s].x);
    ymin = std::fmin(ymin, problem.targets[s].y), ymax = std::fmax(ymax, problem.targets[s].y);
  }
  recovery_extent = std::hypot(xmax - xmin, ymax - ymin);
  for (auto _ : state) {
    double x[5];
    for (int v = 0; v < 5; v++) x[v] = start_lengths[v];
    recovery_error = run_synthesis(&problem, &base, x, &recovery_evals);
  }
  state.counters["evaluations"] = static_cast<double>(recovery_evals);
  state.counters["error_of_extent"] = recovery_error / recovery_extent;
}

int main(int argc, char **argv) {
  std::string dir;
  begin_benchmarks(&argc, argv, "bench_synth", &dir);
  const std::string a00 = dir + "/a00";
  benchmark::RegisterBenchmark("closed_form_four_bar/a00", bm_closed_form, a00);
  benchmark::RegisterBenchmark("synth_evaluation/a00", bm_evaluation, a00);
  benchmark::RegisterBenchmark("synth_recovery/a00", bm_recovery, a00)
      ->Iterations(3)
      ->Unit(benchmark::kMillisecond);
  summary_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  floor_ns_per_solve = reporter.cpu_ns("closed_form_four_bar/a00");
  const double eval = reporter.cpu_ns("synth_evaluation/a00");
  const double recovery = reporter.real_ns("synth_recovery/a00");
  if (eval > 0 && floor_ns_per_solve > 0 && solves_per_evaluation > 0)
    printf("\na00 candidate: %.1f us per evaluation, %.0f evaluations/s, %.0f postures each; "
           "%.0f closed-form solves' time (%.1f per posture solved)\n",
           eval / 1e3, 1e9 / eval, solves_per_evaluation, eval / floor_ns_per_solve,
           eval / floor_ns_per_solve / solves_per_evaluation);
  if (recovery > 0)
    printf("a00 recovery: %.2f s wall clock, %ld evaluations, max error %.2g of the extent (goal 2 s, 1e-6)\n",
           recovery / 1e9, recovery_evals, recovery_error / recovery_extent);
  return 0;
}
