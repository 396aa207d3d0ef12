// The ellipse drawers ellips1..ellips5 and the hyperbola drawers
// hyper1..hyper5: over `linkmotion-path NAME 720` the traced joint lies on
// one exact conic of the right kind, whose eccentricity is the one worked
// out here from the file's own dimensions; an ellipse is drawn all round, a
// hyperbola along a long arc of one branch; the drawers that turn back do
// so where their dimensions say; sliders stay between the ends of their
// guides; the crossed four-bars of ellips2 and hyper5 change their assembly
// branch with the sign of the drive, as their title's branch rule does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "analysis/curve_fit.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

namespace {

constexpr int run_steps = 720;               // two turns of a rotary drive
constexpr double one_degree = pi / 180.0;    // the rotary drive step, radians
// A traced path on an exact conic fits it to the rounding of the nine
// printed decimals, some 1e-10 of the normalised residual; 1e-6 is the
// exactness the library promises.
constexpr double residual_limit = 1e-6;
// The fitted eccentricity of exact points agrees to about 1e-9; the data
// files give angles through deg_to_rad, which is 1e-10 off.
constexpr double eccentricity_tol = 1e-6;
constexpr double parabola_tol = 1e-6;       // how near 1 an eccentricity counts as a parabola

using motion_rows = path_rows;

motion_rows run_rows(const std::string &name) { return run_path_rows(name, run_steps); }

std::vector<point> traced(const motion_rows &m, int joint) {
  std::vector<point> p;
  for (const std::vector<point> &row : m.J) p.push_back(row[joint]);
  return p;
}

// Loads the file without planning: the saved tables hold what it gives.
void load_dimensions(const std::string &name) {
  console_capture quiet;
  ASSERT_EQ(load_file_for_test(source_path("mechanisms/" + name)), 1) << name;
}

double len(int i, int j) { return mech.l_saved[i][j]; }
point fixed_at(int i) { return mech.J_saved[i]; }
double dist(point a, point b) { return std::hypot(b.x - a.x, b.y - a.y); }
double direction(point a, point b) { return std::atan2(b.y - a.y, b.x - a.x); }
double cross(point o, point a, point b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

// --- eccentricities from the dimensions ---

// Ellipse x^2/p^2 + y^2/q^2 = 1 with semi-axes p >= q: e = sqrt(1 - q^2/p^2).
double ellipse_e(double p, double q) {
  const double big = std::max(p, q), small = std::min(p, q);
  return std::sqrt(1.0 - small * small / (big * big));
}

// Trammel: S1 on guide 1 (direction e1), S2 on guide 2 (direction e2, at the
// angle alpha to e1), S2 - S1 = L e(phi), tracer T = S1 + lambda (S2 - S1).
// Crossing both guides with the bar,
//   S1 = C - L (sin(alpha - phi) / sin alpha) e1,  S2 = C + L (sin phi / sin alpha) e2,
// so T - C = m_c cos phi + m_s sin phi with
//   m_c = -(1 - lambda) L e1,  m_s = (1 - lambda) L cot(alpha) e1 + lambda L / sin(alpha) e2:
// an ellipse whose semi-axes are the singular values of [m_c m_s].
double trammel_e(double alpha, double L, double lambda) {
  const double mcx = -(1.0 - lambda) * L, mcy = 0.0;
  const double msx = (1.0 - lambda) * L / std::tan(alpha) + lambda * L / std::sin(alpha) * std::cos(alpha);
  const double msy = lambda * L / std::sin(alpha) * std::sin(alpha);
  // Eigenvalues of M^T M: the squares of the semi-axes.
  const double a = mcx * mcx + mcy * mcy, b = mcx * msx + mcy * msy, c = msx * msx + msy * msy;
  const double mean = 0.5 * (a + c), half = std::sqrt(0.25 * (a - c) * (a - c) + b * b);
  return std::sqrt(1.0 - (mean - half) / (mean + half));
}

// Angle between the guides through the fixed joints g1-g2 and h1-h2.
double guide_angle(int g1, int g2, int h1, int h2) {
  return std::fabs(std::remainder(direction(fixed_at(h1), fixed_at(h2)) - direction(fixed_at(g1), fixed_at(g2)), pi));
}

// Crossed four-bar on the frame a-d with equal cranks a-b and d-c and the
// coupler b-c as long as the frame: by its symmetry the cranks (or their
// lines) cross on the conic with the foci a and d and e = |a-d| / |a-b|, an
// ellipse when the short link is fixed, a hyperbola when the long one is.
double crossed_four_bar_e(int a, int b, int c, int d) {
  const double frame = dist(fixed_at(a), fixed_at(d));
  EXPECT_DOUBLE_EQ(len(b, c), frame) << "coupler " << b << "-" << c;
  EXPECT_DOUBLE_EQ(len(a, b), len(d, c)) << "cranks " << a << "-" << b << " and " << d << "-" << c;
  return frame / len(a, b);
}

// --- the conic of a path ---

struct conic_of_path {
  conic_fit fit;
  point centre;
};

conic_of_path fitted(const std::vector<point> &p) {
  conic_of_path c;
  EXPECT_EQ(fit_conic(p.data(), static_cast<int>(p.size()), parabola_tol, &c.fit), 1);
  const conic_fit &f = c.fit;
  // Centre: grad Q = 0, i.e. 2A x + B y + D = 0 and B x + 2C y + E = 0.
  const double det = 4.0 * f.A * f.C - f.B * f.B;
  c.centre = {(f.B * f.E - 2.0 * f.C * f.D) / det, (f.B * f.D - 2.0 * f.A * f.E) / det};
  return c;
}

void expect_exact_conic(const std::string &name, const conic_of_path &c, conic_kind kind, double e) {
  EXPECT_LT(c.fit.residual, residual_limit) << name;
  EXPECT_EQ(c.fit.kind, kind) << name << ": " << conic_kind_name(c.fit.kind);
  EXPECT_NEAR(c.fit.eccentricity, e, eccentricity_tol) << name;
}

// Largest gap, radians, between the directions of the points seen from o.
double largest_direction_gap(const std::vector<point> &p, point o) {
  std::vector<double> a;
  for (point q : p) a.push_back(direction(o, q));
  std::sort(a.begin(), a.end());
  double gap = a.front() + 2.0 * pi - a.back();
  for (size_t i = 1; i < a.size(); i++) gap = std::max(gap, a[i] - a[i - 1]);
  return gap;
}

// How far the tangent of the path turns, radians: the spread of the
// directions of its steps taken modulo pi (a convex arc turns monotonically).
double tangent_spread(const std::vector<point> &p) {
  std::vector<double> a;
  for (size_t i = 1; i < p.size(); i++)
    if (dist(p[i - 1], p[i]) > 1e-6) a.push_back(std::fmod(direction(p[i - 1], p[i]) + 2.0 * pi, pi));
  std::sort(a.begin(), a.end());
  double gap = a.front() + pi - a.back();
  for (size_t i = 1; i < a.size(); i++) gap = std::max(gap, a[i] - a[i - 1]);
  return pi - gap;
}

// A branch of a hyperbola turns its tangent from one asymptote to the other:
// pi - 2 atan(b/a), with b/a = sqrt(e^2 - 1).
double branch_turn(double e) { return pi - 2.0 * std::atan(std::sqrt(e * e - 1.0)); }

void expect_full_ellipse(const std::string &name, const std::vector<point> &p, const conic_of_path &c) {
  // Two turns at one degree leave no gap wider than a few degrees.
  EXPECT_LT(largest_direction_gap(p, c.centre), 5.0 * one_degree) << name << " does not go all round";
}

void expect_long_branch_arc(const std::string &name, const std::vector<point> &p, double e) {
  // At least two fifths of the whole branch's turn: the half-branch of
  // hyper2 turns 0.88 of its half, the others cross the vertex.
  EXPECT_GT(tangent_spread(p), 0.4 * branch_turn(e)) << name;
}

// Runs NAME and checks that its traced joint draws an exact conic of the
// kind and eccentricity given, an ellipse all round, a hyperbola along a
// long arc of a branch.  The rows, and the fit in *out when asked.
motion_rows expect_drawn(const std::string &name, int joint, conic_kind kind, double e,
                         conic_of_path *out = nullptr) {
  const motion_rows m = run_rows(name);
  const std::vector<point> p = traced(m, joint);
  const conic_of_path c = fitted(p);
  expect_exact_conic(name, c, kind, e);
  if (kind == conic_ellipse) expect_full_ellipse(name, p, c);
  if (kind == conic_hyperbola) expect_long_branch_arc(name, p, e);
  if (out) *out = c;
  return m;
}

// Drive values at which a motion turned back (the row repeats the value
// of the row before).
std::vector<double> turning_values(const motion_rows &m) {
  std::vector<double> t;
  for (size_t s = 1; s < m.drive.size(); s++)
    if (m.drive[s] == m.drive[s - 1]) t.push_back(m.drive[s]);
  return t;
}

// The turn-back values of a drive whose dead points lie at centre +- reach:
// each is the last whole step before its dead point.
void expect_turning_at(const std::string &name, const motion_rows &m, double centre, double reach) {
  const std::vector<double> t = turning_values(m);
  ASSERT_GE(t.size(), 2u) << name << " never turns back";
  for (double v : t) {
    const double off = std::fabs(std::remainder(v - centre, 2.0 * pi));
    EXPECT_LE(off, reach + 1e-9) << name << " turns back beyond its dead point at " << v;
    EXPECT_GT(off, reach - one_degree) << name << " turns back before its dead point at " << v;
  }
}

}  // namespace

// --- ellipses ---

TEST(EllipseDrawers, TrammelsDrawTheEllipseOfTheirBar) {
  // ellips1: 1 on the guide 4-5, 2 on the guide 6-7, tracer 3 beyond 2 on the bar.
  load_dimensions("ellips1");
  const double L1 = len(1, 2), e1 = trammel_e(guide_angle(4, 5, 6, 7), L1, (L1 + len(2, 3)) / L1);
  EXPECT_NEAR(e1, ellipse_e(len(1, 2) + len(2, 3), len(2, 3)), 1e-12) << "square guides: semi-axes 1-3 and 2-3";
  // ellips3: guides at about 70 degrees, tracer 3 between the blocks 1 and 2.
  load_dimensions("ellips3");
  const double L3 = len(1, 3) + len(3, 2), e3 = trammel_e(guide_angle(4, 5, 6, 7), L3, len(1, 3) / L3);
  expect_drawn("ellips1", 3, conic_ellipse, e1);
  expect_drawn("ellips3", 3, conic_ellipse, e3);
}

TEST(EllipseDrawers, CrossedFourBarDrawsTheEllipseAboutItsFixedPivots) {
  // Fixed 1 and 4 (the short link), cranks 1-2 and 4-3, coupler 2-3; the
  // crossing 5 keeps |5-1| + |5-4| = |1-2|.
  load_dimensions("ellips2");
  const double e = crossed_four_bar_e(1, 2, 3, 4);
  const motion_rows m = expect_drawn("ellips2", 5, conic_ellipse, e);
  const std::vector<point> p = traced(m, 5);
  // Half a degree from the flat positions the two cranks cross at a small
  // angle, which costs the crossing point a few 1e-7 of its place.
  for (size_t s = 0; s < p.size(); s++)
    EXPECT_NEAR(dist(p[s], m.J[s][1]) + dist(p[s], m.J[s][4]), len(1, 2), 1e-6) << "row " << s;
}

TEST(EllipseDrawers, VanSchootenCrankAndRhombusDrawTheFocalEllipse) {
  // Crank 1-4 of length 2a about the focus 1, rhombus 2-3-4-5 on the focus
  // 2 inside the crank circle: e = |1-2| / |1-4|.
  load_dimensions("ellips4");
  for (auto [i, j] : {std::make_pair(2, 3), std::make_pair(3, 4), std::make_pair(4, 5)})
    EXPECT_DOUBLE_EQ(len(i, j), len(2, 5)) << "rhombus side " << i << "-" << j;
  const double e = dist(fixed_at(1), fixed_at(2)) / len(1, 4);
  expect_drawn("ellips4", 6, conic_ellipse, e);
}

TEST(EllipseDrawers, DoubleScotchYokeDrawsTheEllipseOfItsTwoCrankRadii) {
  // Pins 4 (radius a = |1-5| + |5-4|) and 5 (radius b = |1-5|) on one crank.
  load_dimensions("ellips5");
  const double e = ellipse_e(len(1, 5) + len(5, 4), len(1, 5));
  conic_of_path c;
  expect_drawn("ellips5", 12, conic_ellipse, e, &c);
  EXPECT_NEAR(c.centre.x, fixed_at(1).x, 1e-6);
  EXPECT_NEAR(c.centre.y, fixed_at(1).y, 1e-6);
}

// --- hyperbolas ---

TEST(HyperbolaDrawers, VanSchootenCrankAndRhombusDrawTheFocalHyperbola) {
  // Focus 2 outside the crank circle of 1-4: e = |1-2| / |1-4|; the rhombus
  // of side s is stretched where |2-4| = 2s, at the crank angles
  // theta_F2 +- acos((|1-4|^2 + |1-2|^2 - 4 s^2) / (2 |1-4| |1-2|)).
  load_dimensions("hyper1");
  const double crank = len(1, 4), d = dist(fixed_at(1), fixed_at(2)), s = len(2, 3);
  const double reach = std::acos((crank * crank + d * d - 4.0 * s * s) / (2.0 * crank * d));
  const motion_rows m = expect_drawn("hyper1", 6, conic_hyperbola, d / crank);
  expect_turning_at("hyper1", m, direction(fixed_at(1), fixed_at(2)), reach);
}

TEST(HyperbolaDrawers, CrossedFourBarUnderACrankRockerDrawsHalfABranch) {
  // Long link 1-4 fixed, short cranks 1-3 and 4-2, coupler 3-2: the lines of
  // the cranks cross at 5 with ||5-1| - |5-4|| = |1-3|.
  load_dimensions("hyper2");
  const double e = crossed_four_bar_e(1, 3, 2, 4);
  const motion_rows m = expect_drawn("hyper2", 5, conic_hyperbola, e);
  EXPECT_TRUE(turning_values(m).empty()) << "the crank of the rocker turns fully";
}

TEST(HyperbolaDrawers, RightAngleInversionDrawsTheHyperbolaOfItsBarAngle) {
  // The square 7-3-8 about the fixed 3, at distance k from the guide 1-11,
  // puts 5 at -k^2/q when 4 is at q along the guide (from the foot of 3);
  // the bar from 5 at the angle beta to the guide meets the square yoke of
  // 4 at w = tan(beta) (q + k^2/q): t q^2 - q w + t k^2 = 0, t = tan beta,
  // whose eigenvalues (t +- sec beta) / 2 give e^2 = 2 / (1 + sin beta).
  load_dimensions("hyper3");
  EXPECT_NEAR(std::fabs(mech.th_saved[7][3][8]), pi / 2.0, 1e-8) << "a right angle at 3 (degrees read with deg_to_rad)";
  const double guide = direction(fixed_at(1), fixed_at(11));
  const double beta = std::fabs(std::remainder(mech.ath_saved[5][9] - guide, pi));
  const double e = std::sqrt(2.0 / (1.0 + std::sin(beta)));
  const motion_rows m = expect_drawn("hyper3", 6, conic_hyperbola, e);
  EXPECT_TRUE(turning_values(m).empty()) << "the Scotch yoke's crank turns fully";
}

TEST(HyperbolaDrawers, InvertedLimaconDrawsTheHyperbolaWithTheCellCentreAsFocus) {
  // The crank 2-3 of radius a/2 turns on a circle through the swivel 1; the
  // rod through 1 carries 6 at b beyond 3: |1-6| = a cos(phi) + b with
  // phi = theta/2, a limacon; the cell 1-5-7-8 of arms L and sides s puts 7
  // at k^2 / |1-6| (k^2 = L^2 - s^2): the conic of focus 1 with e = a / b.
  // The cell folds where |1-6| = L - s, at theta = +-2 acos((L - s - b) / a).
  load_dimensions("hyper4");
  const double a = 2.0 * len(2, 3), b = len(3, 6), L = len(1, 5), s = len(5, 6);
  EXPECT_DOUBLE_EQ(dist(fixed_at(1), fixed_at(2)), len(2, 3)) << "the crank circle passes the swivel";
  EXPECT_GT(L * L - s * s, (a + b) * (a + b)) << "6 stays inside the circle of inversion";
  const motion_rows m = expect_drawn("hyper4", 7, conic_hyperbola, a / b);
  expect_turning_at("hyper4", m, direction(fixed_at(1), fixed_at(2)), 2.0 * std::acos((L - s - b) / a));
  for (const std::vector<point> &row : m.J)
    EXPECT_NEAR(dist(row[1], row[6]) * dist(row[1], row[7]), L * L - s * s, 1e-9 * (L * L - s * s));
}

TEST(HyperbolaDrawers, InvertedLemniscateDrawsARectangularHyperbola) {
  // Watt's crossed four-bar with the frame 2-3 = 2c, cranks c sqrt(2) and
  // coupler 2c: its midpoint 7 draws the lemniscate r^2 = 2 c^2 cos(2 phi)
  // about the centre 1; the cell puts 8 at k^2 / r: x^2 - y^2 = k^4 / (2 c^2).
  load_dimensions("hyper5");
  const double frame = dist(fixed_at(2), fixed_at(3));
  EXPECT_DOUBLE_EQ(len(4, 5), frame);
  EXPECT_NEAR(len(2, 4), frame / std::sqrt(2.0), 1e-12);
  EXPECT_NEAR(len(3, 5), frame / std::sqrt(2.0), 1e-12);
  EXPECT_DOUBLE_EQ(len(4, 7), len(7, 5));
  EXPECT_NEAR(dist(fixed_at(1), fixed_at(2)), frame / 2.0, 1e-12);
  EXPECT_NEAR(dist(fixed_at(1), fixed_at(3)), frame / 2.0, 1e-12);
  const double L = len(1, 6), s = len(6, 7);
  conic_of_path c;
  const motion_rows m = expect_drawn("hyper5", 8, conic_hyperbola, std::sqrt(2.0), &c);
  EXPECT_NEAR(c.centre.x, fixed_at(1).x, 1e-6);
  EXPECT_NEAR(c.centre.y, fixed_at(1).y, 1e-6);
  // The cell folds where the midpoint comes within L - s of the centre.
  ASSERT_GE(turning_values(m).size(), 2u);
  double nearest = 1e9;
  for (const std::vector<point> &row : m.J) nearest = std::min(nearest, dist(row[1], row[7]));
  EXPECT_GE(nearest, L - s);
  EXPECT_LT(nearest, L - s + 3.0) << "turns back at the fold of the cell";
}

// --- branches and guides ---

TEST(ConicDrawerBranches, CrossedFourBarsChangeBranchWithTheSignOfTheDrive) {
  // The triangle that the first two-branch step solves is counter-clockwise
  // exactly while the drive is positive: the branch rule of the title
  // ("el????2", "hyper5") switches it at the flat positions, where a fixed
  // branch would open the four-bar into a parallelogram.
  struct case_ {
    const char *name;
    int a, b, c;  // the triangle, in the order whose turn is checked
  };
  for (const case_ &k : {case_{"ellips2", 2, 3, 4}, case_{"hyper5", 3, 4, 5}}) {
    const motion_rows m = run_rows(k.name);
    int positive = 0, negative = 0;
    for (size_t s = 0; s < m.J.size(); s++) {
      const double turn = cross(m.J[s][k.a], m.J[s][k.b], m.J[s][k.c]);
      EXPECT_EQ(turn > 0.0, m.drive[s] > 0.0) << k.name << " row " << s;
      (m.drive[s] > 0.0 ? positive : negative)++;
    }
    EXPECT_GT(positive, 10) << k.name;
    EXPECT_GT(negative, 10) << k.name;
  }
  // hyper1's drive stays negative, so its rule holds the planned branch,
  // also after the reversals at the stretched rhombus.
  const motion_rows h = run_rows("hyper1");
  for (size_t s = 0; s < h.J.size(); s++) {
    EXPECT_LT(h.drive[s], 0.0) << "row " << s;
    EXPECT_LT(cross(h.J[s][2], h.J[s][3], h.J[s][4]), 0.0) << "row " << s;
  }
}

TEST(ConicDrawerGuides, EverySliderStaysBetweenTheEndsOfItsGuide) {
  for (const char *name : {"ellips1", "ellips2", "ellips3", "ellips4", "ellips5", "hyper1", "hyper2",
                           "hyper3", "hyper4", "hyper5"}) {
    load_dimensions(name);
    std::vector<slider_entry> sliders(mech.sliders + 1, mech.sliders + 1 + mech.slider_count);
    const motion_rows m = run_rows(name);
    for (const slider_entry &e : sliders)
      for (size_t s = 0; s < m.J.size(); s++) {
        const point q = m.J[s][e.i], g1 = m.J[s][e.j], g2 = m.J[s][e.k];
        const double l = dist(g1, g2), at = ((q.x - g1.x) * (g2.x - g1.x) + (q.y - g1.y) * (g2.y - g1.y)) / l;
        ASSERT_GT(at, 0.0) << name << ": J" << e.i << " beyond J" << e.j << " at row " << s;
        ASSERT_LT(at, l) << name << ": J" << e.i << " beyond J" << e.k << " at row " << s;
      }
  }
}
