// The closed-form crank-rocker of the benchmarks.
#include "bench/closed_form_four_bar.h"

#include <cmath>

static int linked(int i, int j) { return mech.link_exists[i][j] == 'Y'; }
static int fixed(int i) { return mech.J_known[i] == 'Y' || mech.J_known[i] == 'W'; }
static double cross(point o, point a, point b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

int find_four_bar(four_bar *f) {
  const mechanism &m = mech;
  if (m.n != 5 || m.rs != 'B' || !fixed(m.id)) return 0;
  *f = four_bar();
  f->crank_pivot = m.id;
  f->crank_pin = m.jd;
  for (int c = 1; c <= m.n; c++)
    for (int d = 1; d <= m.n; d++)
      if (d != m.id && fixed(d) && !fixed(c) && c != m.jd && linked(c, m.jd) && linked(c, d))
        f->rocker_pin = c, f->rocker_pivot = d;
  for (int p = 1; p <= m.n; p++)
    if (p != f->rocker_pin && !fixed(p) && p != m.jd && linked(p, m.jd) && linked(p, f->rocker_pin))
      f->coupler_point = p;
  if (!f->rocker_pin || !f->coupler_point) return 0;
  const int a = f->crank_pivot, b = f->crank_pin, c = f->rocker_pin, d = f->rocker_pivot,
            p = f->coupler_point;
  f->A = m.J[a];
  f->D = m.J[d];
  f->crank = m.l[a][b];
  f->coupler = m.l[b][c];
  f->rocker = m.l[c][d];
  // |P - B| = l_bp, |P - C| = l_cp, |C - B| = coupler: along the coupler
  // by (l_bp^2 - l_cp^2 + coupler^2) / (2 coupler), across by the rest.
  const double l_bp = m.l[b][p], l_cp = m.l[c][p];
  f->along = (l_bp * l_bp - l_cp * l_cp + f->coupler * f->coupler) / (2.0 * f->coupler);
  f->across = std::sqrt(l_bp * l_bp - f->along * f->along);
  if (cross(m.J[b], m.J[c], m.J[p]) < 0.0) f->across = -f->across;
  f->branch = cross(m.J[b], m.J[d], m.J[c]) < 0.0 ? -1.0 : 1.0;
  return std::isfinite(f->across);
}

point closed_form_J[joint_slots];

__attribute__((noinline)) int solve_four_bar(const four_bar &f, double t) {
  point *J = closed_form_J;
  // B = A + crank (cos t, sin t)
  const point B = {f.A.x + f.crank * std::cos(t), f.A.y + f.crank * std::sin(t)};
  // C on the circles |C - B| = coupler and |C - D| = rocker; with v = D - B
  // and d2 = |v|^2:  C = B + a v + h perp(v),  a = (coupler^2 - rocker^2 + d2)
  // / (2 d2),  h^2 = coupler^2 / d2 - a^2.
  const double vx = f.D.x - B.x, vy = f.D.y - B.y;
  const double d2 = vx * vx + vy * vy;
  if (d2 == 0.0) return 0;
  const double a = (f.coupler * f.coupler - f.rocker * f.rocker + d2) / (2.0 * d2);
  const double h2 = f.coupler * f.coupler / d2 - a * a;
  if (!(h2 >= 0.0)) return 0;
  const double h = f.branch * std::sqrt(h2);
  const point C = {B.x + a * vx - h * vy, B.y + a * vy + h * vx};
  // P = B + along u + across perp(u), u the unit vector from B to C.
  const double ux = (C.x - B.x) / f.coupler, uy = (C.y - B.y) / f.coupler;
  J[f.crank_pin] = B;
  J[f.rocker_pin] = C;
  J[f.coupler_point] = {B.x + f.along * ux - f.across * uy, B.y + f.along * uy + f.across * ux};
  return 1;
}

