// The solving order as a straight-line program over unit vectors: the
// translation of each record, the program's pruning and folding, and its
// run for one drive value.
//
// Notation: e(x) = (cos x, sin x).  Angles add as unit vectors multiply:
//   e(x + y) = e(x) e(y),   e(-x) = conj e(x),   e(pi - x) = E_pi conj e(x),
// with E_pi = e(pi) and E_2pi = e(2 pi) for the system's pi, computed once.
// Every formula below is the replay's formula with angles read as vectors.
#include "kinematics/compiled_plan.h"

#include <cmath>
#include <cstring>

#include "kinematics/solver.h"
#include "model/mechanism_model.h"

// --- slots ---
//
// One number space for the program's state: joints 0..19, lengths
// 20..419 (pair i < j at 20 + i * 20 + j), unit vectors from 420 on.
static const int length_base = joint_slots;
static const int unit_base = length_base + joint_slots * joint_slots;
static const int slot_count = unit_base + compiled_units_max;

// Operation codes besides the record codes.
// Numbers that no record code uses, so that the run dispatches on one dense
// switch (record codes 1..8, 10, 11, 31..34, 41, 42, 44, 101..103).
static const int op_drive_angle = 12;      // 'A': th[id][jd][kd] = tt
static const int op_drive_direction = 13;  // 'B': ath[id][jd] = tt
static const int op_drive_length = 14;     // 'L': l[id][jd] = tt
static const int op_product = 15;          // a product of unit slots (see products)
static const int op_constant_figure = 40;  // a figure solved at compile time (code in[4])

// The operations of the commonest dyads are expanded inside the run's loop:
// a call would save and restore registers around a few multiplications.
#define INLINE_IN_RUN inline __attribute__((always_inline))

static unit2 mul(unit2 a, unit2 b) { return unit2{a.c * b.c - a.s * b.s, a.c * b.s + a.s * b.c}; }
static unit2 conj(unit2 a) { return unit2{a.c, -a.s}; }
static unit2 mulc(unit2 a, unit2 b) { return mul(a, conj(b)); }  // e(x - y)
// cos and sin in one call (glibc's sincos, the values of cos and sin).
static unit2 unit_of(double angle) {
  double c, s;
  sincos(angle, &s, &c);
  return unit2{c, s};
}

// e(pi) and e(2 pi) of the system's pi (3.1415926536, not the double
// nearest to pi): the replay adds that constant, so the program turns by it.
static const unit2 e_pi = unit_of(pi);
static const unit2 e_2pi = unit_of(2.0 * pi);

// The direction of (x, y) as a unit vector; (x, y) = 0 gives e(atan2(y, x))
// as the replay's atan2 would (0 or pi by the signs of the zeros).
static unit2 direction_of(double x, double y) {
  const double r = std::sqrt(x * x + y * y);
  if (r == 0.0 || !std::isfinite(r)) return unit_of(std::atan2(y, x));
  const double inverse = 1.0 / r;
  return unit2{x * inverse, y * inverse};
}

// The direction of (x, y) where |(x, y)| = 1 / inverse in exact
// arithmetic: the vector scaled, then one Newton step of the normalisation,
// n (3 - |n|^2) / 2, which takes a relative error e of the length to
// 3 e^2 / 2.  Where rounding leaves |n|^2 further than 1e-6 from 1 (sides
// a million times the third), direction_of.  On a figure's dependent chain
// a multiplication replaces a square root and a division.
static unit2 direction_along(double x, double y, double inverse) {
  const double nx = x * inverse, ny = y * inverse;
  const double q = nx * nx + ny * ny;
  if (!(std::fabs(q - 1.0) <= 1e-6)) return direction_of(x, y);
  const double k = 1.5 - 0.5 * q;
  return unit2{nx * k, ny * k};
}

// Square root of a quantity that is a sum of squares in exact arithmetic.
static double root_of_square(double v) { return std::sqrt(v > 0.0 ? v : 0.0); }

// 1 when every value is finite: x * 0 is 0 for a finite x and NaN otherwise.
static int all_finite(const double *v, int count) {
  double z = 0.0;
  for (int i = 0; i < count; i++) z += v[i] * 0.0;
  return z == 0.0;
}

static int has_branches(int code) { return code == 33 || code == 34 || code == 41 || code == 42; }
// The record code of an operation (a figure solved at compile time keeps its own).
static int record_code(const compiled_op &op) { return op.code == op_constant_figure ? op.in[4] : op.code; }
static int is_figure(int code) { return code >= 31 && code <= 44; }

// --- the state, read and written by slot ---

static double get_l(const compiled_plan *p, int s) { return p->l[s - length_base]; }
static unit2 get_u(const compiled_plan *p, int s) { return p->u[s - unit_base]; }
static double get_a(const compiled_plan *p, int s) { return p->angle[s - unit_base]; }

static void put_l(compiled_plan *p, int s, double v) {
  if (s >= 0) p->l[s - length_base] = v;
}
static void put_u(compiled_plan *p, int s, unit2 v) {
  if (s >= 0) p->u[s - unit_base] = v;
}
static void put_a(compiled_plan *p, int s, double v) {
  if (s >= 0) p->angle[s - unit_base] = v;
}
// A turning angle and its reverse: th[i][j][k] = v, th[k][j][i] = -v.
static void put_pair(compiled_plan *p, const short *out, unit2 v) {
  put_u(p, out[0], v);
  put_u(p, out[1], conj(v));
}
static void put_pair_angle(compiled_plan *p, const short *out, double v) {
  put_a(p, out[0], v);
  put_a(p, out[1], -v);
}

// --- facts held by a figure ---
//
// The replay's figure compares an output that holds a fact with the value
// held: a length within p->length_allowance, an angle within
// angle_allowance radians, whole turns apart being the same angle
// (|remainder(v - held, 2 pi)| <= 2e-3).  The program compares vectors:
// with d = e(v) conj e(held) = e(v - held), the angle is within the
// allowance exactly when d.c > 0 and |d.s| <= sin(allowance).  The two
// tests part only where the miss lies within the rounding of the two ways
// (some 1e-13 rad) of 2e-3 rad: a figure solved on the other branch than
// the fact's misses by tenths of a radian up to pi, and passes through
// 2e-3 only on its way through a dead point, between two drive values.

// Radians: the replay's allowance for an angle; a straight triangle moves
// its angles by up to acos(1 - 1e-6) = 1.4e-3 rad.
static const double angle_allowance = 2e-3;
static const double held_sine = std::sin(angle_allowance);

// 1 when the unit v is the held angle at output k, or output k holds none.
static int keeps_turn(const compiled_plan *p, const compiled_op &op, int k, unit2 v) {
  if (op.held[k] < 0) return 1;
  const unit2 d = mulc(v, get_u(p, op.held[k]));
  return d.c > 0.0 && std::fabs(d.s) <= held_sine;
}

// 1 when the length v is the held length at output k, or output k holds none.
// A non-finite v misses, as in the replay.
static int keeps_length(const compiled_plan *p, const compiled_op &op, int k, double v) {
  if (op.held[k] < 0) return 1;
  return std::fabs(v - get_l(p, op.held[k])) <= p->length_allowance;
}

// The value a later formula of the figure reads at turn output k: the held
// angle where the output holds a fact (the replay's figure reads its table
// back), else v.
static unit2 turn_read(const compiled_plan *p, const compiled_op &op, int k, unit2 v) {
  return op.held[k] < 0 ? v : get_u(p, op.held[k]);
}
static double angle_read(const compiled_plan *p, const compiled_op &op, int k, double v) {
  return op.held[k] < 0 ? v : get_a(p, op.held[k]);
}

// --- deductions ---

// A product of unit slots: in[0..3] the factors (in[5] of them),
// pool[in[4]] the constant factor (cos, sin) and then per factor +1 or -1,
// the sign of its sine (-1: its conjugate).  Where op.branch names a record,
// the constant is that one on the record's branch +1 and the pair after the
// signs on the other (a figure of constant inputs folded in).  The factors
// are taken in their order, as the product was formed.  Returns the product.
static INLINE_IN_RUN unit2 product_value(const compiled_plan *p, const compiled_op &op) {
  const double *c = p->pool + op.in[4];
  const int n = op.in[5];
  auto factor = [&](int k) {
    const unit2 f = get_u(p, op.in[k]);
    return unit2{f.c, f.s * c[2 + k]};
  };
  const double *constant = op.branch && p->choice[op.branch] != 1 ? c + 2 + n : c;
  unit2 v = {constant[0], constant[1]};
  if (n > 0) v = mul(v, factor(0));
  if (n > 1) v = mul(v, factor(1));
  if (n > 2) v = mul(v, factor(2));
  if (n > 3) v = mul(v, factor(3));
  return v;
}

static void run_product(compiled_plan *p, const compiled_op &op) { put_u(p, op.out[0], product_value(p, op)); }

// World units, and radians for the drive's angle: the magnitude within
// which every value the program starts from, the drive value and every
// joint it places must stay.  The replay fails a step where a deduction
// would overflow, and some of its deductions are not in the program; below
// this bound none can: a figure multiplies its inputs' size by at most some
// 1e6 (its near-degenerate tests), so twenty such figures in a row still
// leave a joint below 1e180 and the square of a difference of two joints
// below 1e308.  Beyond it (no mechanism comes near) the replay decides.
static const double value_bound = 1e60;

// 1 when |v| <= value_bound (NaN is not).
static int bounded(double v) { return std::fabs(v) <= value_bound; }

// The drive values the program takes: radians for a drive by an angle,
// and this many times the mechanism's size for a drive by a length.  The
// replay adds a drive angle to others, and the sum keeps it to the unit in
// its last place: 1.5e-11 rad at 1e5 rad, 1.2e-4 rad at 1e12, where the
// replay's joints have moved off the exact ones (the program's, which turns
// by cos and sin of the value itself) by far more than the promised 1e-9
// of the size.  A length of 1e5 sizes likewise keeps the joints' rounding
// within the promise.  Beyond (no motion goes there: the window keeps its
// angle within a turn) the replay decides.
static const double drive_span = 1e5;

// A placement J[k] = J[j] + l[j][k] d (code 10) of joint `to` from joint
// `from` along the length at slot `length`.  Returns 1 where the joint
// leaves value_bound (or is not finite), else 0.
static int place_joint(compiled_plan *p, int from, int length, int to, unit2 d) {
  const point j = p->J[from];
  const double len = get_l(p, length);
  const point k = {j.x + len * d.c, j.y + len * d.s};
  p->J[to] = k;
  return !(bounded(k.x) && bounded(k.y));
}

// The drive's operation: its value tt (radians or world units) into the
// slots it drives.
static INLINE_IN_RUN void run_drive(compiled_plan *p, const compiled_op &op, double tt) {
  const short *out = op.out;
  switch (op.code) {
    case op_drive_angle:  // th[id][jd][kd] = tt, th[kd][jd][id] = -tt
      put_pair(p, out, unit_of(tt));
      if (op.shadow) put_pair_angle(p, out, tt);
      return;
    case op_drive_direction: {  // ath[id][jd] = tt, ath[jd][id] = tt - pi
      const unit2 v = unit_of(tt);
      put_u(p, out[0], v);
      if (out[1] >= 0) put_u(p, out[1], mulc(v, e_pi));
      if (op.shadow) put_a(p, out[0], tt), put_a(p, out[1], tt - pi);
      return;
    }
    case op_drive_length:  // l[id][jd] = tt
      put_l(p, out[0], tt);
      return;
    default:
      return;
  }
}

// Code 11: l[j][k] = |J[k] - J[j]|, ath[j][k] its direction, ath[k][j] =
// pi + ath[j][k].  0 when the joints are closer than p->defer_length: the
// program cannot promise the replay's direction.
static INLINE_IN_RUN int run_measure(compiled_plan *p, const compiled_op &op) {
  const short *in = op.in, *out = op.out;
  const point j = p->J[in[0]], k = p->J[in[1]];
  const double dx = k.x - j.x, dy = k.y - j.y;
  const double len = std::sqrt(dx * dx + dy * dy);
  if (len < p->defer_length) return 0;
  put_l(p, out[0], len);
  const double inverse = 1.0 / len;
  const unit2 d = len == 0.0 ? unit_of(std::atan2(dy, dx)) : unit2{dx * inverse, dy * inverse};
  put_u(p, out[1], d);
  if (out[2] >= 0) put_u(p, out[2], mul(e_pi, d));
  if (op.shadow) {
    const double dir = std::atan2(dy, dx);
    put_a(p, out[1], dir);
    put_a(p, out[2], pi + dir);
  }
  return 1;
}

// Record codes 101..103, 1..8, 10, 11 and the drive.  The angles are
// carried (op.shadow) with the replay's own arithmetic.
// 0 when a code-11 record measures a direction between two joints closer
// than p->defer_length: the program cannot promise the replay's direction.
static int run_deduction(compiled_plan *p, const compiled_op &op, double tt) {
  const short *in = op.in, *out = op.out;
  switch (op.code) {
    case op_drive_angle:
    case op_drive_direction:
    case op_drive_length:
      run_drive(p, op, tt);
      return 1;
    case op_product:
      run_product(p, op);
      return 1;
    case 101:  // four angles of pi
      for (int k = 0; k < 4; k++) put_u(p, out[k], e_pi), put_a(p, out[k], pi);
      return 1;
    case 102:    // ath[j][k] = ath[j][l], ath[k][j] = ath[l][j]
    case 103: {  // th[k][j][q] = th[l][j][q], th[q][j][k] = th[q][j][l]
      put_u(p, out[0], get_u(p, in[0]));
      put_u(p, out[1], get_u(p, in[1]));
      if (op.shadow) put_a(p, out[0], get_a(p, in[0])), put_a(p, out[1], get_a(p, in[1]));
      return 1;
    }
    case 1:  // th[l][j][k] = 2 pi - (th[j][k][l] + th[k][l][j])
      put_pair(p, out, mul(e_2pi, conj(mul(get_u(p, in[0]), get_u(p, in[1])))));
      if (op.shadow) put_pair_angle(p, out, 2.0 * pi - (get_a(p, in[0]) + get_a(p, in[1])));
      return 1;
    case 2:  // th[l][k][q] = th[j][k][q] - th[j][k][l] + pi
      put_pair(p, out, mul(mulc(get_u(p, in[0]), get_u(p, in[1])), e_pi));
      if (op.shadow) put_pair_angle(p, out, get_a(p, in[0]) - get_a(p, in[1]) + pi);
      return 1;
    case 3:  // th[j][k][q] = th[j][k][l] + th[l][k][q] - pi
      put_pair(p, out, mulc(mul(get_u(p, in[0]), get_u(p, in[1])), e_pi));
      if (op.shadow) put_pair_angle(p, out, get_a(p, in[0]) + get_a(p, in[1]) - pi);
      return 1;
    case 4:  // th[q][j][k] = 2 pi - (th[j][k][l] + th[k][l][q] + th[l][q][j])
      put_pair(p, out, mul(e_2pi, conj(mul(mul(get_u(p, in[0]), get_u(p, in[1])), get_u(p, in[2])))));
      if (op.shadow)
        put_pair_angle(p, out, 2.0 * pi - (get_a(p, in[0]) + get_a(p, in[1]) + get_a(p, in[2])));
      return 1;
    case 5:  // th[j][k][l] = ath[k][l] - ath[j][k]
      put_pair(p, out, mulc(get_u(p, in[0]), get_u(p, in[1])));
      if (op.shadow) put_pair_angle(p, out, get_a(p, in[0]) - get_a(p, in[1]));
      return 1;
    case 6:  // th[l][j][k] = pi - (ath[j][l] - ath[j][k])
      put_pair(p, out, mul(e_pi, mulc(get_u(p, in[1]), get_u(p, in[0]))));
      if (op.shadow) put_pair_angle(p, out, pi - (get_a(p, in[0]) - get_a(p, in[1])));
      return 1;
    case 7:    // ath[k][l] = ath[j][k] + th[j][k][l], ath[l][k] = pi + ath[k][l]
    case 8: {  // ath[j][l] = ath[j][k] + th[k][j][l] - pi, ath[l][j] = pi + ath[j][l]
      unit2 v = mul(get_u(p, in[0]), get_u(p, in[1]));
      if (op.code == 8) v = mulc(v, e_pi);
      put_u(p, out[0], v);
      put_u(p, out[1], mul(e_pi, v));
      if (op.shadow) {
        double a = get_a(p, in[0]) + get_a(p, in[1]);
        if (op.code == 8) a = a - pi;
        put_a(p, out[0], a);
        put_a(p, out[1], pi + a);
      }
      return 1;
    }
    case 10:  // J[k] = J[j] + l[j][k] e(ath[j][k]), at compile time (the run places its own)
      place_joint(p, in[0], in[1], out[0], get_u(p, in[2]));
      return 1;
    case 11:
      return run_measure(p, op);
    default:
      return 1;
  }
}

// --- figures ---
//
// Each returns what its primitive returns in solving mode; outputs are
// written only when every value is finite, as the primitive undoes a figure
// with a non-finite value.

// Code 31: in l_ab, l_bc, th[a][b][c]; out l_ac, th[c][a][b] (+rev), th[b][c][a] (+rev).
static int run_tri_sas(compiled_plan *p, const compiled_op &op) {
  const double l_ab = get_l(p, op.in[0]), l_bc = get_l(p, op.in[1]);
  const unit2 t = get_u(p, op.in[2]);
  // a at the origin, a->b along +x: c = (x, y); its direction from a is d.
  const double x = l_ab + l_bc * t.c, y = l_bc * t.s;
  const double l_ac = std::sqrt(x * x + y * y);
  if (l_ac < p->defer_length) return -1;
  const unit2 d = direction_of(x, y);
  const unit2 cab = mul(e_pi, conj(d)), bca = mul(e_pi, mulc(d, t));  // pi - d, pi - (t - d)
  const double v[5] = {l_ac, cab.c, cab.s, bca.c, bca.s};
  if (!all_finite(v, 5)) return 0;
  if (op.holds && !(keeps_length(p, op, 0, l_ac) && keeps_turn(p, op, 1, cab) && keeps_turn(p, op, 3, bca)))
    return 0;
  put_l(p, op.out[0], l_ac);
  put_pair(p, op.out + 1, cab);
  put_pair(p, op.out + 3, bca);
  if (op.shadow) {
    const double ta = get_a(p, op.in[2]);
    const double dir_ac = std::atan2(l_bc * std::sin(ta), l_ab + l_bc * std::cos(ta));
    put_pair_angle(p, op.out + 1, pi - dir_ac);
    put_pair_angle(p, op.out + 3, pi - (ta - dir_ac));
  }
  return 1;
}

// |sin g| below this: the lines from a and b are parallel (as tri_asa).
static const double parallel_sine = 1e-6;

// Code 32: in l_ab, th[a][b][c], th[c][a][b]; out l_ac, l_bc, th[b][c][a] (+rev).
static int run_tri_asa(compiled_plan *p, const compiled_op &op) {
  const double l_ab = get_l(p, op.in[0]);
  const unit2 t = get_u(p, op.in[1]);
  const unit2 corner_a = mul(e_pi, conj(get_u(p, op.in[2])));  // pi - th[c][a][b]
  const unit2 g = mulc(t, corner_a);                            // corner at c
  const unit2 bca = mul(e_pi, conj(g));                          // pi - g
  // The tested quantity is the replay's, from its angles: the sine of the
  // corner at c.
  const double ga = get_a(p, op.in[1]) - (pi - get_a(p, op.in[2]));  // as t - corner_a
  if (std::fabs(std::sin(ga)) < parallel_sine) {
    // Parallel: only the angle at c, written as th[a][c][b] = pi - g.
    if (op.holds && !keeps_turn(p, op, 4, bca)) return 0;
    const short swapped[2] = {op.out[4], op.out[3]};
    put_pair(p, swapped, bca);
    if (op.shadow) put_pair_angle(p, swapped, pi - ga);
    return 2;
  }
  // Law of sines: L_ac / sin t = L_bc / sin A = L_ab / sin g, on the
  // replay's angles: near parallel lines the lengths grow as 1 / sin g, and
  // a sine of the vectors, a rounding away, would move them by its share.
  const double t_a = get_a(p, op.in[1]), corner_a_a = pi - get_a(p, op.in[2]);
  const double sin_g = std::sin(t_a - corner_a_a);
  const double l_ac = l_ab * std::sin(t_a) / sin_g, l_bc = l_ab * std::sin(corner_a_a) / sin_g;
  const double v[2] = {l_ac, l_bc};
  if (!all_finite(v, 2)) return 0;
  if (op.holds && !(keeps_length(p, op, 0, l_ac) && keeps_length(p, op, 1, l_bc) && keeps_turn(p, op, 3, bca)))
    return 0;
  put_l(p, op.out[0], l_ac);
  put_l(p, op.out[1], l_bc);
  put_pair(p, op.out + 3, bca);
  if (op.shadow) put_pair_angle(p, op.out + 3, pi - ga);
  return 1;
}

// Code 33: in l_ab, l_bc, th[c][a][b]; out l_ac, th[a][b][c] (+rev), th[b][c][a] (+rev).
static int run_tri_ssa(compiled_plan *p, const compiled_op &op, int choice) {
  const double l_ab = get_l(p, op.in[0]), l_bc = get_l(p, op.in[1]);
  const unit2 corner_a = mul(e_pi, conj(get_u(p, op.in[2])));  // pi - th[c][a][b]
  if (l_bc == 0.0) return 0;
  // Law of sines: sin(corner at c) = L_ab sin A / L_bc, the replay's tested
  // quantity from its angle (|s| = 1 exactly at a tangent, which a motion
  // reaches at its dead point).
  const double s = l_ab * std::sin(pi - get_a(p, op.in[2])) / l_bc;
  if (!(std::fabs(s) <= 1.0)) return 0;
  double k = std::sqrt(1.0 - s * s);
  if (choice != 1) k = -k;
  const unit2 g = {k, s};
  const double l_ac = l_ab * corner_a.c + l_bc * k;
  const unit2 abc = mul(corner_a, g), bca = mul(e_pi, conj(g));
  const double v[5] = {l_ac, abc.c, abc.s, bca.c, bca.s};
  if (!all_finite(v, 5)) return 0;
  if (op.holds && !(keeps_length(p, op, 0, l_ac) && keeps_turn(p, op, 1, abc) && keeps_turn(p, op, 3, bca)))
    return 0;
  put_l(p, op.out[0], l_ac);
  put_pair(p, op.out + 1, abc);
  put_pair(p, op.out + 3, bca);
  if (op.shadow) {
    const double ga = std::atan2(s, k), ca = pi - get_a(p, op.in[2]);
    put_pair_angle(p, op.out + 1, ca + ga);
    put_pair_angle(p, op.out + 3, pi - ga);
  }
  return 1;
}

// |u| within this of 1: a flat triangle (as tri_sss); sums within
// flat_sum world units name the joint between the other two.
static const double flat_cosine = 1e-6;
static const double flat_sum = 0.001;

// Code 34: in l_ab, l_bc, l_ac; out th[c][a][b], th[a][b][c], th[b][c][a], each (+rev).
static INLINE_IN_RUN int run_tri_sss(compiled_plan *p, const compiled_op &op, int choice) {
  const double l_ab = get_l(p, op.in[0]), l_bc = get_l(p, op.in[1]), l_ac = get_l(p, op.in[2]);
  // Law of cosines: u is the cosine of the turning angle at b, the replay's
  // tested quantity from the same lengths.
  const double u = (l_ac * l_ac - l_bc * l_bc - l_ab * l_ab) / (2.0 * l_ab * l_bc);
  if (!std::isfinite(u) || std::fabs(u) - 1.0 > flat_cosine) return 0;
  if (1.0 - std::fabs(u) >= flat_cosine) {
    if (std::fabs(l_ac) < p->defer_length) return -1;  // |(l_ab + l_bc u, l_bc s)| = l_ac
    double s = std::sqrt(1.0 - u * u);
    if (choice != 1) s = -s;
    const unit2 t = {u, s};
    // The corners at a and c need the direction of a->c; often only the
    // angle at b is read.
    const int corners = op.corners;
    unit2 cab = {1.0, 0.0}, bca = {1.0, 0.0};
    if (corners) {
      // |(l_ab + l_bc u, l_bc s)| = |l_ac| by the law of cosines (a length
      // may be signed).
      const double inverse = op.inverse >= 0 ? p->pool[op.inverse] : 1.0 / std::fabs(l_ac);
      const unit2 f = direction_along(l_ab + l_bc * u, l_bc * s, inverse);  // a->c from a->b
      if (corners & 1) cab = mul(e_pi, conj(f));      // pi - f
      if (corners & 2) bca = mul(e_pi, mulc(f, t));   // pi - (t - f)
    }
    if (op.holds && !(keeps_turn(p, op, 0, cab) && keeps_turn(p, op, 2, t) && keeps_turn(p, op, 4, bca)))
      return 0;
    if (op.out[2] >= 0 || op.out[3] >= 0) put_pair(p, op.out + 2, t);
    if (corners & 1) put_pair(p, op.out, cab);
    if (corners & 2) put_pair(p, op.out + 4, bca);
    if (op.shadow) {
      const double ta = std::atan2(s, u);
      const double fa = std::atan2(l_bc * std::sin(ta), l_ab + l_bc * std::cos(ta));
      put_pair_angle(p, op.out, pi - fa);
      put_pair_angle(p, op.out + 2, ta);
      put_pair_angle(p, op.out + 4, pi - (ta - fa));
    }
    return 1;
  }
  // On one line: the corner of the joint between the other two is pi, the
  // others 0; a later match overrides (as tri_sss).
  double corner_a = 0.0, corner_b = 0.0, corner_c = 0.0;
  int matched = 0;
  if (std::fabs(l_ab + l_bc - l_ac) < flat_sum) corner_b = pi, corner_a = corner_c = 0.0, matched = 1;
  if (std::fabs(l_bc + l_ac - l_ab) < flat_sum) corner_c = pi, corner_a = corner_b = 0.0, matched = 1;
  if (std::fabs(l_ac + l_ab - l_bc) < flat_sum) corner_a = pi, corner_b = corner_c = 0.0, matched = 1;
  if (!matched) {
    if (u > 0.0)
      corner_b = pi;
    else if (l_ab >= l_bc)
      corner_c = pi;
    else
      corner_a = pi;
  }
  // pi - corner: e(0) = (1, 0) for a corner of pi, e(pi) for a corner of 0.
  const unit2 one = {1.0, 0.0};
  const unit2 cab = corner_a == pi ? one : e_pi, abc = corner_b == pi ? one : e_pi;
  const unit2 bca = corner_c == pi ? one : e_pi;
  if (op.holds && !(keeps_turn(p, op, 0, cab) && keeps_turn(p, op, 2, abc) && keeps_turn(p, op, 4, bca)))
    return 0;
  put_pair(p, op.out, cab);
  put_pair(p, op.out + 2, abc);
  put_pair(p, op.out + 4, bca);
  if (op.shadow) {
    put_pair_angle(p, op.out, pi - corner_a);
    put_pair_angle(p, op.out + 2, pi - corner_b);
    put_pair_angle(p, op.out + 4, pi - corner_c);
  }
  return 1;
}

// |sin| of the angle between a-b and d-c below which code 44 leaves the
// solve to the replay: the program's angles differ from the replay's by
// rounding (some 1e-13 rad), which decides the sign of a smaller sine.
static const double parallel_sides = 1e-6;

// A direction exactly along a-d (0 or the system's pi), as quad_ss_aaa.
static int is_flat(double dir) { return dir == 0.0 || std::fabs(dir) == pi; }

// Code 44: in th[c][b][a], th[d][c][b], th[a][d][c], l_ad, l_bc (angles
// always carried); out in the order of the primitive's writes:
//   0,1 th[b][a][d]  2 l_ab  3 l_cd  4 l_ac  5,6 th[c][a][d]  7,8 th[d][c][a]
//   9 l_bd  10,11 th[a][d][b]  12,13 th[d][b][a]  14,15 th[b][a][c]
//   16,17 th[a][c][b]  18,19 th[b][d][c]  20,21 th[c][b][d]
static int run_quad_ss_aaa(compiled_plan *p, const compiled_op &op) {
  const short *out = op.out;
  const unit2 cba = get_u(p, op.in[0]), dcb = get_u(p, op.in[1]), adc = get_u(p, op.in[2]);
  const double l_ad = get_l(p, op.in[3]), l_bc = get_l(p, op.in[4]);
  // The replay's angles: the angle sum gives th[b][a][d]; the exact tests
  // are taken on them.  Where th[b][a][d] is a fact, the replay compares
  // the sum with it and goes on from the fact.
  const double x_a = get_a(p, op.in[0]), y_a = get_a(p, op.in[1]), z_a = get_a(p, op.in[2]);
  const unit2 bad_sum = mul(e_2pi, conj(mul(mul(cba, dcb), adc)));
  if (!keeps_turn(p, op, 0, bad_sum)) return 0;
  const unit2 bad = turn_read(p, op, 0, bad_sum);
  const double bad_a = angle_read(p, op, 0, 2.0 * pi - (x_a + y_a + z_a));
  const double dir_ab_a = pi - bad_a, dir_bc_a = dir_ab_a - x_a, dir_dc_a = z_a;
  if (is_flat(dir_ab_a) + is_flat(dir_bc_a) + is_flat(dir_dc_a) >= 2) return 0;
  const unit2 dir_ab = mul(e_pi, conj(bad)), dir_dc = adc;
  // x e(A) + L_bc e(B) = L_ad e(0) + y e(P), solved for x = L_ab, y = L_cd,
  // on the replay's angles: the sides grow as 1 / sin(P - A) where a-b and
  // d-c near parallel, and a determinant of the vectors would move them.
  const double den = std::sin(dir_dc_a - dir_ab_a);
  // Near parallel sides (the replay fails an exactly zero determinant) the
  // replay decides: its sides, a million times the others and more, take
  // their signs from the rounding of its angles, and so does every angle
  // placed from them that a held fact is compared with.
  if (std::fabs(den) < parallel_sides) return -1;
  const double x = (l_ad * std::sin(dir_dc_a) - l_bc * std::sin(dir_dc_a - dir_bc_a)) / den;
  const double y = (l_ad * std::sin(dir_ab_a) - l_bc * std::sin(dir_ab_a - dir_bc_a)) / den;
  const double l_ac = root_of_square(l_ad * l_ad + y * y + 2.0 * l_ad * y * dir_dc.c);
  const double l_bd = root_of_square(l_ad * l_ad + x * x - 2.0 * l_ad * x * dir_ab.c);
  // The angles at the diagonal a-c, and those at b-d, only where they are
  // read (op.corners bits 1 and 2); a diagonal's direction is that of a
  // vector of its length.
  const int at_ac = op.corners & 1, at_bd = op.corners & 2;
  if ((at_ac && l_ac < p->defer_length) || (at_bd && l_bd < p->defer_length)) return -1;
  const double v[4] = {x, y, l_ac, l_bd};
  if (!all_finite(v, 4)) return 0;
  // Each angle the replay sums from its table reads the fact where the
  // output before holds one (turn_read); the others from local values.
  const unit2 one = {1.0, 0.0};
  unit2 dir_ac = one, cad = one, dca = one, bac = one, acb = one;
  if (at_ac) {
    dir_ac = direction_of(l_ad + y * dir_dc.c, y * dir_dc.s);
    cad = turn_read(p, op, 5, mul(e_pi, conj(dir_ac)));         // pi - dir_ac
    dca = mul(e_2pi, conj(mul(cad, adc)));                      // 2 pi - (cad + adc)
    bac = turn_read(p, op, 14, mul(e_pi, mulc(dir_ac, dir_ab)));  // pi - (dir_ab - dir_ac)
    acb = mul(e_2pi, conj(mul(cba, bac)));                      // 2 pi - (cba + bac)
  }
  unit2 dir_db = one, adb = one, dba = one, bdc = one, cbd = one;
  if (at_bd) {
    dir_db = direction_of(x * dir_ab.c - l_ad, x * dir_ab.s);
    adb = turn_read(p, op, 10, dir_db);
    dba = mul(e_2pi, conj(mul(bad, adb)));                      // 2 pi - (bad + adb)
    bdc = turn_read(p, op, 18, mul(e_pi, mulc(dir_dc, dir_db)));  // pi - (dir_db - dir_dc)
    cbd = mul(e_2pi, conj(mul(bdc, dcb)));                      // 2 pi - (bdc + dcb)
  }
  if (op.holds) {
    const int kept = keeps_length(p, op, 2, x) && keeps_length(p, op, 3, y) && keeps_length(p, op, 4, l_ac) &&
                     keeps_turn(p, op, 5, mul(e_pi, conj(dir_ac))) && keeps_turn(p, op, 7, dca) &&
                     keeps_length(p, op, 9, l_bd) && keeps_turn(p, op, 10, dir_db) && keeps_turn(p, op, 12, dba) &&
                     keeps_turn(p, op, 14, mul(e_pi, mulc(dir_ac, dir_ab))) && keeps_turn(p, op, 16, acb) &&
                     keeps_turn(p, op, 18, mul(e_pi, mulc(dir_dc, dir_db))) && keeps_turn(p, op, 20, cbd);
    if (!kept) return 0;
  }
  put_pair(p, out, bad);
  put_pair_angle(p, out, bad_a);
  put_l(p, out[2], x);
  put_l(p, out[3], y);
  put_l(p, out[4], l_ac);
  put_l(p, out[9], l_bd);
  if (at_ac) {
    put_pair(p, out + 5, cad);
    put_pair(p, out + 7, dca);
    put_pair(p, out + 14, bac);
    put_pair(p, out + 16, acb);
  }
  if (at_bd) {
    put_pair(p, out + 10, adb);
    put_pair(p, out + 12, dba);
    put_pair(p, out + 18, bdc);
    put_pair(p, out + 20, cbd);
  }
  // The angles of the outputs where a later record reads them as angles.
  if (op.shadow && at_ac) {
    const double ac = std::atan2(y * std::sin(dir_dc_a), l_ad + y * std::cos(dir_dc_a));
    const double cad_a = angle_read(p, op, 5, pi - ac);
    const double bac_a = angle_read(p, op, 14, pi - (dir_ab_a - ac));
    put_pair_angle(p, out + 5, cad_a);
    put_pair_angle(p, out + 7, 2.0 * pi - (cad_a + z_a));
    put_pair_angle(p, out + 14, bac_a);
    put_pair_angle(p, out + 16, 2.0 * pi - (x_a + bac_a));
  }
  if (op.shadow && at_bd) {
    const double db = std::atan2(x * std::sin(dir_ab_a), x * std::cos(dir_ab_a) - l_ad);
    const double adb_a = angle_read(p, op, 10, db);
    const double bdc_a = angle_read(p, op, 18, pi - (db - dir_dc_a));
    put_pair_angle(p, out + 10, adb_a);
    put_pair_angle(p, out + 12, 2.0 * pi - (bad_a + adb_a));
    put_pair_angle(p, out + 18, bdc_a);
    put_pair_angle(p, out + 20, 2.0 * pi - (bdc_a + y_a));
  }
  return 1;
}

// A figure of constant inputs: in[0], in[1] the pool offsets of its
// outputs on branch +1 and on the other, in[2], in[3] the primitive's
// results there.
static INLINE_IN_RUN int run_constant_figure(compiled_plan *p, const compiled_op &op) {
  const int plus = p->choice[op.record] == 1;
  const int result = plus ? op.in[2] : op.in[3];
  if (result <= 0) return result;
  // The pool holds the count of outputs, then per output its slot and value.
  const double *v = p->pool + (plus ? op.in[0] : op.in[1]);
  const int count = static_cast<int>(*v++);
  for (int k = 0; k < count; k++) {
    const int s = static_cast<int>(*v++);
    if (s < unit_base) {
      put_l(p, s, *v++);
      continue;
    }
    p->u[s - unit_base] = unit2{v[0], v[1]};
    p->angle[s - unit_base] = v[2];
    v += 3;
  }
  return result;
}

static int run_figure(compiled_plan *p, const compiled_op &op) {
  const int choice = p->choice[op.record];
  switch (op.code) {
    case op_constant_figure: return run_constant_figure(p, op);
    case 31: return run_tri_sas(p, op);
    case 32: return run_tri_asa(p, op);
    case 33: return run_tri_ssa(p, op, choice);
    case 34: return run_tri_sss(p, op, choice);
    case 44: return run_quad_ss_aaa(p, op);
    default: return 0;
  }
}

// --- the run ---

// A direction measured on a vector shorter than this share of the
// mechanism's size is not promised.  The program's joints differ from the
// replay's by rounding, some 1e-13 of the size; a direction taken on a
// vector of length d then differs by 1e-13 size / d radians, and the joints
// placed along it by that times the size.  At d = 1e-3 size that is 1e-10
// of the size, ten times inside the promise of 1e-9; below, as where two
// joints of a folded rhombus coincide and the direction is rounding noise
// in the replay itself, the replay decides.
static const double defer_share = 1e-3;

// Finds whether the joints the run does not write are within value_bound.
static void note_unmoved_bounded(compiled_plan *p) {
  char moved[joint_slots] = {0};
  for (int m = 0; m < p->moved_count; m++) moved[p->moved[m]] = 1;
  p->unmoved_bounded = 1;
  for (int i = 1; i <= p->n; i++)
    if (!moved[i] && !(bounded(p->J[i].x) && bounded(p->J[i].y))) p->unmoved_bounded = 0;
}

int run_compiled_plan(compiled_plan *p, double tt) {
  p->broken = 0;
  if (!p->valid || !std::isfinite(tt)) return 0;
  if (!(std::fabs(tt) <= p->drive_bound) || !p->unmoved_bounded) return -1;
  // A carried direction starts from its angle, as the replay's cos and sin
  // of the table value: a vector fed back from solve to solve would drift
  // off the angle that the next solve's tests read.
  for (int c = 0; c < p->carried_count; c++) {
    const int s = p->carried[c].slot;
    if (s >= unit_base) p->u[s - unit_base] = unit_of(p->angle[s - unit_base]);
  }
  int result = 1;
  for (const compiled_op *next = p->ops, *end = p->ops + p->op_count; next < end; next++) {
    const compiled_op &op = *next;
    int got;
    switch (op.code) {
      case 10:  // J[k] = J[j] + l[j][k] e(ath[j][k]): the commonest, without a call
        if (place_joint(p, op.in[0], op.in[1], op.out[0], get_u(p, op.in[2]))) return -1;
        continue;
      case op_product: {
        const unit2 v = product_value(p, op);
        put_u(p, op.out[0], v);
        if (op.place[2] >= 0 && place_joint(p, op.place[0], op.place[1], op.place[2], v)) return -1;
        continue;
      }
      case op_drive_direction:
        run_drive(p, op, tt);
        if (op.place[2] >= 0 && place_joint(p, op.place[0], op.place[1], op.place[2], get_u(p, op.out[0])))
          return -1;
        continue;
      case op_drive_angle:
      case op_drive_length: run_drive(p, op, tt); continue;
      case 11:
        if (!run_measure(p, op)) return -1;
        continue;
      case op_constant_figure: got = run_constant_figure(p, op); break;
      case 31: got = run_tri_sas(p, op); break;
      case 32: got = run_tri_asa(p, op); break;
      case 33: got = run_tri_ssa(p, op, p->choice[op.record]); break;
      case 34: got = run_tri_sss(p, op, p->choice[op.record]); break;
      case 44: got = run_quad_ss_aaa(p, op); break;
      default:
        if (!run_deduction(p, op, tt)) return -1;
        continue;
    }
    if (got < 0) return -1;
    if (got == 0) {
      if (p->nochoice == 1 && has_branches(record_code(op))) p->choice[op.record] = -p->choice[op.record];
      return 0;
    }
    result = got;
  }
  // The posture must keep the file's facts, as the replay's does; under the
  // branch rule the last two-branch step turns over.
  if (p->check_facts) {
    // A length that fails sends the check to the ordered scan, which names
    // the first broken fact of the list.
    const posture_check &c = p->check;
    int broken = 0;
    if (!posture_lengths_hold(c, p->J))
      broken = run_posture_check(c, p->J);
    else if (c.other_count)
      broken = other_broken(c, p->J);
    if (broken) {
      p->broken = broken;
      const int r = p->last_branch;
      if (p->nochoice == 1 && r > 0) p->choice[r] = -p->choice[r];
      return 0;
    }
  }
  return result;
}

// --- translation ---

// Slots of the record being translated, and what the pruning needs.
struct translation {
  short ath_slot[joint_slots][joint_slots];
  short th_slot[joint_slots][joint_slots][joint_slots];
  int failed;  // a limit was reached
};

static translation tr;  // the translation's scratch tables (the compile runs on one thread)

static int valid_joint(int i) { return i >= 1 && i < joint_slots; }

static int given(char flag) { return flag == 'Y'; }

static int length_slot(int i, int j) {
  if (!valid_joint(i) || !valid_joint(j) || i == j) {
    tr.failed = 1;
    return -1;
  }
  const int a = i < j ? i : j, b = i < j ? j : i;
  return length_base + a * joint_slots + b;
}

// A new unit slot starting from value v (radians) of the tables.
static int new_unit(compiled_plan *p, double v) {
  if (p->unit_count >= compiled_units_max) {
    tr.failed = 1;
    return -1;
  }
  const int s = p->unit_count++;
  p->u[s] = unit_of(v);
  p->angle[s] = v;
  return unit_base + s;
}

static int ath_slot(compiled_plan *p, int i, int j) {
  if (!valid_joint(i) || !valid_joint(j)) return tr.failed = 1, -1;
  short &s = tr.ath_slot[i][j];
  if (s < 0) s = static_cast<short>(new_unit(p, mech.ath[i][j]));
  return s;
}

static int th_slot(compiled_plan *p, int i, int j, int k) {
  if (!valid_joint(i) || !valid_joint(j) || !valid_joint(k)) return tr.failed = 1, -1;
  short &s = tr.th_slot[i][j][k];
  if (s < 0) s = static_cast<short>(new_unit(p, mech.th[i][j][k]));
  return s;
}

static int point_slot(int i) {
  if (!valid_joint(i)) return tr.failed = 1, -1;
  return i;
}

// Written slots that hold a given fact are left alone: -1.
static short out_length(int i, int j) {
  const int s = length_slot(i, j);
  return s >= 0 && !given(mech.l_known[i][j]) ? static_cast<short>(s) : -1;
}
static short out_ath(compiled_plan *p, int i, int j) {
  const int s = ath_slot(p, i, j);
  return s >= 0 && !given(mech.ath_known[i][j]) ? static_cast<short>(s) : -1;
}
static short out_th(compiled_plan *p, int i, int j, int k) {
  const int s = th_slot(p, i, j, k);
  return s >= 0 && !given(mech.th_known[i][j][k]) ? static_cast<short>(s) : -1;
}
static short out_point(int i) {
  const int s = point_slot(i);
  return s >= 0 && !given(mech.J_known[i]) ? static_cast<short>(s) : -1;
}

static void set_unused(compiled_op *op) {
  for (short &s : op->in) s = -1;
  for (short &s : op->out) s = -1;
  for (short &s : op->held) s = -1;
  op->holds = 0;
  op->corners = 0;
  op->inverse = -1;
  op->branch = 0;
  for (short &s : op->place) s = -1;
}

// A fact: given by the file or derived by the pre-analysis.
static int is_fact(char flag) { return flag == 'Y' || flag == 'W'; }

// Output k of a figure: the length l[i][j], written, or held where it is
// a fact.
static void figure_length(compiled_op *op, int k, int i, int j) {
  const int s = length_slot(i, j);
  if (s < 0) return;
  if (!is_fact(mech.l_known[i][j])) {
    op->out[k] = static_cast<short>(s);
    return;
  }
  op->held[k] = static_cast<short>(s);
  op->holds++;
}

// Outputs k and k + 1 of a figure: th[i][j][q] and its reverse, written,
// or held where they are a fact.  The reader and the planners mark both
// cells of a pair alike; a pair marked otherwise is left to the replay
// (which tests the first cell only).
static void figure_turn(compiled_plan *p, compiled_op *op, int k, int i, int j, int q) {
  const int s = th_slot(p, i, j, q), r = th_slot(p, q, j, i);
  if (s < 0 || r < 0) return;
  const int fact = is_fact(mech.th_known[i][j][q]);
  if (fact != is_fact(mech.th_known[q][j][i])) {
    tr.failed = 1;
    return;
  }
  short *to = fact ? op->held : op->out;
  to[k] = static_cast<short>(s), to[k + 1] = static_cast<short>(r);
  if (fact) op->holds += 2;
}

// The operation of record r (code, joints a..d): its reads and writes.
// 0 when the code is one the program does not take.
static int translate_record(compiled_plan *p, int r, compiled_op *op) {
  const int *rec = mech.junjo[r];
  const int code = rec[jj_code], a = rec[jj_a], b = rec[jj_b], c = rec[jj_c], d = rec[jj_d];
  set_unused(op);
  op->code = static_cast<short>(code);
  op->record = static_cast<short>(r);
  op->shadow = 0;
  short *in = op->in, *out = op->out;
  switch (code) {
    case 101:
      out[0] = out_th(p, b, a, c), out[1] = out_th(p, c, a, b);
      out[2] = out_th(p, a, c, b), out[3] = out_th(p, b, c, a);
      return 1;
    case 102:
      in[0] = ath_slot(p, a, c), in[1] = ath_slot(p, c, a);
      out[0] = out_ath(p, a, b), out[1] = out_ath(p, b, a);
      return 1;
    case 103:  // j, k, l, q = a, b, c, d
      in[0] = th_slot(p, c, a, d), in[1] = th_slot(p, d, a, c);
      out[0] = out_th(p, b, a, d), out[1] = out_th(p, d, a, b);
      return 1;
    case 1:  // j, k, l
      in[0] = th_slot(p, a, b, c), in[1] = th_slot(p, b, c, a);
      out[0] = out_th(p, c, a, b), out[1] = out_th(p, b, a, c);
      return 1;
    case 2:  // j, k, l, q
      in[0] = th_slot(p, a, b, d), in[1] = th_slot(p, a, b, c);
      out[0] = out_th(p, c, b, d), out[1] = out_th(p, d, b, c);
      return 1;
    case 3:
      in[0] = th_slot(p, a, b, c), in[1] = th_slot(p, c, b, d);
      out[0] = out_th(p, a, b, d), out[1] = out_th(p, d, b, a);
      return 1;
    case 4:
      in[0] = th_slot(p, a, b, c), in[1] = th_slot(p, b, c, d), in[2] = th_slot(p, c, d, a);
      out[0] = out_th(p, d, a, b), out[1] = out_th(p, b, a, d);
      return 1;
    case 5:  // j, k, l
      in[0] = ath_slot(p, b, c), in[1] = ath_slot(p, a, b);
      out[0] = out_th(p, a, b, c), out[1] = out_th(p, c, b, a);
      return 1;
    case 6:
      in[0] = ath_slot(p, a, c), in[1] = ath_slot(p, a, b);
      out[0] = out_th(p, c, a, b), out[1] = out_th(p, b, a, c);
      return 1;
    case 7:
      in[0] = ath_slot(p, a, b), in[1] = th_slot(p, a, b, c);
      out[0] = out_ath(p, b, c), out[1] = out_ath(p, c, b);
      return 1;
    case 8:
      in[0] = ath_slot(p, a, b), in[1] = th_slot(p, b, a, c);
      out[0] = out_ath(p, a, c), out[1] = out_ath(p, c, a);
      return 1;
    case 10:
      in[0] = point_slot(a), in[1] = length_slot(a, b), in[2] = ath_slot(p, a, b);
      out[0] = out_point(b);
      return 1;
    case 11:
      in[0] = point_slot(a), in[1] = point_slot(b);
      out[0] = out_length(a, b), out[1] = out_ath(p, a, b), out[2] = out_ath(p, b, a);
      return 1;
    case 31:
      in[0] = length_slot(a, b), in[1] = length_slot(b, c), in[2] = th_slot(p, a, b, c);
      figure_length(op, 0, a, c);
      figure_turn(p, op, 1, c, a, b);
      figure_turn(p, op, 3, b, c, a);
      return 1;
    case 32:
      in[0] = length_slot(a, b), in[1] = th_slot(p, a, b, c), in[2] = th_slot(p, c, a, b);
      figure_length(op, 0, a, c), figure_length(op, 1, b, c);
      figure_turn(p, op, 3, b, c, a);
      return 1;
    case 33:
      in[0] = length_slot(a, b), in[1] = length_slot(b, c), in[2] = th_slot(p, c, a, b);
      figure_length(op, 0, a, c);
      figure_turn(p, op, 1, a, b, c);
      figure_turn(p, op, 3, b, c, a);
      return 1;
    case 34:
      in[0] = length_slot(a, b), in[1] = length_slot(b, c), in[2] = length_slot(a, c);
      figure_turn(p, op, 0, c, a, b);
      figure_turn(p, op, 2, a, b, c);
      figure_turn(p, op, 4, b, c, a);
      return 1;
    case 44:
      in[0] = th_slot(p, c, b, a), in[1] = th_slot(p, d, c, b), in[2] = th_slot(p, a, d, c);
      in[3] = length_slot(a, d), in[4] = length_slot(b, c);
      figure_turn(p, op, 0, b, a, d);
      figure_length(op, 2, a, b), figure_length(op, 3, c, d), figure_length(op, 4, a, c);
      figure_turn(p, op, 5, c, a, d);
      figure_turn(p, op, 7, d, c, a);
      figure_length(op, 9, b, d);
      figure_turn(p, op, 10, a, d, b);
      figure_turn(p, op, 12, d, b, a);
      figure_turn(p, op, 14, b, a, c);
      figure_turn(p, op, 16, a, c, b);
      figure_turn(p, op, 18, b, d, c);
      figure_turn(p, op, 20, c, b, d);
      return 1;
    default:
      return 0;  // 41, 42 and unknown codes: the replay solves these plans
  }
}

// The drive's operation (record 0).
static void translate_drive(compiled_plan *p, compiled_op *op) {
  const mechanism &m = mech;
  set_unused(op);
  op->record = 0;
  op->shadow = 0;
  switch (m.rs) {
    case 'A':
      op->code = op_drive_angle;
      op->out[0] = static_cast<short>(th_slot(p, m.id, m.jd, m.kd));
      op->out[1] = static_cast<short>(th_slot(p, m.kd, m.jd, m.id));
      break;
    case 'B':
      op->code = op_drive_direction;
      op->out[0] = static_cast<short>(ath_slot(p, m.id, m.jd));
      op->out[1] = static_cast<short>(ath_slot(p, m.jd, m.id));
      break;
    case 'L':
      op->code = op_drive_length;
      op->out[0] = static_cast<short>(length_slot(m.id, m.jd));
      break;
    default:
      op->code = op_drive_length;  // drives nothing: writes no slot
      break;
  }
}

// Which slots the kept operations need: a value (1), its angle too (2).
static unsigned char need[slot_count];

// The table cell of a slot, from the translation's maps.
static carried_cell cell_of(int s) {
  carried_cell c = {static_cast<short>(s), 0, 0, 0, 0};
  if (s < length_base) {
    c.kind = 'J', c.i = static_cast<short>(s);
    return c;
  }
  if (s < unit_base) {
    const int pair = s - length_base;
    c.kind = 'l', c.i = static_cast<short>(pair / joint_slots), c.j = static_cast<short>(pair % joint_slots);
    return c;
  }
  for (int i = 1; i < joint_slots; i++)
    for (int j = 1; j < joint_slots; j++) {
      if (tr.ath_slot[i][j] == s) {
        c.kind = 'a', c.i = static_cast<short>(i), c.j = static_cast<short>(j);
        return c;
      }
      for (int k = 1; k < joint_slots; k++)
        if (tr.th_slot[i][j][k] == s) {
          c.kind = 't', c.i = static_cast<short>(i), c.j = static_cast<short>(j), c.k = static_cast<short>(k);
          return c;
        }
    }
  return c;
}

// Slots the replay reads before any record writes them while a later
// record does: each solve reads what the previous one left there (the
// angles of such a cycle grow by whole turns from solve to solve, and the
// exact tests of code 44 see them so).  They are listed in p->carried and
// their last writers are kept.  0 when the list is full.
static int find_carried(compiled_plan *p, const compiled_op *ops, int count) {
  static unsigned char read_first[slot_count], written[slot_count];
  memset(read_first, 0, sizeof read_first);
  memset(written, 0, sizeof written);
  for (int o = 0; o < count; o++) {
    for (short s : ops[o].in)
      if (s >= 0 && !written[s]) read_first[s] = 1;
    for (short s : ops[o].held)  // a held fact is read
      if (s >= 0 && !written[s]) read_first[s] = 1;
    for (short s : ops[o].out)
      if (s >= 0) written[s] = 1;
  }
  p->carried_count = 0;
  for (int s = 0; s < slot_count; s++) {
    if (!read_first[s] || !written[s]) continue;
    if (p->carried_count >= compiled_carried_max) return 0;
    p->carried[p->carried_count++] = cell_of(s);
  }
  return 1;
}

// Backward over the operations: an operation is kept when it is a figure
// (its acceptance test and its comparisons with held facts decide the
// solve) or writes a slot needed later; outputs nobody reads are not
// written, and every held fact is computed and compared.  The joints and the slider guides'
// directions are needed at the end.
static void prune(compiled_plan *p, compiled_op *ops, int count, int keep[]) {
  memset(need, 0, sizeof need);
  for (int i = 1; i <= p->n; i++) need[i] = 1;
  for (int c = 0; c < p->carried_count; c++) need[p->carried[c].slot] = 3;
  for (int s = 1; s <= mech.slider_count && s < joint_slots; s++)
    if (p->slider_unit[s] >= 0) need[p->slider_unit[s]] = 3;
  for (int o = count - 1; o >= 0; o--) {
    compiled_op &op = ops[o];
    int wanted = is_figure(op.code) ? 1 : 0, angles = 0;
    for (short &s : op.out) {
      if (s < 0) continue;
      if (need[s]) wanted = 1;
      if (need[s] & 2) angles = 1;
      if (!need[s]) s = -1;  // nobody reads it before it is written again
      else need[s] = 0;
    }
    keep[o] = wanted;
    if (!wanted) continue;
    // The angles of its outputs, where a later record reads them.
    op.shadow = static_cast<short>(angles);
    // Code 44 tests its angles exactly, and tri_asa and tri_ssa a sine of
    // theirs, which the motion meets exactly at a tangent: the angles are
    // carried up to them.
    const int tested_angles = op.code == 32 || op.code == 33 || op.code == 44;
    for (int k = 0; k < compiled_inputs_max; k++) {
      const short s = op.in[k];
      if (s < 0) continue;
      need[s] |= 1;
      if ((angles || tested_angles) && s >= unit_base) need[s] |= 2;
    }
    // A held fact is read by the figure's comparison; code 44 goes on from
    // its angle too.
    for (short s : op.held) {
      if (s < 0) continue;
      need[s] |= 1;
      if (op.code == 44 && s >= unit_base) need[s] |= 2;
    }
  }
}

// 1 when the value at slot s is within value_bound (a unit: its angle; its
// vector finite).
static int slot_bounded(const compiled_plan *p, int s) {
  if (s < length_base) return bounded(p->J[s].x) && bounded(p->J[s].y);
  if (s < unit_base) return bounded(get_l(p, s));
  return bounded(get_a(p, s)) && std::isfinite(get_u(p, s).c) && std::isfinite(get_u(p, s).s);
}

// 1 when every value a record of the plan reads before a record writes it
// is within value_bound, the records the program drops included: the
// replay computes those too, and must not overflow where the program does
// not look.
static int plan_inputs_bounded(const compiled_plan *p, const compiled_op *ops, int count) {
  static unsigned char written[slot_count];
  memset(written, 0, sizeof written);
  for (int o = 0; o < count; o++) {
    for (short s : ops[o].in)
      if (s >= 0 && !written[s] && !slot_bounded(p, s)) return 0;
    for (short s : ops[o].held)
      if (s >= 0 && !written[s] && !slot_bounded(p, s)) return 0;
    for (short s : ops[o].out)
      if (s >= 0) written[s] = 1;
  }
  return 1;
}

// The outputs of op (solved) into the pool; the offset, -1 when full.
static int pool_outputs(compiled_plan *p, const compiled_op &op) {
  const int start = p->pool_count;
  if (p->pool_count >= compiled_pool_max) return -1;
  p->pool[p->pool_count++] = 0.0;  // the count, below
  for (short s : op.out) {
    if (s < 0) continue;
    const int need_values = 1 + (s < unit_base ? 1 : 3);
    if (p->pool_count + need_values > compiled_pool_max) return -1;
    p->pool[start] += 1.0;
    p->pool[p->pool_count++] = s;
    double *v = p->pool + p->pool_count;
    if (s < unit_base) {
      v[0] = get_l(p, s);
    } else {
      v[0] = get_u(p, s).c, v[1] = get_u(p, s).s, v[2] = get_a(p, s);
    }
    p->pool_count += need_values - 1;
  }
  return start;
}

// Turns the figure op, whose inputs are constants, into the choice between
// its two solutions, computed here as the run computes them.  0 when the
// pool is full (op unchanged).
static int solve_constant_figure(compiled_plan *p, compiled_op *op) {
  compiled_op solved = *op;
  solved.shadow = 1;
  const int keep_choice = p->choice[op->record];
  const int pool_start = p->pool_count;
  int offset[2], result[2];
  for (int b = 0; b < 2; b++) {
    p->choice[op->record] = b == 0 ? 1 : -1;
    result[b] = run_figure(p, solved);
    offset[b] = result[b] > 0 ? pool_outputs(p, solved) : 0;
    if (offset[b] < 0) {
      p->pool_count = pool_start;
      p->choice[op->record] = keep_choice;
      return 0;
    }
  }
  p->choice[op->record] = keep_choice;
  const short code = op->code;
  for (short &s : op->in) s = -1;
  for (short &s : op->held) s = -1;  // compared here, for both branches
  op->holds = 0;
  op->code = op_constant_figure;
  op->in[0] = static_cast<short>(offset[0]), op->in[1] = static_cast<short>(offset[1]);
  op->in[2] = static_cast<short>(result[0]), op->in[3] = static_cast<short>(result[1]);
  op->in[4] = code;
  return 1;
}

// The joint an operation places (code 10, or a placement fused after a
// product or the drive), -1 none; the joint it starts from and the slot of
// the length it goes along.
static int placed_joint(const compiled_op &op) { return op.code == 10 ? op.out[0] : op.place[2]; }
static int placed_from(const compiled_op &op) { return op.code == 10 ? op.in[0] : op.place[0]; }
static int placed_along(const compiled_op &op) { return op.code == 10 ? op.in[1] : op.place[1]; }

// Facts that hold in every posture of the program: a fixed joint it never
// moves (checked once here), and a length from which a joint's last
// placement puts it along that same given link, its other end not moved
// after.  skip[f] is 1 for those.
static void facts_that_hold(const compiled_plan *p, const fact_list &facts, int *skip) {
  int last_writer[joint_slots];
  for (int i = 0; i < joint_slots; i++) last_writer[i] = -1;
  for (int o = 0; o < p->op_count; o++) {
    const int j = placed_joint(p->ops[o]);
    if (j >= 0) last_writer[j] = o;
  }
  for (int f = 0; f < facts.count; f++) {
    const fact &e = facts.facts[f];
    skip[f] = 0;
    if (e.kind == fact_fixed && valid_joint(e.i) && last_writer[e.i] < 0)
      skip[f] = std::hypot(p->J[e.i].x - e.at.x, p->J[e.i].y - e.at.y) <= fact_tolerance * facts.size;
    if (e.kind != fact_length || !valid_joint(e.i) || !valid_joint(e.j) || !(e.value >= 0.0)) continue;
    const int ends[2][2] = {{e.i, e.j}, {e.j, e.i}};
    for (const auto &end : ends) {
      const int from = end[0], to = end[1], w = last_writer[to];
      if (w < 0) continue;
      const compiled_op &op = p->ops[w];
      const int slot = length_slot(from, to);
      // |J[to] - J[from]| = |l| |e| with |e| = 1 to rounding, l the fact.
      if (placed_from(op) == from && placed_along(op) == slot && last_writer[from] < w &&
          get_l(p, slot) == e.value)
        skip[f] = 1;
    }
  }
}

// --- products of directions and angles ---
//
// Every deduction of angles (codes 1..8, 102, 103) writes e(sum of +-
// angles + k pi): a constant unit vector times a product of unit slots and
// their conjugates.  Kept as such a product, a chain of deductions costs
// one complex product per varying factor where it is read, instead of two
// per record.  Only slots with one writer take part, so that a factor
// holds the same value wherever the product is read.

static const int product_factors = 4;  // factors of one product; more: computed as it comes

struct product {
  int defined;     // 1: the slot's value is this product, not yet computed
  int emitted;     // 1: an operation computing it is in the program
  unit2 c;         // constant factor
  int n;
  short f[product_factors];
  signed char e[product_factors];  // +1 the factor, -1 its conjugate
};

static product products[compiled_units_max];

// The product a slot holds now: its own, a constant, or the slot itself.
static product product_of(const compiled_plan *p, int s, const unsigned char *varies) {
  const product &q = products[s - unit_base];
  if (q.defined) return q;
  product r = {0, 0, get_u(p, s), 0, {0, 0, 0, 0}, {0, 0, 0, 0}};
  if (varies[s]) r.c = unit2{1.0, 0.0}, r.n = 1, r.f[0] = static_cast<short>(s), r.e[0] = 1;
  return r;
}

// a times b^sign; 0 when more than product_factors factors remain.
static int multiply(product *a, const product &b, int sign) {
  a->c = mul(a->c, sign > 0 ? b.c : conj(b.c));
  for (int k = 0; k < b.n; k++) {
    const int e = b.e[k] * sign;
    int found = -1;
    for (int h = 0; h < a->n; h++)
      if (a->f[h] == b.f[k]) found = h;
    if (found >= 0 && a->e[found] == -e) {  // x conj(x) = 1 for a unit x
      a->f[found] = a->f[a->n - 1], a->e[found] = a->e[a->n - 1];
      a->n--;
      continue;
    }
    if (found >= 0 || a->n >= product_factors) return 0;
    a->f[a->n] = b.f[k], a->e[a->n] = static_cast<signed char>(e);
    a->n++;
  }
  return 1;
}

static void conjugate(product *a) {
  a->c = conj(a->c);
  for (int k = 0; k < a->n; k++) a->e[k] = static_cast<signed char>(-a->e[k]);
}

static product constant_product(unit2 c) { return product{0, 0, c, 0, {0, 0, 0, 0}, {0, 0, 0, 0}}; }

// Records the outputs of deduction op as products.  0 (nothing recorded)
// when op is no deduction of angles, carries angles, or a product grows
// beyond its limit.
static int as_product(compiled_plan *p, const compiled_op &op, unsigned char *varies,
                      const unsigned char *writers) {
  const int code = op.code;
  if (op.shadow || !((code >= 1 && code <= 8) || code == 102 || code == 103)) return 0;
  for (short s : op.in)
    if (s >= 0 && (s < unit_base || writers[s] > 1)) return 0;
  for (short s : op.out)
    if (s >= 0 && writers[s] != 1) return 0;
  auto in = [&](int k) { return product_of(p, op.in[k], varies); };
  product v = constant_product(unit2{1.0, 0.0}), rev;
  int ok = 1, reverse_is_conj = 1;
  switch (code) {
    case 1:  // e(2 pi) conj(A B)
    case 4:  // e(2 pi) conj(A B C)
      ok = multiply(&v, in(0), 1) && multiply(&v, in(1), 1) && (code == 1 || multiply(&v, in(2), 1));
      conjugate(&v);
      ok = ok && multiply(&v, constant_product(e_2pi), 1);
      break;
    case 2:  // A conj(B) e(pi)
      ok = multiply(&v, in(0), 1) && multiply(&v, in(1), -1) && multiply(&v, constant_product(e_pi), 1);
      break;
    case 3:  // A B conj(e(pi))
      ok = multiply(&v, in(0), 1) && multiply(&v, in(1), 1) && multiply(&v, constant_product(e_pi), -1);
      break;
    case 5:  // A conj(B)
      ok = multiply(&v, in(0), 1) && multiply(&v, in(1), -1);
      break;
    case 6:  // e(pi) conj(A) B
      ok = multiply(&v, in(0), -1) && multiply(&v, in(1), 1) && multiply(&v, constant_product(e_pi), 1);
      break;
    case 7:  // A B, reverse e(pi) A B
    case 8:  // A B conj(e(pi)), reverse e(pi) times that
      ok = multiply(&v, in(0), 1) && multiply(&v, in(1), 1) &&
           (code == 7 || multiply(&v, constant_product(e_pi), -1));
      reverse_is_conj = 0;
      rev = v;
      ok = ok && multiply(&rev, constant_product(e_pi), 1);
      break;
    default:  // 102, 103: copies
      v = in(0);
      rev = in(1);
      reverse_is_conj = 0;
      break;
  }
  if (!ok) return 0;
  if (reverse_is_conj) rev = v, conjugate(&rev);
  const product *outs[2] = {&v, &rev};
  for (int k = 0; k < 2; k++) {
    const short s = op.out[k];
    if (s < 0) continue;
    product &q = products[s - unit_base];
    q = *outs[k];
    q.defined = 1, q.emitted = 0;
    // A product of constants only is a constant: the slot holds it now.
    if (q.n == 0) p->u[s - unit_base] = q.c;
    else varies[s] = 1;
  }
  return 1;
}

// Before an operation reads slot s: the operation computing its product,
// when it has one not yet computed.  0 when the program or the pool is full.
static int emit_product(compiled_plan *p, int s) {
  product &q = products[s - unit_base];
  if (!q.defined || q.emitted || q.n == 0) return 1;
  if (p->op_count >= compiled_ops_max || p->pool_count + 2 + q.n > compiled_pool_max) return 0;
  compiled_op op;
  set_unused(&op);
  op.code = op_product;
  op.record = 0;
  op.shadow = 0;
  op.out[0] = static_cast<short>(s);
  for (int k = 0; k < q.n; k++) op.in[k] = q.f[k];
  op.in[4] = static_cast<short>(p->pool_count);
  op.in[5] = static_cast<short>(q.n);
  p->pool[p->pool_count++] = q.c.c;
  p->pool[p->pool_count++] = q.c.s;
  for (int k = 0; k < q.n; k++) p->pool[p->pool_count++] = q.e[k] < 0 ? -1.0 : 1.0;
  p->ops[p->op_count++] = op;
  q.emitted = 1;
  return 1;
}

// --- rewriting the products of the program ---

// A product's factors and constants, as the pool holds them.
struct product_form {
  int n;
  short f[product_factors];
  double e[product_factors];  // +1 the factor, -1 its conjugate
  unit2 plus, minus;          // the constant on branch +1 and on the other
};

static product_form form_of(const compiled_plan *p, const compiled_op &op) {
  product_form q;
  const double *c = p->pool + op.in[4];
  q.n = op.in[5];
  for (int k = 0; k < q.n; k++) q.f[k] = op.in[k], q.e[k] = c[2 + k];
  q.plus = unit2{c[0], c[1]};
  q.minus = op.branch ? unit2{c[2 + q.n], c[3 + q.n]} : q.plus;
  return q;
}

// The product q into op, its constants and signs at the end of the pool.
// 0 when the pool is full (op unchanged).
static int set_form(compiled_plan *p, compiled_op *op, const product_form &q, int branch) {
  if (p->pool_count + 4 + q.n > compiled_pool_max) return 0;
  for (int k = 0; k < product_factors; k++) op->in[k] = k < q.n ? q.f[k] : -1;
  op->in[4] = static_cast<short>(p->pool_count);
  op->in[5] = static_cast<short>(q.n);
  op->branch = static_cast<short>(branch);
  p->pool[p->pool_count++] = q.plus.c;
  p->pool[p->pool_count++] = q.plus.s;
  for (int k = 0; k < q.n; k++) p->pool[p->pool_count++] = q.e[k];
  if (branch) {
    p->pool[p->pool_count++] = q.minus.c;
    p->pool[p->pool_count++] = q.minus.s;
  }
  return 1;
}

// The factor of q at slot s removed; its sign (+1 or -1), 0 when q has none.
static double remove_factor(product_form *q, int s) {
  for (int k = 0; k < q->n; k++)
    if (q->f[k] == s) {
      const double sign = q->e[k];
      for (int h = k + 1; h < q->n; h++) q->f[h - 1] = q->f[h], q->e[h - 1] = q->e[h];
      q->n--;
      return sign;
    }
  return 0.0;
}

// 1 when op reads unit slot s.
static int reads_unit(const compiled_op &op, int s) {
  if (op.code == op_product) {
    for (int k = 0; k < op.in[5]; k++)
      if (op.in[k] == s) return 1;
    return 0;
  }
  for (short h : op.held)
    if (h == s) return 1;
  if (op.code == op_constant_figure) return 0;  // its inputs are pool offsets
  for (short i : op.in)
    if (i == s) return 1;
  return 0;
}

// The directions a figure solved at compile time leaves on the branch
// whose outputs start at pool offset `at`: their slots and values, in the
// order of the figure's outputs (the same on both branches).  Their count;
// -1 where an output is a length or there are more than
// compiled_outputs_max.
static int constant_directions(const compiled_plan *p, int at, short *slots, unit2 *values) {
  const double *w = p->pool + at;
  const int count = static_cast<int>(*w++);
  if (count > compiled_outputs_max) return -1;
  for (int k = 0; k < count; k++) {
    const int slot = static_cast<int>(*w++);
    if (slot < unit_base) return -1;
    slots[k] = static_cast<short>(slot), values[k] = unit2{w[0], w[1]};
    w += 3;
  }
  return count;
}

// A figure of constant inputs that succeeds on both branches and whose
// directions only products read is folded into those products: each takes
// the figure's value on the record's branch into its constant, and the
// figure leaves the program.  Only where no operation can give 2 (tri_asa
// on parallel lines), which the run's result would otherwise lose.
static void fold_constant_figures(compiled_plan *p) {
  for (int o = 0; o < p->op_count; o++) {
    const compiled_op &op = p->ops[o];
    if (op.code == 32 || (op.code == op_constant_figure && (op.in[2] == 2 || op.in[3] == 2))) return;
  }
  static char dropped[compiled_ops_max];
  memset(dropped, 0, sizeof dropped);
  for (int o = 0; o < p->op_count; o++) {
    const compiled_op &k = p->ops[o];
    if (k.code != op_constant_figure || k.in[2] != 1 || k.in[3] != 1) continue;
    // Its outputs: every one a direction, read by products alone, each of
    // which has no branch yet.
    short slots[compiled_outputs_max], minus_slots[compiled_outputs_max];
    unit2 plus[compiled_outputs_max], minus[compiled_outputs_max];
    const int units = constant_directions(p, k.in[0], slots, plus);
    int foldable = units > 0 && constant_directions(p, k.in[1], minus_slots, minus) == units &&
                   memcmp(slots, minus_slots, units * sizeof(short)) == 0;
    for (int s = 0; s < joint_slots && foldable; s++)
      for (int h = 0; h < units; h++)
        if (p->slider_unit[s] == slots[h]) foldable = 0;
    for (int r = o + 1; r < p->op_count && foldable; r++)
      for (int h = 0; h < units; h++)
        if (reads_unit(p->ops[r], slots[h]) && (p->ops[r].code != op_product || p->ops[r].branch)) foldable = 0;
    if (!foldable) continue;
    int done = 1;
    for (int r = o + 1; r < p->op_count && done; r++) {
      compiled_op &q = p->ops[r];
      if (q.code != op_product) continue;
      product_form f = form_of(p, q);
      int touched = 0;
      for (int h = 0; h < units; h++) {
        const double sign = remove_factor(&f, slots[h]);
        if (sign == 0.0) continue;
        f.plus = mul(f.plus, sign < 0 ? conj(plus[h]) : plus[h]);
        f.minus = mul(f.minus, sign < 0 ? conj(minus[h]) : minus[h]);
        touched = 1;
      }
      if (done && touched) done = set_form(p, &q, f, k.record);
    }
    if (done) dropped[o] = 1;
  }
  int count = 0;
  for (int o = 0; o < p->op_count; o++)
    if (!dropped[o]) p->ops[count++] = p->ops[o];
  p->op_count = count;
}

// A product that holds every factor of an earlier product (with the same
// signs) reads that product instead: c_Q F_P R = (c_Q conj(c_P)) P R.
static void share_products(compiled_plan *p) {
  for (int o = 0; o < p->op_count; o++) {
    compiled_op &q = p->ops[o];
    if (q.code != op_product) continue;
    product_form f = form_of(p, q);
    int best = -1, best_n = 1;
    for (int e = 0; e < o; e++) {
      const compiled_op &earlier = p->ops[e];
      if (earlier.code != op_product || earlier.branch || earlier.in[5] <= best_n) continue;
      const product_form g = form_of(p, earlier);
      int all = 1;
      for (int k = 0; k < g.n && all; k++) {
        int found = 0;
        for (int h = 0; h < f.n; h++)
          if (f.f[h] == g.f[k] && f.e[h] == g.e[k]) found = 1;
        all = found;
      }
      if (all) best = e, best_n = g.n;
    }
    if (best < 0) continue;
    const product_form g = form_of(p, p->ops[best]);
    for (int k = 0; k < g.n; k++) remove_factor(&f, g.f[k]);
    // The earlier product first: its rounding is the one the factors had.
    for (int h = f.n; h > 0; h--) f.f[h] = f.f[h - 1], f.e[h] = f.e[h - 1];
    f.f[0] = p->ops[best].out[0], f.e[0] = 1.0;
    f.n++;
    f.plus = mul(f.plus, conj(g.plus)), f.minus = mul(f.minus, conj(g.plus));
    set_form(p, &q, f, q.branch);
  }
}

// A placement that reads the unit a product or the drive direction has
// just written goes into that operation: one dispatch less, and the unit
// is taken from a register.
static void fuse_placements(compiled_plan *p) {
  int count = 0;
  for (int o = 0; o < p->op_count; o++) {
    compiled_op op = p->ops[o];
    const int fusable = op.code == op_product || op.code == op_drive_direction;
    if (fusable && o + 1 < p->op_count) {
      const compiled_op &next = p->ops[o + 1];
      if (next.code == 10 && next.out[0] >= 0 && next.in[2] == op.out[0] && op.out[0] >= 0) {
        op.place[0] = next.in[0], op.place[1] = next.in[1], op.place[2] = next.out[0];
        o++;
      }
    }
    p->ops[count++] = op;
  }
  p->op_count = count;
}

// The joints the program places (p->moved).
static void note_moved(compiled_plan *p) {
  char moved[joint_slots] = {0};
  p->moved_count = 0;
  for (int o = 0; o < p->op_count; o++) {
    const int j = placed_joint(p->ops[o]);
    if (j < 0 || moved[j]) continue;
    moved[j] = 1;
    p->moved[p->moved_count++] = static_cast<short>(j);
  }
}

int compile_plan(compiled_plan *p) {
  const mechanism &m = mech;
  memset(p, 0, sizeof *p);
  p->defer_length = defer_share * (solver_facts.valid ? solver_facts.size : 1.0);
  p->drive_bound = m.rs == 'L' ? drive_span * (solver_facts.valid ? std::fmax(solver_facts.size, 1.0) : 1.0)
                               : drive_span;
  // The replay's allowance for a held length: a part in a million of the
  // mechanism's size, of 1 world unit while the facts of this mechanism are
  // not collected (whether or not they are checked).
  const int facts_current = solver_facts.load_serial == m.load_serial;
  p->length_allowance = fact_tolerance * (facts_current ? std::fmax(solver_facts.size, 1.0) : 1.0);
  memset(&tr, 0xff, sizeof tr);  // every slot -1
  tr.failed = 0;
  p->n = m.n;
  p->nochoice = m.nochoice;
  if (m.n < 1 || m.n > max_joints || m.junjo_count < 0 || m.junjo_count >= junjo_slots) return 0;
  for (int i = 0; i < joint_slots; i++) p->J[i] = m.J[i];
  for (int i = 0; i < joint_slots; i++)
    for (int j = 0; j < joint_slots; j++) p->l[i * joint_slots + j] = m.l[i][j];
  for (int r = 1; r <= m.junjo_count; r++) {
    p->choice[r] = m.junjo[r][jj_choice];
    if (has_branches(m.junjo[r][jj_code])) p->last_branch = r;
  }

  memset(products, 0, sizeof products);
  static compiled_op ops[compiled_ops_max];
  static int keep[compiled_ops_max];
  int count = 0;
  translate_drive(p, &ops[count++]);
  for (int r = 1; r <= m.junjo_count; r++)
    if (!translate_record(p, r, &ops[count++])) return 0;
  for (int o = 0; o < count; o++)
    if (ops[o].code == 10 && ops[o].out[0] >= 0) p->placed[ops[o].out[0]] = 1;
  for (int s = 0; s < joint_slots; s++) p->slider_unit[s] = -1;
  for (int s = 1; s <= m.slider_count && s < joint_slots; s++) {
    const slider_entry &e = m.sliders[s];
    if (valid_joint(e.i) && valid_joint(e.j) && tr.ath_slot[e.j][e.i] >= 0)
      p->slider_unit[s] = tr.ath_slot[e.j][e.i];
  }
  if (tr.failed) return 0;
  // Every value the plan starts from within value_bound: then no deduction
  // of it overflows (each is a sum or product of a few bounded values), in
  // the program or the replay, and the program need not test them.
  if (!plan_inputs_bounded(p, ops, count)) return 0;
  if (!find_carried(p, ops, count)) return 0;
  prune(p, ops, count, keep);
  for (int o = 0; o < count; o++) {
    compiled_op &op = ops[o];
    auto read = [&](int k) { return op.out[k] >= 0 || op.out[k + 1] >= 0 || op.held[k] >= 0; };
    if (op.code == 34) op.corners = static_cast<short>(read(0) | read(4) << 1);
    if (op.code == 44) op.corners = static_cast<short>((read(5) || read(7) || read(14) || read(16)) |
                                                       (read(10) || read(12) || read(18) || read(20)) << 1);
  }
  // tri_asa on parallel lines leaves its two lengths as the previous solve
  // wrote them: they live in the tables too, for a replay that follows.
  p->synced_count = p->carried_count;
  for (int o = 0; o < count; o++) {
    if (!keep[o] || ops[o].code != 32) continue;
    for (int k = 0; k < 2; k++) {
      const short s = ops[o].out[k];
      if (s < 0) continue;
      if (p->synced_count >= compiled_carried_max) return 0;
      p->carried[p->synced_count++] = cell_of(s);
    }
  }

  static unsigned char written[slot_count];
  memset(written, 0, sizeof written);
  for (int o = 0; o < count; o++) {
    if (!keep[o]) continue;
    for (short s : ops[o].out)
      if (s >= 0) written[s] = 1;
  }
  // A slider guide's direction that no kept operation writes stays as the
  // tables hold it.
  for (int s = 1; s < joint_slots; s++)
    if (p->slider_unit[s] >= 0 && !written[p->slider_unit[s]]) p->slider_unit[s] = -1;

  // Folding: a deduction whose inputs do not change from solve to solve
  // is computed here once, when its outputs have no other writer.
  static unsigned char varies[slot_count];
  static unsigned char writers[slot_count];
  memset(varies, 0, sizeof varies);
  memset(writers, 0, sizeof writers);
  // A joint that no record places and that is no fact is read from the
  // tables at every solve (solve_compiled): it may change between solves.
  for (int i = 1; i <= p->n; i++)
    if (!p->placed[i] && !is_fact(m.J_known[i])) varies[i] = 1;
  for (int o = 0; o < count; o++)
    if (keep[o])
      for (short s : ops[o].out)
        if (s >= 0 && writers[s] < 255) writers[s]++;
  for (int o = 0; o < count; o++) {
    if (!keep[o]) continue;
    compiled_op &op = ops[o];
    int foldable = !p->carried_count && !is_figure(op.code) && op.record != 0;
    for (short s : op.in)
      if (s >= 0 && varies[s]) foldable = 0;
    for (short s : op.out)
      if (s >= 0 && writers[s] != 1) foldable = 0;
    if (foldable) {
      op.shadow = 1;  // the angles too, for whoever carries them
      if (!run_deduction(p, op, 0.0)) return 0;  // two fixed joints nearly coincide
      keep[o] = 0;
      continue;
    }
    int constant_figure = !p->carried_count && is_figure(op.code);
    for (short s : op.in)
      if (s >= 0 && varies[s]) constant_figure = 0;
    for (short s : op.held)
      if (s >= 0 && varies[s]) constant_figure = 0;
    for (short s : op.out)
      if (s >= 0 && writers[s] != 1) constant_figure = 0;
    if (constant_figure) solve_constant_figure(p, &op);
    // A product of directions and angles stays a product until an
    // operation other than a deduction of angles reads it.
    if (!p->carried_count && as_product(p, op, varies, writers)) {
      keep[o] = 0;
      continue;
    }
    // A side of tri_sss that does not change: its inverse once, here.
    if (op.code == 34 && op.corners && op.in[2] >= 0 && !varies[op.in[2]] && p->pool_count < compiled_pool_max &&
        get_l(p, op.in[2]) != 0.0) {
      op.inverse = static_cast<short>(p->pool_count);
      p->pool[p->pool_count++] = 1.0 / std::fabs(get_l(p, op.in[2]));
    }
    if (op.code != op_constant_figure)  // its inputs are pool offsets now
      for (short s : op.in)
        if (s >= unit_base && !emit_product(p, s)) return 0;
    for (short s : op.held)
      if (s >= unit_base && !emit_product(p, s)) return 0;
    for (short s : op.out)
      if (s >= 0) varies[s] = 1;
    if (p->op_count >= compiled_ops_max) return 0;
    p->ops[p->op_count++] = op;
  }
  fold_constant_figures(p);
  share_products(p);
  fuse_placements(p);
  note_moved(p);
  note_unmoved_bounded(p);
  p->check_facts = solver_facts.valid && solver_facts.load_serial == m.load_serial;
  if (p->check_facts) {
    static int skip[max_facts];
    facts_that_hold(p, solver_facts, skip);
    compile_posture_check(solver_facts, skip, &p->check);
  }
  p->valid = 1;
  return 1;
}

// The carried slots from the tables (where the replay keeps them, and a
// caller may have put back a posture), and back after the run.  carried_in
// returns 1 when every value it read is within value_bound.
static int carried_in(compiled_plan *p) {
  const mechanism &m = mech;
  int all_bounded = 1;
  for (int c = 0; c < p->synced_count; c++) {
    const carried_cell &e = p->carried[c];
    switch (e.kind) {
      case 'J': p->J[e.i] = m.J[e.i]; break;
      case 'l': p->l[e.i * joint_slots + e.j] = m.l[e.i][e.j]; break;
      case 'a':
      case 't': {
        const double v = e.kind == 'a' ? m.ath[e.i][e.j] : m.th[e.i][e.j][e.k];
        p->angle[e.slot - unit_base] = v;
        break;
      }
      default: break;
    }
    all_bounded &= slot_bounded(p, e.slot);
  }
  return all_bounded;
}

static void carried_out(const compiled_plan *p) {
  mechanism &m = mech;
  for (int c = 0; c < p->synced_count; c++) {
    const carried_cell &e = p->carried[c];
    switch (e.kind) {
      case 'J': m.J[e.i] = p->J[e.i]; break;
      case 'l': m.l[e.i][e.j] = m.l[e.j][e.i] = p->l[e.i * joint_slots + e.j]; break;
      case 'a': m.ath[e.i][e.j] = p->angle[e.slot - unit_base]; break;
      case 't': m.th[e.i][e.j][e.k] = p->angle[e.slot - unit_base]; break;
      default: break;
    }
  }
}

int solve_compiled(compiled_plan *p, double tt) {
  mechanism &m = mech;
  for (int r = 1; r <= m.junjo_count && r < junjo_slots; r++) p->choice[r] = m.junjo[r][jj_choice];
  for (int i = 1; i <= p->n; i++)
    if (!p->placed[i]) p->J[i] = m.J[i];
  const int carried_bounded = carried_in(p);
  note_unmoved_bounded(p);
  const int got = carried_bounded ? run_compiled_plan(p, tt) : -1;
  if (got < 0) {
    p->deferred++;
    return solve_positions(tt);
  }
  carried_out(p);
  for (int r = 1; r <= m.junjo_count && r < junjo_slots; r++) m.junjo[r][jj_choice] = p->choice[r];
  for (int i = 1; i <= p->n; i++)
    if (p->placed[i]) m.J[i] = p->J[i];
  if (got) {
    for (int s = 1; s <= m.slider_count && s < joint_slots; s++) {
      const slider_entry &e = m.sliders[s];
      const int u = p->slider_unit[s];
      if (u < 0 || !valid_joint(e.i) || !valid_joint(e.j)) continue;
      m.ath[e.j][e.i] = p->angle[u - unit_base];
    }
  }
  return got;
}
