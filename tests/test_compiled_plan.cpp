// The compiled program against the replay of the solving order, which
// defines the motion: on every shipped mechanism over 720 drive steps with
// the window's reversal at dead points, and at random drive values, the
// same result at every solve, the same branch flips, the same joints to
// 1e-9 of the mechanism's size, on the file's assembly and on random ones.
// Then the figures' tolerance boundaries, where the program's vectors and
// the replay's angles must decide alike.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/choice_editor.h"
#include "app/motion.h"
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
    // Half of them on random assemblies: every two-branch record's sign drawn.
    for (int k = 0; k < random_values; k++) {
      if (k % 2)
        for (int r = 1; r <= mech.junjo_count; r++) {
          const int code = mech.junjo[r][jj_code];
          if (code == 33 || code == 34 || code == 41 || code == 42)
            mech.junjo[r][jj_choice] = random() % 2 ? 1 : -1;
        }
      failures += !solve_both(name, value(random), size, &flips);
    }
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

// The posture check the program runs names the fact the replay's check
// names (the first broken one in the list, or none) on every shipped file,
// at postures moved off the assembled one by 0 to 1e-3 of the size, where
// several facts of different kinds break at once.
TEST(CompiledPlan, ThePostureCheckNamesTheFactTheFactCheckNames) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const double shifts[] = {0.0, 3e-7, 1e-6, 3e-6, 1e-3};  // of the size
  int postures = 0, broken = 0, not_first_length = 0;
  static posture_check check;
  for (const std::string &name : shipped_mechanisms()) {
    ASSERT_EQ(load_and_compile(source_path("mechanisms/" + name)), 1) << name;
    compile_posture_check(solver_facts, nullptr, &check);
    for (int k = 0; k < 200; k++) {
      point J[joint_slots];
      memcpy(J, mech.J, sizeof J);
      const double shift = shifts[k % 5] * solver_facts.size;
      for (int i = 1; i <= mech.n; i++) J[i].x += shift * unit(random), J[i].y += shift * unit(random);
      const int expected = broken_fact(solver_facts, J, nullptr);
      ASSERT_EQ(run_posture_check(check, J), expected) << name << " posture " << k;
      postures++, broken += expected != 0;
      not_first_length += expected != 0 && solver_facts.facts[expected - 1].kind != fact_length;
    }
  }
  // Broken postures of every sort were met, some named by a fact other than a length.
  EXPECT_GT(broken, postures / 4);
  EXPECT_GT(not_first_length, 100);
}

// --- the window's motion: an edit and a flip with 'n', then motion ---

struct motion_run {
  std::vector<std::vector<point>> J;  // per frame, joints 1..n
  std::vector<double> crank;          // |J[4] - J[3]| per frame
  int compiled;                       // frames solved by a compiled program
};

static void frames(motion_run *run, int count) {
  for (int s = 0; s < count; s++) {
    motion_step();
    solve_frame();
    run->J.emplace_back(mech.J + 1, mech.J + 1 + mech.n);
    run->crank.push_back(std::hypot(mech.J[4].x - mech.J[3].x, mech.J[4].y - mech.J[3].y));
    run->compiled += motion_plan() != nullptr;
  }
}

// a00: 60 frames; key "p" makes the crank (3-4) 50 and the rocker (2-1) 95;
// 60 frames; "n" sets record 6 (the triangle of the rocker pin) to +1, the
// other assembly; 60 frames.
static motion_run edit_and_flip(int reference) {
  motion_run run = {{}, {}, 0};
  use_reference_solver(reference);
  {
    console_capture quiet;
    EXPECT_EQ(batch_load(source_path("mechanisms/a00").c_str(), 72), 1);
    console_set_batch(0);  // the window's dialogs read their answers
    reset_animation();
    solve_frame();
    frames(&run, 60);
    dialog_script edit("1\n3,4,50\n2,1,95\n0\n0\n0\n");
    command_key = 'p';
    setup_mechanism();
    command_key = 'l';
    edit.expect_used_up();
    solve_frame();
    frames(&run, 60);
    dialog_script flip("6 1\n");
    edit_choices();
    frames(&run, 60);
  }
  use_reference_solver(0);
  return run;
}

TEST(CompiledPlan, TheWindowsMotionAfterAnEditAndAFlipIsTheReplays) {
  const motion_run replay = edit_and_flip(1), compiled = edit_and_flip(0);
  EXPECT_EQ(replay.compiled, 0);
  EXPECT_EQ(compiled.compiled, 180);
  ASSERT_EQ(replay.J.size(), 180u);
  ASSERT_EQ(compiled.J.size(), 180u);
  // The edit reached the program: the crank is 50 after it.
  EXPECT_NEAR(compiled.crank[59], 40.0, 1e-9);
  EXPECT_NEAR(compiled.crank[60], 50.0, 1e-9);
  double worst = 0.0, flip_moved = 0.0;
  for (size_t f = 0; f < 180; f++)
    for (size_t i = 0; i < replay.J[f].size(); i++)
      worst = std::fmax(worst, std::hypot(replay.J[f][i].x - compiled.J[f][i].x,
                                          replay.J[f][i].y - compiled.J[f][i].y));
  // The flip put the rocker pin (joint 1) on the other side.
  flip_moved = std::hypot(compiled.J[120][0].x - compiled.J[119][0].x, compiled.J[120][0].y - compiled.J[119][0].y);
  EXPECT_LE(worst, position_share * 120.0);
  EXPECT_GT(flip_moved, 10.0);
}


// --- the figures' tolerance boundaries, on plans of one figure ---
//
// Each plan is written by hand: fixed joints, given lengths and angles, a
// drive, and the records that place the free joint from the figure.  The
// drive is swept across the boundary of the figure's acceptance test in
// steps of a few ulps or of fractions of the tolerance; at every value the
// program and the replay must agree.

struct hand_record {
  int code, a, b, c, d, choice;
};

static void hand_plan(int n, int rs, int id, int jd, int kd, std::initializer_list<hand_record> records) {
  init_model();
  mech.n = n;
  mech.rs = rs, mech.id = id, mech.jd = jd, mech.kd = kd;
  mech.nochoice = 1;
  solver_facts.valid = 0;  // no facts: the figure alone decides
  mech.junjo_count = 0;
  for (const hand_record &r : records) {
    int *rec = mech.junjo[++mech.junjo_count];
    rec[jj_code] = r.code, rec[jj_a] = r.a, rec[jj_b] = r.b, rec[jj_c] = r.c, rec[jj_d] = r.d;
    rec[jj_choice] = r.choice;
  }
}

static void fix(int i, double x, double y) { mech.J[i] = point{x, y}, mech.J_known[i] = 'Y'; }
static void give_l(int i, int j, double v) {
  mech.l[i][j] = mech.l[j][i] = v;
  mech.l_known[i][j] = mech.l_known[j][i] = 'Y';
}
static void give_th(int i, int j, int k, double v) {
  mech.th[i][j][k] = v, mech.th[k][j][i] = -v;
  mech.th_known[i][j][k] = mech.th_known[k][j][i] = 'Y';
}

// Solves tt both ways from the same signs; the number of values that
// assembled.  A test failure at any difference.
static int sweep(const char *what, const std::vector<double> &values, double size) {
  if (!compile_plan(&plan)) {
    ADD_FAILURE() << what << ": no program";
    return 0;
  }
  int assembled = 0, flips = 0;
  for (double tt : values) assembled += solve_both(what, tt, size, &flips) != 0;
  return assembled;
}

// Values v0 + k * step for k = -count..count.
static std::vector<double> around(double v0, double step, int count) {
  std::vector<double> v;
  for (int k = -count; k <= count; k++) v.push_back(v0 + k * step);
  return v;
}

// Values within `ulps` units in the last place of v0, each side.
static std::vector<double> ulps_around(double v0, int ulps) {
  std::vector<double> v = {v0};
  double up = v0, down = v0;
  for (int k = 0; k < ulps; k++) {
    up = std::nextafter(up, INFINITY), down = std::nextafter(down, -INFINITY);
    v.push_back(up), v.push_back(down);
  }
  return v;
}

// tri_sss(1, 2, 3) with L_12 = 100, L_13 = 50 and the slide L_23 = tt: u =
// -1 at tt = 150.  Across |u| - 1 = 1e-6 (no triangle beyond) and
// 1 - |u| = 1e-6 (the straight-line branch inside).
TEST(CompiledPlanBoundaries, TriangleOfThreeSidesAtItsCosineTolerance) {
  hand_plan(3, 'L', 2, 3, 0, {{11, 1, 2, 0, 0, 0}, {34, 1, 2, 3, 0, -1}, {8, 1, 2, 3, 0, 0}, {10, 1, 3, 0, 0, 0}});
  fix(1, 0.0, 0.0), fix(2, 100.0, 0.0);
  give_l(1, 2, 100.0), give_l(1, 3, 50.0);
  // du/dtt = -(L_23 + L_12 u) / (L_12 L_23) = 1/300 at tt = 150: 1e-6 of u is 3e-4 of tt.
  std::vector<double> values = around(150.0 - 3e-4, 1e-7, 30);  // 1 - |u| = 1e-6 inside
  for (double v : around(150.0 + 3e-4, 1e-7, 30)) values.push_back(v);  // |u| - 1 = 1e-6 beyond
  const int assembled = sweep("tri_sss", values, 150.0);
  // Both sides of both edges were met.
  EXPECT_GT(assembled, 60);
  EXPECT_LT(assembled, 122);
}

// tri_ssa(1, 2, 3), L_12 = 100, L_23 = 50, th[3][1][2] = tt: s = 2 sin(pi -
// tt), |s| = 1 (the tangent) at tt = 5 pi / 6; then ulps around it.
TEST(CompiledPlanBoundaries, TriangleOfTwoSidesAndAnAngleAtItsTangent) {
  hand_plan(3, 'A', 3, 1, 2, {{11, 1, 2, 0, 0, 0}, {33, 1, 2, 3, 0, 1}, {8, 1, 2, 3, 0, 0}, {10, 1, 3, 0, 0, 0}});
  fix(1, 0.0, 0.0), fix(2, 100.0, 0.0);
  give_l(1, 2, 100.0), give_l(2, 3, 50.0);
  const double tangent = pi - std::asin(0.5);
  const int assembled = sweep("tri_ssa", ulps_around(tangent, 200), 100.0);
  EXPECT_GT(assembled, 0);
  EXPECT_LT(assembled, 401);
}

// tri_asa(1, 2, 3), L_12 = 100, th[1][2][3] = 2 (radians), th[3][1][2] =
// tt: the corner at 3, g = 2 - (pi - tt), is 0 at tt = pi - 2; across
// |sin g| = 1e-6, where the lines are taken as parallel.
TEST(CompiledPlanBoundaries, TriangleOfASideAndTwoAnglesAtParallelLines) {
  hand_plan(3, 'A', 3, 1, 2, {{11, 1, 2, 0, 0, 0}, {32, 1, 2, 3, 0, 0}, {8, 1, 2, 3, 0, 0}, {10, 1, 3, 0, 0, 0}});
  fix(1, 0.0, 0.0), fix(2, 100.0, 0.0);
  give_l(1, 2, 100.0);
  give_th(1, 2, 3, 2.0);
  std::vector<double> values = around(pi - 2.0 + 1e-6, 1e-9, 30);
  for (double v : around(pi - 2.0 - 1e-6, 1e-9, 30)) values.push_back(v);
  for (double v : ulps_around(pi - 2.0 + 1e-6, 50)) values.push_back(v);
  sweep("tri_asa", values, 100.0);
  // The parallel branch (result 2) was met, and the ordinary one.
  int parallel = 0, ordinary = 0;
  for (double v : values) {
    const int got = run_compiled_plan(&plan, v);
    parallel += got == 2, ordinary += got == 1;
  }
  EXPECT_GT(parallel, 0);
  EXPECT_GT(ordinary, 0);
}

// tri_sss(1, 2, 3) as above, the angle at 1 also given: th[3][1][2] is
// compared, never written, and no record reads the figure's other angles,
// so the figure stays in the program for its comparison alone.  The angle
// at 1, acos((L_12^2 + L_13^2 - tt^2) / (2 L_12 L_13)), keeps the fact taken
// at tt = 100 within 2e-3 rad over some 0.1 of tt each side; beyond, the
// figure fails and its branch flips.
TEST(CompiledPlanBoundaries, AFigureFailsWhereItMissesAGivenAngle) {
  hand_plan(3, 'L', 2, 3, 0, {{11, 1, 2, 0, 0, 0}, {34, 1, 2, 3, 0, -1}, {8, 1, 2, 3, 0, 0}, {10, 1, 3, 0, 0, 0}});
  fix(1, 0.0, 0.0), fix(2, 100.0, 0.0);
  give_l(1, 2, 100.0), give_l(1, 3, 50.0);
  ASSERT_EQ(solve_positions(100.0), 1);
  give_th(3, 1, 2, mech.th[3][1][2]);
  const auto corner = [](double tt) { return std::acos((12500.0 - tt * tt) / 10000.0); };
  const std::vector<double> values = around(100.0 + 5e-5, 1e-3, 200);
  int inside = 0;
  for (double v : values) inside += std::fabs(corner(v) - corner(100.0)) <= 2e-3;
  const int assembled = sweep("tri_sss, given angle", values, 100.0);
  EXPECT_NEAR(assembled, inside, 2);
  EXPECT_GT(inside, 150);
  EXPECT_LT(inside, 250);
}

// tri_sas(1, 2, 3), L_12 = 100, L_23 = 50, the drive th[1][2][3] = tt, and
// L_13 given as its length at tt = 2: held, within a part in a million of
// the size (100, so 1e-4).  dL_13/dtt = -L_12 L_23 sin tt / L_13, -49.8 at
// tt = 2: the figure assembles over 4e-6 rad around it.
TEST(CompiledPlanBoundaries, AFigureFailsWhereItMissesAGivenLength) {
  hand_plan(3, 'A', 1, 2, 3, {{11, 1, 2, 0, 0, 0}, {31, 1, 2, 3, 0, 0}, {8, 1, 2, 3, 0, 0}, {10, 1, 3, 0, 0, 0}});
  fix(1, 0.0, 0.0), fix(2, 100.0, 0.0);
  give_l(1, 2, 100.0), give_l(2, 3, 50.0);
  solver_facts.load_serial = mech.load_serial, solver_facts.size = 100.0;
  ASSERT_EQ(solve_positions(2.0), 1);
  give_l(1, 3, mech.l[1][3]);
  const int assembled = sweep("tri_sas, given length", around(2.0 + 5e-9, 1e-7, 60), 100.0);
  EXPECT_GE(assembled, 38);
  EXPECT_LE(assembled, 42);
}

// quad_ss_aaa(1, 2, 3, 4) placing J2 and J3, J1 and J4 fixed, L_14 = 100,
// L_23 = 60, th[4][3][2] = 0 given, driven by the angle th[id][jd][kd].
static void quadrilateral_plan(int id, int jd, int kd) {
  hand_plan(4, 'A', id, jd, kd,
            {{11, 1, 4, 0, 0, 0}, {44, 1, 2, 3, 4, 0}, {8, 1, 4, 2, 0, 0}, {10, 1, 2, 0, 0, 0},
             {8, 4, 1, 3, 0, 0}, {10, 4, 3, 0, 0, 0}});
  fix(1, 0.0, 0.0), fix(4, 100.0, 0.0);
  give_l(1, 4, 100.0), give_l(2, 3, 60.0);
  give_th(4, 3, 2, 0.0);
}

// quad_ss_aaa(1, 2, 3, 4): J1, J4 fixed, L_14 = 100, L_23 = 60, th[3][2][1]
// = 2, th[4][3][2] = 0, th[1][4][3] = tt.  Measured from a-d, d-c points at
// tt, b-c at tt - pi as the replay sums it, a-b at tt + 2 - pi.  At tt = 0
// or +-pi two of them may lie exactly along a-d (no closing), as the
// rounding of the replay's sums has it; a hair away, the sums absorb the
// hair in some directions and not in others.
TEST(CompiledPlanBoundaries, QuadrilateralOfCode44AtItsExactFlatTest) {
  quadrilateral_plan(1, 4, 3);
  give_th(3, 2, 1, 2.0);
  std::vector<double> values = {0.0, -0.0, 1e-300, -1e-300, 1e-17, -1e-17, 1e-15, pi, -pi, 1.0, -1.0};
  for (double v : ulps_around(pi, 4)) values.push_back(v);
  for (double v : ulps_around(0.5, 4)) values.push_back(v);
  const int assembled = sweep("quad_ss_aaa", values, 100.0);
  EXPECT_GT(assembled, 0);
  EXPECT_LT(assembled, static_cast<int>(values.size()));
}

// quad_ss_aaa(1, 2, 3, 4) as above with the drive at b, th[3][2][1] = tt,
// and th[1][4][3] = 1 given: a-b points at tt + 1 - pi, d-c at 1, so the
// sides are parallel at tt = pi, where the closing's determinant is 0 and
// its sides grow as 1 / sin.  Within 1e-6 of that sine the replay solves
// the step (the program's rounding would move the joints by more than the
// promise); beyond, the program does, and each side of the edge and the
// ulps around pi itself must agree.
TEST(CompiledPlanBoundaries, QuadrilateralOfCode44NearParallelSides) {
  quadrilateral_plan(3, 2, 1);
  give_th(1, 4, 3, 1.0);
  std::vector<double> values = around(pi - 1e-6, 1e-8, 20);
  for (double v : around(pi + 1e-6, 1e-8, 20)) values.push_back(v);
  for (double v : around(pi, 1e-9, 20)) values.push_back(v);
  for (double v : ulps_around(pi, 30)) values.push_back(v);
  for (double v : around(pi - 1e-2, 1e-3, 5)) values.push_back(v);
  const int assembled = sweep("quad_ss_aaa near parallel", values, 100.0);  // compiles afresh
  EXPECT_GT(assembled, static_cast<int>(values.size()) / 2);
  // Both sides of the edge were met.
  EXPECT_GT(plan.deferred, 0);
  EXPECT_LT(plan.deferred, static_cast<int>(values.size()));
}

// The tri_sss plan above with a fourth joint that no record places or
// reads: the replay fails while it holds a non-finite position, and so must
// the program, which never touches it.
TEST(CompiledPlanBoundaries, AJointNoRecordPlacesMustBeFinite) {
  hand_plan(4, 'L', 2, 3, 0, {{11, 1, 2, 0, 0, 0}, {34, 1, 2, 3, 0, -1}, {8, 1, 2, 3, 0, 0}, {10, 1, 3, 0, 0, 0}});
  fix(1, 0.0, 0.0), fix(2, 100.0, 0.0);
  give_l(1, 2, 100.0), give_l(1, 3, 50.0);
  mech.J[4] = point{NAN, 0.0};
  EXPECT_EQ(sweep("an unplaced joint at NaN", {120.0, 130.0}, 150.0), 0);
  mech.J[4] = point{5.0, INFINITY};
  EXPECT_EQ(sweep("an unplaced joint at infinity", {120.0}, 150.0), 0);
  mech.J[4] = point{5.0, 5.0};
  EXPECT_EQ(sweep("an unplaced joint, finite", {120.0, 130.0}, 150.0), 2);
}

// A crank of 9e59 from a pivot at x = 9e59, driven by its direction: at tt
// = 0 its pin lies at 1.8e60, beyond the program's bound on magnitudes
// (1e60), and the replay solves that step; at tt = 3 the program does.
TEST(CompiledPlanBoundaries, AJointPlacedBeyondTheBoundIsTheReplays) {
  hand_plan(2, 'B', 1, 2, 0, {{10, 1, 2, 0, 0, 0}});
  fix(1, 9e59, 0.0);
  give_l(1, 2, 9e59);
  EXPECT_EQ(sweep("a pin beyond the bound", {0.0, 3.0}, 1e60), 2);
  EXPECT_EQ(plan.deferred, 1);
}

// Solves the loaded file's compiled plan at each value as the replay does,
// one after the other; the number of values that assembled.
static int walk(const char *what, std::initializer_list<double> values) {
  int flips = 0, assembled = 0;
  for (double tt : values) assembled += solve_both(what, tt, solver_facts.size, &flips) != 0;
  return assembled;
}

// A slider-crank driven by the slide (l_13 = tt).  At tt = 1e300 the
// replay fails in code 11 from the block to a fixed joint, whose square
// overflows, and turns no branch over; that record reaches nothing the
// program computes, whose tri_sss would fail and turn its branch.  Drive
// values beyond the bound are the replay's.
TEST(CompiledPlanBoundaries, ADriveValueBeyondTheBoundIsTheReplays) {
  ASSERT_EQ(load_and_compile(test_data("slide_drive")), 1);
  EXPECT_EQ(walk("slide_drive", {140.0, 1e59, 1e61, 1e300, -1e300, 150.0, 1e300, 100.0}), 3);
  EXPECT_GE(plan.deferred, 4);
}

// a00 driven by the angle th[2][3][4].  The replay adds the drive to the
// frame's angles: at 1e12 rad the sum keeps 1e-4 rad, and its joints part
// from the program's by 3e-4; such values are the replay's.
TEST(CompiledPlanBoundaries, ADriveAngleOfManyTurnsIsTheReplays) {
  ASSERT_EQ(load_and_compile(test_data("relative_drive")), 1);
  EXPECT_GE(walk("relative_drive", {2.0, 1e4 + 2.0, -1e12, 1e12, 1e6, 2.5}), 4);
  EXPECT_GE(plan.deferred, 3);
}

}  // namespace
