// linkmotion-path --derivatives: the kinematic coefficients of every row
// against the derivatives of the loop equations of a four-bar, a rocker
// driven four-bar with dead points, a slider-crank and an elliptic trammel
// driven by a slide; and the run itself, which the option must not change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/kinematic_coefficients.h"
#include "app/motion.h"
#include "app/setup_controller.h"
#include "kinematics/solver.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

namespace {

program_run run_path(const std::string &args) {
  return run_program("'" + program_path("linkmotion-path") + "' " + args, "");
}

// A joint's row: position and the four coefficients, NAN where empty.
struct joint_row {
  double x, y;
  double d[4];  // dx/dq, dy/dq, d2x/dq2, d2y/dq2
};

struct coef_row {
  int step;
  double drive;
  std::vector<joint_row> J;  // 1..n
};

std::vector<std::string> split(const std::string &line) {
  std::vector<std::string> f;
  std::string cell;
  std::istringstream in(line);
  while (std::getline(in, cell, ',')) f.push_back(cell);
  if (!line.empty() && line.back() == ',') f.push_back("");
  return f;
}

// Parses a --derivatives CSV of n joints; every field is a number or empty.
std::vector<coef_row> parse_coefficients(const std::string &text, int n) {
  std::vector<coef_row> rows;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  std::string header = "step,drive";
  for (int i = 1; i <= n; i++)
    header += format(",x%d,y%d,dx%d/dq,dy%d/dq,d2x%d/dq2,d2y%d/dq2", i, i, i, i, i, i);
  EXPECT_EQ(line, header);
  while (std::getline(in, line)) {
    const std::vector<std::string> f = split(line);
    EXPECT_EQ(f.size(), static_cast<size_t>(2 + 6 * n)) << line;
    if (f.size() != static_cast<size_t>(2 + 6 * n)) break;
    auto number = [&](const std::string &s) -> double {
      if (s.empty()) return NAN;
      size_t used = 0;
      const double v = std::stod(s, &used);
      EXPECT_EQ(used, s.size()) << s;
      return v;
    };
    coef_row r;
    r.step = std::atoi(f[0].c_str());
    r.drive = number(f[1]);
    r.J.resize(n + 1);
    for (int i = 1; i <= n; i++) {
      const size_t b = 2 + 6 * (i - 1);
      r.J[i].x = number(f[b]);
      r.J[i].y = number(f[b + 1]);
      EXPECT_FALSE(std::isnan(r.J[i].x) || std::isnan(r.J[i].y)) << "positions are never empty";
      for (int k = 0; k < 4; k++) r.J[i].d[k] = number(f[b + 2 + k]);
    }
    rows.push_back(r);
  }
  return rows;
}

// A --derivatives CSV without the four coefficient fields after every x, y.
std::string positions_only(const std::string &csv) {
  std::istringstream in(csv);
  std::string line, stripped;
  while (std::getline(in, line)) {
    const std::vector<std::string> f = split(line);
    std::string out = f[0] + "," + f[1];
    for (size_t b = 2; b + 5 < f.size(); b += 6) out += "," + f[b] + "," + f[b + 1];
    stripped += out + "\n";
  }
  return stripped;
}

struct vec {
  double x, y;
};
vec operator-(vec a, vec b) { return {a.x - b.x, a.y - b.y}; }
double dot(vec a, vec b) { return a.x * b.x + a.y * b.y; }

// Position, first and second derivative of a point with respect to q.
struct motion3 {
  vec p, v, a;
};

motion3 fixed_at(vec p) { return {p, {0, 0}, {0, 0}}; }

// One constraint on a point P: a fixed distance from a moving centre C
// (|P - C|^2 = const), or a fixed straight guide through C with normal
// `normal` (normal . (P - C) = 0, C fixed).  Differentiated once and twice:
//   distance: (P - C).P' = (P - C).C',  (P - C).P'' = (P - C).C'' - |P' - C'|^2
//   guide:    normal.P' = 0,            normal.P'' = 0
struct constraint {
  motion3 centre;
  int guide;
  vec normal;
};

// P' and P'' of the point P held by two constraints, by Cramer's rule.
// *singular is set when the two rows are nearly parallel (a dead point).
motion3 two_constraints(vec P, const constraint &c1, const constraint &c2, double *det_out = nullptr) {
  auto row = [&](const constraint &c) { return c.guide ? c.normal : P - c.centre.p; };
  const vec r1 = row(c1), r2 = row(c2);
  const double det = r1.x * r2.y - r1.y * r2.x;
  if (det_out) *det_out = det / std::sqrt(dot(r1, r1) * dot(r2, r2));
  auto solve = [&](double b1, double b2) { return vec{(b1 * r2.y - r1.y * b2) / det, (r1.x * b2 - b1 * r2.x) / det}; };
  auto first = [&](const constraint &c) { return c.guide ? 0.0 : dot(row(c), c.centre.v); };
  const vec v = solve(first(c1), first(c2));
  auto second = [&](const constraint &c) {
    if (c.guide) return 0.0;
    const vec rel = v - c.centre.v;
    return dot(row(c), c.centre.a) - dot(rel, rel);
  };
  return {P, v, solve(second(c1), second(c2))};
}

constraint distance_from(const motion3 &c) { return {c, 0, {0, 0}}; }

// A point turning about a fixed centre O with the drive angle: P' is P - O
// turned by 90 degrees, P'' = -(P - O).
motion3 crank_point(vec P, vec O) {
  const vec r = P - O;
  return {P, {-r.y, r.x}, {-r.x, -r.y}};
}

vec at(const coef_row &r, int i) { return {r.J[i].x, r.J[i].y}; }

// Compares the coefficients of joint i with the analytic ones.  The
// promise: within 1e-6 of the larger of |value| and L / Q^order, L the
// longest link of the mechanism, Q 1 radian or L for a slide.  Returns the
// number of empty fields.
int expect_coefficients(const coef_row &r, int i, const motion3 &m, double L, int slide, const std::string &what) {
  const double size = L, Q = slide ? L : 1.0;
  const double want[4] = {m.v.x, m.v.y, m.a.x, m.a.y};
  int empty = 0;
  for (int k = 0; k < 4; k++) {
    const double got = r.J[i].d[k];
    if (std::isnan(got)) {
      empty++;
      continue;
    }
    const double scale = k < 2 ? size / Q : size / (Q * Q);
    EXPECT_LE(std::fabs(got - want[k]), 1e-6 * std::max(std::fabs(want[k]), scale))
        << what << " joint " << i << " field " << k << " at step " << r.step << ": " << got << " against "
        << want[k];
  }
  return empty;
}

// tests/data: slider_crank (crank 40 about joint 1, rod 120, block 3 on a
// guide 20 above joint 1) and trammel (blocks 1 and 4 on the x and y axes,
// joined by a bar of 100; the drive slides block 1 along its guide).

}  // namespace

TEST(KinematicCoefficients, FourBarCrankAndCouplerPointMatchTheLoopEquations) {
  const a00_joints a = load_a00_for_test();
  program_run r = run_path("--derivatives a00 360");
  ASSERT_EQ(r.status, 0) << r.errors;
  const std::vector<coef_row> rows = parse_coefficients(r.output, 5);
  ASSERT_EQ(rows.size(), 360u);
  for (const coef_row &w : rows) {
    const vec O2 = at(w, a.crank_pivot), O4 = at(w, a.rocker_pivot);
    const motion3 crank = crank_point(at(w, a.crank_pin), O2);
    // The crank is the drive: its direction is the drive value.
    ASSERT_NEAR(std::remainder(std::atan2(crank.p.y - O2.y, crank.p.x - O2.x) - w.drive, 2 * pi), 0.0, 1e-7);
    const motion3 rocker = two_constraints(at(w, a.rocker_pin), distance_from(crank), distance_from(fixed_at(O4)));
    const motion3 coupler = two_constraints(at(w, a.coupler_point), distance_from(crank), distance_from(rocker));
    int empty = 0;
    empty += expect_coefficients(w, a.crank_pin, crank, 120.0, 0, "a00");
    empty += expect_coefficients(w, a.rocker_pin, rocker, 120.0, 0, "a00");
    empty += expect_coefficients(w, a.coupler_point, coupler, 120.0, 0, "a00");
    empty += expect_coefficients(w, a.crank_pivot, fixed_at(O2), 120.0, 0, "a00");
    empty += expect_coefficients(w, a.rocker_pivot, fixed_at(O4), 120.0, 0, "a00");
    // A crank-rocker turns without a dead point: every coefficient exists.
    EXPECT_EQ(empty, 0) << "step " << w.step;
  }
}

TEST(KinematicCoefficients, SliderCrankMatchesItsClosedForm) {
  const std::string file = test_data("slider_crank");
  program_run r = run_path("--derivatives '" + file + "' 360");
  ASSERT_EQ(r.status, 0) << r.errors;
  const std::vector<coef_row> rows = parse_coefficients(r.output, 5);
  ASSERT_EQ(rows.size(), 360u);
  const double R = 40.0, L = 120.0, e = 20.0;
  for (const coef_row &w : rows) {
    const double q = w.drive, c = std::cos(q), s = std::sin(q);
    // x = R cos q + sqrt(L^2 - u^2), u = e - R sin q:
    //   u' = -R cos q, u'' = R sin q; with w = sqrt(L^2 - u^2):
    //   w' = -u u' / w, w'' = -(u'^2 + u u'' + w'^2) / w.
    const double u = e - R * s, du = -R * c, ddu = R * s;
    const double root = std::sqrt(L * L - u * u);
    const double droot = -u * du / root, ddroot = -(du * du + u * ddu + droot * droot) / root;
    const motion3 block = {{R * c + root, e}, {-R * s + droot, 0.0}, {-R * c + ddroot, 0.0}};
    ASSERT_NEAR(w.J[3].x, block.p.x, 1e-7) << "the block runs ahead of the crank";
    const motion3 pin = {{R * c, R * s}, {-R * s, R * c}, {-R * c, -R * s}};
    EXPECT_EQ(expect_coefficients(w, 2, pin, 120.0, 0, "slider-crank"), 0);
    EXPECT_EQ(expect_coefficients(w, 3, block, 120.0, 0, "slider-crank"), 0);
    EXPECT_EQ(expect_coefficients(w, 4, fixed_at({-100, 20}), 120.0, 0, "slider-crank"), 0);
  }
}

// Driven at the rocker, the four-bar reaches the two positions where the
// crank 1-2 and the coupler 2-3 line up: one of them exactly at a row.
// Every coefficient printed must hold there too, however large; the fields
// of the dead row are empty, and only rows next to a dead point have any.
TEST(KinematicCoefficients, DeadPointsOfARockerDriveGiveEmptyFieldsNeverWrongOnes) {
  const std::string file = test_data("rocker_drive");
  program_run r = run_path("--derivatives '" + file + "' 300");
  ASSERT_EQ(r.status, 0) << r.errors;
  const std::vector<coef_row> rows = parse_coefficients(r.output, 4);
  ASSERT_EQ(rows.size(), 300u);
  int empty_rows = 0, toggle_rows = 0;
  double largest = 0.0;
  for (const coef_row &w : rows) {
    const motion3 rocker = crank_point(at(w, 3), at(w, 4));
    double det = 0.0;
    const motion3 pin = two_constraints(at(w, 2), distance_from(rocker), distance_from(fixed_at(at(w, 1))), &det);
    // At the toggle the system of the pin is singular: nothing to compare.
    const int toggle = std::fabs(det) < 1e-6;
    toggle_rows += toggle;
    int empty = expect_coefficients(w, 3, rocker, 120.0, 0, "rocker_drive");
    if (!toggle) empty += expect_coefficients(w, 2, pin, 120.0, 0, "rocker_drive");
    else
      for (int k = 0; k < 4; k++) EXPECT_TRUE(std::isnan(w.J[2].d[k])) << "a coefficient at the toggle";
    for (int k = 0; k < 4; k++)
      if (!std::isnan(w.J[2].d[k])) largest = std::max(largest, std::fabs(w.J[2].d[k]));
    if (empty > 0 || toggle) {
      empty_rows++;
      // sin of the angle between crank and coupler: near 0 only at a dead point.
      EXPECT_LT(std::fabs(det), 0.2) << "empty fields far from a dead point at step " << w.step;
    }
  }
  EXPECT_GT(toggle_rows, 0);
  EXPECT_GT(empty_rows, 0);
  EXPECT_LT(empty_rows, 30);
  // Large near the toggle, as the pin's speed is there, but not a blow-up.
  EXPECT_GT(largest, 100.0);
  EXPECT_LT(largest, 1e5);
}

// A slide drive: q in world units, block 1 at x = q - 200; block 4 and the
// traced point follow.  The trammel turns back one unit before the bar lies
// along the x axis, where block 4 would reach the dead point of its guide:
// there the coefficients are some 400 times their scale and must hold.
TEST(KinematicCoefficients, TrammelDrivenByASlideMatchesItsConstraints) {
  const std::string file = test_data("trammel");
  program_run r = run_path("--derivatives '" + file + "' 500");
  ASSERT_EQ(r.status, 0) << r.errors;
  const std::vector<coef_row> rows = parse_coefficients(r.output, 7);
  ASSERT_EQ(rows.size(), 500u);
  int near_end = 0;
  for (const coef_row &w : rows) {
    const motion3 block1 = {at(w, 1), {1.0, 0.0}, {0.0, 0.0}};
    ASSERT_NEAR(block1.p.x, w.drive - 200.0, 1e-7);
    const constraint on_y = {fixed_at({0, 0}), 1, {1.0, 0.0}};
    const motion3 block4 = two_constraints(at(w, 4), distance_from(block1), on_y);
    const motion3 point = two_constraints(at(w, 7), distance_from(block1), distance_from(block4));
    int empty = expect_coefficients(w, 1, block1, 100.0, 1, "trammel");
    empty += expect_coefficients(w, 4, block4, 100.0, 1, "trammel");
    empty += expect_coefficients(w, 7, point, 100.0, 1, "trammel");
    EXPECT_EQ(empty, 0) << "step " << w.step;
    if (std::fabs(block1.p.x) > 98.5) near_end++;
  }
  EXPECT_GE(near_end, 4);
}

// The extra solves leave nothing behind: the positions, the messages and
// the motion (reversals, branch flips at failing solves) are those of the
// run without the option, byte for byte.
TEST(KinematicCoefficients, TheRunIsByteForByteTheRunWithoutTheOption) {
  const std::string slider = test_data("slider_crank");
  const std::string tram = test_data("trammel");
  const std::string rocker = test_data("rocker_drive");
  for (const std::string &file : {std::string("a00"), rocker, slider, tram}) {
    const program_run plain = run_path("'" + file + "' 700");
    const program_run with = run_path("--derivatives '" + file + "' 700");
    ASSERT_EQ(plain.status, 0) << file;
    ASSERT_EQ(with.status, 0) << file;
    EXPECT_EQ(with.errors, plain.errors) << file;
    EXPECT_EQ(positions_only(with.output), plain.output) << file;
  }
}

// In the process: the whole record, every byte, is as it was after the
// coefficients of a posture, also where a solve beside it fails (and, the
// rocker drive having nochoice 1, flips a branch sign on the way).
TEST(KinematicCoefficients, LeaveEveryByteOfTheRecordAsTheyFoundIt) {
  {
    console_capture quiet;
    ASSERT_EQ(batch_load(test_data("rocker_drive").c_str(), 0), 1);
    console_set_batch(0);
  }
  ASSERT_EQ(mech.nochoice, 1);
  static mechanism before;
  static joint_coefficients c[joint_slots];
  // The toggle is at q = pi/2 exactly (|J1 J3| = 150 = 40 + 110), the rocker
  // assembling above it.  At 5e-3 above it the largest step, 8e-3 down, is
  // the one solve that fails: a flipped sign that nothing flips back.
  for (double q : {M_PI / 2 + 5e-3, M_PI / 2 + 1e-6, 2.0, M_PI / 2}) {
    ASSERT_NE(solve_positions(q), 0) << q;
    memcpy(&before, &mech, sizeof before);
    const int known = kinematic_coefficients(q, c);
    EXPECT_EQ(memcmp(&before, &mech, sizeof before), 0) << "the record changed at q = " << q;
    if (q == 2.0) {
      EXPECT_EQ(known, 4 * mech.n);
    }
  }
  // Through a motion with its reversals, at every row.
  reset_animation();
  solve_frame();
  for (int s = 0; s < 300; s++) {
    motion_step();
    {
      console_capture quiet;
      solve_frame();
    }
    memcpy(&before, &mech, sizeof before);
    kinematic_coefficients(motion.drive_value, c);
    ASSERT_EQ(memcmp(&before, &mech, sizeof before), 0) << "the record changed at step " << s + 1;
  }
}

// Every shipped mechanism: the positions and messages are those of the run
// without the option; the coefficients agree with the differences of the
// rows themselves (one degree or one unit apart), within the truncation
// error of those differences, estimated from the coefficients of the
// neighbouring rows; and coefficients are missing only next to the rows
// where the motion turns back, but for a rare field (one in 200 at most)
// near a singular position (the antiparallelogram's fold, where two slider
// lines nearly coincide and the solve is too noisy to pin a second
// derivative down).
class ShippedCoefficients : public ::testing::TestWithParam<std::string> {};

TEST_P(ShippedCoefficients, AgreeWithTheRowsAndLeaveThemAlone) {
  const std::string name = GetParam();
  const int steps = 360;
  const program_run plain = run_program(
      "'" + program_path("linkmotion-path") + "' " + name + " " + std::to_string(steps), "", source_path("mechanisms"));
  const program_run with = run_program("'" + program_path("linkmotion-path") + "' --derivatives " + name + " " +
                                           std::to_string(steps),
                                       "", source_path("mechanisms"));
  ASSERT_EQ(with.status, 0) << with.errors;
  EXPECT_EQ(with.errors, plain.errors);
  const std::string header = with.output.substr(0, with.output.find('\n'));
  const int n = (static_cast<int>(split(header).size()) - 2) / 6;
  const std::vector<coef_row> rows = parse_coefficients(with.output, n);
  ASSERT_EQ(rows.size(), static_cast<size_t>(steps));
  EXPECT_EQ(positions_only(with.output), plain.output) << name;

  const bool slide = with.errors.find("直動駆動") != std::string::npos;
  auto step_between = [&](size_t a, size_t b) {
    const double d = rows[b].drive - rows[a].drive;
    return slide ? d : std::remainder(d, 2 * pi);
  };
  // Rows k with three neighbours on each side one equal step apart: no
  // reversal, no dead frame, no branch change nearby.
  int compared = 0, missing_away = 0;
  for (size_t k = 3; k + 3 < rows.size(); k++) {
    const double dq = step_between(k - 1, k);
    bool even = std::fabs(dq) > 0.5 * (slide ? 1.0 : pi / 180.0);
    for (size_t j = k - 2; j <= k + 3 && even; j++) even = std::fabs(step_between(j - 1, j) - dq) < 1e-9;
    if (!even) continue;
    bool near_turn = false;  // within six rows of a reversal
    for (size_t j = (k >= 7 ? k - 6 : 1); j <= std::min(rows.size() - 2, k + 6) && !near_turn; j++)
      near_turn = step_between(j - 1, j) * step_between(j, j + 1) <= 0.0;
    for (int i = 1; i <= n; i++)
      for (int c = 0; c < 2; c++) {
        auto d2_at = [&](size_t j) { return rows[j].J[i].d[2 + c]; };
        auto x_at = [&](size_t j) { return c == 0 ? rows[j].J[i].x : rows[j].J[i].y; };
        const double d1 = rows[k].J[i].d[c], d2 = d2_at(k);
        if (std::isnan(d1) || std::isnan(d2)) {
          if (!near_turn) missing_away++;
          continue;
        }
        // Central differences of the rows: errors dq^2 f3 / 6 and
        // dq^2 f4 / 12, f3 and f4 (third and fourth derivatives) the largest
        // the neighbours' d2 show over three rows; and the rounding of the
        // nine printed decimals.
        double f3 = 0.0, f4 = 0.0;
        bool all = true;
        for (size_t j = k - 1; j <= k + 1; j++) {
          const double a = d2_at(j - 1), b = d2_at(j), e = d2_at(j + 1);
          if (std::isnan(a) || std::isnan(b) || std::isnan(e)) all = false;
          f3 = std::max(f3, std::fabs((e - a) / (2 * dq)));
          f4 = std::max(f4, std::fabs(e - 2 * b + a) / (dq * dq));
        }
        if (!all) continue;
        const double row_d1 = (x_at(k + 1) - x_at(k - 1)) / (2 * dq);
        const double row_d2 = (x_at(k + 1) - 2 * x_at(k) + x_at(k - 1)) / (dq * dq);
        const double tol1 = 2.0 * dq * dq * f3 / 6 + 1e-6 * std::max(1.0, std::fabs(d1)) + 1e-9 / std::fabs(dq);
        const double tol2 = 2.0 * dq * dq * f4 / 12 + 1e-5 * std::max(1.0, std::fabs(d2)) + 4e-9 / (dq * dq);
        EXPECT_NEAR(d1, row_d1, tol1) << name << " J" << i << " coordinate " << c << " step " << rows[k].step;
        EXPECT_NEAR(d2, row_d2, tol2) << name << " J" << i << " coordinate " << c << " step " << rows[k].step;
        compared++;
      }
  }
  EXPECT_LE(missing_away * 200, compared) << name << ": coefficients missing away from the reversals";
  EXPECT_GT(compared, steps) << name;
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedCoefficients, ::testing::ValuesIn(shipped_mechanisms()),
                         [](const ::testing::TestParamInfo<std::string> &param) { return param.param; });
