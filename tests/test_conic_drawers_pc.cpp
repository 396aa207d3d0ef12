// The parabola drawers parab1..parab5 and the conic-section drawers
// conic1..conic5: over `linkmotion-path NAME 720` the traced joint lies on
// one exact conic of the right kind, whose eccentricity is worked out here
// from the file's own lengths by the rule each drawer shows on screen; a
// parabola is drawn on both sides of its vertex, an ellipse all round, a
// hyperbola along a long arc of one branch; the drawers that turn back do so
// where their dimensions say; and the title rules of parab1 and conic2 are
// what keeps those two drawers on their curves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "analysis/curve_fit.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

namespace {

constexpr int run_steps = 720;             // two turns of a rotary drive
constexpr double one_degree = pi / 180.0;  // the rotary drive step, radians
constexpr double slide_step = 1.0;         // the slide drive step, world units
// Exact points fit their conic to the rounding of the nine printed decimals
// (some 1e-10 of the normalised residual); 1e-6 is what the library promises.
constexpr double residual_limit = 1e-6;
// Fitted eccentricities of exact points agree to about 1e-8 here: the files
// give their angles through deg_to_rad, 1e-10 off, and some arcs are short.
constexpr double eccentricity_tol = 1e-6;
constexpr double parabola_tol = 1e-6;  // how near 1 an eccentricity counts as a parabola
// A parabola counts as drawn on both sides of its vertex when the tracer
// goes this far across the axis each way, world units.
constexpr double beyond_vertex = 20.0;

double len(int i, int j) { return mech.l_saved[i][j]; }
point fixed_at(int i) { return mech.J_saved[i]; }
double dist(point a, point b) { return std::hypot(b.x - a.x, b.y - a.y); }

// --- the fitted conic in its own axes ---

// Q(p) = (p - o)^T M (p - o) + q0 with M = [[A, B/2], [B/2, C]] turned to
// its eigenvectors u (eigenvalue lu) and v (eigenvalue lv).  For a
// parabola lv is the vanishing one: v is the axis, o the vertex and Q is
// lu s^2 plus a multiple of t, with s along u and t along v.
struct conic_axes {
  point o;
  double ux, uy, lu, lv, q0;
  double s(point p) const { return (p.x - o.x) * ux + (p.y - o.y) * uy; }
  double t(point p) const { return -(p.x - o.x) * uy + (p.y - o.y) * ux; }
};

conic_axes axes_of(const conic_fit &f) {
  conic_axes a{};
  const double half = 0.5 * (f.A + f.C), diff = 0.5 * (f.A - f.C), b = 0.5 * f.B;
  const double r = std::hypot(diff, b);
  const double angle = 0.5 * std::atan2(b, diff);  // direction of the eigenvector of half + r
  double l1 = half + r, l2 = half - r;
  double ux = std::cos(angle), uy = std::sin(angle);
  if (std::fabs(l1) < std::fabs(l2)) {  // u carries the larger eigenvalue
    std::swap(l1, l2);
    const double t = ux;
    ux = -uy, uy = t;
  }
  a.ux = ux, a.uy = uy, a.lu = l1, a.lv = l2;
  // Linear terms in the turned frame: D x + E y = du s + dv t.
  const double du = f.D * ux + f.E * uy, dv = -f.D * uy + f.E * ux;
  if (f.kind == conic_parabola) {
    // lu s^2 + du s + dv t + F = 0: vertex at s = -du / (2 lu), where the
    // constant is taken up by t.
    const double s0 = -du / (2.0 * l1);
    const double t0 = -(f.F - du * du / (4.0 * l1)) / dv;
    a.o = {s0 * ux - t0 * uy, s0 * uy + t0 * ux};
  } else {
    const double s0 = -du / (2.0 * l1), t0 = -dv / (2.0 * l2);
    a.o = {s0 * ux - t0 * uy, s0 * uy + t0 * ux};
    a.q0 = f.F - du * du / (4.0 * l1) - dv * dv / (4.0 * l2);
  }
  return a;
}

// Largest gap, radians, between the eccentric angles of the points: an
// ellipse drawn all round leaves no large gap.
double largest_angle_gap(const std::vector<point> &p, const conic_axes &a) {
  const double su = std::sqrt(-a.q0 / a.lu), sv = std::sqrt(-a.q0 / a.lv);
  std::vector<double> at;
  for (point q : p) at.push_back(std::atan2(a.t(q) / sv, a.s(q) / su));
  std::sort(at.begin(), at.end());
  double gap = at.front() + 2.0 * pi - at.back();
  for (size_t i = 1; i < at.size(); i++) gap = std::max(gap, at[i] - at[i - 1]);
  return gap;
}

struct drawn {
  path_rows rows;
  std::vector<point> path;
  conic_fit fit;
  conic_axes axes;
};

// An ellipse drawn all round by a turning crank leaves no gap wider than
// this between the eccentric angles of its rows.
constexpr double round_gap = 10.0 * one_degree;

// Runs NAME: its traced joint draws an exact conic of the kind and
// eccentricity given, and enough of it: a parabola on both sides of its
// vertex, an ellipse all round (no gap wider than max_gap), a hyperbola on
// one branch out past the points where it is as wide as its
// semi-conjugate axis on both sides.
drawn expect_drawn(const std::string &name, conic_kind kind, double e, double max_gap = round_gap) {
  drawn d;
  d.rows = run_path_rows(name, run_steps);
  load_library_dimensions(name);
  d.path = traced_path(d.rows, mech.kten);
  EXPECT_EQ(fit_conic(d.path.data(), static_cast<int>(d.path.size()), parabola_tol, &d.fit), 1);
  EXPECT_LT(d.fit.residual, residual_limit) << name;
  EXPECT_EQ(d.fit.kind, kind) << name << ": " << conic_kind_name(d.fit.kind);
  EXPECT_NEAR(d.fit.eccentricity, e, eccentricity_tol) << name;
  if (d.fit.kind != kind) return d;
  d.axes = axes_of(d.fit);
  const conic_axes &a = d.axes;
  if (kind == conic_parabola) {
    double low = 0.0, high = 0.0;
    for (point q : d.path) low = std::min(low, a.s(q)), high = std::max(high, a.s(q));
    EXPECT_LT(low, -beyond_vertex) << name << " stays on one side of its vertex";
    EXPECT_GT(high, beyond_vertex) << name << " stays on one side of its vertex";
  } else if (kind == conic_ellipse) {
    EXPECT_LT(largest_angle_gap(d.path, a), max_gap) << name << " is not drawn all round";
  } else {
    // The transverse axis is the eigen-direction along which Q reaches 0.
    const bool along_u = a.q0 * a.lu < 0.0;
    const double b = std::sqrt(std::fabs(a.q0 / (along_u ? a.lv : a.lu)));
    int side = 0;
    double low = 0.0, high = 0.0;
    for (point q : d.path) {
      const double x = along_u ? a.s(q) : a.t(q), y = along_u ? a.t(q) : a.s(q);
      if (side == 0) side = x > 0 ? 1 : -1;
      EXPECT_GT(x * side, 0.0) << name << " leaves its branch";
      low = std::min(low, y), high = std::max(high, y);
    }
    EXPECT_LT(low, -b) << name;
    EXPECT_GT(high, b) << name;
  }
  return d;
}

// --- turn-back values ---

// Drive values at which the motion turned back: the row that repeats the
// value of the row before it.
std::vector<double> turning_values(const path_rows &m) {
  std::vector<double> at;
  for (size_t s = 1; s < m.drive.size(); s++)
    if (m.drive[s] == m.drive[s - 1]) at.push_back(m.drive[s]);
  return at;
}

// The motion turns back, and only within one drive step inside its dead
// points low and high (both reached).
void expect_turning_between(const std::string &name, const path_rows &m, double low, double high,
                            double step) {
  const std::vector<double> at = turning_values(m);
  ASSERT_GE(at.size(), 2u) << name << " never turns back";
  int at_low = 0, at_high = 0;
  for (double v : at) {
    if (v >= low && v < low + step) at_low++;
    else if (v <= high && v > high - step) at_high++;
    else ADD_FAILURE() << name << " turns back at " << v << ", dead points " << low << " and " << high;
  }
  EXPECT_GT(at_low, 0) << name;
  EXPECT_GT(at_high, 0) << name;
}

// Every row advances a rotary drive by one degree: it turns fully.
void expect_full_turns(const std::string &name, const path_rows &m) {
  for (size_t s = 1; s < m.drive.size(); s++)
    ASSERT_NEAR(std::remainder(m.drive[s] - m.drive[s - 1], 2.0 * pi), one_degree, 1e-8)
        << name << " turns back at row " << s;
}

// --- copies of a file under another title ---

// Writes the file NAME with its title word replaced into a fresh directory,
// under the same name (so that the branch-keeping rule of the file name is
// the same), and returns its path.
std::string retitled_copy(const std::string &name, const std::string &title) {
  const std::string dir = make_temp_dir("linkmotion-retitled");
  std::string text = read_file(source_path("mechanisms/" + name));
  text.replace(0, text.find('\n'), title);
  const std::string path = std::string(dir) + "/" + name;
  FILE *f = fopen(path.c_str(), "w");
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
  return path;
}

void remove_copy(const std::string &path) {
  unlink(path.c_str());
  rmdir(path.substr(0, path.rfind('/')).c_str());
}

}  // namespace

// --- parabolas ---

// Rhombus 1-4-3-2 on the focus 1 and the slider 3 of the directrix 5-6;
// its diagonal bar 8-4-9 is the perpendicular bisector of 1-3, the T-square
// 3-7 stands square to the directrix.  The slide 5 -> 3 turns back where the
// rhombus lies flat, |1-3| = 2 L14.
TEST(ParabolaDrawers, RhombusOnFocusAndDirectrixSlideTurnsBackWhereTheRhombusLiesFlat) {
  const drawn d = expect_drawn("parab1", conic_parabola, 1.0);
  const point f = fixed_at(1), guide = fixed_at(5);
  const double reach = std::sqrt(4.0 * len(1, 4) * len(1, 4) - std::pow(f.y - guide.y, 2));
  expect_turning_between("parab1", d.rows, f.x - guide.x - reach, f.x - guide.x + reach, slide_step);
}

TEST(ParabolaDrawers, CrankDrivenDrawersTurnFully) {
  for (const char *name : {"parab2", "parab4"}) {
    const drawn d = expect_drawn(name, conic_parabola, 1.0);
    expect_full_turns(name, d.rows);
  }
}

// parab3: the slide 5 -> 4 along the vertex tangent moves the bracket's
// corner 4 and the piston rod 4-6 of the crank 9-6; in line, the crank
// stops the slide at |9-4| = L46 -+ L69.
TEST(ParabolaDrawers, MeanProportionalBracketTurnsBackAtTheDeadCentresOfItsCrank) {
  const drawn d = expect_drawn("parab3", conic_parabola, 1.0);
  const double at = fixed_at(9).x - fixed_at(5).x;
  expect_turning_between("parab3", d.rows, at + len(4, 6) - len(6, 9), at + len(4, 6) + len(6, 9), slide_step);
}

// parab5: the slide 2 -> 3 up the directrix; the crank 9-10 beside it at
// the offset h stops it where |9-3| = L9,10 + L10,3.
TEST(ParabolaDrawers, SimilarTrianglesSlideTurnsBackWhereItsCrankStretches) {
  // The ratio of the similar triangles, bar 1-5 over the link 5-4 parallel
  // to the axis, is the eccentricity: 1.
  load_library_dimensions("parab5");
  const drawn d = expect_drawn("parab5", conic_parabola, len(1, 5) / len(4, 5));
  const point z = fixed_at(9), foot = fixed_at(2);
  const double h = std::fabs(z.x - foot.x), reach = len(9, 10) + len(10, 3);
  const double along = std::sqrt(reach * reach - h * h);
  expect_turning_between("parab5", d.rows, z.y - foot.y - along, z.y - foot.y + along, slide_step);
}

// --- conic-section drawers: the rules on screen ---

conic_kind kind_of(double e) {
  if (std::fabs(e - 1.0) <= parabola_tol) return conic_parabola;
  return e < 1.0 ? conic_ellipse : conic_hyperbola;
}

// Distance of joint i from the straight line through the fixed joints j, k.
double distance_from_line(point p, point a, point b) {
  return std::fabs((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x)) / dist(a, b);
}

// conic1 "e=L12/L23": the bar 1-2 turns about the focus 1, the link 2-3 is
// kept parallel to the axis; the T-square through 5 on the directrix and
// the bar 1-5 through 3 make the triangle 1-6-5 similar to 1-2-3.
TEST(ConicDrawers, SimilarTrianglesDrawTheConicOfTheirRatio) {
  load_library_dimensions("conic1");
  const double e = len(1, 2) / len(2, 3);
  const drawn d = expect_drawn("conic1", kind_of(e), e);
  EXPECT_EQ(d.fit.kind, conic_ellipse);
  expect_full_turns("conic1", d.rows);
}

// conic2 "e=2*L18/L89": the same similar triangles with the link 8-9 and
// the T-square 5-7 at 60 degrees to the axis, so that the slant distance to
// the directrix is twice the square one.
TEST(ConicDrawers, SlantSimilarTrianglesDrawTheConicOfTwiceTheirRatio) {
  load_library_dimensions("conic2");
  const double e = 2.0 * len(1, 8) / len(8, 9);
  const drawn d = expect_drawn("conic2", kind_of(e), e);
  EXPECT_EQ(d.fit.kind, conic_parabola);
  expect_full_turns("conic2", d.rows);
}

// conic3 "e=2*L12/L45": van Schooten's construction on a frame symmetric
// about its centre 1 (foci 2 and 4 at L12 = L14), crank 4-5 = 2a, kite
// 2-3-5 whose T-square 7 is the perpendicular bisector of 2-5.  The slide
// 2 -> 5 turns back where the crank lines up with the foci.
TEST(ConicDrawers, VanSchootenKiteSlideDrawsTheEllipseOfItsFrameAndCrank) {
  load_library_dimensions("conic3");
  ASSERT_DOUBLE_EQ(len(1, 4), len(1, 2)) << "the rule assumes the frame symmetric about 1";
  const double e = 2.0 * len(1, 2) / len(4, 5);
  // The slide turns back half a step short of its dead points, where the
  // tracer crosses the major axis and moves as the square root of the
  // slide: each turn-back leaves some 10 degrees of eccentric angle either
  // side of its vertex, seen again on the way back.
  const drawn d = expect_drawn("conic3", kind_of(e), e, 25.0 * one_degree);
  EXPECT_EQ(d.fit.kind, conic_ellipse);
  const double foci = dist(d.rows.J[0][2], d.rows.J[0][4]);
  expect_turning_between("conic3", d.rows, len(4, 5) - foci, len(4, 5) + foci, slide_step);
}

// conic4 "e=2*L23/L45": the same with the foci outside the crank circle: a
// hyperbola.  The crank turns back where the kite 3-1-5 lies flat,
// |3-5| = 2 L31, on either side of the frame's direction.
TEST(ConicDrawers, VanSchootenKiteCrankDrawsTheHyperbolaBetweenTheKitesDeadPoints) {
  load_library_dimensions("conic4");
  ASSERT_DOUBLE_EQ(len(2, 4), len(2, 3)) << "the rule assumes the frame symmetric about 2";
  const double e = 2.0 * len(2, 3) / len(4, 5);
  const drawn d = expect_drawn("conic4", kind_of(e), e);
  EXPECT_EQ(d.fit.kind, conic_hyperbola);
  const double crank = len(4, 5), foci = len(2, 3) + len(2, 4), kite = 2.0 * len(3, 1);
  const double swing = std::acos((crank * crank + foci * foci - kite * kite) / (2.0 * crank * foci));
  expect_turning_between("conic4", d.rows, -swing, swing, one_degree);
}

// conic5 "e=sqrt(J1,L89)/L26": van Schooten's construction with the crank
// 2-6 = 2a pivoted on the rail 8-9 at the foot of the perpendicular from
// the focus 1; sqrt(J1,L89) is the distance of J1 from the line of 8-9.
TEST(ConicDrawers, VanSchootenRailDrawsTheEllipseOfFocusDistanceOverCrank) {
  load_library_dimensions("conic5");
  const double e = distance_from_line(fixed_at(1), fixed_at(8), fixed_at(9)) / len(2, 6);
  const drawn d = expect_drawn("conic5", kind_of(e), e);
  EXPECT_EQ(d.fit.kind, conic_ellipse);
  expect_full_turns("conic5", d.rows);
}

// --- the title rules ---

// parab1's rule sets its first branch, the rhombus triangle 1-2-3, to -1
// whenever the slide exceeds 200: at a dead point the solver has flipped it
// (the file name keeps flipping branches) and the rule flips it back, so
// the rhombus opens again on its own side.  Under another title the rhombus
// closes up at the first dead point and the tracer leaves the parabola (the
// postures that would break the file's lengths are refused, so it no longer
// flies far off; the shipped file's path is a conic to rounding).
TEST(ConicDrawerRules, Parab1sRuleReopensItsRhombusAfterEachDeadPoint) {
  const path_rows shipped = run_path_rows("parab1", run_steps);
  for (const std::vector<point> &row : shipped.J) ASSERT_GT(dist(row[2], row[4]), 1.0);
  for (double v : shipped.drive) ASSERT_GT(v, 200.0) << "the rule holds -1 only beyond 200";

  const std::string copy = retitled_copy("parab1", "plain_no-rule");
  const path_rows loose = run_path_rows(copy, run_steps);
  remove_copy(copy);
  const std::vector<point> p = traced_path(loose, 10);
  conic_fit f;
  ASSERT_EQ(fit_conic(p.data(), static_cast<int>(p.size()), parabola_tol, &f), 1);
  EXPECT_GT(f.residual, 1e-5) << "the tracer stays on a conic without the rule";
}

// conic2's rule gives its first branch, the slider 5 on the circle of the
// crank pin 4, the far root (+1) while the crank points up from its pivot
// 3 (|drive| < 90 degrees) and the near one otherwise: the rod 4-5 is as
// long as the crank, so the second root is the pivot 3 itself, and the
// slider passes it where the crank stands across.  Under another title the
// slider stops on the pivot for half of every turn and half of the arc is
// never drawn.
TEST(ConicDrawerRules, Conic2sRuleCarriesItsSliderPastTheCrankPivot) {
  const path_rows shipped = run_path_rows("conic2", run_steps);
  load_library_dimensions("conic2");
  const point pivot = fixed_at(3);
  const double crank = len(3, 4);
  double low = 1e300, high = -1e300;
  for (const std::vector<point> &row : shipped.J) low = std::min(low, row[5].y), high = std::max(high, row[5].y);
  EXPECT_NEAR(low, pivot.y - 2.0 * crank, 0.01);
  EXPECT_NEAR(high, pivot.y + 2.0 * crank, 0.01);

  const std::string copy = retitled_copy("conic2", "plain_no-rule");
  const path_rows loose = run_path_rows(copy, run_steps);
  remove_copy(copy);
  int resting = 0;
  for (const std::vector<point> &row : loose.J) resting += dist(row[5], pivot) < 1e-6;
  EXPECT_GT(resting, run_steps / 3) << "without the rule the slider rests on the crank pivot";
}
