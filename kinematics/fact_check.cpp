// The facts of a data file and the check of a posture against them.
#include "kinematics/fact_check.h"

#include <cmath>
#include <cstdio>

fact_list solver_facts;

static int add_fact(fact_list *f, fact e) {
  if (f->count >= max_facts) return 0;
  e.c = std::cos(e.value);
  e.s = std::sin(e.value);
  f->facts[f->count++] = e;
  return 1;
}

// Joints the posture holds: the fixed ones and those a step of the plan
// places (code 10).  A fact of a joint that nothing places says nothing of
// the posture.
static void placed_joints(const mechanism &m, int n, int placed[joint_slots]) {
  for (int i = 0; i < joint_slots; i++) placed[i] = i >= 1 && i <= n && (m.J_known[i] == 'Y' || m.J_known[i] == 'W');
  const int count = m.junjo_count < junjo_slots ? m.junjo_count : junjo_slots - 1;
  for (int r = 1; r <= count; r++) {
    const int k = m.junjo[r][jj_b];
    if (m.junjo[r][jj_code] == 10 && k >= 1 && k <= n) placed[k] = 1;
  }
}

int collect_facts(fact_list *out) {
  const mechanism &m = mech;
  fact_list &f = *out;
  f.count = 0;
  f.valid = 0;
  f.size = 1.0;
  const int n = m.n >= 1 && m.n <= max_joints ? m.n : 0;
  int placed[joint_slots];
  placed_joints(m, n, placed);
  int ok = 1;
  for (int i = 1; i <= n; i++) {
    if (m.J_known[i] != 'Y') continue;
    ok &= add_fact(&f, fact{fact_fixed, i, 0, 0, 0.0, m.J[i], 1.0, 0.0});
    for (int j = 1; j < i; j++)
      if (m.J_known[j] == 'Y') f.size = std::fmax(f.size, std::hypot(m.J[i].x - m.J[j].x, m.J[i].y - m.J[j].y));
  }
  for (int i = 1; i <= n; i++)
    for (int j = i + 1; j <= n; j++) {
      if (!placed[i] || !placed[j]) continue;
      if (m.l_known[i][j] == 'Y') {
        ok &= add_fact(&f, fact{fact_length, i, j, 0, m.l[i][j], {0.0, 0.0}, 1.0, 0.0});
        f.size = std::fmax(f.size, std::fabs(m.l[i][j]));
      }
      if (m.ath_known[i][j] == 'Y') ok &= add_fact(&f, fact{fact_direction, i, j, 0, m.ath[i][j], {0.0, 0.0}, 1.0, 0.0});
    }
  for (int a = 1; a <= n; a++)
    for (int b = 1; b <= n; b++)
      for (int c = a + 1; c <= n; c++) {
        if (b == a || b == c || m.th_known[a][b][c] != 'Y' || slider_triple(a, b, c)) continue;
        if (!placed[a] || !placed[b] || !placed[c]) continue;
        ok &= add_fact(&f, fact{fact_angle, a, b, c, m.th[a][b][c], {0.0, 0.0}, 1.0, 0.0});
      }
  for (int s = 1; s <= m.slider_count && s < joint_slots; s++) {
    const slider_entry &e = m.sliders[s];
    if (e.i < 1 || e.i > n || e.j < 1 || e.j > n || e.k < 1 || e.k > n) continue;
    if (!placed[e.i] || !placed[e.j] || !placed[e.k]) continue;
    ok &= add_fact(&f, fact{fact_slider, e.i, e.j, e.k, 0.0, {0.0, 0.0}, 1.0, 0.0});
  }
  f.valid = ok;
  f.load_serial = m.load_serial;
  return ok;
}

// Length of (x, y).  The square root of the sum of squares, at a fraction
// of hypot's cost; hypot only where the squares could overflow (beyond
// 1e150 world units, far past anything a file or an edit gives, but a
// posture may hold it).
static double length_of(double x, double y) {
  const double big = 1e150;
  if (std::fabs(x) > big || std::fabs(y) > big) return std::hypot(x, y);
  return std::sqrt(x * x + y * y);
}

// |v - |v| (c, s)| with (c, s) a unit vector: how far the end of v lies from
// where that direction would put it, world units.
static double direction_miss(double vx, double vy, double c, double s) {
  const double len = length_of(vx, vy);
  return length_of(vx - len * c, vy - len * s);
}

// Miss of fact e in the posture J, world units (0 where the fact says
// nothing, as an angle at a joint that coincides with its neighbour).
static double fact_miss(const fact &e, const point *J, double tiny) {
  switch (e.kind) {
    case fact_fixed:
      return length_of(J[e.i].x - e.at.x, J[e.i].y - e.at.y);
    case fact_length:
      return std::fabs(length_of(J[e.j].x - J[e.i].x, J[e.j].y - J[e.i].y) - e.value);
    case fact_direction:
      // J[j] = J[i] + |J[j] - J[i]| e(ath[i][j])
      return direction_miss(J[e.j].x - J[e.i].x, J[e.j].y - J[e.i].y, e.c, e.s);
    case fact_angle: {
      // J[k] - J[j] along the direction i->j turned by th[i][j][k]: the unit
      // vector u of i->j rotated by (c, s).
      const double ux = J[e.j].x - J[e.i].x, uy = J[e.j].y - J[e.i].y;
      const double lu = length_of(ux, uy);
      if (lu <= tiny) return 0.0;
      return direction_miss(J[e.k].x - J[e.j].x, J[e.k].y - J[e.j].y, (e.c * ux - e.s * uy) / lu,
                            (e.s * ux + e.c * uy) / lu);
    }
    case fact_slider: {
      // Distance of the slider from the line through its guide's joints.
      const double gx = J[e.k].x - J[e.j].x, gy = J[e.k].y - J[e.j].y;
      const double g = length_of(gx, gy);
      if (g <= tiny) return 0.0;
      return std::fabs(gx * (J[e.i].y - J[e.j].y) - gy * (J[e.i].x - J[e.j].x)) / g;
    }
    default:
      return 0.0;
  }
}

int broken_fact(const fact_list &facts, const point *J, double *miss) {
  if (!facts.valid || facts.load_serial != mech.load_serial) return 0;
  return first_broken_fact(facts, J, miss);
}

int first_broken_fact(const fact_list &facts, const point *J, double *miss) {
  const double allowed = fact_tolerance * facts.size;
  for (int f = 0; f < facts.count; f++) {
    const double d = fact_miss(facts.facts[f], J, allowed);
    // A non-finite miss is a broken fact too.
    if (!(d <= allowed)) {
      if (miss) *miss = d;
      return f + 1;
    }
  }
  return 0;
}

void describe_fact(const fact_list &facts, int index, const point *J, char *out, int size) {
  if (index < 1 || index > facts.count) {
    snprintf(out, size, "?");
    return;
  }
  const fact &e = facts.facts[index - 1];
  switch (e.kind) {
    case fact_fixed:
      snprintf(out, size, "J[%d]=(%.4f, %.4f) が (%.4f, %.4f) になる", e.i, e.at.x, e.at.y, J[e.i].x, J[e.i].y);
      break;
    case fact_length:
      snprintf(out, size, "l[%d][%d]=%.4f が %.4f になる", e.i, e.j, e.value,
               std::hypot(J[e.j].x - J[e.i].x, J[e.j].y - J[e.i].y));
      break;
    case fact_direction:
      snprintf(out, size, "ath[%d][%d]=%.4f° が %.4f° になる", e.i, e.j, e.value * rad_to_deg,
               std::atan2(J[e.j].y - J[e.i].y, J[e.j].x - J[e.i].x) * rad_to_deg);
      break;
    case fact_angle: {
      const double a = std::atan2(J[e.j].y - J[e.i].y, J[e.j].x - J[e.i].x);
      const double b = std::atan2(J[e.k].y - J[e.j].y, J[e.k].x - J[e.j].x);
      snprintf(out, size, "th[%d][%d][%d]=%.4f° が %.4f° になる", e.i, e.j, e.k, e.value * rad_to_deg,
               std::remainder(b - a, 2.0 * pi) * rad_to_deg);
      break;
    }
    case fact_slider:
      snprintf(out, size, "スライダ J[%d] がリンクL[%d][%d]の直線から %.4f 離れる", e.i, e.j, e.k,
               fact_miss(e, J, 0.0));
      break;
    default:
      snprintf(out, size, "?");
  }
}

// A slider within this fraction of the guide's length past an end is on
// it: the solver's rounding, far below what a drawing shows.
static const double guide_end_slack = 1e-9;

int slider_beyond_guide(const point *J, double *along) {
  const mechanism &m = mech;
  for (int s = 1; s <= m.slider_count && s < joint_slots; s++) {
    const slider_entry &e = m.sliders[s];
    if (!joint_in_range(e.i) || !joint_in_range(e.j) || !joint_in_range(e.k)) continue;
    if (m.link_exists[e.j][e.k] != 'Y') continue;
    // t = (Ji - Jj).(Jk - Jj) / |Jk - Jj|^2: 0 at j, 1 at k.
    const double gx = J[e.k].x - J[e.j].x, gy = J[e.k].y - J[e.j].y;
    const double g2 = gx * gx + gy * gy;
    if (!(g2 > 0.0)) continue;
    const double t = ((J[e.i].x - J[e.j].x) * gx + (J[e.i].y - J[e.j].y) * gy) / g2;
    if (t < -guide_end_slack || t > 1.0 + guide_end_slack) {
      if (along) *along = t;
      return s;
    }
  }
  return 0;
}
