// Path fit report: line, circle and conic of the traced points, and the
// simplest of them that the points lie on.
#include "analysis/fit_report.h"

#include <cmath>
#include <cstdio>

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

int fit_path(int joint, const point *p, int count, path_fit *out) {
  path_fit &f = *out;
  f.joint = joint;
  f.count = count;
  f.extent = extent_of(p, count);
  f.made[shape_line] = fit_line(p, count, &f.line);
  f.made[shape_circle] = fit_circle(p, count, &f.circle);
  f.made[shape_conic] = fit_conic(p, count, parabola_band, &f.conic);
  const double dev[shapes] = {f.line.max_dev, f.circle.max_dev, f.conic.max_dev};
  f.best = -1;
  for (int s = 0; s < shapes && f.best < 0; s++)
    if (f.made[s] && dev[s] <= exact_fit * f.extent) f.best = s;
  f.exact = f.best >= 0;
  for (int s = 0; s < shapes && !f.exact; s++)
    if (f.made[s] && std::isfinite(dev[s]) && (f.best < 0 || dev[s] < dev[f.best])) f.best = s;
  return f.best >= 0;
}

void format_fit_line(const path_fit *fp, int which, char *out, int size) {
  const path_fit &f = *fp;
  char eccentricity[40] = "none";
  if (f.made[shape_conic]) print_eccentricity(f.conic, eccentricity, sizeof eccentricity);
  switch (which) {
    case 0:
      snprintf(out, size, "fit: joint %d, %d points, extent %.9g\n", f.joint, f.count, f.extent);
      break;
    case 1:
      if (f.made[shape_line])
        snprintf(out, size, "fit line: max_dev=%.6e through=(%.9f, %.9f) direction=(%.9f, %.9f)\n",
                 f.line.max_dev, f.line.through.x, f.line.through.y, f.line.dir_x, f.line.dir_y);
      else
        snprintf(out, size, "fit line: none (fewer than 2 distinct points)\n");
      break;
    case 2:
      if (f.made[shape_circle])
        snprintf(out, size, "fit circle: max_dev=%.6e centre=(%.9f, %.9f) radius=%.9f\n", f.circle.max_dev,
                 f.circle.centre.x, f.circle.centre.y, f.circle.radius);
      else
        snprintf(out, size, "fit circle: none (%s)\n",
                 f.count < 3 ? "fewer than 3 points" : "the points lie on a line");
      break;
    case 3:
      if (f.made[shape_conic])
        snprintf(out, size,
                 "fit conic: max_dev=%.6e kind=%s eccentricity=%s coefficients=%.12g,%.12g,%.12g,%.12g,%.12g,%.12g\n",
                 f.conic.max_dev, conic_kind_name(f.conic.kind), eccentricity, f.conic.A, f.conic.B, f.conic.C,
                 f.conic.D, f.conic.E, f.conic.F);
      else
        snprintf(out, size, "fit conic: none (fewer than 5 distinct points)\n");
      break;
    default: {
      static const char *const names[shapes] = {"line", "circle", "conic"};
      if (f.best < 0) {
        snprintf(out, size, "fit best: none\n");
        break;
      }
      const double dev[shapes] = {f.line.max_dev, f.circle.max_dev, f.conic.max_dev};
      char kind[80] = "";
      if (f.best == shape_conic)
        snprintf(kind, sizeof kind, " %s eccentricity=%s", conic_kind_name(f.conic.kind), eccentricity);
      snprintf(out, size, "fit best: %s%s max_dev=%.6e %s\n", names[f.best], kind, dev[f.best],
               f.exact ? "exact" : "approximate");
      break;
    }
  }
}

int report_path_fit(int joint, const point *p, int count) {
  static path_fit f;
  const int made = fit_path(joint, p, count, &f);
  char line[400];
  con_printf("\n");
  for (int w = 0; w < fit_lines; w++) {
    format_fit_line(&f, w, line, sizeof line);
    con_printf("%s", line);
  }
  return made;
}
