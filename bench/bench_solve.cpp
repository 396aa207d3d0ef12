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
#include "kinematics/compiled_plan.h"
#include "kinematics/solver.h"
#include "model/mechanism_model.h"

constexpr int motion_steps = 360;     // the batch tool's default: one turn of a crank
constexpr double agreement = 1e-6;    // world units: the floor must give the solver's joints
constexpr double solve_target = 5.0;  // a00's solve within this many times the floor
constexpr double compiled_target = 3.0;  // a00's compiled solve within this many times the floor
constexpr double compiled_goal = 2.0;

static int same_joints(const std::array<point, joint_slots> &J) {
  for (int i = 1; i <= mech.n; i++)
    if (mech.J[i].x != J[i].x || mech.J[i].y != J[i].y) return 0;
  return 1;
}

// Loads the file, records its motion, and replays the steps once from the
// initial configuration: the replay must give the batch tool's joints bit
// for bit.  An empty string on success, else why not.
static std::string prepare_replay(const std::string &path, motion_script *script) {
  use_reference_solver(1);  // the batch tool's motion as the replay gives it
  const int recorded = record_motion(path, motion_steps, script);
  use_reference_solver(0);
  if (!recorded) return "does not assemble";
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

// --- the compiled plan ---

static compiled_plan bench_plan;  // one program at a time; 200 kB, not on the stack

// The same steps as bm_solve_positions, solved by the compiled program of
// the file's plan, which must give the replay's joints (within agreement)
// on every recorded step before it is timed.
static void bm_compiled(benchmark::State &state, const std::string &path) {
  motion_script script;
  const std::string problem = prepare_replay(path, &script);
  if (!problem.empty()) {
    state.SkipWithError(problem.c_str());
    return;
  }
  load_quietly(path);
  if (!compile_plan(&bench_plan)) {
    state.SkipWithError("the plan does not compile");
    return;
  }
  const size_t steps = script.drive.size(), per_step = script.branch_records.size();
  auto set_choices = [&](size_t s) {
    for (size_t k = 0; k < per_step; k++)
      bench_plan.choice[script.branch_records[k]] = script.choices[s * per_step + k];
  };
  int deferred = 0;
  for (size_t s = 0; s < steps; s++) {
    set_choices(s);
    const int got = run_compiled_plan(&bench_plan, script.drive[s]);
    if (got < 0) {
      deferred++;
      continue;
    }
    if (!got) {
      state.SkipWithError("a compiled step does not assemble");
      return;
    }
    for (int i = 1; i <= mech.n; i++)
      if (!(std::fabs(bench_plan.J[i].x - script.J[s][i].x) < agreement &&
            std::fabs(bench_plan.J[i].y - script.J[s][i].y) < agreement)) {
        state.SkipWithError("a compiled step moves a joint");
        return;
      }
  }
  size_t s = 0;
  for (auto _ : state) {
    set_choices(s);
    benchmark::DoNotOptimize(run_compiled_plan(&bench_plan, script.drive[s]));
    benchmark::ClobberMemory();
    if (++s == steps) s = 0;
  }
  state.counters["joints"] = mech.n;
  state.counters["records"] = mech.junjo_count;
  state.counters["operations"] = bench_plan.op_count;
  state.counters["deferred"] = deferred;
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
  for (const std::string &name : names) {
    benchmark::RegisterBenchmark(("solve_positions/" + name).c_str(), bm_solve_positions,
                                 dir + "/" + name);
    benchmark::RegisterBenchmark(("compiled/" + name).c_str(), bm_compiled, dir + "/" + name);
  }
  const std::string floor_file = "a00";  // the crank-rocker the floor is written for
  if (std::find(names.begin(), names.end(), floor_file) != names.end())
    benchmark::RegisterBenchmark(("closed_form_four_bar/" + floor_file).c_str(), bm_closed_form,
                                 dir + "/" + floor_file);
  summary_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double solve = reporter.cpu_ns("solve_positions/a00");
  const double compiled = reporter.cpu_ns("compiled/a00");
  const double floor = reporter.cpu_ns("closed_form_four_bar/a00");
  if (solve > 0.0 && floor > 0.0) {
    const double ratio = solve / floor;
    printf("\na00: solve_positions %.1f ns, closed form %.1f ns per drive step: ratio %.2f "
           "(target at most %.0f: %s)\n",
           solve, floor, ratio, solve_target, ratio <= solve_target ? "met" : "MISSED");
  }
  if (compiled > 0.0 && floor > 0.0) {
    const double ratio = compiled / floor;
    printf("a00: compiled %.1f ns, closed form %.1f ns per drive step: ratio %.2f "
           "(target at most %.0f: %s; goal %.0f: %s)\n",
           compiled, floor, ratio, compiled_target, ratio <= compiled_target ? "met" : "MISSED",
           compiled_goal, ratio <= compiled_goal ? "met" : "not yet");
  }
  // Compiled against the replay, file by file, and the cost per record.
  // The program's cost follows its operations (what reaches a joint or a
  // test), not the plan's records, most of which it drops or folds.
  printf("\n%-8s %8s %8s %10s %11s %7s %9s %9s\n", "file", "records", "ops", "replay_ns", "compiled_ns",
         "ratio", "ns/record", "ns/op");
  // Least squares of the compiled time against operations and records: ns = a + b x.
  double n = 0, so = 0, sr = 0, sc = 0, soo = 0, srr = 0, soc = 0, src = 0, scc = 0;
  for (const std::string &name : names) {
    const double r = reporter.cpu_ns("solve_positions/" + name), c = reporter.cpu_ns("compiled/" + name);
    if (r <= 0.0 || c <= 0.0) continue;
    const double o_count = reporter.counter("compiled/" + name, "operations");
    const double r_count = reporter.counter("compiled/" + name, "records");
    n += 1, so += o_count, sr += r_count, sc += c, soo += o_count * o_count, srr += r_count * r_count;
    soc += o_count * c, src += r_count * c, scc += c * c;
    const double records = reporter.counter("compiled/" + name, "records");
    const double ops = reporter.counter("compiled/" + name, "operations");
    printf("%-8s %8.0f %8.0f %10.1f %11.1f %7.2f %9.2f %9.2f\n", name.c_str(), records, ops, r, c, r / c,
           c / records, c / ops);
  }
  auto fit = [&](const char *what, double sx, double sxx, double sxc) {
    const double b = (n * sxc - sx * sc) / (n * sxx - sx * sx), a = (sc - b * sx) / n;
    const double r = (n * sxc - sx * sc) / std::sqrt((n * sxx - sx * sx) * (n * scc - sc * sc));
    printf("compiled ns = %.1f + %.2f per %s (r^2 %.3f over %.0f files)\n", a, b, what, r * r, n);
  };
  if (n >= 3) {
    printf("\n");
    fit("operation", so, soo, soc);
    fit("record", sr, srr, src);
  }
  return 0;
}
