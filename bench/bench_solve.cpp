// solve_positions per drive step for every mechanism file, stepping through
// the motion that linkmotion-path runs, and the floor to compare it with: a
// hand-written closed-form solver of the four-bar a00 (one circle-circle
// intersection for the rocker pin, a fixed offset for the coupler point).
//
//   bench_solve [--mechanisms=DIR] [Google Benchmark flags]
//
// After the table one line gives the ratio of a00's solve to the floor.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "app/motion.h"
#include "bench/bench_support.h"
#include "bench/closed_form_four_bar.h"
#include "kinematics/solver.h"
#include "model/mechanism_model.h"

constexpr int motion_steps = 360;     // the batch tool's default: one turn of a crank
constexpr double agreement = 1e-6;    // world units: the floor must give the solver's joints
constexpr double solve_target = 5.0;  // a00's solve within this many times the floor

static int same_joints(const std::array<point, joint_slots> &J) {
  for (int i = 1; i <= mech.n; i++)
    if (mech.J[i].x != J[i].x || mech.J[i].y != J[i].y) return 0;
  return 1;
}

// Loads the file, records its motion, and replays the steps once from the
// initial configuration: the replay must give the batch tool's joints bit
// for bit.  An empty string on success, else why not.
static std::string prepare_replay(const std::string &path, motion_script *script) {
  if (!record_motion(path, motion_steps, script)) return "does not assemble";
  if (script->drive.empty()) return "the motion stalls at once";
  load_quietly(path);
  reset_animation();
  solve_frame();
  for (size_t s = 0; s < script->drive.size(); s++) {
    set_step_choices(*script, s);
    if (!solve_positions(script->drive[s])) return "a replayed step does not assemble";
    if (!same_joints(script->J[s])) return "a replayed step moves a joint";
  }
  return "";
}

static void bm_solve_positions(benchmark::State &state, const std::string &path) {
  motion_script script;
  const std::string problem = prepare_replay(path, &script);
  if (!problem.empty()) {
    state.SkipWithError(problem.c_str());
    return;
  }
  const size_t steps = script.drive.size();
  size_t s = 0;
  for (auto _ : state) {
    set_step_choices(script, s);
    benchmark::DoNotOptimize(solve_positions(script.drive[s]));
    if (++s == steps) s = 0;
  }
  state.counters["joints"] = mech.n;
  state.counters["records"] = mech.junjo_count;
  state.counters["steps"] = static_cast<double>(steps);
}

// --- the closed-form floor ---

static void bm_closed_form(benchmark::State &state, const std::string &path) {
  motion_script script;
  four_bar f;
  if (!record_motion(path, motion_steps, &script) || script.drive.empty()) {
    state.SkipWithError("does not assemble");
    return;
  }
  load_quietly(path);
  if (!find_four_bar(&f)) {
    state.SkipWithError("not a four-bar with a coupler point");
    return;
  }
  // The floor must place the joints where the solver does.
  double worst = 0.0;
  for (size_t s = 0; s < script.drive.size(); s++) {
    if (!solve_four_bar(f, script.drive[s])) {
      state.SkipWithError("the closed form finds no assembly on the motion");
      return;
    }
    for (int i : {f.crank_pin, f.rocker_pin, f.coupler_point}) {
      const point p = closed_form_J[i], q = script.J[s][i];
      worst = std::fmax(worst, std::fmax(std::fabs(p.x - q.x), std::fabs(p.y - q.y)));
    }
  }
  if (!(worst < agreement)) {
    state.SkipWithError("the closed form disagrees with solve_positions");
    return;
  }
  const size_t steps = script.drive.size();
  size_t s = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(solve_four_bar(f, script.drive[s]));
    benchmark::ClobberMemory();
    if (++s == steps) s = 0;
  }
  state.counters["max_gap"] = worst;
}

int main(int argc, char **argv) {
  std::string dir;
  const std::vector<std::string> names = begin_benchmarks(&argc, argv, "bench_solve", &dir);
  for (const std::string &name : names)
    benchmark::RegisterBenchmark(("solve_positions/" + name).c_str(), bm_solve_positions,
                                 dir + "/" + name);
  const std::string floor_file = "a00";  // the crank-rocker the floor is written for
  if (std::find(names.begin(), names.end(), floor_file) != names.end())
    benchmark::RegisterBenchmark(("closed_form_four_bar/" + floor_file).c_str(), bm_closed_form,
                                 dir + "/" + floor_file);
  summary_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double solve = reporter.cpu_ns("solve_positions/a00");
  const double floor = reporter.cpu_ns("closed_form_four_bar/a00");
  if (solve > 0.0 && floor > 0.0) {
    const double ratio = solve / floor;
    printf("\na00: solve_positions %.1f ns, closed form %.1f ns per drive step: ratio %.2f "
           "(target at most %.0f: %s)\n",
           solve, floor, ratio, solve_target, ratio <= solve_target ? "met" : "MISSED");
  }
  return 0;
}
