// Path fit report: line, circle and conic of the traced points, and the
// simplest of them that the points lie on.
#include "analysis/fit_report.h"

#include <cmath>
#include <cstdio>

#include "analysis/curve_fit.h"
#include "model/motion_state.h"
#include "model/console.h"

int traced_points(const point *trace, int count, point *out) {
  int k = 0;
  for (int s = 0; s <= count; s++) {
    const point p = trace[s];
    if (p.x == trace_gap && p.y == trace_gap) continue;
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
    out[k++] = p;
  }
  return k;
}

static double extent_of(const point *p, int count) {
  double lo_x = INFINITY, hi_x = -INFINITY, lo_y = INFINITY, hi_y = -INFINITY;
  for (int i = 0; i < count; i++) {
    lo_x = std::fmin(lo_x, p[i].x), hi_x = std::fmax(hi_x, p[i].x);
    lo_y = std::fmin(lo_y, p[i].y), hi_y = std::fmax(hi_y, p[i].y);
  }
  return count > 0 ? std::hypot(hi_x - lo_x, hi_y - lo_y) : 0.0;
}

// The eccentricity as the report writes it: a degenerate conic (a pair of
// lines or a point) has none, and neither has a non-finite value.
static void print_eccentricity(const conic_fit &conic, char *out, int size) {
  if (conic.kind == conic_degenerate || !std::isfinite(conic.eccentricity))
    snprintf(out, size, "none");
  else
    snprintf(out, size, "%.9f", conic.eccentricity);
}

enum fit_shape { shape_line, shape_circle, shape_conic, shapes };

int report_path_fit(int joint, const point *p, int count) {
  const double extent = extent_of(p, count);
  con_printf("\nfit: joint %d, %d points, extent %.9g\n", joint, count, extent);
  line_fit line;
  circle_fit circle;
  conic_fit conic;
  int made[shapes] = {fit_line(p, count, &line), fit_circle(p, count, &circle),
                      fit_conic(p, count, parabola_band, &conic)};
  if (made[shape_line])
    con_printf("fit line: max_dev=%.6e through=(%.9f, %.9f) direction=(%.9f, %.9f)\n", line.max_dev,
               line.through.x, line.through.y, line.dir_x, line.dir_y);
  else
    con_printf("fit line: none (fewer than 2 distinct points)\n");
  if (made[shape_circle])
    con_printf("fit circle: max_dev=%.6e centre=(%.9f, %.9f) radius=%.9f\n", circle.max_dev, circle.centre.x,
               circle.centre.y, circle.radius);
  else
    con_printf("fit circle: none (%s)\n", count < 3 ? "fewer than 3 points" : "the points lie on a line");
  char eccentricity[40];
  if (made[shape_conic]) {
    print_eccentricity(conic, eccentricity, sizeof eccentricity);
    con_printf("fit conic: max_dev=%.6e kind=%s eccentricity=%s coefficients=%.12g,%.12g,%.12g,%.12g,%.12g,%.12g\n",
               conic.max_dev, conic_kind_name(conic.kind), eccentricity, conic.A, conic.B, conic.C, conic.D,
               conic.E, conic.F);
  } else
    con_printf("fit conic: none (fewer than 5 distinct points)\n");

  const double dev[shapes] = {line.max_dev, circle.max_dev, conic.max_dev};
  int best = -1;
  for (int s = 0; s < shapes && best < 0; s++)
    if (made[s] && dev[s] <= exact_fit * extent) best = s;
  const int exact = best >= 0;
  for (int s = 0; s < shapes && !exact; s++)
    if (made[s] && std::isfinite(dev[s]) && (best < 0 || dev[s] < dev[best])) best = s;
  if (best < 0) {
    con_printf("fit best: none\n");
    return 0;
  }
  static const char *const names[shapes] = {"line", "circle", "conic"};
  con_printf("fit best: %s", names[best]);
  if (best == shape_conic) con_printf(" %s eccentricity=%s", conic_kind_name(conic.kind), eccentricity);
  con_printf(" max_dev=%.6e %s\n", dev[best], exact ? "exact" : "approximate");
  return 1;
}
