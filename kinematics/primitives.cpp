// Step primitives for triangles (codes 31 to 34) and quadrilaterals (codes
// 41, 42, 44) of the solving order, in planning and in solving mode.
//
// Turning angles: th[i][j][k] is the direction of j->k minus that of i->j,
// counter-clockwise positive; the corner angle at j is pi - th[i][j][k].
// Around a closed figure the turning angles add up to 2 pi.  Angles written
// here are not reduced to a range.
#include "kinematics/primitives.h"

#include <cmath>

#include "kinematics/fact_check.h"
#include "model/console.h"
#include "model/mechanism_model.h"

static const double two_pi = 2.0 * pi;

// --- writes of one figure, undone when the figure fails ---
//
// Every cell a primitive writes is logged with its old value and flag.  A
// non-finite value (an overflow, a division by a zero that no test of the
// figure caught) makes the whole figure fail: the log is played back and the
// tables are as they were, so no NaN or infinity ever reaches them.

struct cell_write {
  double *value;
  double old_value;
  char *flag;  // nullptr in solving mode
  char old_flag;
};

static const int figure_cells = 48;  // quad_sss_aa writes 26 cells, sikk2 24
static cell_write figure_log[figure_cells];
static int figure_log_count;
static int figure_failed;

static void begin_figure() {
  figure_log_count = 0;
  figure_failed = 0;
}

static void write_cell(double *cell, double v, char *flag, char mark) {
  if (figure_failed) return;
  if (!std::isfinite(v) || figure_log_count >= figure_cells) {
    figure_failed = 1;
    return;
  }
  figure_log[figure_log_count++] = cell_write{cell, *cell, flag, flag ? *flag : '\0'};
  *cell = v;
  if (flag) *flag = mark;
}

// Returns result, or 0 after undoing every write when a value was not finite.
static int end_figure(int result) {
  if (!figure_failed) return result;
  while (figure_log_count > 0) {
    const cell_write &w = figure_log[--figure_log_count];
    *w.value = w.old_value;
    if (w.flag) *w.flag = w.old_flag;
  }
  return 0;
}

// Undoes every write of the figure; returns 0.
static int abandon_figure() {
  figure_failed = 1;
  return end_figure(0);
}

static int planning(char mark) { return mark != solving; }

// --- facts in solving mode ---
//
// A value flagged 'Y' (the data file's) or 'W' (worked out from those alone,
// the same at every drive value) is a fact.  A figure that computes a fact
// in solving mode compares instead of storing: a figure assembled on another
// branch than the fact's would otherwise leave a value that later steps read
// as the fact.  A miss beyond the allowance fails the figure.

static int is_fact(char flag) { return flag == 'Y' || flag == 'W'; }

// Allowance for a length, world units: that of the check of a whole
// posture, a part in a million of the mechanism's size (of 1 world unit
// while the facts of this mechanism are not collected yet).
static double length_allowance() {
  const int current = solver_facts.load_serial == mech.load_serial;
  return fact_tolerance * (current ? std::fmax(solver_facts.size, 1.0) : 1.0);
}

// Allowance for an angle, radians.  A triangle of three sides whose cosine
// lies within 1e-6 of +-1 is taken as straight, which moves its angles by up
// to acos(1 - 1e-6) = 1.4e-3 rad; an angle of another branch misses by far
// more (tenths of a radian up to pi).
static const double angle_allowance = 2e-3;

// 1 when angle v is the angle held, whole turns apart or not.
static int same_angle(double v, double held) { return std::fabs(std::remainder(v - held, two_pi)) <= angle_allowance; }

// Solving mode on a fact: the figure fails when v misses it.
static void compare_fact(int same) {
  if (!same) figure_failed = 1;
}

// th[i][j][k] = v and th[k][j][i] = -v.  Planning mode writes only while the
// pair is unknown and marks both; `always` writes and marks without testing.
static void put_th(int i, int j, int k, double v, char mark, int always = 0) {
  mechanism &m = mech;
  if (!planning(mark)) {
    if (is_fact(m.th_known[i][j][k])) return compare_fact(same_angle(v, m.th[i][j][k]));
    write_cell(&m.th[i][j][k], v, nullptr, mark);
    write_cell(&m.th[k][j][i], -v, nullptr, mark);
    return;
  }
  if (!always && m.th_known[i][j][k] != 'N') return;
  write_cell(&m.th[i][j][k], v, &m.th_known[i][j][k], mark);
  write_cell(&m.th[k][j][i], -v, &m.th_known[k][j][i], mark);
}

// l[i][j] = l[j][i] = v.
static void put_l(int i, int j, double v, char mark, int always = 0) {
  mechanism &m = mech;
  if (!planning(mark)) {
    if (is_fact(m.l_known[i][j])) return compare_fact(std::fabs(v - m.l[i][j]) <= length_allowance());
    write_cell(&m.l[i][j], v, nullptr, mark);
    write_cell(&m.l[j][i], v, nullptr, mark);
    return;
  }
  if (!always && m.l_known[i][j] != 'N') return;
  write_cell(&m.l[i][j], v, &m.l_known[i][j], mark);
  write_cell(&m.l[j][i], v, &m.l_known[j][i], mark);
}

// ath[i][j] = v and ath[j][i] = v - pi, written and marked unconditionally
// (only sikk2 writes absolute angles).
static void put_ath(int i, int j, double v, char mark) {
  mechanism &m = mech;
  if (!planning(mark) && is_fact(m.ath_known[i][j])) return compare_fact(same_angle(v, m.ath[i][j]));
  char *f1 = planning(mark) ? &m.ath_known[i][j] : nullptr;
  char *f2 = planning(mark) ? &m.ath_known[j][i] : nullptr;
  write_cell(&m.ath[i][j], v, f1, mark);
  write_cell(&m.ath[j][i], v - pi, f2, mark);
}

// Square root of a quantity that is a sum of squares in exact arithmetic:
// rounding may leave it a hair below zero.
static double root_of_square(double v) { return std::sqrt(v > 0.0 ? v : 0.0); }

// --- triangles ---

int tri_sas(int a, int b, int c, char mark) {
  mechanism &m = mech;
  begin_figure();
  // Put a at the origin with a->b along +x: c = (p, q).
  const double t = m.th[a][b][c];
  const double p = m.l[a][b] + m.l[b][c] * std::cos(t);
  const double q = m.l[b][c] * std::sin(t);
  const double dir_ac = std::atan2(q, p);  // direction of a->c from a->b
  put_l(a, c, std::sqrt(p * p + q * q), mark);
  put_th(c, a, b, pi - dir_ac, mark);
  put_th(b, c, a, pi - (t - dir_ac), mark);
  return end_figure(1);
}

// |sin g| below this means the lines from a and from b are parallel: the
// corner at c is within about 1e-6 radians of 0 or pi.
static const double parallel_sine = 1e-6;

int tri_asa(int a, int b, int c, char mark) {
  mechanism &m = mech;
  begin_figure();
  const double t = m.th[a][b][c];
  const double corner_a = pi - m.th[c][a][b];
  const double g = t - corner_a;  // corner angle at c
  if (std::fabs(std::sin(g)) < parallel_sine) {
    if (!planning(mark)) {
      put_th(a, c, b, pi - g, mark);
      return end_figure(2);
    }
    if (m.th_known[a][c][b] == 'N') {
      put_th(a, c, b, pi - g, mark);
      end_figure(1);
      return 0;
    }
    // The angle at c is known already: go on; an exactly zero sine makes
    // the lengths infinite and the figure fails below.
  }
  // Law of sines: L_ac / sin t = L_bc / sin A = L_ab / sin g.
  put_l(a, c, m.l[a][b] * std::sin(t) / std::sin(g), mark);
  put_l(b, c, m.l[a][b] * std::sin(corner_a) / std::sin(g), mark);
  put_th(b, c, a, pi - g, mark);
  return end_figure(1);
}

int tri_ssa(int a, int b, int c, int choice, char mark) {
  mechanism &m = mech;
  begin_figure();
  const double corner_a = pi - m.th[c][a][b];
  const double l_bc = m.l[b][c];
  if (l_bc == 0.0) return 0;
  // Law of sines: sin(corner at c) = L_ab sin A / L_bc.
  const double s = m.l[a][b] * std::sin(corner_a) / l_bc;
  if (!(std::fabs(s) <= 1.0)) return 0;  // no triangle (or a NaN input)
  double k = std::sqrt(1.0 - s * s);     // cosine of the corner at c
  if (choice != 1) k = -k;
  const double g = std::atan2(s, k);
  put_l(a, c, m.l[a][b] * std::cos(corner_a) + l_bc * k, mark);
  put_th(a, b, c, corner_a + g, mark);
  put_th(b, c, a, pi - g, mark);
  return end_figure(1);
}

// |u| within this of 1 is a triangle flattened onto a line; beyond it by
// more, the sides cannot close.  It absorbs the rounding of u for lengths of
// a few thousand world units.
static const double flat_cosine = 1e-6;
// A sum of two sides matching the third within this (world units) names the
// joint that lies between the other two.
static const double flat_sum = 0.001;

int tri_sss(int a, int b, int c, int choice, char mark) {
  mechanism &m = mech;
  begin_figure();
  const double l_ab = m.l[a][b], l_bc = m.l[b][c], l_ac = m.l[a][c];
  // Law of cosines: u is the cosine of the turning angle at b.
  const double u = (l_ac * l_ac - l_bc * l_bc - l_ab * l_ab) / (2.0 * l_ab * l_bc);
  if (!std::isfinite(u) || std::fabs(u) - 1.0 > flat_cosine) {
    if (planning(mark)) con_printf("\n三角法４解なし\n");
    return 0;
  }
  if (1.0 - std::fabs(u) >= flat_cosine) {
    double s = std::sqrt(1.0 - u * u);
    if (choice != 1) s = -s;
    const double t = std::atan2(s, u);
    const double f = std::atan2(l_bc * std::sin(t), l_ab + l_bc * std::cos(t));
    put_th(c, a, b, pi - f, mark);
    put_th(a, b, c, t, mark);
    put_th(b, c, a, pi - (t - f), mark);
    return end_figure(1);
  }
  // The three joints lie on one line: the corner of the joint between the
  // other two is pi, the other corners 0.  A later match overrides.
  double corner_a = 0.0, corner_b = 0.0, corner_c = 0.0;
  int matched = 0;
  if (std::fabs(l_ab + l_bc - l_ac) < flat_sum) corner_b = pi, corner_a = corner_c = 0.0, matched = 1;
  if (std::fabs(l_bc + l_ac - l_ab) < flat_sum) corner_c = pi, corner_a = corner_b = 0.0, matched = 1;
  if (std::fabs(l_ac + l_ab - l_bc) < flat_sum) corner_a = pi, corner_b = corner_c = 0.0, matched = 1;
  if (!matched) {
    // Long sides: no sum is within the tolerance.  u near +1 stretches the
    // figure at b; u near -1 folds it back at b, and then the shorter of the
    // two sides at b ends between the other two joints.
    if (u > 0.0)
      corner_b = pi;
    else if (l_ab >= l_bc)
      corner_c = pi;
    else
      corner_a = pi;
  }
  put_th(a, b, c, pi - corner_b, mark);
  put_th(b, c, a, pi - corner_c, mark);
  put_th(c, a, b, pi - corner_a, mark);
  return end_figure(1);
}

// --- quadrilaterals a-b-c-d, directions measured from a->d ---

// Below this the two solutions for the side a-b coincide (tangent case).
static const double tangent_root = 1e-8;

int quad_sss_aa(int a, int b, int c, int d, int choice, char mark) {
  mechanism &m = mech;
  begin_figure();
  const double l_bc = m.l[b][c], l_cd = m.l[c][d], l_ad = m.l[a][d];
  const double dir_ab = pi - m.th[b][a][d];
  const double dir_bc = dir_ab - m.th[c][b][a];
  // v = (b->c) - (a->d), of length mv and direction u.
  const double mv = root_of_square(l_bc * l_bc + l_ad * l_ad - 2.0 * l_bc * l_ad * std::cos(dir_bc));
  const double u = std::atan2(l_bc * std::sin(dir_bc), l_bc * std::cos(dir_bc) - l_ad);
  // |x e(A) + v| = L_cd:  x^2 + 2 x mv cos(u-A) + mv^2 - L_cd^2 = 0.
  const double sin_ua = std::sin(u - dir_ab), cos_ua = std::cos(u - dir_ab);
  const double disc = l_cd * l_cd - mv * mv * sin_ua * sin_ua;
  if (!(disc >= 0.0)) return 0;
  const double w = std::sqrt(disc);
  if (w < tangent_root && -mv * cos_ua < 0.0) return 0;
  const double x = choice == 1 ? -mv * cos_ua + w : -mv * cos_ua - w;

  put_l(a, b, x, mark);
  const double p = std::atan2(mv * std::sin(u) + x * std::sin(dir_ab),
                              mv * std::cos(u) + x * std::cos(dir_ab));  // direction of d->c
  put_th(a, d, c, p, mark);
  put_th(d, c, b, two_pi - (m.th[c][b][a] + m.th[b][a][d] + m.th[a][d][c]), mark);
  put_l(b, d, root_of_square(l_ad * l_ad + x * x - 2.0 * l_ad * x * std::cos(dir_ab)), mark);
  put_th(a, d, b, std::atan2(x * std::sin(dir_ab), x * std::cos(dir_ab) - l_ad), mark);
  put_th(d, b, a, two_pi - (m.th[b][a][d] + m.th[a][d][b]), mark);
  put_l(a, c, root_of_square(l_ad * l_ad + l_cd * l_cd + 2.0 * l_ad * l_cd * std::cos(p)), mark);
  put_th(d, a, c, std::atan2(l_cd * std::sin(p), l_ad + l_cd * std::cos(p)) + pi, mark);
  put_th(d, c, a, two_pi - (m.th[c][a][d] + m.th[a][d][c]), mark);
  put_th(b, d, c, pi - (m.th[a][d][b] - m.th[a][d][c]), mark);
  put_th(c, b, d, two_pi - (m.th[b][d][c] + m.th[d][c][b]), mark);
  put_th(b, a, c, pi - (m.th[d][a][b] - m.th[d][a][c]), mark);
  put_th(a, c, b, two_pi - (m.th[c][b][a] + m.th[b][a][c]), mark);
  return end_figure(1);
}

int sikk2(int a, int b, int c, int d, int choice, char mark) {
  mechanism &m = mech;
  const int trace = planning(mark);
  const int always = 1;  // every output is written and marked, known or not
  begin_figure();
  const double l_ab = m.l[a][b], l_bc = m.l[b][c], l_cd = m.l[c][d], l_ad = m.l[a][d];
  const double al1 = m.ath[b][c] - m.ath[a][d];
  if (trace)
    con_printf("\nsikk2()  ath14=%6.1f ath23=%6.1f al1=%6.1f", m.ath[a][d] * rad_to_deg,
               m.ath[b][c] * rad_to_deg, al1 * rad_to_deg);
  // With a at the origin and d at (L_ad, 0): (x5, y5) is the vector b->c.
  const double x5 = l_bc * std::cos(al1), y5 = l_bc * std::sin(al1);
  const double e = std::sqrt((x5 - l_ad) * (x5 - l_ad) + y5 * y5);
  const double bet1 = pi - std::atan2(y5, x5 - l_ad);
  if (trace) {
    con_printf("\nsikk2() bet1=%6.1f", bet1 * rad_to_deg);
    con_printf("\nsikk2() (x5,y5)=(%6.1f, %6.1f) e=%6.1f", x5, y5, e);
  }
  // Triangle of e, L_cd and L_ab; e = 0 or L_cd = 0 leaves its angle undefined.
  if (e == 0.0 || l_cd == 0.0) return 0;
  const double cos_bet2 = (e * e + l_cd * l_cd - l_ab * l_ab) / (2.0 * e * l_cd);
  if (!(std::fabs(cos_bet2) <= 1.0)) return 0;
  double bet2 = std::acos(cos_bet2);
  if (choice < 0) bet2 = -bet2;
  if (trace) con_printf("\nsikk2() bet2=%6.1f", bet2 * rad_to_deg);
  const double gsum = bet1 + bet2;
  const double x3 = l_ad - l_cd * std::cos(gsum), y3 = l_cd * std::sin(gsum);  // joint c
  const double x2 = x3 - x5, y2 = y3 - y5;                                       // joint b
  if (trace) {
    con_printf("\nsikk2() (x3,y3)=(%6.1f, %6.1f)", x3, y3);
    con_printf("\nsikk2() (x2,y2)=(%6.1f, %6.1f)", x2, y2);
  }
  put_th(a, d, c, pi - gsum, mark, always);
  put_ath(d, c, m.ath[a][d] + m.th[a][d][c], mark);
  const double al2 = std::atan2(y2, x2);
  if (trace) con_printf("\nsikk2() al2=∠(12)=%6.1f", al2 * rad_to_deg);
  put_ath(a, b, al2 + m.ath[a][d], mark);
  put_th(d, a, b, al2 - pi, mark, always);
  const double gam2 = m.ath[b][c] - m.ath[a][b];
  if (trace) con_printf("\nsikk2() gam2=∠(123)=%6.1f", gam2 * rad_to_deg);
  put_th(a, b, c, gam2, mark, always);
  put_th(d, c, b, wrap_angle(pi - (m.ath[d][c] - m.ath[b][c])), mark, always);
  put_l(a, c, std::sqrt(x3 * x3 + y3 * y3), mark, always);
  const double al3 = std::atan2(y3, x3);
  put_th(d, a, c, al3 - pi, mark, always);
  put_ath(a, c, al3 + m.ath[a][d], mark);
  put_l(b, d, std::sqrt((l_ad - x2) * (l_ad - x2) + y2 * y2), mark, always);
  const double dir_db = std::atan2(y2, x2 - l_ad);
  put_th(a, d, b, dir_db, mark, always);
  put_ath(d, b, dir_db + m.ath[a][d], mark);
  return end_figure(1);
}

// A direction that lies exactly along a-d (0 or the system pi).
static int is_flat(double dir) { return dir == 0.0 || std::fabs(dir) == pi; }

int quad_ss_aaa(int a, int b, int c, int d, char mark) {
  mechanism &m = mech;
  begin_figure();
  // The step is planned from the angles at b, c and d; the angle at a
  // follows from the angle sum of the quadrilateral and is written here, so
  // that it is current at every drive value:
  //   th[b][a][d] + th[c][b][a] + th[d][c][b] + th[a][d][c] = 2 pi.
  put_th(b, a, d, two_pi - (m.th[c][b][a] + m.th[d][c][b] + m.th[a][d][c]), mark);
  const double l_ad = m.l[a][d], l_bc = m.l[b][c];
  const double dir_ab = pi - m.th[b][a][d];
  const double dir_bc = dir_ab - m.th[c][b][a];
  const double dir_dc = m.th[a][d][c];
  if (!planning(mark)) {
    const int flats = is_flat(dir_ab) + is_flat(dir_bc) + is_flat(dir_dc);
    if (flats >= 2) return abandon_figure();
  }
  // x e(A) + L_bc e(B) = L_ad e(0) + y e(P), solved for x = L_ab, y = L_cd.
  const double den = std::sin(dir_dc - dir_ab);
  if (den == 0.0) return abandon_figure();  // a-b parallel to d-c: no closing
  const double x = (l_ad * std::sin(dir_dc) - l_bc * std::sin(dir_dc - dir_bc)) / den;
  const double y = (l_ad * std::sin(dir_ab) - l_bc * std::sin(dir_ab - dir_bc)) / den;

  put_l(a, b, x, mark);
  put_l(c, d, y, mark);
  put_l(a, c, root_of_square(l_ad * l_ad + y * y + 2.0 * l_ad * y * std::cos(dir_dc)), mark);
  const double dir_ac = std::atan2(y * std::sin(dir_dc), l_ad + y * std::cos(dir_dc));
  put_th(c, a, d, pi - dir_ac, mark);
  put_th(d, c, a, two_pi - (m.th[c][a][d] + m.th[a][d][c]), mark);
  put_l(b, d, root_of_square(l_ad * l_ad + x * x - 2.0 * l_ad * x * std::cos(dir_ab)), mark);
  const double dir_db = std::atan2(x * std::sin(dir_ab), x * std::cos(dir_ab) - l_ad);
  put_th(a, d, b, dir_db, mark);
  put_th(d, b, a, two_pi - (m.th[b][a][d] + m.th[a][d][b]), mark);
  put_th(b, a, c, pi - (dir_ab - dir_ac), mark);
  put_th(a, c, b, two_pi - (m.th[c][b][a] + m.th[b][a][c]), mark);
  put_th(b, d, c, pi - (dir_db - dir_dc), mark);
  put_th(c, b, d, two_pi - (m.th[b][d][c] + m.th[d][c][b]), mark);
  return end_figure(1);
}
