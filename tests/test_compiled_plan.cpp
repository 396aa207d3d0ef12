// The compiled program against the replay of the solving order, which
// defines the motion: on every shipped mechanism over 720 drive steps with
// the window's reversal at dead points, and at random drive values, the
// same result at every solve, the same branch flips, the same joints to
// 1e-9 of the mechanism's size.  Then the figures' tolerance boundaries,
// where the program's vectors and the replay's angles must decide alike.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/setup_controller.h"
#include "kinematics/compiled_plan.h"
#include "kinematics/fact_check.h"
#include "kinematics/solver.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

namespace {

constexpr int run_steps = 720;
constexpr int random_values = 300;
constexpr double position_share = 1e-9;  // of the mechanism's size

static compiled_plan plan;  // 200 kB: not on the stack

struct solve_outcome {
  int result;
  point J[joint_slots];
  int choice[junjo_slots];
};

static void take(solve_outcome *o, int result) {
  o->result = result;
  memcpy(o->J, mech.J, sizeof o->J);
  for (int r = 0; r < junjo_slots; r++) o->choice[r] = mech.junjo[r][jj_choice];
}

// The table cells that one solve leaves for the next.
struct carried_values {
  double v[compiled_carried_max][2];
};

static void keep_carried(carried_values *c, int out) {
  for (int k = 0; k < plan.synced_count; k++) {
    const carried_cell &e = plan.carried[k];
    double *cell[2] = {nullptr, nullptr};
    switch (e.kind) {
      case 'J': cell[0] = &mech.J[e.i].x, cell[1] = &mech.J[e.i].y; break;
      case 'l': cell[0] = &mech.l[e.i][e.j], cell[1] = &mech.l[e.j][e.i]; break;
      case 'a': cell[0] = &mech.ath[e.i][e.j]; break;
      default: cell[0] = &mech.th[e.i][e.j][e.k]; break;
    }
    for (int h = 0; h < 2; h++)
      if (cell[h]) out ? (c->v[k][h] = *cell[h]) : (*cell[h] = c->v[k][h]);
  }
}

// Solves tt with the replay and with the program from the same branch
// signs and the same values left by the previous solve; the tables go on
// from the replay's solve.  A test failure names the first difference.
// Returns the replay's result.
static int solve_both(const std::string &name, double tt, double size, int *flips) {
  int before[junjo_slots];
  for (int r = 0; r < junjo_slots; r++) before[r] = mech.junjo[r][jj_choice];
  static carried_values left, replay_left;
  keep_carried(&left, 1);
  static solve_outcome ref, com;
  take(&ref, solve_positions(tt));
  keep_carried(&replay_left, 1);
  static point replay_J[joint_slots];
  memcpy(replay_J, mech.J, sizeof replay_J);
  for (int r = 0; r < junjo_slots; r++) mech.junjo[r][jj_choice] = before[r];
  keep_carried(&left, 0);
  take(&com, solve_compiled(&plan, tt));
  EXPECT_EQ(ref.result, com.result) << name << " at tt=" << tt;
  for (int r = 1; r <= mech.junjo_count; r++) {
    EXPECT_EQ(ref.choice[r], com.choice[r]) << name << " record " << r << " at tt=" << tt;
    *flips += ref.choice[r] != before[r];
  }
  if (ref.result)
    for (int i = 1; i <= mech.n; i++) {
      const double miss = std::hypot(ref.J[i].x - com.J[i].x, ref.J[i].y - com.J[i].y);
      EXPECT_LE(miss, position_share * size) << name << " joint " << i << " at tt=" << tt;
    }
  // Go on from the replay's posture and signs.
  memcpy(mech.J, replay_J, sizeof mech.J);
  keep_carried(&replay_left, 0);
  for (int r = 0; r < junjo_slots; r++) mech.junjo[r][jj_choice] = ref.choice[r];
  return ref.result;
}

static int load_and_compile(const std::string &path) {
  console_capture quiet;
  if (!batch_load(path.c_str(), 72)) return 0;
  return compile_plan(&plan);
}

// Every shipped file, and the tests' own mechanisms (a slide into a
// tangent, a rocker drive, a slider-crank, a trammel on a line).
static std::vector<std::string> mechanism_paths() {
  std::vector<std::string> paths;
  for (const std::string &name : shipped_mechanisms()) paths.push_back(source_path("mechanisms/" + name));
  for (const char *name : {"trammel", "trammel_line", "rocker_drive", "slider_crank"})
    paths.push_back(test_data(name));
  return paths;
}

TEST(CompiledPlan, EveryShippedFileSolvesAsTheReplayOverItsMotionAndAtRandom) {
  std::mt19937 random(15);
  int files = 0, carrying = 0, reversals = 0, flips = 0, failures = 0;
  for (const std::string &name : mechanism_paths()) {
    ASSERT_EQ(load_and_compile(name), 1) << name;
    files++;
    carrying += plan.carried_count > 0;
    const double size = solver_facts.size;
    const int rotary = mech.rs != 'L';
    double step = rotary ? pi / 180.0 : 1.0, tt = mech.tt0;
    // The window's motion: a failing value turns the motion back.
    int failed_in_row = 0;
    for (int s = 0; s < run_steps && failed_in_row < 40; s++) {
      tt += step;
      if (rotary) tt = wrap_angle(tt);
      if (solve_both(name, tt, size, &flips)) {
        failed_in_row = 0;
        continue;
      }
      failures++, failed_in_row++;
      step = -step;
      tt += step;
      reversals++;
    }
    // Random values over a turn, or the slide's span around tt0.
    std::uniform_real_distribution<double> value(rotary ? -pi : mech.tt0 - 200.0,
                                                 rotary ? pi : mech.tt0 + 200.0);
    for (int k = 0; k < random_values; k++) failures += !solve_both(name, value(random), size, &flips);
  }
  EXPECT_GT(files, 50);
  // The walk must have met dead points and failing values, or it proves
  // nothing about them.
  EXPECT_GT(reversals, 20);
  EXPECT_GT(flips, 20);
  EXPECT_GT(failures, 100);
  printf("%d files (%d carry values from solve to solve), %d reversals, %d flips, %d failing solves\n",
         files, carrying, reversals, flips, failures);
}

}  // namespace
