// The facts of a file as precomputed tests on a posture.
//
// With A = fact_tolerance times the size (world units), the misses of
// broken_fact and the tests here:
//   fixed      |J - at| <= A                 <=> |J - at|^2 <= A^2
//   length     | |d| - L | <= A              <=> max(L - A, 0)^2 <= |d|^2 <= (L + A)^2
//   direction  |v - |v| e| <= A, e = e(phi)  <=> 2 |v| (|v| - v.e) <= A^2
//   angle      the same with e = e(atan2 u) e(th) = (u / |u|) e(th); |u| <= A says nothing
//   slider     |g x s| / |g| <= A            <=> (g x s)^2 <= A^2 |g|^2; |g| <= A says nothing
// (|v - |v| e|^2 = 2 |v|^2 - 2 |v| v.e for a unit e.)  A non-finite value
// fails every test, as it breaks the fact there.
#include "kinematics/posture_check.h"

#include <cmath>

void compile_posture_check(const fact_list &facts, const int *skip, posture_check *out) {
  posture_check &c = *out;
  c.count = 0;
  c.length_count = 0;
  c.other_count = 0;
  c.allowed = fact_tolerance * facts.size;
  if (!facts.valid) return;
  const double allowed = c.allowed;
  for (int f = 0; f < facts.count && c.count < max_facts; f++) {
    if (skip && skip[f]) continue;
    const fact &e = facts.facts[f];
    posture_test t = {e.kind, f + 1, e.i, e.j, e.k, 0.0, 0.0};
    switch (e.kind) {
      case fact_fixed:
        t.a = e.at.x, t.b = e.at.y;
        break;
      case fact_length: {
        const double lo = e.value - allowed, hi = e.value + allowed;
        t.a = lo > 0.0 ? lo * lo : 0.0;
        t.b = hi >= 0.0 ? hi * hi : -1.0;  // -1: no distance is that short
        break;
      }
      case fact_direction:
      case fact_angle:
        t.a = std::cos(e.value), t.b = std::sin(e.value);
        break;
      default:
        break;
    }
    if (t.kind == fact_length)
      c.lengths[c.length_count++] = posture_length{t.i, t.j, t.a, t.b};
    else
      c.others[c.other_count++] = c.count;
    c.tests[c.count++] = t;
  }
}

// 1 when the test holds for J.
static int holds(const posture_test &t, const point *J, double allowed) {
  const double a2 = allowed * allowed;
  switch (t.kind) {
    case fact_fixed: {
      const double dx = J[t.i].x - t.a, dy = J[t.i].y - t.b;
      return dx * dx + dy * dy <= a2;
    }
    case fact_length: {
      const double dx = J[t.j].x - J[t.i].x, dy = J[t.j].y - J[t.i].y;
      const double d2 = dx * dx + dy * dy;
      return d2 >= t.a && d2 <= t.b;
    }
    case fact_direction: {
      const double vx = J[t.j].x - J[t.i].x, vy = J[t.j].y - J[t.i].y;
      const double len = std::sqrt(vx * vx + vy * vy);
      return 2.0 * len * (len - (vx * t.a + vy * t.b)) <= a2;
    }
    case fact_angle: {
      const double ux = J[t.j].x - J[t.i].x, uy = J[t.j].y - J[t.i].y;
      const double u2 = ux * ux + uy * uy;
      if (u2 <= a2) return 1;
      const double ul = std::sqrt(u2);
      // e = (u / |u|) e(th)
      const double ex = (ux * t.a - uy * t.b) / ul, ey = (ux * t.b + uy * t.a) / ul;
      const double wx = J[t.k].x - J[t.j].x, wy = J[t.k].y - J[t.j].y;
      const double len = std::sqrt(wx * wx + wy * wy);
      return 2.0 * len * (len - (wx * ex + wy * ey)) <= a2;
    }
    case fact_slider: {
      const double gx = J[t.k].x - J[t.j].x, gy = J[t.k].y - J[t.j].y;
      const double g2 = gx * gx + gy * gy;
      if (g2 <= a2) return 1;
      const double cross = gx * (J[t.i].y - J[t.j].y) - gy * (J[t.i].x - J[t.j].x);
      return cross * cross <= a2 * g2;
    }
    default:
      return 1;
  }
}

// 0 when every test holds; else the index of the first that fails, in the
// order of the fact list.
static int first_broken(const posture_check &check, const point *J) {
  for (int t = 0; t < check.count; t++)
    if (!holds(check.tests[t], J, check.allowed)) return check.tests[t].index;
  return 0;
}

int other_broken(const posture_check &check, const point *J) {
  for (int o = 0; o < check.other_count; o++) {
    const posture_test &t = check.tests[check.others[o]];
    if (!holds(t, J, check.allowed)) return t.index;
  }
  return 0;
}

int run_posture_check(const posture_check &check, const point *J) {
  if (!posture_lengths_hold(check, J)) return first_broken(check, J);
  return other_broken(check, J);
}
