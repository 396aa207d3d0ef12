// The mechanisms of the library behave as their classes promise.  Each
// check runs `linkmotion-path NAME 720` and judges the rows against limits
// worked out here from the file's own dimensions (lengths and fixed joints as
// the loaded tables hold them): crank-rockers and double cranks turn without
// reversal, the double rocker turns back at its dead points, sliders stroke
// between the limits of their dimensions, the quick-return's strokes take the
// crank angles its dimensions give.  The configuration at tt0 is checked
// against the assembly each file is designed to come up in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/curve_fit.h"
#include "app/setup_controller.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

namespace {

constexpr int run_steps = 720;               // two turns of a rotary drive
constexpr double one_degree = pi / 180.0;    // the rotary drive step, radians
constexpr double slide_step = 1.0;           // the slide drive step, world units
// Limits reached by a rotary drive: near a dead centre a position changes
// with the square of the crank angle, and the nearest row is at most half a
// degree away, so a limit is met to about (0.5 deg)^2 times a link length.
constexpr double reached = 1e-2;             // world units, or radians for angles
constexpr double exact = 1e-9;               // radians, or relative: the solver's rounding
constexpr double exact_length = 1e-7;        // world units: 1e-9 of a mechanism 100 units across
constexpr double printed = 1e-8;             // the rows carry nine decimals
constexpr double turned_twice = 700.0 * one_degree;  // 719 steps of a degree, less slack

// --- rows of the batch tool ---

using motion_rows = path_rows;

motion_rows run_rows(const std::string &name) { return run_path_rows(name, run_steps); }

// --- the file's dimensions and its configuration at tt0 ---

std::string file_of(const std::string &name) { return source_path("mechanisms/" + name); }

// Loads the file without planning: the saved tables hold what the file gave.
void load_dimensions(const std::string &name) {
  console_capture quiet;
  ASSERT_EQ(load_file_for_test(file_of(name)), 1) << name;
}

double len(int i, int j) { return mech.l_saved[i][j]; }
point fixed_at(int i) { return mech.J_saved[i]; }

// Joint positions at tt0 as the window first shows them.
std::vector<point> assembled(const std::string &name) {
  console_capture quiet;
  EXPECT_EQ(batch_load(file_of(name).c_str(), 0), 1) << name;
  console_set_batch(0);
  return std::vector<point>(mech.J, mech.J + mech.n + 1);
}

// --- geometry ---

double dist(point a, point b) { return std::hypot(b.x - a.x, b.y - a.y); }
double direction(point a, point b) { return std::atan2(b.y - a.y, b.x - a.x); }
double turn_between(double from, double to) { return std::remainder(to - from, 2.0 * pi); }
double cross(point o, point a, point b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

// 1 when the segments p1-p2 and q1-q2 cross.
int segments_cross(point p1, point p2, point q1, point q2) {
  return cross(p1, p2, q1) * cross(p1, p2, q2) < 0 && cross(q1, q2, p1) * cross(q1, q2, p2) < 0;
}

// Angle in a triangle with sides b, c next to it and a opposite, radians.
double law_of_cosines(double a, double b, double c) { return std::acos((b * b + c * c - a * a) / (2.0 * b * c)); }

// A straight guide through g1 and g2: positions along it and off it.
struct guide {
  point origin;
  double ux, uy;  // unit direction g1 -> g2
  double along(point p) const { return (p.x - origin.x) * ux + (p.y - origin.y) * uy; }
  double off(point p) const { return (p.y - origin.y) * ux - (p.x - origin.x) * uy; }
};

guide guide_through(point g1, point g2) {
  const double l = dist(g1, g2);
  return {g1, (g2.x - g1.x) / l, (g2.y - g1.y) / l};
}

// Position along g where the line h crosses it:
//   g.origin + s u = h.origin + t w  gives  s = ((h.origin - g.origin) x w) / (u x w).
double crossing(const guide &g, const guide &h) {
  const double dx = h.origin.x - g.origin.x, dy = h.origin.y - g.origin.y;
  return (dx * h.uy - dy * h.ux) / (g.ux * h.uy - g.uy * h.ux);
}

// --- the motion ---

struct span {
  double low = 1e300, high = -1e300;
  void add(double v) { low = std::min(low, v), high = std::max(high, v); }
};

// Total angle turned by the line i -> j over the rows, radians, signed.
double winding(const motion_rows &m, int i, int j) {
  double total = 0.0;
  for (size_t s = 1; s < m.J.size(); s++)
    total += turn_between(direction(m.J[s - 1][i], m.J[s - 1][j]), direction(m.J[s][i], m.J[s][j]));
  return total;
}

// Drive change between two rows: wrapped for a rotary drive.
double drive_change(const motion_rows &m, size_t s, int rotary) {
  const double d = m.drive[s] - m.drive[s - 1];
  return rotary ? std::remainder(d, 2.0 * pi) : d;
}

// Drive values at which the motion turned back (the value of the last row
// before the drive's direction changes).
std::vector<double> turning_values(const motion_rows &m, int rotary) {
  std::vector<double> at;
  double last = 0.0;
  for (size_t s = 1; s < m.drive.size(); s++) {
    const double d = drive_change(m, s, rotary);
    if (d == 0.0) continue;
    if (last != 0.0 && (d > 0) != (last > 0)) at.push_back(m.drive[s - 1]);
    last = d;
  }
  return at;
}

// Every row advances a rotary drive by exactly one degree.
void expect_steady_turn(const motion_rows &m, const std::string &name) {
  for (size_t s = 1; s < m.drive.size(); s++)
    ASSERT_NEAR(drive_change(m, s, 1), one_degree, printed) << name << " turns back at row " << s;
}

// A slide drive turns back at its two limits, the last rows within one
// slide step inside them.
void expect_slide_limits(const motion_rows &m, double low, double high, const std::string &name) {
  span d;
  for (double v : m.drive) d.add(v);
  EXPECT_GE(d.low, low - exact * high) << name;
  EXPECT_LT(d.low, low + slide_step) << name;
  EXPECT_LE(d.high, high + exact * high) << name;
  EXPECT_GT(d.high, high - slide_step) << name;
  const std::vector<double> back = turning_values(m, 0);
  ASSERT_GE(back.size(), 2u) << name;
  for (double v : back) EXPECT_TRUE(v == d.low || v == d.high) << name << " turns back at " << v;
}

}  // namespace

// --- four-bar linkages: 3 crank pivot, 4 crank pin, 1 coupler-rocker pin, 2 rocker pivot ---

TEST(FourBarLibrary, CrankRockerTurnsFullyAndItsRockerSwingsBetweenTheToggleAngles) {
  load_dimensions("a00");
  const point o1 = fixed_at(3), o2 = fixed_at(2);
  const double a = len(3, 4), b = len(4, 1), c = len(1, 2), d = dist(o1, o2);
  // Grashof, crank shortest.
  EXPECT_LT(a, std::min({b, c, d}));
  EXPECT_LE(a + std::max({b, c, d}), b + c + d - std::max({b, c, d}));
  // The rocker's extremes: crank and coupler in line, the pin at b - a and b + a from o1.
  const double near = law_of_cosines(b - a, d, c), far = law_of_cosines(b + a, d, c);

  const motion_rows m = run_rows("a00");
  expect_steady_turn(m, "a00");
  EXPECT_GT(winding(m, 3, 4), turned_twice);
  span swing;  // angle at o2 between the ground and the rocker
  for (const auto &J : m.J) swing.add(std::fabs(turn_between(direction(o2, o1), direction(o2, J[1]))));
  EXPECT_NEAR(swing.low, near, reached);
  EXPECT_NEAR(swing.high, far, reached);
  EXPECT_GE(swing.low, near - exact);
  EXPECT_LE(swing.high, far + exact);
}

TEST(FourBarLibrary, DoubleRockerTurnsBackAtTheDeadPointsOfItsInput) {
  load_dimensions("a01");
  const point o1 = fixed_at(3), o2 = fixed_at(2);
  const double a = len(3, 4), b = len(4, 1), c = len(1, 2), d = dist(o1, o2);
  // Grashof with the coupler shortest: neither side link turns fully.
  EXPECT_LT(b, std::min({a, c, d}));
  // Dead points of the input: coupler and output in line, o2 at c - b and c + b from the pin.
  const double ground = direction(o1, o2);
  const double first = ground + law_of_cosines(c - b, a, d), last = ground + law_of_cosines(c + b, a, d);

  const motion_rows m = run_rows("a01");
  span input;
  for (double v : m.drive) input.add(v);
  EXPECT_GE(input.low, first - exact);
  EXPECT_LT(input.low, first + one_degree);
  EXPECT_LE(input.high, last + exact);
  EXPECT_GT(input.high, last - one_degree);
  const std::vector<double> back = turning_values(m, 1);
  EXPECT_GE(back.size(), 10u);  // 720 rows over a swing of about 60 degrees
  for (double v : back) EXPECT_TRUE(v == input.low || v == input.high) << "turns back at " << v;
}

TEST(FourBarLibrary, DoubleCrankTurnsBothCranksFullyWithoutReversal) {
  load_dimensions("a02");
  const double a = len(3, 4), b = len(4, 1), c = len(1, 2), d = dist(fixed_at(3), fixed_at(2));
  EXPECT_LT(d, std::min({a, b, c}));  // the ground is the shortest link
  EXPECT_LE(d + std::max({a, b, c}), a + b + c - std::max({a, b, c}));

  const motion_rows m = run_rows("a02");
  expect_steady_turn(m, "a02");
  EXPECT_GT(winding(m, 3, 4), turned_twice);
  EXPECT_GT(winding(m, 2, 1), turned_twice);
  for (size_t s = 1; s < m.J.size(); s++)
    ASSERT_GT(turn_between(direction(m.J[s - 1][2], m.J[s - 1][1]), direction(m.J[s][2], m.J[s][1])), 0.0)
        << "the output turns back at row " << s;
}

TEST(FourBarLibrary, FourBarsComeUpOpenNotCrossed) {
  for (const char *name : {"a00", "a01", "a02"}) {
    const std::vector<point> J = assembled(name);
    ASSERT_EQ(J.size(), 6u) << name;
    // Loop 3-4-1-2: neither pair of opposite sides crosses.
    EXPECT_FALSE(segments_cross(J[3], J[4], J[1], J[2])) << name;
    EXPECT_FALSE(segments_cross(J[4], J[1], J[2], J[3])) << name;
  }
}

// --- sliders ---

// The data file says "slider i runs on the link j-k, between j and k": it
// must hold over the whole motion, not only the line (a block beyond the end
// of its guide is off the mechanism).
TEST(SliderLibrary, EverySliderStaysBetweenTheEndsOfItsGuide) {
  for (const char *name : {"a11", "a12", "a13", "a14", "as11", "as12", "as13", "as14", "ss01", "ss02",
                           "ss03", "ss04", "ss13", "ss14", "ss23", "haya"}) {
    load_dimensions(name);
    std::vector<slider_entry> sliders(mech.sliders + 1, mech.sliders + 1 + mech.slider_count);
    ASSERT_FALSE(sliders.empty()) << name;
    const motion_rows m = run_rows(name);
    for (const slider_entry &e : sliders)
      for (size_t s = 0; s < m.J.size(); s++) {
        const guide g = guide_through(m.J[s][e.j], m.J[s][e.k]);
        const double at = g.along(m.J[s][e.i]);
        ASSERT_GT(at, 0.0) << name << ": J" << e.i << " beyond J" << e.j << " at row " << s;
        ASSERT_LT(at, dist(m.J[s][e.j], m.J[s][e.k])) << name << ": J" << e.i << " beyond J" << e.k;
      }
  }
}

// --- slider-crank inversions ---

// In-line and offset slider-cranks: 1 crank pivot, 2 crank pin, 3 slider on
// the guide 4-5; the slide drive of as11 and as12 is the distance 4 -> 3.
struct slider_crank_limits {
  guide g;
  double foot;          // position of the crank pivot's foot on the guide
  double inner, outer;  // slider positions at the two dead centres
};

slider_crank_limits slider_crank(const std::string &name) {
  load_dimensions(name);
  slider_crank_limits k;
  k.g = guide_through(fixed_at(4), fixed_at(5));
  const point o = fixed_at(1);
  const double r = len(1, 2), l = len(2, 3), e = k.g.off(o);
  k.foot = k.g.along(o);
  k.outer = k.foot + std::sqrt((l + r) * (l + r) - e * e);
  k.inner = k.foot + std::sqrt((l - r) * (l - r) - e * e);
  return k;
}

TEST(SliderCrankLibrary, CrankDrivenSlidersStrokeBetweenTheirDeadCentres) {
  for (const char *name : {"a11", "a12"}) {
    const slider_crank_limits k = slider_crank(name);
    const motion_rows m = run_rows(name);
    expect_steady_turn(m, name);
    span s;
    for (const auto &J : m.J) s.add(k.g.along(J[3]));
    EXPECT_NEAR(s.low, k.inner, reached) << name;
    EXPECT_NEAR(s.high, k.outer, reached) << name;
  }
}

TEST(SliderCrankLibrary, OffsetSliderCrankReturnsQuickerThanItGoesOut) {
  const slider_crank_limits k = slider_crank("a12");
  const point o = fixed_at(1);
  const point out = {k.g.origin.x + k.outer * k.g.ux, k.g.origin.y + k.outer * k.g.uy};
  const point in = {k.g.origin.x + k.inner * k.g.ux, k.g.origin.y + k.inner * k.g.uy};
  // At the outer dead centre the crank points at the slider, at the inner one away from it.
  const double at_out = direction(o, out), at_in = direction(in, o);
  const double going_out = std::fmod(at_out - at_in + 4.0 * pi, 2.0 * pi);  // counter-clockwise crank
  EXPECT_GT(going_out, pi);  // the outward stroke is the slow one

  const motion_rows m = run_rows("a12");
  std::vector<size_t> extreme;  // rows where the slider turns back
  for (size_t s = 1; s + 1 < m.J.size(); s++) {
    const double before = k.g.along(m.J[s][3]) - k.g.along(m.J[s - 1][3]);
    const double after = k.g.along(m.J[s + 1][3]) - k.g.along(m.J[s][3]);
    if ((before > 0) != (after > 0)) extreme.push_back(s);
  }
  ASSERT_GE(extreme.size(), 3u);
  for (size_t e = 0; e + 1 < extreme.size(); e++) {
    const bool outward = k.g.along(m.J[extreme[e]][3]) < k.g.along(m.J[extreme[e + 1]][3]);
    const double expected = (outward ? going_out : 2.0 * pi - going_out) / one_degree;
    EXPECT_NEAR(static_cast<double>(extreme[e + 1] - extreme[e]), expected, 1.0);
  }
}

TEST(SliderCrankLibrary, SlideDrivenSlidersTurnBackAtTheDeadCentresAndTheCrankGoesRound) {
  for (const char *name : {"as11", "as12"}) {
    const slider_crank_limits k = slider_crank(name);
    const motion_rows m = run_rows(name);
    expect_slide_limits(m, k.inner, k.outer, name);
    EXPECT_GT(std::fabs(winding(m, 1, 2)), turned_twice) << name;
  }
}

TEST(SliderCrankLibrary, SliderComesUpOnTheFarSideOfTheCrank) {
  for (const char *name : {"a11", "a12", "as11", "as12"}) {
    const slider_crank_limits k = slider_crank(name);
    const std::vector<point> J = assembled(name);
    EXPECT_GT(k.g.along(J[3]), k.g.along(J[2])) << name;
  }
}

// Oscillating cylinder: 1 crank pivot, 2 crank pin carrying the piston rod
// 2-4, which slides through the cylinder pivoted at 3.
TEST(SliderCrankLibrary, OscillatingCylinderSwingsAndSlidesBetweenItsLimits) {
  load_dimensions("a13");
  const point o1 = fixed_at(1), o2 = fixed_at(3);
  const double r = len(1, 2), d = dist(o1, o2);
  const double swing = std::asin(r / d);  // rod tangent to the crank circle
  for (const char *name : {"a13", "as13"}) {
    const motion_rows m = run_rows(name);
    span slide, angle;
    for (const auto &J : m.J) {
      slide.add(dist(J[2], o2));
      angle.add(turn_between(direction(o1, o2), direction(J[2], o2)));
    }
    EXPECT_NEAR(angle.low, -swing, reached) << name;
    EXPECT_NEAR(angle.high, swing, reached) << name;
    if (std::string(name) == "a13") {
      expect_steady_turn(m, name);
      EXPECT_NEAR(slide.low, d - r, reached);
      EXPECT_NEAR(slide.high, d + r, reached);
    } else {
      expect_slide_limits(m, d - r, d + r, name);
      EXPECT_GT(std::fabs(winding(m, 1, 2)), turned_twice);
    }
  }
}

// Fixed-slider inversion: the block 1 is fixed and pivots the link 1-2; the
// crank 3-2 turns on the end 3 of the rod 3-4 that slides through the block.
TEST(SliderCrankLibrary, PumpRodStrokesTwiceTheCrank) {
  load_dimensions("a14");
  const point block = fixed_at(1);
  const double a = len(2, 3), c = len(1, 2), rod = len(3, 4);
  for (const char *name : {"a14", "as14"}) {
    const motion_rows m = run_rows(name);
    span end, piston;
    for (const auto &J : m.J) end.add(dist(block, J[3])), piston.add(J[4].y);
    if (std::string(name) == "a14") {
      expect_steady_turn(m, name);
      EXPECT_NEAR(piston.high - piston.low, 2.0 * a, reached);
      EXPECT_NEAR(end.low, c - a, reached);
      EXPECT_NEAR(end.high, c + a, reached);
    } else {
      expect_slide_limits(m, c - a, c + a, name);
      EXPECT_GT(std::fabs(winding(m, 3, 2)), turned_twice);
    }
    for (const auto &J : m.J) ASSERT_LT(dist(block, J[3]), rod) << name << ": the rod leaves the block";
  }
}

// --- double-slider mechanisms ---

// Elliptic trammel: blocks 2 and 3 on the guides 1-5 and 4-6, the pencil 7
// on the bar's extension beyond 3.
TEST(DoubleSliderLibrary, EllipticTrammelDrawsTheEllipseOfItsBar) {
  load_dimensions("ss01");
  const guide g = guide_through(fixed_at(1), fixed_at(5)), h = guide_through(fixed_at(4), fixed_at(6));
  ASSERT_NEAR(g.ux * h.ux + g.uy * h.uy, 0.0, exact);  // square guides
  const double bar = len(2, 3), beyond = len(3, 7);
  const double s = crossing(g, h);
  const point centre = {g.origin.x + s * g.ux, g.origin.y + s * g.uy};
  const motion_rows m = run_rows("ss01");
  expect_steady_turn(m, "ss01");
  span a, b;
  for (const auto &J : m.J) {
    const double x = g.along(J[7]) - g.along(centre), y = h.along(J[7]) - h.along(centre);
    ASSERT_NEAR(std::pow(x / beyond, 2) + std::pow(y / (bar + beyond), 2), 1.0, exact_length / beyond);
    a.add(g.along(J[2]) - g.along(centre));
    b.add(h.along(J[3]) - h.along(centre));
  }
  EXPECT_NEAR(a.low, -bar, reached);
  EXPECT_NEAR(a.high, bar, reached);
  EXPECT_NEAR(b.low, -bar, reached);
  EXPECT_NEAR(b.high, bar, reached);
}

// Oblique trammel: block 2 driven along 1-5, block 3 on 4-6, midpoint 7.
TEST(DoubleSliderLibrary, ObliqueTrammelTurnsBackWhereTheBarSpansTheGuides) {
  load_dimensions("ss02");
  const guide g = guide_through(fixed_at(1), fixed_at(5)), h = guide_through(fixed_at(4), fixed_at(6));
  const double sine = std::fabs(g.ux * h.uy - g.uy * h.ux);
  const double bar = len(2, 7) + len(7, 3);
  const double middle = crossing(g, h);  // the drive is the distance from 1 along 1-5
  const motion_rows m = run_rows("ss02");
  expect_slide_limits(m, middle - bar / sine, middle + bar / sine, "ss02");
  std::vector<point> path;
  for (const auto &J : m.J) path.push_back(J[7]);
  conic_fit fit;
  ASSERT_EQ(fit_conic(path.data(), static_cast<int>(path.size()), 1e-6, &fit), 1);
  EXPECT_EQ(fit.kind, conic_ellipse);
  EXPECT_LT(fit.max_dev, 1e-6);
}

// Scotch yokes: crank 1-2, the pin 2 in the slot 3-4, the slot's foot 3
// on the guide 6-7, the output rod 4-5 at right angles to the guide.
TEST(DoubleSliderLibrary, ScotchYokesMoveHarmonicallyWithTheAmplitudeOfTheirSlot) {
  for (const char *name : {"ss03", "ss14"}) {
    load_dimensions(name);
    const point o = fixed_at(1);
    const double r = len(1, 2), slot = mech.ath_saved[3][4], foot = fixed_at(6).y;
    // The slot through the pin meets the guide (o.y - foot) / tan(slot) to the
    // pin's left; its top and the rod add fixed offsets:
    //   x5 = o.x - (o.y - foot) / tan(slot) + l34 cos(slot) + l45 + (r / sin(slot)) sin(slot - drive).
    const double middle = o.x - (o.y - foot) / std::tan(slot) + len(3, 4) * std::cos(slot) + len(4, 5);
    const double amplitude = r / std::sin(slot);
    const motion_rows m = run_rows(name);
    expect_steady_turn(m, name);
    span x;
    for (size_t s = 0; s < m.J.size(); s++) {
      ASSERT_NEAR(m.J[s][5].x - middle, amplitude * std::sin(slot - m.drive[s]), exact_length) << name;
      x.add(m.J[s][5].x);
    }
    EXPECT_NEAR(x.high - x.low, 2.0 * amplitude, reached) << name;
  }
}

TEST(DoubleSliderLibrary, SlideDrivenScotchYokeTurnsBackWhereTheCrankStandsAcrossTheSlot) {
  load_dimensions("ss04");
  const double r = len(1, 2), centre = fixed_at(1).x - fixed_at(6).x;
  const motion_rows m = run_rows("ss04");
  expect_slide_limits(m, centre - r, centre + r, "ss04");
  EXPECT_GT(std::fabs(winding(m, 1, 2)), turned_twice);
}

// Oldham couplings: shafts 1 (bar 3-1-2) and 4 (bar 6-4-5), the disc 7
// sliding on both; its slots keep the angle th[2][7][5].
TEST(DoubleSliderLibrary, OldhamCouplingsTurnBothShaftsAlikeAndCarryTheDiscRoundACircle) {
  for (const char *name : {"ss13", "ss23"}) {
    load_dimensions(name);
    const point o1 = fixed_at(1), o2 = fixed_at(4);
    const double slots = mech.th_saved[2][7][5];
    const double radius = dist(o1, o2) / (2.0 * std::fabs(std::sin(slots)));
    const motion_rows m = run_rows(name);
    expect_steady_turn(m, name);
    EXPECT_GT(winding(m, 4, 5), turned_twice) << name;
    const double lag = turn_between(direction(m.J[0][1], m.J[0][2]), direction(m.J[0][4], m.J[0][5]));
    std::vector<point> path;
    for (const auto &J : m.J) {
      ASSERT_NEAR(turn_between(direction(J[1], J[2]), direction(J[4], J[5])), lag, exact) << name;
      path.push_back(J[7]);
    }
    circle_fit c;
    ASSERT_EQ(fit_circle(path.data(), static_cast<int>(path.size()), &c), 1);
    EXPECT_NEAR(c.radius, radius, 1e-6) << name;
    EXPECT_LT(c.max_dev, 1e-6) << name;
    EXPECT_NEAR(dist(c.centre, o1), radius, 1e-6) << name;  // the circle runs through both shafts
    EXPECT_NEAR(dist(c.centre, o2), radius, 1e-6) << name;
  }
}

// --- six-bar linkages: a crank 1-2 that turns fully ---

TEST(SixBarLibrary, CrankTurnsFullyAndTheCouplerCurveCloses) {
  for (const char *name : {"a60", "a61", "a62"}) {
    load_dimensions(name);
    const int traced = mech.kten;
    const motion_rows m = run_rows(name);
    expect_steady_turn(m, name);
    // One turn later every joint is back: the chain stays on its assembly.
    for (size_t s = 0; s + 360 < m.J.size(); s++)
      for (int i = 1; i <= m.n; i++) ASSERT_LT(dist(m.J[s][i], m.J[s + 360][i]), 1e-6) << name << " J" << i;
    span x;
    for (const auto &J : m.J) x.add(J[traced].x);
    EXPECT_GT(x.high - x.low, 10.0) << name << ": the coupler point hardly moves";
  }
  // Watt II: the first loop is a drag link, so its output rocker-crank turns too.
  const motion_rows m = run_rows("a60");
  EXPECT_GT(winding(m, 5, 3), turned_twice);
}

// --- quick-return: Whitworth, crank 1-2 with its block on the slotted link
// 3-4, the arm 3-5 and the connecting rod 5-6 to the ram 6 ---

TEST(QuickReturnLibrary, WhitworthRamStrokesTwiceTheArmAndReturnsTwiceAsFast) {
  load_dimensions("haya");
  const point o1 = fixed_at(1), o2 = fixed_at(3);
  const double r = len(1, 2), d = dist(o1, o2), arm = len(3, 5);
  // The ram turns back when the slotted link lies along the ram's line,
  // at right angles to o1-o2: the crank pin then stands d off the line of
  // centres, asin(d / r) past it, on either side.
  const double slow = pi + 2.0 * std::asin(d / r), quick = 2.0 * pi - slow;
  EXPECT_NEAR(slow / quick, 2.0, 1e-9);  // the time ratio of the design

  const motion_rows m = run_rows("haya");
  expect_steady_turn(m, "haya");
  span ram;
  for (const auto &J : m.J) ram.add(J[6].x);
  EXPECT_NEAR(ram.high - ram.low, 2.0 * arm, reached);
  std::vector<size_t> extreme;
  for (size_t s = 1; s + 1 < m.J.size(); s++) {
    const double before = m.J[s][6].x - m.J[s - 1][6].x, after = m.J[s + 1][6].x - m.J[s][6].x;
    if ((before > 0) != (after > 0)) extreme.push_back(s);
  }
  ASSERT_GE(extreme.size(), 3u);
  for (size_t e = 0; e + 1 < extreme.size(); e++) {
    const bool cutting = m.J[extreme[e]][6].x > m.J[extreme[e + 1]][6].x;  // towards the slotted link
    EXPECT_NEAR(static_cast<double>(extreme[e + 1] - extreme[e]), (cutting ? slow : quick) / one_degree, 1.0);
  }
}
