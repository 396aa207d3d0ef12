// Dimensional synthesis: each candidate is written into the one mechanism
// record, rebuilt and solved by the reference solver; NLopt drives the search.
#include "analysis/synthesis.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <nlopt.hpp>
#include <vector>

#include "kinematics/solver.h"

// Samples of the first pass over a full turn; intervals are split until the
// midpoint lies within sample_tolerance of the extent from the chord.
constexpr int first_samples = 120;
constexpr double sample_tolerance = 1e-3;  // of the path's extent
constexpr int max_samples = 4000;          // bound on one path's points
constexpr int golden_steps = 40;           // 0.618^40: 4e-9 of the interval
constexpr double refused_error = 1e12;     // world units: worse than any real error

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

// Traced joint at drive value t; 0 when the mechanism does not assemble.
static int traced_at(double t, point *out) {
  if (!solve_positions(t)) return 0;
  *out = mech.J[mech.kten];
  return std::isfinite(out->x) && std::isfinite(out->y);
}

// Distance of q from the segment a-b.
static double segment_distance(point q, point a, point b) {
  const double ux = b.x - a.x, uy = b.y - a.y, len2 = ux * ux + uy * uy;
  double s = len2 > 0 ? ((q.x - a.x) * ux + (q.y - a.y) * uy) / len2 : 0.0;
  s = s < 0 ? 0 : (s > 1 ? 1 : s);
  return std::hypot(q.x - a.x - s * ux, q.y - a.y - s * uy);
}

// The path over one turn from tt0, refined until every midpoint lies within
// tolerance of its chord.  Number of samples, 0 when a solve failed.
static int sample_path(std::vector<path_sample> *path) {
  const double t0 = mech.tt0, span = 2 * pi;
  path->clear();
  for (int s = 0; s <= first_samples; s++) {
    path_sample ps{t0 + span * s / first_samples, {0, 0}};
    if (!traced_at(ps.t, &ps.p)) return 0;
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
    if (!traced_at(mid.t, &mid.p)) return 0;
    if (segment_distance(mid.p, a.p, b.p) > tol && path->size() < static_cast<size_t>(max_samples)) {
      path->insert(path->begin() + static_cast<long>(s) + 1, mid);
      continue;  // the first half again
    }
    s++;
  }
  return static_cast<int>(path->size());
}

// Distance of q from the path: the nearest segment, then a golden-section
// search of the drive over the two intervals around it.
static double path_distance(point q, const std::vector<path_sample> &path) {
  size_t best = 0;
  double d = 1e300;
  for (size_t s = 0; s + 1 < path.size(); s++) {
    const double e = segment_distance(q, path[s].p, path[s + 1].p);
    if (e < d) { d = e; best = s; }
  }
  double a = path[best > 0 ? best - 1 : 0].t, b = path[best + 2 < path.size() ? best + 2 : best + 1].t;
  const double g = 0.6180339887498949;  // golden ratio - 1
  auto dist = [&](double t) {
    point p;
    return traced_at(t, &p) ? std::hypot(p.x - q.x, p.y - q.y) : 1e300;
  };
  double c = b - g * (b - a), e = a + g * (b - a), fc = dist(c), fe = dist(e);
  for (int it = 0; it < golden_steps; it++) {
    if (fc < fe) { b = e; e = c; fe = fc; c = b - g * (b - a); fc = dist(c); }
    else { a = c; c = e; fc = fe; e = a + g * (b - a); fe = dist(e); }
  }
  return std::fmin(d, std::fmin(fc, fe));
}

// sum_sq (may be nullptr) gets the sum of the squared distances: smooth
// where the largest is not, which the local polish needs.
static double candidate_errors(const synth_problem *p, const mechanism *base, const double *x,
                               double *sum_sq) {
  double sum = 0;
  if (sum_sq) *sum_sq = 0;
  mech = *base;
  apply_variables(p, x);
  if (!p->rebuild()) return -1;
  double worst = 0;
  if (p->timed) {
    for (int i = 0; i < p->target_count; i++) {
      const synth_target &t = p->targets[i];
      point q;
      if (!traced_at(drive_is_rotary() ? t.drive * deg_to_rad : t.drive, &q)) return -1;
      const double d = std::hypot(q.x - t.x, q.y - t.y);
      worst = std::fmax(worst, d);
      sum += d * d;
    }
    if (sum_sq) *sum_sq = sum;
    return worst;
  }
  static std::vector<path_sample> path;
  if (!sample_path(&path)) return -1;
  for (int i = 0; i < p->target_count; i++) {
    const double d = path_distance(point{p->targets[i].x, p->targets[i].y}, path);
    worst = std::fmax(worst, d);
    sum += d * d;
  }
  if (sum_sq) *sum_sq = sum;
  return worst;
}

double candidate_error(const synth_problem *p, const mechanism *base, const double *x) {
  return candidate_errors(p, base, x, nullptr);
}

// --- search ---

struct search_state {
  const synth_problem *p;
  const mechanism *base;
  long evaluations;
  double best;                 // best error so far, negative: none assembled
  std::vector<double> best_x;
  std::chrono::steady_clock::time_point start;
  double last_report;          // seconds
  int squares;                 // 1: the stage minimises the sum of squares
};

static double seconds_since(const search_state *s) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - s->start).count();
}

static double objective(const std::vector<double> &x, std::vector<double> &, void *data) {
  search_state *s = static_cast<search_state *>(data);
  if (s->evaluations >= s->p->max_evaluations || seconds_since(s) >= s->p->max_seconds)
    throw nlopt::forced_stop();
  s->evaluations++;
  double sum_sq;
  const double e = candidate_errors(s->p, s->base, x.data(), &sum_sq);
  if (e >= 0 && (s->best < 0 || e < s->best)) { s->best = e; s->best_x = x; }
  const double now = seconds_since(s);
  if (now - s->last_report >= 0.5) {
    s->last_report = now;
    fprintf(stderr, "synth: %ld evaluations, best error %.6g, %.1f s\n", s->evaluations, s->best, now);
  }
  return e < 0 ? refused_error : (s->squares ? sum_sq : e);
}

static void run_stage(nlopt::algorithm alg, search_state *s, std::vector<double> *x, long evals, double xtol) {
  const synth_problem *p = s->p;
  nlopt::opt opt(alg, static_cast<unsigned>(p->var_count));
  std::vector<double> lo(p->var_count), hi(p->var_count);
  for (int v = 0; v < p->var_count; v++) { lo[v] = p->vars[v].lo; hi[v] = p->vars[v].hi; }
  opt.set_lower_bounds(lo);
  opt.set_upper_bounds(hi);
  opt.set_min_objective(objective, s);
  opt.set_maxeval(static_cast<int>(evals));
  opt.set_xtol_rel(xtol);
  opt.set_stopval(0.0);
  if (s->squares) {  // a local stage starts from a step of 2% of each range
    std::vector<double> step(p->var_count);
    for (int v = 0; v < p->var_count; v++) step[v] = 0.02 * (hi[v] - lo[v]);
    opt.set_initial_step(step);
  }
  double f;
  try { opt.optimize(*x, f); } catch (const std::exception &) {}  // stop or roundoff: keep the best
}

double run_synthesis(const synth_problem *p, const mechanism *base, double *x, long *evaluations) {
  search_state s{p, base, 0, -1, {}, std::chrono::steady_clock::now(), 0, 0};
  nlopt::srand(p->seed);
  std::vector<double> v(x, x + p->var_count);
  s.best_x = v;
  // A global share of the budget, then polishes from the best: the first
  // shrinks the region, the second takes the error to rounding.
  run_stage(nlopt::GN_CRS2_LM, &s, &v, p->max_evaluations / 4, 1e-4);
  s.squares = 1;
  for (int round = 0; round < 6 && s.best > 0 && s.evaluations < p->max_evaluations; round++) {
    v = s.best_x;
    run_stage(round % 2 ? nlopt::LN_SBPLX : nlopt::LN_BOBYQA, &s, &v,
              p->max_evaluations - s.evaluations, 1e-12);
  }
  for (int i = 0; i < p->var_count; i++) x[i] = s.best_x[i];
  *evaluations = s.evaluations;
  fprintf(stderr, "synth: %ld evaluations, best error %.6g, %.1f s (end)\n", s.evaluations, s.best,
          seconds_since(&s));
  return s.best;
}
