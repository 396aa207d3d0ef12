// Curve fits of traced paths.  The algebraic fits take the null vector of
// the design matrix: its rows are folded into a small triangular matrix by
// Givens rotations (no storage per point), whose right singular vector of
// the smallest singular value a one-sided Jacobi sweep finds.  This avoids
// squaring the condition number, so exact points give coefficients exact to
// about 1e-13.
#include "analysis/curve_fit.h"

#include <cmath>

static const int max_terms = 6;

// Upper triangular R with R^T R = sum of v v^T over the rows v folded in.
struct triangular_fold {
  int terms;
  double r[max_terms][max_terms];
};

static void fold_begin(triangular_fold *f, int terms) {
  f->terms = terms;
  for (int i = 0; i < max_terms; i++)
    for (int j = 0; j < max_terms; j++) f->r[i][j] = 0.0;
}

// Rotates the row v (destroyed) into R.
static void fold_row(triangular_fold *f, double *v) {
  for (int i = 0; i < f->terms; i++) {
    if (v[i] == 0.0) continue;
    const double h = std::hypot(f->r[i][i], v[i]);
    const double c = f->r[i][i] / h, s = v[i] / h;
    for (int j = i; j < f->terms; j++) {
      const double rij = f->r[i][j];
      f->r[i][j] = c * rij + s * v[j];
      v[j] = -s * rij + c * v[j];
    }
  }
}

// Unit vector x minimising |R x| (the right singular vector of the smallest
// singular value), by one-sided Jacobi rotations of R's columns.  Returns
// the smallest and, in *second, the next singular value.
static double smallest_singular_vector(const triangular_fold *f, double *x, double *second) {
  const int n = f->terms;
  double u[max_terms][max_terms], v[max_terms][max_terms];
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++) {
      u[i][j] = f->r[i][j];
      v[i][j] = i == j ? 1.0 : 0.0;
    }
  const int max_sweeps = 60;  // converges in well under ten for 6 columns
  for (int sweep = 0; sweep < max_sweeps; sweep++) {
    int rotated = 0;
    for (int p = 0; p < n; p++)
      for (int q = p + 1; q < n; q++) {
        double alpha = 0, beta = 0, gamma = 0;
        for (int i = 0; i < n; i++) {
          alpha += u[i][p] * u[i][p];
          beta += u[i][q] * u[i][q];
          gamma += u[i][p] * u[i][q];
        }
        // Columns orthogonal to working precision: nothing to rotate.
        if (std::fabs(gamma) <= 1e-15 * std::sqrt(alpha * beta) || gamma == 0.0) continue;
        rotated = 1;
        const double zeta = (beta - alpha) / (2.0 * gamma);
        const double t = (zeta >= 0 ? 1.0 : -1.0) / (std::fabs(zeta) + std::sqrt(1.0 + zeta * zeta));
        const double c = 1.0 / std::sqrt(1.0 + t * t), s = c * t;
        for (int i = 0; i < n; i++) {
          const double up = u[i][p], uq = u[i][q];
          u[i][p] = c * up - s * uq;
          u[i][q] = s * up + c * uq;
          const double vp = v[i][p], vq = v[i][q];
          v[i][p] = c * vp - s * vq;
          v[i][q] = s * vp + c * vq;
        }
      }
    if (!rotated) break;
  }
  double sigma[max_terms];
  int best = 0;
  for (int j = 0; j < n; j++) {
    double s2 = 0;
    for (int i = 0; i < n; i++) s2 += u[i][j] * u[i][j];
    sigma[j] = std::sqrt(s2);
    if (sigma[j] < sigma[best]) best = j;
  }
  double next = INFINITY;
  for (int j = 0; j < n; j++)
    if (j != best && sigma[j] < next) next = sigma[j];
  for (int i = 0; i < n; i++) x[i] = v[i][best];
  *second = next;
  return sigma[best];
}

// Centroid and RMS distance from it, for moving points to unit scale.
static int unit_frame(const point *p, int count, point *centre, double *scale) {
  double sx = 0, sy = 0;
  for (int i = 0; i < count; i++) sx += p[i].x, sy += p[i].y;
  centre->x = sx / count;
  centre->y = sy / count;
  double s2 = 0;
  for (int i = 0; i < count; i++) {
    const double dx = p[i].x - centre->x, dy = p[i].y - centre->y;
    s2 += dx * dx + dy * dy;
  }
  *scale = std::sqrt(s2 / count);
  return *scale > 0.0 && std::isfinite(*scale);
}

int fit_line(const point *p, int count, line_fit *out) {
  if (count < 2) return 0;
  point c;
  double scale;
  if (!unit_frame(p, count, &c, &scale)) return 0;
  // Principal direction of the scatter: tan 2t = 2 sxy / (sxx - syy).
  double sxx = 0, sxy = 0, syy = 0;
  for (int i = 0; i < count; i++) {
    const double dx = p[i].x - c.x, dy = p[i].y - c.y;
    sxx += dx * dx, sxy += dx * dy, syy += dy * dy;
  }
  const double t = 0.5 * std::atan2(2.0 * sxy, sxx - syy);
  out->through = c;
  out->dir_x = std::cos(t);
  out->dir_y = std::sin(t);
  out->max_dev = 0.0;
  for (int i = 0; i < count; i++) {
    const double d = std::fabs((p[i].x - c.x) * out->dir_y - (p[i].y - c.y) * out->dir_x);
    if (d > out->max_dev) out->max_dev = d;
  }
  return 1;
}

// Largest radius of a fitted circle, in the unit frame (the points lie within
// about one unit of its origin): beyond a million times the extent the arc
// is a straight line to within rounding, its centre is noise, and
// |p - centre| - r cancels to nothing but rounding, so the deviation it
// gives means nothing.  Such points lie on a line.
constexpr double line_like_radius = 1e6;

int fit_circle(const point *p, int count, circle_fit *out) {
  if (count < 3) return 0;
  point c;
  double scale;
  if (!unit_frame(p, count, &c, &scale)) return 0;
  // a (x^2 + y^2) + d x + e y + f = 0 on unit-scaled points.
  triangular_fold fold;
  fold_begin(&fold, 4);
  for (int i = 0; i < count; i++) {
    const double x = (p[i].x - c.x) / scale, y = (p[i].y - c.y) / scale;
    double row[4] = {x * x + y * y, x, y, 1.0};
    fold_row(&fold, row);
  }
  double k[4], second;
  smallest_singular_vector(&fold, k, &second);
  if (std::fabs(k[0]) < 1e-12) return 0;  // a straight line, no finite circle
  double cx = -k[1] / (2.0 * k[0]), cy = -k[2] / (2.0 * k[0]);
  double r = std::sqrt(std::fmax(0.0, cx * cx + cy * cy - k[3] / k[0]));
  if (!(r <= line_like_radius)) return 0;
  // Gauss-Newton on the distances |p - centre| - r.
  const int refinements = 20;
  for (int it = 0; it < refinements; it++) {
    triangular_fold g;
    fold_begin(&g, 4);
    for (int i = 0; i < count; i++) {
      const double x = (p[i].x - c.x) / scale, y = (p[i].y - c.y) / scale;
      const double d = std::hypot(x - cx, y - cy);
      if (d == 0.0) continue;
      double row[4] = {-(x - cx) / d, -(y - cy) / d, -1.0, -(d - r)};
      fold_row(&g, row);
    }
    // Solve the 3x3 triangular system R delta = -rhs; the fourth column
    // holds the folded right-hand side.
    double delta[3];
    for (int i = 2; i >= 0; i--) {
      double s = g.r[i][3];
      for (int j = i + 1; j < 3; j++) s -= g.r[i][j] * delta[j];
      if (g.r[i][i] == 0.0) return 0;
      delta[i] = s / g.r[i][i];
    }
    cx += delta[0], cy += delta[1], r += delta[2];
    if (std::fabs(delta[0]) + std::fabs(delta[1]) + std::fabs(delta[2]) < 1e-15) break;
  }
  if (!(std::fabs(r) <= line_like_radius)) return 0;
  out->centre = point{c.x + cx * scale, c.y + cy * scale};
  out->radius = r * scale;
  out->max_dev = 0.0;
  for (int i = 0; i < count; i++) {
    const double d = std::fabs(std::hypot(p[i].x - out->centre.x, p[i].y - out->centre.y) - out->radius);
    if (d > out->max_dev) out->max_dev = d;
  }
  return std::isfinite(out->radius);
}

// Eccentricity of A x^2 + B x y + C y^2 + D x + E y + F = 0, continuous
// through the parabola:  e^2 = 2 s / (eta (A + C) + s),
// s = sqrt((A - C)^2 + B^2), eta = -sign of the 3x3 determinant.
static double conic_eccentricity(const double *k, double *det) {
  const double A = k[0], B = k[1], C = k[2], D = k[3], E = k[4], F = k[5];
  *det = A * (C * F - E * E / 4) - B / 2 * (B / 2 * F - E / 2 * D / 2) +
         D / 2 * (B / 2 * E / 2 - C * D / 2);
  const double s = std::sqrt((A - C) * (A - C) + B * B);
  const double eta = *det < 0 ? 1.0 : -1.0;
  const double den = eta * (A + C) + s;
  if (den <= 0.0) return INFINITY;
  return std::sqrt(2.0 * s / den);
}

int fit_conic(const point *p, int count, double parabola_tol, conic_fit *out) {
  if (count < 5) return 0;
  point c;
  double scale;
  if (!unit_frame(p, count, &c, &scale)) return 0;
  triangular_fold fold;
  fold_begin(&fold, 6);
  for (int i = 0; i < count; i++) {
    const double x = (p[i].x - c.x) / scale, y = (p[i].y - c.y) / scale;
    double row[6] = {x * x, x * y, y * y, x, y, 1.0};
    fold_row(&fold, row);
  }
  double k[6], second;
  smallest_singular_vector(&fold, k, &second);
  out->residual = 0.0;
  for (int i = 0; i < count; i++) {
    const double x = (p[i].x - c.x) / scale, y = (p[i].y - c.y) / scale;
    const double q = k[0] * x * x + k[1] * x * y + k[2] * y * y + k[3] * x + k[4] * y + k[5];
    if (std::fabs(q) > out->residual) out->residual = std::fabs(q);
  }
  // The eccentricity is the same in the unit frame (a similarity).
  double det;
  out->eccentricity = conic_eccentricity(k, &det);
  // A vanishing determinant is a pair of lines or a point: a degenerate conic.
  const double degenerate_det = 1e-10;
  if (std::fabs(det) < degenerate_det || !std::isfinite(out->eccentricity))
    out->kind = conic_degenerate;
  else if (std::fabs(out->eccentricity - 1.0) <= parabola_tol)
    out->kind = conic_parabola;
  else
    out->kind = out->eccentricity < 1.0 ? conic_ellipse : conic_hyperbola;
  // Back to world coordinates: x' = (x - cx) / s.
  const double s = scale, s2 = scale * scale, cx = c.x, cy = c.y;
  double w[6];
  w[0] = k[0] / s2;
  w[1] = k[1] / s2;
  w[2] = k[2] / s2;
  w[3] = (-2.0 * k[0] * cx - k[1] * cy) / s2 + k[3] / s;
  w[4] = (-2.0 * k[2] * cy - k[1] * cx) / s2 + k[4] / s;
  w[5] = (k[0] * cx * cx + k[1] * cx * cy + k[2] * cy * cy) / s2 - (k[3] * cx + k[4] * cy) / s + k[5];
  double norm = 0;
  for (double v : w) norm += v * v;
  norm = std::sqrt(norm);
  out->A = w[0] / norm, out->B = w[1] / norm, out->C = w[2] / norm;
  out->D = w[3] / norm, out->E = w[4] / norm, out->F = w[5] / norm;
  out->max_dev = 0.0;
  for (int i = 0; i < count; i++) {
    const double x = (p[i].x - c.x) / scale, y = (p[i].y - c.y) / scale;
    const double q = k[0] * x * x + k[1] * x * y + k[2] * y * y + k[3] * x + k[4] * y + k[5];
    const double gx = 2 * k[0] * x + k[1] * y + k[3], gy = k[1] * x + 2 * k[2] * y + k[4];
    const double g = std::hypot(gx, gy);
    const double d = g > 0 ? std::fabs(q) / g * scale : INFINITY;
    if (d > out->max_dev) out->max_dev = d;
  }
  return 1;
}

const char *conic_kind_name(conic_kind kind) {
  switch (kind) {
    case conic_ellipse: return "ellipse";
    case conic_parabola: return "parabola";
    case conic_hyperbola: return "hyperbola";
    default: return "degenerate";
  }
}
