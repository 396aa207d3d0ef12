// Dimensional synthesis: each candidate is written into the one mechanism
// record, rebuilt and solved by the reference solver; NLopt drives the search.
#include "analysis/synthesis.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <nlopt.hpp>
#include <vector>

#include "analysis/quality_report.h"
#include "kinematics/solver.h"

static int drive_is_rotary() { return mech.rs == 'A' || mech.rs == 'B'; }

// A new initial drive value, stored in the driven element too.
static void set_drive_value(double tt) {
  mech.tt0 = tt;
  put_drive_value(tt);
}

void apply_variables(const synth_problem *p, const double *x) {
  mechanism &m = mech;
  for (int v = 0; v < p->var_count; v++) {
    const design_variable &d = p->vars[v];
    switch (d.kind) {
      case var_length:
        m.l[d.i][d.j] = m.l[d.j][d.i] = x[v];
        m.l_saved[d.i][d.j] = m.l_saved[d.j][d.i] = x[v];
        break;
      case var_fixed_x: m.J[d.i].x = m.J_saved[d.i].x = x[v]; break;
      case var_fixed_y: m.J[d.i].y = m.J_saved[d.i].y = x[v]; break;
      case var_angle:
        m.th[d.i][d.j][d.k] = m.th_saved[d.i][d.j][d.k] = x[v] * deg_to_rad;
        m.th[d.k][d.j][d.i] = m.th_saved[d.k][d.j][d.i] = -x[v] * deg_to_rad;
        break;
      case var_tt0: set_drive_value(drive_is_rotary() ? x[v] * deg_to_rad : x[v]); break;
    }
  }
}

void read_variables(const synth_problem *p, double *x) {
  const mechanism &m = mech;
  for (int v = 0; v < p->var_count; v++) {
    const design_variable &d = p->vars[v];
    switch (d.kind) {
      case var_length: x[v] = m.l[d.i][d.j]; break;
      case var_fixed_x: x[v] = m.J[d.i].x; break;
      case var_fixed_y: x[v] = m.J[d.i].y; break;
      case var_angle: x[v] = m.th[d.i][d.j][d.k] * rad_to_deg; break;
      case var_tt0: x[v] = drive_is_rotary() ? m.tt0 * rad_to_deg : m.tt0; break;
    }
  }
}

struct path_sample {
  double t;   // drive value, radians or world units
  point p;    // traced joint, world units
};

// Samples of the first pass over the span; intervals are split until the
// midpoint lies within sample_tolerance of the extent from the chord.
// Distances are not taken from the chords (a chord may pass a target that
// the curve misses by up to that tolerance): the samples only say which
// stretch of drive to search.
constexpr int first_samples = 120;
constexpr double sample_tolerance = 1e-3;  // of the path's extent
constexpr int max_samples = 4000;          // bound on one path's points
// Golden-section rounds on the drive: 0.618^48 = 1e-10 of a window of three
// intervals (about 0.15 radian over a turn), below the solver's rounding
// in the distance, which grows only with the square of the drive's miss.
constexpr int golden_steps = 48;
// The extreme transmission angles refined over two first-pass intervals:
// 0.618^30 = 5e-7 of them, a drive miss of 5e-8 radian, far below the
// 1e-3 degree the result is judged to.
constexpr int angle_golden_steps = 30;
constexpr double refused_error = 1e12;     // world units: worse than any real error

// Penalties.  Moving the mechanism's joints by d moves its path by about d,
// and turning a link by one degree moves points at the targets' extent E
// by E pi/180; a penalty of ten times that per unit broken makes keeping a
// requirement cheaper than breaking it for any gain in distance.
constexpr double penalty_factor = 10.0;
// The search aims this far inside the limits so that the last rounding of
// the polish still leaves the result within them: 1e-3 degree, and 1e-6
// of the targets' extent for the box.
constexpr double angle_margin_deg = 1e-3;
constexpr double box_margin = 1e-6;

// Postures measured while the path is sampled.
struct motion_measure {
  int count;                                   // transmission figures watched
  transmission_figure fig[max_transmissions];
  double least[max_transmissions], largest[max_transmissions];      // degrees
  double t_least[max_transmissions], t_largest[max_transmissions];  // drive values
  double box_excess;                           // world units, negative inside
};

static int solves_done;  // postures solved for the candidate in hand

// Solves at drive value t, counted; 1 assembled.
static int solve_counted(double t) {
  solves_done++;
  return solve_positions(t);
}

// Traced joint at drive value t; 0 when the mechanism does not assemble.
static int traced_at(double t, point *out) {
  if (!solve_counted(t)) return 0;
  *out = mech.J[mech.kten];
  return std::isfinite(out->x) && std::isfinite(out->y);
}

// How far J[1..n] of mech leaves the box, world units: negative when all
// are inside, by the least clearance.
static double box_excess_now(const synth_requirements *q) {
  double e = -1e300;
  for (int i = 1; i <= mech.n && i < joint_slots; i++) {
    const point &j = mech.J[i];
    e = std::fmax(e, std::fmax(q->box_x0 - j.x, j.x - q->box_x1));
    e = std::fmax(e, std::fmax(q->box_y0 - j.y, j.y - q->box_y1));
  }
  return e;
}

// Folds the posture now in mech (at drive value t) into m.
static void measure_posture(const synth_problem *p, motion_measure *m, double t) {
  if (p->req.box) m->box_excess = std::fmax(m->box_excess, box_excess_now(&p->req));
  for (int f = 0; f < m->count; f++) {
    const double a = transmission_at(&m->fig[f], mech.J);
    if (a < 0) continue;
    if (a < m->least[f]) { m->least[f] = a; m->t_least[f] = t; }
    if (a > m->largest[f]) { m->largest[f] = a; m->t_largest[f] = t; }
  }
}

// Traced joint at t, the posture measured; 0 when it does not assemble.
static int sample_at(const synth_problem *p, motion_measure *m, double t, point *out) {
  if (!traced_at(t, out)) return 0;
  measure_posture(p, m, t);
  return 1;
}

// Distance of q from the segment a-b.
static double segment_distance(point q, point a, point b) {
  const double ux = b.x - a.x, uy = b.y - a.y, len2 = ux * ux + uy * uy;
  double s = len2 > 0 ? ((q.x - a.x) * ux + (q.y - a.y) * uy) / len2 : 0.0;
  s = s < 0 ? 0 : (s > 1 ? 1 : s);
  return std::hypot(q.x - a.x - s * ux, q.y - a.y - s * uy);
}

// The path over lo..hi, refined until every midpoint lies within tolerance
// of its chord, every posture measured into m.  Number of samples, 0 when
// a solve failed.
static int sample_path(const synth_problem *p, double lo, double hi, std::vector<path_sample> *path,
                       motion_measure *m) {
  path->clear();
  for (int s = 0; s <= first_samples; s++) {
    path_sample ps{s == first_samples ? hi : lo + (hi - lo) * s / first_samples, {0, 0}};
    if (!sample_at(p, m, ps.t, &ps.p)) return 0;
    path->push_back(ps);
  }
  double xmin = 1e300, xmax = -1e300, ymin = 1e300, ymax = -1e300;
  for (const path_sample &ps : *path) {
    xmin = std::fmin(xmin, ps.p.x); xmax = std::fmax(xmax, ps.p.x);
    ymin = std::fmin(ymin, ps.p.y); ymax = std::fmax(ymax, ps.p.y);
  }
  const double tol = sample_tolerance * std::fmax(std::hypot(xmax - xmin, ymax - ymin), 1e-9);
  for (size_t s = 0; s + 1 < path->size();) {
    const path_sample a = (*path)[s], b = (*path)[s + 1];
    path_sample mid{0.5 * (a.t + b.t), {0, 0}};
    if (!sample_at(p, m, mid.t, &mid.p)) return 0;
    if (segment_distance(mid.p, a.p, b.p) > tol && path->size() < static_cast<size_t>(max_samples)) {
      path->insert(path->begin() + static_cast<long>(s) + 1, mid);
      continue;  // the first half again
    }
    s++;
  }
  return static_cast<int>(path->size());
}

// Distance of q from the traced point at drive value t; 1e300 where the
// mechanism does not assemble.
static double distance_at(point q, double t) {
  point c;
  return traced_at(t, &c) ? std::hypot(c.x - q.x, c.y - q.y) : 1e300;
}

// Distance of q from the path, world units: the nearest chord picks a
// stretch of three intervals, a golden-section search of the drive over it
// finds the nearest point of the curve itself.  On a whole turn the stretch
// runs on past the ends (the drive is periodic); on a range it stops there.
static double path_distance(point q, const std::vector<path_sample> &path, int cyclic) {
  const size_t last = path.size() - 1;
  size_t best = 0;
  double d = 1e300;
  for (size_t s = 0; s < last; s++) {
    const double e = segment_distance(q, path[s].p, path[s + 1].p);
    if (e < d) { d = e; best = s; }
  }
  double a = best > 0 ? path[best - 1].t : (cyclic ? path[0].t - (path[last].t - path[last - 1].t) : path[0].t);
  double b = best + 2 <= last ? path[best + 2].t : (cyclic ? path[last].t + (path[1].t - path[0].t) : path[last].t);
  const double g = 0.6180339887498949;  // golden ratio - 1
  double c = b - g * (b - a), e = a + g * (b - a), fc = distance_at(q, c), fe = distance_at(q, e);
  for (int it = 0; it < golden_steps; it++) {
    if (fc < fe) { b = e; e = c; fe = fc; c = b - g * (b - a); fc = distance_at(q, c); }
    else { a = c; c = e; fc = fe; e = a + g * (b - a); fe = distance_at(q, e); }
  }
  // The samples at the chord's ends are points of the curve too.
  const double ends = std::fmin(std::hypot(path[best].p.x - q.x, path[best].p.y - q.y),
                                std::hypot(path[best + 1].p.x - q.x, path[best + 1].p.y - q.y));
  return std::fmin(ends, std::fmin(fc, fe));
}

// sign times transmission angle f at drive value t; -1e300 where undefined.
static double signed_angle_at(const transmission_figure *f, double t, double sign) {
  if (!solve_counted(t)) return -1e300;
  const double a = transmission_at(f, mech.J);
  return a < 0 ? -1e300 : sign * a;
}

// Golden-section search for the largest of sign times angle f within h of
// drive value t (clamped to lo..hi unless cyclic); the better of it and
// best, times sign.
static double refine_angle(const transmission_figure *f, double t, double h, double lo, double hi,
                           int cyclic, double sign, double best) {
  double a = t - h, b = t + h;
  if (!cyclic) { a = std::fmax(a, lo); b = std::fmin(b, hi); }
  const double g = 0.6180339887498949;
  double c = b - g * (b - a), d = a + g * (b - a), fc = signed_angle_at(f, c, sign), fd = signed_angle_at(f, d, sign);
  for (int it = 0; it < angle_golden_steps; it++) {
    if (fc >= fd) { b = d; d = c; fd = fc; c = b - g * (b - a); fc = signed_angle_at(f, c, sign); }
    else { a = c; c = d; fc = fd; d = a + g * (b - a); fd = signed_angle_at(f, d, sign); }
  }
  return std::fmax(sign * best, std::fmax(fc, fd));
}

static int drive_rotary_of(const mechanism *m) { return m->rs == 'A' || m->rs == 'B'; }

int motion_span(const synth_problem *p, double *lo, double *hi) {
  const double unit = drive_is_rotary() ? deg_to_rad : 1.0;
  *lo = *hi = mech.tt0;
  if (p->req.range) {
    *lo = p->req.range_lo * unit;
    *hi = p->req.range_hi * unit;
    return drive_is_rotary() && p->req.range_hi - p->req.range_lo >= 360.0;
  }
  if (p->timed && drive_is_rotary()) {
    // Drive angles are taken round the turn: the span is the shortest arc
    // that holds them all, the turn less its widest gap.
    double a[max_targets] = {};
    const int count = p->target_count < max_targets ? p->target_count : max_targets;
    if (count < 1) return 0;  // no span: refused
    for (int i = 0; i < count; i++) {
      a[i] = std::fmod(p->targets[i].drive, 360.0);
      if (a[i] < 0) a[i] += 360.0;
    }
    std::sort(a, a + count);
    int after = 0;  // the angle that follows the widest gap
    double gap = a[0] + 360.0 - a[count - 1];
    for (int i = 1; i < count; i++)
      if (a[i] - a[i - 1] > gap) { gap = a[i] - a[i - 1]; after = i; }
    *lo = a[after] * unit;
    *hi = (a[after] + 360.0 - gap) * unit;
    return 0;
  }
  if (p->timed) {
    *lo = 1e300;
    *hi = -1e300;
    for (int i = 0; i < p->target_count; i++) {
      *lo = std::fmin(*lo, p->targets[i].drive * unit);
      *hi = std::fmax(*hi, p->targets[i].drive * unit);
    }
    return 0;
  }
  if (!drive_is_rotary()) return 0;
  *hi = *lo + 2 * pi;
  return 1;
}

// The targets' extent, world units (at least 1e-9): the scale of the
// penalties and of the stopping floor.
static double target_extent(const synth_problem *p) {
  double xmin = 1e300, xmax = -1e300, ymin = 1e300, ymax = -1e300;
  for (int i = 0; i < p->target_count; i++) {
    xmin = std::fmin(xmin, p->targets[i].x); xmax = std::fmax(xmax, p->targets[i].x);
    ymin = std::fmin(ymin, p->targets[i].y); ymax = std::fmax(ymax, p->targets[i].y);
  }
  return p->target_count > 0 ? std::fmax(std::hypot(xmax - xmin, ymax - ymin), 1e-9) : 1.0;
}

// The motion's requirements into r and its penalty; margin 1 aims inside
// the limits (the search), 0 judges against them.
static double requirement_penalty(const synth_problem *p, const candidate_result *r, double extent,
                                  int margin) {
  const synth_requirements &q = p->req;
  double pen = 0;
  if (q.transmission && r->transmission_count > 0) {
    const double m = margin ? angle_margin_deg : 0.0;
    const double below = std::fmax(0.0, q.tmin + m - r->t_least), above = std::fmax(0.0, r->t_largest - (q.tmax - m));
    pen += penalty_factor * extent * deg_to_rad * (below + above);
  }
  if (q.box) pen += penalty_factor * std::fmax(0.0, r->box_excess + (margin ? box_margin * extent : 0.0));
  return pen;
}

double evaluate_candidate(const synth_problem *p, const mechanism *base, const double *x,
                          candidate_result *r) {
  *r = candidate_result{};
  r->score = -1;
  solves_done = 0;
  mech = *base;
  apply_variables(p, x);
  if (!p->rebuild()) return -1;
  double lo, hi;
  const int cyclic = motion_span(p, &lo, &hi);
  r->motion_lo = lo;
  r->motion_hi = hi;
  r->full_turn = cyclic;
  if (!(hi > lo)) return -1;
  // Transmission angles of the candidate's own plan (the order may change
  // with the dimensions).
  static motion_measure m;
  m.count = 0;
  m.box_excess = -1e300;
  if (p->req.transmission) {
    m.count = find_transmissions(m.fig, max_transmissions);
    for (int f = 0; f < m.count; f++) { m.least[f] = 1e300; m.largest[f] = -1e300; }
  }
  static std::vector<path_sample> path;
  r->samples = sample_path(p, lo, hi, &path, &m);
  if (!r->samples) return -1;
  r->box_excess = p->req.box ? m.box_excess : 0.0;
  // Extremes refined around their samples; an angle that keeps its value
  // is a rigid joint in effect, as the quality report counts them.
  r->t_least = 180;
  r->t_largest = 0;
  const double h = (hi - lo) / first_samples;
  for (int f = 0; f < m.count; f++) {
    if (!(m.largest[f] - m.least[f] > constant_tol)) continue;
    const double least = -refine_angle(&m.fig[f], m.t_least[f], h, lo, hi, cyclic, -1.0, m.least[f]);
    const double largest = refine_angle(&m.fig[f], m.t_largest[f], h, lo, hi, cyclic, 1.0, m.largest[f]);
    r->transmission_count++;
    r->t_least = std::fmin(r->t_least, least);
    r->t_largest = std::fmax(r->t_largest, largest);
  }
  double worst = 0, sum = 0;
  for (int i = 0; i < p->target_count; i++) {
    const synth_target &t = p->targets[i];
    const point q{t.x, t.y};
    const double d = p->timed ? distance_at(q, drive_rotary_of(&mech) ? t.drive * deg_to_rad : t.drive)
                              : path_distance(q, path, cyclic);
    if (!(d < 1e300)) return -1;
    worst = std::fmax(worst, d);
    sum += d * d;
  }
  r->assembles = 1;
  r->solves = solves_done;
  r->max_distance = worst;
  r->sum_sq = sum;
  r->penalty = requirement_penalty(p, r, target_extent(p), 1);
  r->score = worst + r->penalty;
  return r->score;
}

double candidate_error(const synth_problem *p, const mechanism *base, const double *x) {
  candidate_result r;
  return evaluate_candidate(p, base, x, &r);
}

// --- search ---

// A score below this fraction of the targets' extent ends the search: 1e-4
// of the 1e-6 a recovery is asked for, and some hundred times the solver's
// rounding of the positions (near 1e-12 of the mechanism's size).
constexpr double score_floor = 1e-10;
// A polish round that lowers the best score by less than this fraction has
// stalled; two such rounds in a row end the polish.
constexpr double stall_fraction = 1e-3;

struct search_state {
  const synth_problem *p;
  const mechanism *base;
  long evaluations;
  double best;                 // best score so far, negative: none assembled
  std::vector<double> best_x;
  std::chrono::steady_clock::time_point start;
  double last_report;          // seconds
  int squares;                 // 1: the stage lowers the sum of squares
  int target_count;
};

static double seconds_since(const search_state *s) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - s->start).count();
}

static double objective(const std::vector<double> &x, std::vector<double> &, void *data) {
  search_state *s = static_cast<search_state *>(data);
  if (s->evaluations >= s->p->max_evaluations || seconds_since(s) >= s->p->max_seconds)
    throw nlopt::forced_stop();
  s->evaluations++;
  candidate_result r;
  const double e = evaluate_candidate(s->p, s->base, x.data(), &r);
  if (e >= 0 && (s->best < 0 || e < s->best)) { s->best = e; s->best_x = x; }
  const double now = seconds_since(s);
  if (now - s->last_report >= 0.5) {
    s->last_report = now;
    fprintf(stderr, "synth: %ld evaluations, best error %.6g, %.1f s\n", s->evaluations, s->best, now);
  }
  if (e < 0) return refused_error;
  // The largest distance has corners where the worst target changes; the
  // sum of squares is smooth there, as the local methods' models need.  A
  // penalty counts as a distance broken at every target.
  return s->squares ? r.sum_sq + s->target_count * r.penalty * r.penalty : e;
}

static void run_stage(nlopt::algorithm alg, search_state *s, std::vector<double> *x, long evals,
                      double xtol, double stop) {
  const synth_problem *p = s->p;
  nlopt::opt opt(alg, static_cast<unsigned>(p->var_count));
  std::vector<double> lo(p->var_count), hi(p->var_count);
  for (int v = 0; v < p->var_count; v++) { lo[v] = p->vars[v].lo; hi[v] = p->vars[v].hi; }
  opt.set_lower_bounds(lo);
  opt.set_upper_bounds(hi);
  opt.set_min_objective(objective, s);
  opt.set_maxeval(static_cast<int>(evals));
  opt.set_xtol_rel(xtol);
  opt.set_stopval(stop);
  if (s->squares) {  // a local stage starts from a step of 2% of each range
    std::vector<double> step(p->var_count);
    for (int v = 0; v < p->var_count; v++) step[v] = 0.02 * (hi[v] - lo[v]);
    opt.set_initial_step(step);
  }
  double f;
  try { opt.optimize(*x, f); } catch (const std::exception &) {}  // stop or roundoff: keep the best
}

double run_synthesis(const synth_problem *p, const mechanism *base, double *x, long *evaluations) {
  search_state s{p, base, 0, -1, {}, std::chrono::steady_clock::now(), 0, 0, p->target_count};
  nlopt::srand(p->seed);
  std::vector<double> v(x, x + p->var_count);
  s.best_x = v;
  const double floor = score_floor * target_extent(p);
  // A global share of the budget, then polishes from the best: BOBYQA's
  // quadratic models take a zero-residual fit to rounding in a few hundred
  // evaluations; SBPLX, between them, moves on where a model stalls.
  run_stage(nlopt::GN_CRS2_LM, &s, &v, p->max_evaluations / 4, 1e-4, floor);
  s.squares = 1;
  int stalled = 0;
  for (int round = 0; round < 6 && stalled < 2 && s.best != 0 && !(s.best >= 0 && s.best <= floor) &&
                      s.evaluations < p->max_evaluations;
       round++) {
    const double before = s.best;
    v = s.best_x;
    run_stage(round % 2 ? nlopt::LN_SBPLX : nlopt::LN_BOBYQA, &s, &v, p->max_evaluations - s.evaluations,
              1e-12, floor * floor);
    stalled = before >= 0 && s.best > before * (1 - stall_fraction) ? stalled + 1 : 0;
  }
  for (int i = 0; i < p->var_count; i++) x[i] = s.best_x[i];
  *evaluations = s.evaluations;
  fprintf(stderr, "synth: %ld evaluations, best error %.6g, %.1f s (end)\n", s.evaluations, s.best,
          seconds_since(&s));
  return s.best;
}
