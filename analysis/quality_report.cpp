// Quality figures of the motion: the drive range, the transmission angles of
// the plan's figure steps, the motion of every link and slider, the traced
// joint's path, and why a mechanism does not assemble.
#include "analysis/quality_report.h"

#include <cmath>
#include <cstring>

#include "kinematics/fact_check.h"
#include "kinematics/solver.h"

// The record as the report found it: every trial solve starts from its
// branch signs and it is put back whole at the end.  The solver recomputes
// every record of the plan from the file's values and the drive, so the
// branch signs, which a failing solve may turn over, are all a trial has
// to restore.
static mechanism reference;

// The facts of the file with ten times the solver's allowance.  Within
// some 1e-6 of a flat triangle the solver takes it as flat, and the joint
// it places then misses a given length by up to about 3e-6 of the size
// (seen on the double rocker a01, 0.0005 degree short of its dead point):
// the solver refuses that posture, and a limit bisected on its verdict
// alone would end that far short of the dead point, with a toggle angle a
// few tenths of a degree from 180.  A contradiction of the file misses by
// parts in a hundred.
static fact_list loose_facts;
constexpr double loose_fact_factor = 10.0;

static void take_reference() {
  reference = mech;
  loose_facts = solver_facts;
  loose_facts.size *= loose_fact_factor;
}
static void put_back() { mech = reference; }

// Solves at drive value t on the reference branches.  1 assembled: every
// step solved and the posture keeps the facts to the loose allowance.
static int trial(double t) {
  for (int r = 1; r <= mech.junjo_count && r < junjo_slots; r++)
    mech.junjo[r][jj_choice] = reference.junjo[r][jj_choice];
  if (solve_positions(t)) return 1;
  return last_broken_fact() && !broken_fact(loose_facts, mech.J, nullptr);
}

static int is_rotary() { return mech.rs == 'A' || mech.rs == 'B'; }

// The scan step: one degree in radians, or one world unit.
static double scan_step() { return is_rotary() ? deg_to_rad : 1.0; }

static int is_fixed(int i) { return mech.J_known_saved[i] == 'Y'; }

// ---- drive range ------------------------------------------------------------

// Bisects between a value good that assembles and bad that does not, to
// drive_limit_tol; the last value that assembled.
static double bisect_limit(double good, double bad) {
  for (int it = 0; it < 100 && std::fabs(bad - good) > drive_limit_tol; it++) {
    const double mid = 0.5 * (good + bad);
    if (trial(mid)) good = mid;
    else bad = mid;
  }
  return good;
}

int compute_drive_range(drive_range *out) {
  take_reference();
  drive_range &r = *out;
  const double t0 = mech.tt0, h = scan_step();
  r = drive_range{0, t0, t0, 0, 0, 0};
  if (!trial(t0)) {
    put_back();
    return 0;
  }
  const int most = is_rotary() ? 360 : max_slide_scan;
  int up = 0;
  while (up < most && trial(t0 + (up + 1) * h)) up++;
  if (is_rotary() && up == most) {
    r.full = 1;
    r.hi = t0 + 2 * pi;
    put_back();
    return 1;
  }
  r.hi_limit = up < most;
  r.hi = r.hi_limit ? bisect_limit(t0 + up * h, t0 + (up + 1) * h) : t0 + up * h;
  // Down at most the rest of a turn: the failure above comes round again.
  const int down_most = is_rotary() ? most - up - 1 : most;
  int down = 0;
  for (;;) {
    const double next = t0 - (down + 1) * h;
    if (down >= down_most) break;
    if (!is_rotary() && next <= 0) {
      // A slide's length cannot pass zero.
      r.lo = trial(0.0) ? 0.0 : bisect_limit(t0 - down * h, 0.0);
      // Down to the bisection's tolerance of zero: the length ran out, no
      // joint came to a dead point.
      r.lo_zero = r.lo <= 2 * drive_limit_tol;
      if (r.lo_zero) r.lo = 0.0;
      r.lo_limit = !r.lo_zero;
      put_back();
      return 1;
    }
    if (!trial(next)) {
      r.lo = bisect_limit(t0 - down * h, next);
      r.lo_limit = 1;
      put_back();
      return 1;
    }
    down++;
  }
  r.lo = t0 - down * h;
  r.lo_limit = is_rotary();  // a rotary scan that ran out met the limit above
  if (is_rotary()) r.lo = bisect_limit(r.lo, r.lo - h);
  put_back();
  return 1;
}

// ---- the sampled motion ------------------------------------------------------

// Postures at the samples of the range: joints 1..n, ok 0 where a solve
// failed (a gap narrower than the scan step).
struct motion_samples {
  int count;
  double t[report_samples];
  int ok[report_samples];
  point J[report_samples][joint_slots];
};
static motion_samples ms;

static void sample_motion(const drive_range *r) {
  ms.count = report_samples;
  for (int s = 0; s < ms.count; s++) {
    ms.t[s] = s == report_intervals ? r->hi : r->lo + (r->hi - r->lo) * s / report_intervals;
    ms.ok[s] = trial(ms.t[s]);
    for (int i = 0; i < joint_slots; i++) ms.J[s][i] = ms.ok[s] ? mech.J[i] : point{0.0, 0.0};
  }
}

// ---- measures of one posture -------------------------------------------------

// The angle between u and v, degrees 0..180; -1 when either is a zero vector.
static double angle_between(double ux, double uy, double vx, double vy) {
  if (!(std::hypot(ux, uy) > 0) || !(std::hypot(vx, vy) > 0)) return -1.0;
  return std::atan2(std::fabs(ux * vy - uy * vx), ux * vx + uy * vy) * rad_to_deg;
}

// The direction a member runs from joint x: a link to its far joint, a
// guide along j -> k.
static void member_vector(const member *m, int x, const point *J, double *vx, double *vy) {
  if (m->guide) {
    *vx = J[m->k].x - J[m->j].x;
    *vy = J[m->k].y - J[m->j].y;
  } else {
    *vx = J[m->p].x - J[x].x;
    *vy = J[m->p].y - J[x].y;
  }
}

// The transmission angle of f in the posture J, degrees; -1 undefined.
static double transmission_at(const transmission_figure *f, const point *J) {
  double ax, ay, bx, by;
  member_vector(&f->a, f->joint, J, &ax, &ay);
  member_vector(&f->b, f->joint, J, &bx, &by);
  // A link against a guide: measured from the guide's normal, (-gy, gx).
  if (f->a.guide != f->b.guide) {
    double *gx = f->a.guide ? &ax : &bx, *gy = f->a.guide ? &ay : &by;
    const double nx = -*gy, ny = *gx;
    *gx = nx;
    *gy = ny;
  }
  return angle_between(ax, ay, bx, by);
}

// The value of output o in the posture J: a link's direction in degrees,
// taken within half a turn of near, or a slider's place along its guide.
// 0 in *ok when it is undefined there.
static double output_at(const output_figure *o, const point *J, double near, int *ok) {
  *ok = 1;
  if (!o->slider) {
    const double dx = J[o->j].x - J[o->i].x, dy = J[o->j].y - J[o->i].y;
    if (!(std::hypot(dx, dy) > 0)) return *ok = 0, near;
    const double a = std::atan2(dy, dx) * rad_to_deg;
    return near + std::remainder(a - near, 360.0);
  }
  const double gx = J[o->k].x - J[o->j].x, gy = J[o->k].y - J[o->j].y, g = std::hypot(gx, gy);
  if (!(g > 0)) return *ok = 0, near;
  return ((J[o->i].x - J[o->j].x) * gx + (J[o->i].y - J[o->j].y) * gy) / g;
}

// What a golden-section search measures: a transmission angle or an output.
struct measure_target {
  const transmission_figure *tf;  // one of the two is set
  const output_figure *of;
  double near;                    // output: the branch of the angle
  double sign;                    // 1 largest, -1 least
};

// sign times the measure at drive value t; -inf where it does not assemble.
static double measure(const measure_target *m, double t) {
  if (!trial(t)) return -HUGE_VAL;
  if (m->tf) {
    const double a = transmission_at(m->tf, mech.J);
    return a < 0 ? -HUGE_VAL : m->sign * a;
  }
  int ok;
  const double v = output_at(m->of, mech.J, m->near, &ok);
  return ok ? m->sign * v : -HUGE_VAL;
}

// Golden-section search for the largest of measure over [a, b], which holds
// sample s; 60 rounds shrink a step of 0.1 degree to 3e-14 of it.  The
// better of the sample and the search: *t, and its value (times sign).
static double refine(const measure_target *m, int s, double *t) {
  const double h = ms.t[1] - ms.t[0];
  double a = s > 0 ? ms.t[s - 1] : ms.t[0], b = s + 1 < ms.count ? ms.t[s + 1] : ms.t[ms.count - 1];
  if (!(h > 0)) return *t = ms.t[s], measure(m, ms.t[s]);
  const double g = 0.6180339887;
  double c = b - g * (b - a), d = a + g * (b - a), fc = measure(m, c), fd = measure(m, d);
  for (int it = 0; it < 60; it++) {
    if (fc >= fd) {
      b = d, d = c, fd = fc;
      c = b - g * (b - a), fc = measure(m, c);
    } else {
      a = c, c = d, fc = fd;
      d = a + g * (b - a), fd = measure(m, d);
    }
  }
  const double found = 0.5 * (a + b), at_found = measure(m, found), at_sample = measure(m, ms.t[s]);
  if (at_found >= at_sample) return *t = found, at_found;
  return *t = ms.t[s], at_sample;
}

// ---- transmission angles -----------------------------------------------------

// The record that places joint x (code 10), 0 when none does.
static int placing_record(int x) {
  for (int r = 1; r <= mech.junjo_count && r < junjo_slots; r++)
    if (mech.junjo[r][jj_code] == 10 && mech.junjo[r][jj_b] == x) return r;
  return 0;
}

// 1 when the file fixes the angle at x between a joint of member a and one
// of member b: a plate, a bar bent at x, or a link along its own guide.
static int rigid_at(int x, const member *a, const member *b) {
  const int pa[2] = {a->guide ? a->j : a->p, a->guide ? a->k : a->p};
  const int pb[2] = {b->guide ? b->j : b->p, b->guide ? b->k : b->p};
  for (int u = 0; u < 2; u++)
    for (int v = 0; v < 2; v++) {
      const int p = pa[u], q = pb[v];
      if (p == q || p == x || q == x) {
        if (p == q) return 1;  // both run through the same joint: one line
        continue;
      }
      if (mech.th_known_saved[p][x][q] == 'Y') return 1;
      // Three lengths of the file make the triangle p, x, q rigid.
      if (!a->guide && !b->guide && mech.l_known_saved[x][p] == 'Y' && mech.l_known_saved[x][q] == 'Y' &&
          mech.l_known_saved[p][q] == 'Y')
        return 1;
    }
  return 0;
}

static int same_member(const member *a, const member *b) {
  if (a->guide != b->guide) return 0;
  return a->guide ? (a->j == b->j && a->k == b->k) : a->p == b->p;
}

// The members of figure step r that meet at its joint x: the figure's sides
// from x that are links of the file, and the guide of a slider at x.  Their
// count (up to 4 are kept).
static int members_at(const int *rec, int x, member *out) {
  int c = 0;
  const int figure = rec[jj_code] >= 41 ? 4 : 3;
  for (int f = 0; f < figure; f++) {
    const int y = rec[jj_a + f];
    if (y == x || y < 1 || y > mech.n || mech.link_exists[x][y] != 'Y') continue;
    if (c < 4) out[c] = member{0, y, 0, 0};
    c++;
  }
  for (int s = 1; s <= mech.slider_count && s < joint_slots; s++)
    if (mech.sliders[s].i == x) {
      if (c < 4) out[c] = member{1, 0, mech.sliders[s].j, mech.sliders[s].k};
      c++;
    }
  return c;
}

// The driven angle itself ('A' at jd between id and kd) is no transmission.
static int is_drive_angle(int x, const member *a, const member *b) {
  if (mech.rs != 'A' || x != mech.jd || a->guide || b->guide) return 0;
  return (a->p == mech.id && b->p == mech.kd) || (a->p == mech.kd && b->p == mech.id);
}

static int find_transmissions(transmission_figure *out, int capacity) {
  int count = 0;
  for (int r = 1; r <= mech.junjo_count && r < junjo_slots; r++) {
    const int *rec = mech.junjo[r];
    const int code = rec[jj_code];
    if (code < 31 || code > 44) continue;
    const int figure = code >= 41 ? 4 : 3;
    for (int f = 0; f < figure; f++) {
      const int x = rec[jj_a + f];
      if (x < 1 || x > mech.n || is_fixed(x)) continue;
      // The step solves x when x is placed after it, not before.
      const int placed = placing_record(x);
      if (placed <= r) continue;
      member m[4];
      if (members_at(rec, x, m) != 2) continue;
      if (rigid_at(x, &m[0], &m[1]) || is_drive_angle(x, &m[0], &m[1])) continue;
      int seen = 0;
      for (int s = 0; s < count && !seen; s++)
        seen = out[s].joint == x && ((same_member(&out[s].a, &m[0]) && same_member(&out[s].b, &m[1])) ||
                                     (same_member(&out[s].a, &m[1]) && same_member(&out[s].b, &m[0])));
      if (seen || count >= capacity) continue;
      transmission_figure &t = out[count++];
      t = transmission_figure{};
      t.step = r;
      t.code = code;
      t.joint = x;
      t.a = m[0];
      t.b = m[1];
    }
  }
  return count;
}

// Least and largest over the samples, refined; flags.
static void measure_transmission(transmission_figure *f) {
  int lo = -1, hi = -1;
  double vlo = 0, vhi = 0;
  for (int s = 0; s < ms.count; s++) {
    if (!ms.ok[s]) continue;
    const double a = transmission_at(f, ms.J[s]);
    if (a < 0) continue;
    if (lo < 0 || a < vlo) lo = s, vlo = a;
    if (hi < 0 || a > vhi) hi = s, vhi = a;
  }
  if (lo < 0) return;
  f->valid = 1;
  measure_target least{f, nullptr, 0.0, -1.0}, largest{f, nullptr, 0.0, 1.0};
  double t;
  f->min_deg = -refine(&least, lo, &t);
  f->min_drive = t;
  f->max_deg = refine(&largest, hi, &t);
  f->max_drive = t;
  const int low_worse = 90.0 - f->min_deg >= f->max_deg - 90.0;
  f->worst_deg = low_worse ? f->min_deg : f->max_deg;
  f->worst_drive = low_worse ? f->min_drive : f->max_drive;
  f->outside_band = f->min_deg < good_band_lo_deg || f->max_deg > good_band_hi_deg;
  f->dead_point = f->min_deg <= dead_point_tol_deg || f->max_deg >= 180.0 - dead_point_tol_deg;
}

// ---- output motion -----------------------------------------------------------

static int find_outputs(output_figure *out, int capacity) {
  int count = 0;
  for (int i = 1; i <= mech.n; i++)
    for (int j = i + 1; j <= mech.n; j++)
      if (mech.link_exists[i][j] == 'Y' && !(is_fixed(i) && is_fixed(j)) && count < capacity) {
        out[count] = output_figure{};
        out[count].i = i;
        out[count++].j = j;
      }
  for (int s = 1; s <= mech.slider_count && s < joint_slots && count < capacity; s++) {
    out[count] = output_figure{};
    out[count].slider = 1;
    out[count].i = mech.sliders[s].i;
    out[count].j = mech.sliders[s].j;
    out[count++].k = mech.sliders[s].k;
  }
  return count;
}

// The output's values over the samples, each angle continued from the one
// before; a sample without a posture (a gap narrower than the scan step)
// or without a value holds the value before it.  Its count, 0 when no
// sample has a value.
static int output_values(const output_figure *o, double *v) {
  double near = 0;
  int seen = 0;
  for (int s = 0; s < ms.count; s++) {
    int ok = ms.ok[s];
    const double got = ok ? output_at(o, ms.J[s], near, &ok) : near;
    if (ok && !seen) {
      // The samples before the first value take it.
      for (int b = 0; b < s; b++) v[b] = got;
      seen = 1;
    }
    v[s] = ok ? got : near;
    near = v[s];
  }
  return seen ? ms.count : 0;
}

// Changes of the sense of motion over the samples, round the turn when
// cyclic.  A step smaller than still_tol of the values' spread is no motion.
constexpr double still_tol = 1e-9;
static int count_reversals(const double *v, int count, double spread, int cyclic) {
  int sense = 0, first = 0, changes = 0;
  for (int s = 0; s + 1 < count; s++) {
    const double d = v[s + 1] - v[s];
    if (std::fabs(d) <= still_tol * spread) continue;
    const int now = d > 0 ? 1 : -1;
    if (!first) first = now;
    if (sense && now != sense) changes++;
    sense = now;
  }
  if (cyclic && sense && first && sense != first) changes++;
  return changes;
}

static void measure_output(output_figure *o, const drive_range *r) {
  static double v[report_samples];
  if (!output_values(o, v)) return;
  int lo = 0, hi = 0;
  for (int s = 1; s < ms.count; s++) {
    if (v[s] < v[lo]) lo = s;
    if (v[s] > v[hi]) hi = s;
  }
  const double net = v[ms.count - 1] - v[0];
  if (!o->slider && r->full && std::fabs(net) > 180.0) {
    o->turns = static_cast<int>(std::lround(net / 360.0));
    o->lo = v[lo];
    o->hi = v[hi];
    o->lo_drive = ms.t[lo];
    o->hi_drive = ms.t[hi];
    return;
  }
  if (v[hi] - v[lo] <= constant_tol) {
    // It keeps its direction or its place: no extremes to look for.
    o->lo = o->hi = v[lo];
    o->lo_drive = o->hi_drive = ms.t[lo];
    return;
  }
  const double spread = v[hi] - v[lo];
  measure_target least{nullptr, o, v[lo], -1.0}, largest{nullptr, o, v[hi], 1.0};
  double t;
  o->lo = -refine(&least, lo, &t);
  o->lo_drive = t;
  o->hi = refine(&largest, hi, &t);
  o->hi_drive = t;
  o->reversals = count_reversals(v, ms.count, spread, r->full);
  if (!r->full || o->reversals != 2) return;
  // Drive span from the least value to the largest, the drive increasing.
  double up = std::fmod((o->hi_drive - o->lo_drive) * rad_to_deg, 360.0);
  if (up < 0) up += 360.0;
  o->has_ratio = up > 0 && up < 360.0;
  if (!o->has_ratio) return;
  o->forward_span = up;
  o->return_span = 360.0 - up;
  o->time_ratio = std::fmax(up, 360.0 - up) / std::fmin(up, 360.0 - up);
}

// ---- the traced joint --------------------------------------------------------

static void measure_trace(trace_figure *tr) {
  static point p[report_samples];
  const int k = mech.kten;
  int c = 0;
  tr->joint = k;
  tr->length = 0;
  for (int s = 0; s < ms.count; s++) {
    if (!ms.ok[s] || k < 1 || k > mech.n) continue;
    p[c] = ms.J[s][k];
    if (c == 0) tr->min_x = tr->max_x = p[c].x, tr->min_y = tr->max_y = p[c].y;
    else tr->length += std::hypot(p[c].x - p[c - 1].x, p[c].y - p[c - 1].y);
    tr->min_x = std::fmin(tr->min_x, p[c].x), tr->max_x = std::fmax(tr->max_x, p[c].x);
    tr->min_y = std::fmin(tr->min_y, p[c].y), tr->max_y = std::fmax(tr->max_y, p[c].y);
    c++;
  }
  tr->points = c;
  fit_path(k, p, c, &tr->fit);
}

// ---- the whole report --------------------------------------------------------

int compute_quality_report(quality_report *r) {
  snprintf(r->title, sizeof r->title, "%s", mech.title);
  r->rs = mech.rs;
  r->id = mech.id;
  r->jd = mech.jd;
  r->kd = mech.kd;
  r->tt0 = mech.tt0;
  take_reference();
  r->assembles = trial(mech.tt0);
  compute_mobility(r->assembles, &r->mobility);
  put_back();
  if (!r->assembles) return 0;
  compute_drive_range(&r->range);
  take_reference();
  sample_motion(&r->range);
  const int found = find_transmissions(r->transmission, max_transmissions);
  // An angle that keeps its value over the motion is a rigid joint in
  // effect (a link along its own guide, a bar the file holds square); only
  // the angles that change are kept.
  r->transmission_count = 0;
  for (int t = 0; t < found; t++) {
    transmission_figure *f = &r->transmission[t];
    measure_transmission(f);
    if (f->valid && f->max_deg - f->min_deg > constant_tol) r->transmission[r->transmission_count++] = *f;
  }
  r->output_count = find_outputs(r->outputs, max_outputs);
  for (int o = 0; o < r->output_count; o++) measure_output(&r->outputs[o], &r->range);
  measure_trace(&r->trace);
  put_back();
  trial(mech.tt0);
  r->fourbar_count = compute_fourbars(r->fourbars, max_fourbars);
  put_back();
  return 1;
}

double shown_value(double v) { return std::fabs(v) < 5e-7 ? 0.0 : v; }

const char *step_figure_name(int code) {
  switch (code) {
    case 31: return "triangle from two sides and the angle between them";
    case 32: return "triangle from a side and the angles at its ends";
    case 33: return "triangle from two sides and an angle opposite one";
    case 34: return "triangle from three sides";
    case 41: return "quadrilateral from three sides and two angles";
    case 42: return "quadrilateral from four sides and two directions";
    case 44: return "quadrilateral from two sides and three angles";
    default: return "deduction";
  }
}

double report_drive_value(const quality_report *r, double t) {
  if (r->rs != 'A' && r->rs != 'B') return shown_value(t);
  double d = t * rad_to_deg;
  if (r->range.full) {
    d = std::remainder(d, 360.0);
    if (d <= -180.0) d += 360.0;
  }
  return shown_value(d);
}

// ---- why it does not assemble ------------------------------------------------

// The first record of the plan at which the solve at tt0 fails, 0 none: the
// shortest prefix of the plan that does not assemble, a broken fact of a
// prefix (whose later joints are still unplaced) not counted.
static int failing_record() {
  const int all = mech.junjo_count;
  for (int k = 1; k <= all && k < junjo_slots; k++) {
    put_back();
    mech.junjo_count = k;
    if (!solve_positions(mech.tt0) && !last_broken_fact()) return k;
  }
  return 0;
}

// How many joints a record of this code names.
static int record_joints(int code) {
  switch (code) {
    case 10: case 11: return 2;
    case 2: case 3: case 103: case 41: case 42: case 44: return 4;
    default: return 3;
  }
}

void diagnose_failure(failure_figure *out) {
  failure_figure &f = *out;
  f = failure_figure{};
  take_reference();
  int complete = 1;
  for (int i = 1; i <= mech.n; i++)
    if (mech.J_known[i] == 'N') {
      f.unknown[i] = 1;
      complete = 0;
    }
  const int ok = trial(mech.tt0);
  const int broken = ok ? 0 : last_broken_fact();
  if (complete && broken) {
    f.kind = fails_fact;
    describe_fact(solver_facts, broken, mech.J, f.fact, sizeof f.fact);
    put_back();
    return;
  }
  const int r = ok ? 0 : failing_record();
  put_back();
  if (r) {
    f.kind = fails_step;
    f.step = r;
    f.code = mech.junjo[r][jj_code];
    const int joints = record_joints(f.code);
    for (int q = 0; q < joints; q++) f.joints[q] = mech.junjo[r][jj_a + q];
    return;
  }
  f.kind = complete ? fails_not : fails_unplanned;
}
