// Curve fits on points of known lines, circles and conics.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/curve_fit.h"

namespace {

// Points of a curve given in its own frame, turned by `turn` and moved to
// (ox, oy).
std::vector<point> placed(const std::vector<point> &local, double turn, double ox, double oy) {
  std::vector<point> out;
  for (const point &q : local)
    out.push_back({ox + q.x * std::cos(turn) - q.y * std::sin(turn),
                   oy + q.x * std::sin(turn) + q.y * std::cos(turn)});
  return out;
}

std::vector<point> ellipse_arc(double a, double b, double from, double to, int count) {
  std::vector<point> p;
  for (int i = 0; i < count; i++) {
    const double t = from + (to - from) * i / (count - 1);
    p.push_back({a * std::cos(t), b * std::sin(t)});
  }
  return p;
}

std::vector<point> hyperbola_arc(double a, double b, double from, double to, int count) {
  std::vector<point> p;
  for (int i = 0; i < count; i++) {
    const double t = from + (to - from) * i / (count - 1);
    p.push_back({a * std::cosh(t), b * std::sinh(t)});
  }
  return p;
}

std::vector<point> parabola_arc(double focal, double from, double to, int count) {
  std::vector<point> p;  // y^2 = 4 f x
  for (int i = 0; i < count; i++) {
    const double y = from + (to - from) * i / (count - 1);
    p.push_back({y * y / (4 * focal), y});
  }
  return p;
}

}  // namespace

TEST(CurveFit, LineThroughPointsOfALine) {
  std::vector<point> p;
  for (int i = 0; i < 50; i++) p.push_back({10 + 3.0 * i, -7 + 1.5 * i});
  line_fit f;
  ASSERT_EQ(fit_line(p.data(), 50, &f), 1);
  EXPECT_LT(f.max_dev, 1e-12);
  EXPECT_NEAR(std::fabs(f.dir_x * 1.5 - f.dir_y * 3.0), 0.0, 1e-12);
  // One point moved 0.001 off the line, along its normal: the fitted line
  // leans towards it by about a fiftieth of that.
  const double h = std::hypot(3.0, 1.5);
  p[20].x += -0.001 * 1.5 / h;
  p[20].y += 0.001 * 3.0 / h;
  ASSERT_EQ(fit_line(p.data(), 50, &f), 1);
  EXPECT_GT(f.max_dev, 0.00095);
  EXPECT_LT(f.max_dev, 0.001);
  EXPECT_EQ(fit_line(p.data(), 1, &f), 0);
}

TEST(CurveFit, CircleGivesCentreAndRadius) {
  std::vector<point> p = placed(ellipse_arc(40, 40, -1.0, 2.0, 60), 0.0, 120, -35);
  circle_fit f;
  ASSERT_EQ(fit_circle(p.data(), 60, &f), 1);
  EXPECT_NEAR(f.centre.x, 120, 1e-9);
  EXPECT_NEAR(f.centre.y, -35, 1e-9);
  EXPECT_NEAR(f.radius, 40, 1e-9);
  EXPECT_LT(f.max_dev, 1e-9);
  std::vector<point> line = {{0, 0}, {1, 1}, {2, 2}, {3, 3}};
  EXPECT_EQ(fit_circle(line.data(), 4, &f), 0);
}

TEST(CurveFit, ConicKindAndEccentricity) {
  struct known {
    std::vector<point> points;
    conic_kind kind;
    double e;
  };
  const double e_ellipse = std::sqrt(1.0 - 0.6 * 0.6);  // b/a = 0.6
  const double e_hyper = std::sqrt(1.0 + 1.5 * 1.5);    // b/a = 1.5
  std::vector<known> cases = {
      {placed(ellipse_arc(100, 60, 0, 2 * M_PI, 720), 0.4, 30, 80), conic_ellipse, e_ellipse},
      {placed(ellipse_arc(100, 60, 0.2, 1.4, 200), -1.1, -50, 10), conic_ellipse, e_ellipse},
      {placed(hyperbola_arc(40, 60, -1.5, 1.5, 500), 2.0, 100, 100), conic_hyperbola, e_hyper},
      {placed(parabola_arc(25, -120, 120, 500), 0.7, 10, -20), conic_parabola, 1.0},
      {placed(parabola_arc(25, 10, 90, 300), 0.0, 0, 0), conic_parabola, 1.0},
      {placed(ellipse_arc(80, 80, 0, 2 * M_PI, 360), 0, 5, 5), conic_ellipse, 0.0},
  };
  for (size_t c = 0; c < cases.size(); c++) {
    const known &k = cases[c];
    conic_fit f;
    ASSERT_EQ(fit_conic(k.points.data(), static_cast<int>(k.points.size()), 1e-6, &f), 1);
    EXPECT_LT(f.residual, 1e-9) << c;
    EXPECT_LT(f.max_dev, 1e-7) << c;
    EXPECT_EQ(f.kind, k.kind) << c << " e=" << f.eccentricity;
    EXPECT_NEAR(f.eccentricity, k.e, k.e == 0.0 ? 1e-6 : 1e-8) << c;
    // The world equation holds at the points.
    for (const point &q : k.points) {
      const double v = f.A * q.x * q.x + f.B * q.x * q.y + f.C * q.y * q.y + f.D * q.x + f.E * q.y + f.F;
      const double gx = 2 * f.A * q.x + f.B * q.y + f.D, gy = f.B * q.x + 2 * f.C * q.y + f.E;
      EXPECT_LT(std::fabs(v) / std::hypot(gx, gy), 1e-7) << c;
    }
  }
}

TEST(CurveFit, ConicSeesAPointOffTheCurve) {
  std::vector<point> p = placed(ellipse_arc(100, 60, 0, 2 * M_PI, 720), 0.0, 0, 0);
  p[100].x += 0.01;
  conic_fit f;
  ASSERT_EQ(fit_conic(p.data(), 720, 1e-6, &f), 1);
  EXPECT_GT(f.residual, 1e-6);
  EXPECT_GT(f.max_dev, 1e-3);
  EXPECT_LT(f.max_dev, 0.02);
}

TEST(CurveFit, PointsOnALineAreADegenerateConic) {
  std::vector<point> p;
  for (int i = 0; i < 30; i++) p.push_back({1.0 * i, 2.0 * i + 1});
  conic_fit f;
  ASSERT_EQ(fit_conic(p.data(), 30, 1e-6, &f), 1);
  EXPECT_EQ(f.kind, conic_degenerate);
  EXPECT_EQ(fit_conic(p.data(), 4, 1e-6, &f), 0);
}
