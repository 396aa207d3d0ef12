// Kinematic coefficients by central differences of the position solver.
//
// The plan is solved at q + s and q - s for step sizes s = 8h, 4h, 2h and h
// on the branch signs of the row, and the two five-point stencils
//   D1(h) = [8 (f(h) - f(-h)) - (f(2h) - f(-2h))] / (12 h)
//         = f'(q) - h^4 f'''''(q) / 30 + O(h^6)
//   D2(h) = [16 (f(h) + f(-h)) - (f(2h) + f(-2h)) - 30 f(0)] / (12 h^2)
//         = f''(q) - h^4 f''''''(q) / 90 + O(h^6)
// are formed at h, 2h and 4h.  Their truncation errors are in the ratio
// 1:16:256, so |D(2h) - D(h)| is 15 times the error of D(h) while h is in
// the h^4 regime.  A value D(h) is taken when
//   |D(h) - D(2h)| <= agreement_share * coefficient_accuracy
//                     * max(|D(h)|, scale of its order),
// which leaves its truncation error near 1/30 of the promise; when
// D(2h) - D(4h) is of the size the h^4 regime gives it; and when the bound
// on its rounding error is half the promise.  Where it is not taken, other
// step sizes h are tried: smaller ones, for where the higher derivatives are
// large (near a dead point), until the rounding bound forbids them, and a
// few larger ones, for where the solve itself is noisy.
//
// Every solve starts from the row's own tables (a copy of the whole record
// put back before each solve), so no solve sees another's results, a
// failing solve's flipped branch sign is undone, and the row, its trace and
// the next frame are untouched.
#include "analysis/kinematic_coefficients.h"

#include <cmath>
#include <cstring>

#include "kinematics/solver.h"

// Step size h tried first, in units of Q (1 radian, or the length scale of
// the mechanism for a slide).  The truncation error of both stencils is
// about h^4 times a fifth or sixth derivative, some 1e-12 of the length
// scale along the smooth stretches of a motion, far below the promise of
// 1e-6; the rounding error of D2 is some 1e-9 of it.
constexpr double first_step = 1e-3;
// Step sizes s_m = 64 first_step / 2^m, m = 0..last_sample.  The stencils
// of level m are D(h) from s_m and s_{m-1}, its check D(2h) from s_{m-1} and
// s_{m-2}, and D(4h) from s_{m-2} and s_{m-3}: h = s_m runs from
// 8 first_step (m = 3) down to first_step / 2048 (m = 17).
constexpr int last_sample = 17;
// Levels in the order they are tried: first_step, then alternately finer
// (where the higher derivatives are large, near a dead point) and coarser
// (where rounding noise of the solve is large, as behind nearly parallel
// lines), then only finer.
constexpr int level_order[] = {6, 7, 5, 8, 4, 9, 3, 10, 11, 12, 13, 14, 15, 16, 17};
// Error of a solved coordinate relative to the largest coordinate: the
// plan is a chain of some ten trigonometric steps, each good to a few units
// in the last place (2.2e-16); this bound is some fifty of them.
constexpr double coordinate_rounding = 1e-14;
// Sum of the magnitudes of the stencil weights: rounding of D1 is at most
// 18/12 coordinate errors over h, of D2 64/12 over h^2.
constexpr double stencil_weight[3] = {0.0, 18.0 / 12.0, 64.0 / 12.0};
// A value is taken when its rounding bound is at most this share of the
// promise, and when D(h) - D(2h), fifteen times its truncation error, is at
// most agreement_share of it: the two errors together stay near 0.53 of
// the promise.
constexpr double rounding_share = 0.5;
constexpr double agreement_share = 0.5;
// In the h^4 regime D(2h) - D(4h) is 16 times D(h) - D(2h); allowing twice
// that rejects the rare step size at which one pair agrees by chance.
constexpr double coarser_pair = 32.0;
// The posture solved again at q is the row's posture when every coordinate
// agrees to this fraction of the largest coordinate (the same plan on the
// same tables gives the same numbers; another branch moves joints by a good
// part of a link).
constexpr double same_posture = 1e-9;

static mechanism row_state;  // the tables as the row left them

struct solved_sample {
  int tried, ok;
  point J[joint_slots];
};

static solved_sample samples[last_sample + 1][2];  // [m][0] at q + s_m, [m][1] at q - s_m
static point centre[joint_slots];

static int joints_of(const mechanism &m) { return m.n < joint_slots ? m.n : joint_slots - 1; }

double coefficient_length() {
  const mechanism &m = mech;
  const int n = joints_of(m);
  double longest = 0.0;
  double lo_x = INFINITY, hi_x = -INFINITY, lo_y = INFINITY, hi_y = -INFINITY;
  for (int i = 1; i <= n; i++) {
    const point p = m.J[i];
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
    lo_x = std::fmin(lo_x, p.x), hi_x = std::fmax(hi_x, p.x);
    lo_y = std::fmin(lo_y, p.y), hi_y = std::fmax(hi_y, p.y);
    for (int j = i + 1; j <= n; j++) {
      if (m.link_exists[i][j] != 'Y') continue;
      const double d = std::hypot(m.J[j].x - p.x, m.J[j].y - p.y);
      if (std::isfinite(d)) longest = std::fmax(longest, d);
    }
  }
  if (longest == 0.0 && lo_x <= hi_x) longest = std::hypot(hi_x - lo_x, hi_y - lo_y);
  return longest > 1.0 ? longest : 1.0;
}

// Largest coordinate magnitude of the posture, at least 1 world unit.
static double largest_coordinate() {
  double c = 1.0;
  for (int i = 1; i <= joints_of(mech); i++)
    c = std::fmax(c, std::fmax(std::fabs(mech.J[i].x), std::fabs(mech.J[i].y)));
  return std::isfinite(c) ? c : 1.0;
}

// Puts the row's record back, every byte of it.
static void restore_row() { memcpy(&mech, &row_state, sizeof mech); }

// Solves the row's plan at tt into J; the tables are the row's again after it.
static int solve_from_row(double tt, point *J) {
  restore_row();
  const int ok = solve_positions(tt) != 0;
  for (int i = 0; i < joint_slots; i++) J[i] = mech.J[i];
  restore_row();
  if (!ok) return 0;
  for (int i = 1; i <= joints_of(row_state); i++)
    if (!std::isfinite(J[i].x) || !std::isfinite(J[i].y)) return 0;
  return 1;
}

static double step_size(int m, double h0) { return 64.0 * h0 / static_cast<double>(1 << m); }

// The solves at q +- s_m, done once.  1 when both assembled.
static int sample(int m, double q, double h0) {
  for (int side = 0; side < 2; side++) {
    solved_sample &s = samples[m][side];
    if (s.tried) continue;
    s.tried = 1;
    const double off = step_size(m, h0);
    s.ok = solve_from_row(side == 0 ? q + off : q - off, s.J);
  }
  return samples[m][0].ok && samples[m][1].ok;
}

// Coordinate c (0 x, 1 y) of joint i in a sample.
static double coord(const point *J, int i, int c) { return c == 0 ? J[i].x : J[i].y; }

// D1 or D2 of joint i, coordinate c, with h = s_m (2h = s_{m-1}).
static double stencil(int order, int m, int i, int c, double h0) {
  const double h = step_size(m, h0);
  const double fp1 = coord(samples[m][0].J, i, c), fm1 = coord(samples[m][1].J, i, c);
  const double fp2 = coord(samples[m - 1][0].J, i, c), fm2 = coord(samples[m - 1][1].J, i, c);
  if (order == 1) return (8.0 * (fp1 - fm1) - (fp2 - fm2)) / (12.0 * h);
  const double f0 = coord(centre, i, c);
  return (16.0 * (fp1 + fm1) - (fp2 + fm2) - 30.0 * f0) / (12.0 * h * h);
}

static int same_as_row(const point *J, double tolerance) {
  for (int i = 1; i <= joints_of(row_state); i++) {
    if (std::fabs(J[i].x - row_state.J[i].x) > tolerance) return 0;
    if (std::fabs(J[i].y - row_state.J[i].y) > tolerance) return 0;
  }
  return 1;
}

int kinematic_coefficients(double q, joint_coefficients *out) {
  const int n = joints_of(mech);
  for (int i = 0; i <= n; i++)
    for (int f = 0; f < coef_fields; f++) out[i].value[f] = 0.0, out[i].known[f] = 0;
  memcpy(&row_state, &mech, sizeof row_state);
  for (int m = 0; m <= last_sample; m++) samples[m][0].tried = samples[m][1].tried = 0;

  const double length = coefficient_length();
  const double rounding = coordinate_rounding * largest_coordinate();  // world units
  const double Q = mech.rs == 'L' ? length : 1.0;
  const double h0 = first_step * Q;
  const double scale[3] = {length, length / Q, length / (Q * Q)};  // of orders 0, 1, 2
  if (!std::isfinite(q) || !solve_from_row(q, centre) || !same_as_row(centre, same_posture * largest_coordinate()))
    return 0;

  // Largest magnitude each field has shown so far: what its rounding bound
  // is measured against before a level is solved.
  static double seen[joint_slots][coef_fields];
  for (int i = 0; i <= n; i++)
    for (int f = 0; f < coef_fields; f++) seen[i][f] = 0.0;
  auto order_of = [](int f) { return f == coef_dx || f == coef_dy ? 1 : 2; };
  auto rounding_ok = [&](int order, double h, double magnitude) {
    const double promise = coefficient_accuracy * std::fmax(magnitude, scale[order]);
    return stencil_weight[order] * rounding / std::pow(h, order) <= rounding_share * promise;
  };

  int known = 0;
  const int wanted = coef_fields * n;
  for (int m : level_order) {
    if (known >= wanted) break;
    const double h = step_size(m, h0);
    int useful = 0;  // a field still open whose rounding allows this h
    for (int i = 1; i <= n && !useful; i++)
      for (int f = 0; f < coef_fields; f++)
        if (!out[i].known[f] && rounding_ok(order_of(f), h, seen[i][f])) useful = 1;
    if (!useful) continue;
    // D(h), D(2h) and D(4h) need the solves at s_m up to s_{m-3}.
    if (!sample(m, q, h0) || !sample(m - 1, q, h0) || !sample(m - 2, q, h0) || !sample(m - 3, q, h0)) continue;
    for (int i = 1; i <= n; i++)
      for (int f = 0; f < coef_fields; f++) {
        if (out[i].known[f]) continue;
        const int order = order_of(f);
        const int c = f == coef_dx || f == coef_ddx ? 0 : 1;
        const double fine = stencil(order, m, i, c, h0);
        const double mid = stencil(order, m - 1, i, c, h0), coarse = stencil(order, m - 2, i, c, h0);
        if (std::isfinite(fine)) seen[i][f] = std::fmax(seen[i][f], std::fabs(fine));
        const double allowed = agreement_share * coefficient_accuracy * std::fmax(std::fabs(fine), scale[order]);
        if (!std::isfinite(fine) || !rounding_ok(order, h, std::fabs(fine)) || !(std::fabs(fine - mid) <= allowed) ||
            !(std::fabs(mid - coarse) <= coarser_pair * allowed))
          continue;
        out[i].value[f] = fine;
        out[i].known[f] = 1;
        known++;
      }
  }
  restore_row();
  return known;
}
