// The position solver replaying real plans: a00 over whole crank turns
// against an independent closed-form four-bar, a relative drive starting at
// 0, a floating quadrilateral of code 44, and the solver's own rules (drive
// storage, unwrapped replay, branch flips, failure part-way).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>

#include "app/motion.h"
#include "app/setup_controller.h"
#include "kinematics/planner.h"
#include "kinematics/fact_check.h"
#include "kinematics/solver.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

namespace {

class Solver : public ::testing::Test {
 protected:
  void SetUp() override { console_set_batch(1); }
};

// Lengths hold to 1e-9 of their size.  The angle rules use the system's
// pi, 3.1415926536, about 1e-11 off the true value, so a position a few
// rules away from a fixed joint can be off by some 1e-11 radians times its
// distance: some 1e-9 world units on a mechanism of 100 units.
const double rel = 1e-9;
const double size = 120.0;     // world units: the ground link of the four-bars here
const double tol = rel * size; // for positions

double distance(point a, point b) { return std::hypot(b.x - a.x, b.y - a.y); }

// The point at distance ra from a and rb from b, on the left of a->b
// (left = 1) or on its right (left = 0): two circles meeting.
point circles_meet(point a, double ra, point b, double rb, int left) {
  const double d = distance(a, b);
  const double along = (ra * ra - rb * rb + d * d) / (2.0 * d);
  const double off = std::sqrt(ra * ra - along * along);
  const double ux = (b.x - a.x) / d, uy = (b.y - a.y) / d;
  const double s = left ? 1.0 : -1.0;
  return {a.x + along * ux - s * off * uy, a.y + along * uy + s * off * ux};
}

// 1 when p lies on the left of a->b.
int on_left(point a, point b, point p) {
  return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x) > 0.0;
}

// The given lengths of a four-bar numbered as a00: ground pivots 3 (crank)
// and 2 (rocker), crank 3-4, coupler 4-1, rocker 1-2.
void expect_four_bar_lengths(double crank, double coupler, double rocker, const std::string &at) {
  const mechanism &m = mech;
  EXPECT_NEAR(distance(m.J[3], m.J[4]), crank, rel * crank) << at;
  EXPECT_NEAR(distance(m.J[4], m.J[1]), coupler, rel * coupler) << at;
  EXPECT_NEAR(distance(m.J[1], m.J[2]), rocker, rel * rocker) << at;
  EXPECT_EQ(m.J[3].x, 0.0) << at;
  EXPECT_EQ(m.J[3].y, 0.0) << at;
  EXPECT_EQ(m.J[2].x, 120.0) << at;
  EXPECT_EQ(m.J[2].y, 0.0) << at;
}

// The next drive value of the motion, as the motion key steps it: one
// degree, back by a turn past +-pi.
double step_drive(double tt, double step) {
  tt += step;
  if (tt > pi) tt -= 2.0 * pi;
  if (tt < -pi) tt += 2.0 * pi;
  return tt;
}

}  // namespace

TEST_F(Solver, A00OverTwoCrankTurnsBothWaysMatchesTheClosedForm) {
  ASSERT_EQ(batch_load(source_path("mechanisms/a00").c_str(), 0), 1);
  const mechanism &m = mech;
  for (double step : {pi / 180.0, -pi / 180.0}) {
    double tt = m.tt0;
    for (int s = 0; s <= 720; s++, tt = step_drive(tt, step)) {
      const std::string at = "step " + std::to_string(s) + " of " + std::to_string(step);
      ASSERT_NE(solve_positions(tt), 0) << at;
      expect_four_bar_lengths(40.0, 110.0, 90.0, at);
      EXPECT_NEAR(distance(m.J[4], m.J[5]), 70.0, rel * 70.0) << at;
      EXPECT_NEAR(distance(m.J[1], m.J[5]), 60.0, rel * 60.0) << at;
      // Crank at the drive angle; rocker pin on the open branch (left of
      // crank pin -> rocker pivot); coupler point outside the loop (left of
      // crank pin -> rocker pin).
      const point o4 = {120.0, 0.0};
      const point a = {40.0 * std::cos(tt), 40.0 * std::sin(tt)};
      const point b = circles_meet(a, 110.0, o4, 90.0, 1);
      const point p = circles_meet(a, 70.0, b, 60.0, 1);
      EXPECT_NEAR(m.J[4].x, a.x, tol) << at;
      EXPECT_NEAR(m.J[4].y, a.y, tol) << at;
      EXPECT_NEAR(m.J[1].x, b.x, tol) << at;
      EXPECT_NEAR(m.J[1].y, b.y, tol) << at;
      EXPECT_NEAR(m.J[5].x, p.x, tol) << at;
      EXPECT_NEAR(m.J[5].y, p.y, tol) << at;
    }
  }
}

TEST_F(Solver, A00ComesUpOpenWithTheCouplerPointOutsideTheLoop) {
  ASSERT_EQ(batch_load(source_path("mechanisms/a00").c_str(), 0), 1);
  const mechanism &m = mech;
  EXPECT_NEAR(m.tt0, 60.0 * deg_to_rad, 1e-12);  // the file value, no notch
  // Open: crank pin and rocker pin on the same side of the ground line.
  EXPECT_GT(m.J[4].y, 0.0);
  EXPECT_GT(m.J[1].y, 0.0);
  EXPECT_TRUE(on_left(m.J[4], m.J[1], m.J[5]));
  // The whole mechanism lies inside the start view, -150..250 world units.
  for (int i = 1; i <= m.n; i++) {
    EXPECT_GT(m.J[i].x, -150.0);
    EXPECT_LT(m.J[i].x, 250.0);
    EXPECT_GT(m.J[i].y, -150.0);
    EXPECT_LT(m.J[i].y, 250.0);
  }
}

// The four-bar of a00 driven by the relative angle at the crank pivot
// between the ground 2-3 and the crank 3-4, starting at 0: the crank lies
// along the ground line there, but only there.
static const char *relative_drive_at_zero =
    "t_relative-drive\n4\n1,R 2,R 3,R 4,R 0\n4\n3,0,0 0\n2,3,120,0 0\n0\n"
    "3,4,40 4,1,110 1,2,90 0\n0\n0\nA 2,3,4,0\n";

TEST_F(Solver, RelativeDriveStartingAtZeroTurnsCorrectly) {
  const std::string path = write_temp_file(relative_drive_at_zero);
  ASSERT_EQ(batch_load(path.c_str(), 0), 1);
  const mechanism &m = mech;
  EXPECT_NEAR(m.J[4].x, -40.0, tol);
  const int left = on_left(m.J[4], m.J[2], m.J[1]);
  double tt = m.tt0;
  for (int s = 0; s <= 360; s++, tt = step_drive(tt, pi / 180.0)) {
    const std::string at = "step " + std::to_string(s);
    ASSERT_NE(solve_positions(tt), 0) << at;
    expect_four_bar_lengths(40.0, 110.0, 90.0, at);
    // The crank turns from the direction 2->3 (pi) by the drive angle.
    const point a = {40.0 * std::cos(pi + tt), 40.0 * std::sin(pi + tt)};
    const point b = circles_meet(a, 110.0, {120.0, 0.0}, 90.0, left);
    EXPECT_NEAR(m.J[4].x, a.x, tol) << at;
    EXPECT_NEAR(m.J[4].y, a.y, tol) << at;
    EXPECT_NEAR(m.J[1].x, b.x, tol) << at;
    EXPECT_NEAR(m.J[1].y, b.y, tol) << at;
  }
  unlink(path.c_str());
}

TEST_F(Solver, DriveIsStoredByKind) {
  init_model();
  mech.n = 3;
  mech.junjo_count = 0;
  mech.id = 1, mech.jd = 2, mech.kd = 3;
  mech.rs = 'A';
  EXPECT_EQ(solve_positions(0.75), 1);  // a plan without figures succeeds
  EXPECT_EQ(mech.th[1][2][3], 0.75);
  EXPECT_EQ(mech.th[3][2][1], -0.75);
  mech.rs = 'B';
  solve_positions(0.5);
  EXPECT_EQ(mech.ath[1][2], 0.5);
  EXPECT_EQ(mech.ath[2][1], 0.5 - pi);
  mech.rs = 'L';
  solve_positions(42.0);
  EXPECT_EQ(mech.l[1][2], 42.0);
  EXPECT_EQ(mech.l[2][1], 42.0);
}

TEST_F(Solver, DeductionsReplayWithoutWrapping) {
  init_model();
  mech.n = 3;
  mech.rs = 'A';
  mech.id = 1, mech.jd = 2, mech.kd = 3;
  mech.th[2][3][1] = 0.5;
  mech.junjo_count = 1;
  mech.junjo[1][jj_code] = 1;
  mech.junjo[1][jj_a] = 1, mech.junjo[1][jj_b] = 2, mech.junjo[1][jj_c] = 3;
  EXPECT_EQ(solve_positions(0.5), 1);
  EXPECT_NEAR(mech.th[3][1][2], 2.0 * pi - 1.0, 1e-12);
}

// Two fixed joints and a third tied to both: one code-34 step.
static void plan_hanging_triangle(int nochoice) {
  init_model();
  mechanism &m = mech;
  m.n = 3;
  m.rs = 'N';  // nothing driven
  m.J[1] = {0.0, 0.0};
  m.J[2] = {100.0, 0.0};
  m.J_known[1] = m.J_known[2] = 'Y';
  m.l[1][3] = m.l[3][1] = 60.0;
  m.l[2][3] = m.l[3][2] = 80.0;
  m.l_known[1][3] = m.l_known[3][1] = m.l_known[2][3] = m.l_known[3][2] = 'Y';
  m.nochoice = nochoice;
  console_capture quiet;
  ASSERT_EQ(cal_junjo(), 1);
}

static int figure_record() {
  for (int r = 1; r <= mech.junjo_count; r++)
    if (mech.junjo[r][jj_code] == 34) return r;
  return 0;
}

TEST_F(Solver, FailingBranchStepFlipsItsSignOnlyWithNochoice) {
  plan_hanging_triangle(1);
  const int r = figure_record();
  ASSERT_NE(r, 0);
  ASSERT_NE(solve_positions(0.0), 0);
  EXPECT_NEAR(mech.J[3].y, -48.0, tol);
  mech.l[2][3] = mech.l[3][2] = 200.0;  // cannot close
  EXPECT_EQ(solve_positions(0.0), 0);
  EXPECT_EQ(mech.junjo[r][jj_choice], 1);
  EXPECT_EQ(solve_positions(0.0), 0);
  EXPECT_EQ(mech.junjo[r][jj_choice], -1);
  mech.l[2][3] = mech.l[3][2] = 80.0;
  EXPECT_EQ(solve_positions(0.0), 1);
  EXPECT_NEAR(mech.J[3].y, -48.0, tol);
  mech.junjo[r][jj_choice] = 1;  // the other branch, as the branch key sets it
  ASSERT_NE(solve_positions(0.0), 0);
  EXPECT_NEAR(mech.J[3].y, 48.0, tol);

  plan_hanging_triangle(0);
  mech.l[2][3] = mech.l[3][2] = 200.0;
  EXPECT_EQ(solve_positions(0.0), 0);
  EXPECT_EQ(solve_positions(0.0), 0);
  EXPECT_EQ(mech.junjo[figure_record()][jj_choice], -1);
}

TEST_F(Solver, FailureLeavesLaterJointsWhereTheLastSolveLeftThem) {
  ASSERT_EQ(batch_load(source_path("mechanisms/a00").c_str(), 0), 1);
  mechanism &m = mech;
  const point rocker_pin = m.J[1], coupler_point = m.J[5];
  m.l[1][2] = m.l[2][1] = 1.0;  // the rocker can no longer reach
  EXPECT_EQ(solve_positions(m.tt0 + 0.3), 0);
  // The crank pin comes before the first figure and has moved.
  EXPECT_NEAR(m.J[4].x, 40.0 * std::cos(m.tt0 + 0.3), tol);
  EXPECT_EQ(m.J[1].x, rocker_pin.x);
  EXPECT_EQ(m.J[1].y, rocker_pin.y);
  EXPECT_EQ(m.J[5].x, coupler_point.x);
  EXPECT_EQ(m.J[5].y, coupler_point.y);
}

TEST_F(Solver, FloatingQuadrilateralOfCodeFortyFourClosesAtEveryDriveValue) {
  // Quadrilateral 1, 2, 3, 4 with the sides 2-3 and 1-4 and the turning
  // angles at 2 and 4 given, the angle at 3 driven: the angle at 1 is
  // unknown when the step is planned and changes with the drive.
  init_model();
  mechanism &m = mech;
  m.n = 4;
  const point pts[5] = {{0, 0}, {0.0, 0.0}, {30.0, 60.0}, {90.0, 70.0}, {110.0, 0.0}};
  auto dir = [&](int i, int j) { return std::atan2(pts[j].y - pts[i].y, pts[j].x - pts[i].x); };
  auto give_th = [&](int i, int j, int k, char flag) {
    m.th[i][j][k] = dir(j, k) - dir(i, j);
    m.th[k][j][i] = -m.th[i][j][k];
    m.th_known[i][j][k] = m.th_known[k][j][i] = flag;
  };
  m.l[2][3] = m.l[3][2] = distance(pts[2], pts[3]);
  m.l[1][4] = m.l[4][1] = distance(pts[1], pts[4]);
  m.l_known[2][3] = m.l_known[3][2] = m.l_known[1][4] = m.l_known[4][1] = 'Y';
  give_th(1, 2, 3, 'Y');
  give_th(3, 4, 1, 'Y');
  give_th(2, 3, 4, 'Z');
  m.rs = 'A', m.id = 2, m.jd = 3, m.kd = 4;
  const double tt0 = m.th[2][3][4];
  {
    console_capture quiet;
    cal_junjo();  // no joint can be placed: the plan ends without progress
  }
  int r44 = 0;
  for (int r = 1; r <= m.junjo_count; r++)
    if (m.junjo[r][jj_code] == 44) r44 = r;
  ASSERT_NE(r44, 0);
  EXPECT_EQ(m.junjo[r44][jj_a], 1);
  EXPECT_NEAR(m.l[1][2], distance(pts[1], pts[2]), 1e-9);
  for (double delta : {0.0, 0.1, 0.25, -0.2}) {
    ASSERT_NE(solve_positions(tt0 + delta), 0) << delta;
    // Walk round the figure from any direction of 1->2: it closes, and the
    // four turning angles add up to whole turns.
    double d = 0.3, x = 0.0, y = 0.0;
    const int path[5] = {1, 2, 3, 4, 1};
    for (int s = 0; s < 4; s++) {
      const int a = path[s], b = path[s + 1], c = path[(s + 2) % 4];
      x += m.l[a][b] * std::cos(d);
      y += m.l[a][b] * std::sin(d);
      d += m.th[a][b][c];
    }
    EXPECT_NEAR(x, 0.0, tol) << delta;
    EXPECT_NEAR(y, 0.0, tol) << delta;
    EXPECT_NEAR(std::remainder(d - 0.3, 2.0 * pi), 0.0, 1e-9) << delta;
  }
}

TEST_F(Solver, AJointThatWouldOverflowFailsTheSolveAndKeepsEveryPositionFinite) {
  // A crank of 1e6 on a pivot at 1e6, the largest numbers a file may hold.
  ASSERT_EQ(load_text_for_test("t_crank 2 0 2 1,1e6,0 0 0 0 1,2,1e6 0 0 0 B 1,2,0"), 1);
  ASSERT_EQ(cal_junjo(), 1);
  mechanism &m = mech;
  ASSERT_EQ(solve_positions(0.0), 1);
  EXPECT_EQ(m.J[2].x, 2e6);
  // Scaled to the range of a double, as an edit could make it: along +x the
  // crank pin lies at 2.7e308, beyond it.
  m.J[1].x = 1.7e308;
  m.l[1][2] = m.l[2][1] = 1e308;
  collect_facts(&solver_facts);  // as the pre-analysis after an edit does
  EXPECT_EQ(solve_positions(0.0), 0);
  EXPECT_EQ(m.J[2].x, 2e6);
  EXPECT_EQ(solve_positions(half_pi), 1);
  EXPECT_TRUE(std::isfinite(m.J[2].x) && std::isfinite(m.J[2].y));
  // A drive value that is not finite is not stored.
  EXPECT_EQ(solve_positions(std::nan("")), 0);
  EXPECT_EQ(solve_positions(INFINITY), 0);
  EXPECT_EQ(m.ath[1][2], half_pi);
  // A joint that no step places but that is not finite fails every solve.
  m.J[1].x = INFINITY;
  EXPECT_EQ(solve_positions(half_pi), 0);
}

// A copy of a conic drawer under a name that lets the solver flip branches
// at its dead points.  The steps of the plan alone, with the check of whole
// postures switched off, must keep every fact after every flip: a solve is a
// function of the drive value and the branch signs, never of values another
// branch left in the tables.  (Once, a quadrilateral step stored an
// invariant angle of the other branch, and the next solve read it: |J7J8|
// came out 107.4 for 110.)
TEST_F(Solver, StepsAloneKeepEveryFactAcrossBranchFlips) {
  const std::string copy = write_temp_file(read_file(source_path("mechanisms/conic4")));
  ASSERT_EQ(batch_load(copy.c_str(), 72), 1);
  ASSERT_EQ(mech.nochoice, 1);
  const fact_list facts = solver_facts;
  ASSERT_TRUE(facts.valid);
  solver_facts.valid = 0;
  // The motion of the batch tool and the window: a step, then its solve.
  reset_animation();
  solve_frame();
  int turns = 0;  // reversals of the motion at a dead point
  for (int s = 1; s <= 720; s++) {
    const double before = motion.drive_step;
    motion_step();
    solve_frame();
    if (motion.drive_step != before) turns++;
    double miss = 0.0;
    const int broken = broken_fact(facts, mech.J, &miss);
    ASSERT_EQ(broken, 0) << "step " << s << " misses a fact by " << miss;
  }
  EXPECT_GT(turns, 0) << "the copy is meant to reach its dead points";
}
