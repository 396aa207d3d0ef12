// linkmotion-synth FILE --target POINTS.csv --vary VARIABLE [--vary VARIABLE ...]
//   [--timed] [--seed N] [--budget-s S] [--budget-evals N] [--out NEWFILE]
//
// Finds dimensions of FILE's mechanism whose traced joint passes near the
// target points, writes the best mechanism as a data file (default
// FILE_synth) and prints its dimensions and, last, max_error=E.
// Exit 0 written, 1 nothing that assembles found, 2 bad arguments.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/synthesis.h"
#include "app/dialogs.h"
#include "app/setup_controller.h"
#include "kinematics/planner.h"
#include "kinematics/pre_analysis.h"
#include "kinematics/solver.h"
#include "model/console.h"
#include "model/mechanism_model.h"

constexpr int search_notches = 72;  // as the batch tool: one turn of 5-degree notches

static int bad(const char *msg, const char *what) {
  fprintf(stderr, "linkmotion-synth: %s%s%s\n", msg, what ? ": " : "", what ? shown(what) : "");
  fprintf(stderr, "usage: linkmotion-synth FILE --target POINTS.csv --vary VARIABLE [--vary VARIABLE ...] "
                  "[--timed] [--seed N] [--budget-s S] [--budget-evals N] [--out NEWFILE]\n"
                  "  VARIABLE: l:I,J:LO:HI | J:I.x:LO:HI | J:I.y:LO:HI | th:I,J,K:LO:HI | tt0:LO:HI\n");
  return 2;
}

static int parse_number(const char *s, double *v) {
  char *end;
  errno = 0;
  *v = strtod(s, &end);
  return end != s && *end == '\0' && errno == 0 && std::isfinite(*v);
}

// One --vary VARIABLE; 1 understood (joints are checked after loading).
static int parse_vary(const char *text, design_variable *d) {
  *d = design_variable{var_length, 0, 0, 0, 0, 0};
  char lo[64], hi[64], axis = 0;
  int used = 0;
  if (sscanf(text, "l:%d,%d:%63[^:]:%63s%n", &d->i, &d->j, lo, hi, &used) == 4) d->kind = var_length;
  else if (sscanf(text, "th:%d,%d,%d:%63[^:]:%63s%n", &d->i, &d->j, &d->k, lo, hi, &used) == 5) d->kind = var_angle;
  else if (sscanf(text, "tt0:%63[^:]:%63s%n", lo, hi, &used) == 2) d->kind = var_tt0;
  else if (sscanf(text, "J:%d.%c:%63[^:]:%63s%n", &d->i, &axis, lo, hi, &used) == 4 && (axis == 'x' || axis == 'y'))
    d->kind = axis == 'x' ? var_fixed_x : var_fixed_y;
  else return 0;
  return static_cast<size_t>(used) == strlen(text) && parse_number(lo, &d->lo) && parse_number(hi, &d->hi);
}

// CSV of x,y (or drive,x,y) lines; a first line that is no numbers is a
// header.  Number of targets, -1 on a bad line.
static int read_targets(const char *path, int timed, synth_target *t) {
  FILE *f = fopen(path, "r");
  if (!f) return -1;
  char line[512];
  int count = 0, lineno = 0;
  while (fgets(line, sizeof line, f)) {
    lineno++;
    double a, b, c;
    int got = sscanf(line, " %lf , %lf , %lf", &a, &b, &c);
    if (got <= 0 && strspn(line, " \t\r\n") == strlen(line)) continue;
    if ((timed ? got != 3 : got != 2) || count >= max_targets) {
      if (lineno == 1 && got <= 0) continue;  // header
      fclose(f);
      return -1;
    }
    t[count++] = timed ? synth_target{a, b, c} : synth_target{0, a, b};
  }
  fclose(f);
  return count;
}

// Rebuild after new dimensions: the pre-analysis's invariants, the drive
// mark and a new plan at tt0 (a plan's order can change with the values).
static int rebuild() {
  clear_derived();
  if (!pre_analysis()) return 0;
  mark_drive('Z');
  for (int s = 0; s < junjo_slots; s++) { mech.junjo[s][jj_choice] = 0; mech.choice_offered[s] = 0; }
  if (!cal_junjo()) return 0;
  return solve_positions(mech.tt0);
}

static int variable_valid(const design_variable &d) {
  const mechanism &m = mech;
  switch (d.kind) {
    case var_length:
      return joint_in_range(d.i) && joint_in_range(d.j) && m.l_known[d.i][d.j] == 'Y' && d.lo > 0;
    case var_fixed_x: case var_fixed_y: return joint_in_range(d.i) && m.J_known[d.i] == 'Y';
    case var_angle:
      return joint_in_range(d.i) && joint_in_range(d.j) && joint_in_range(d.k) &&
             m.th_known[d.i][d.j][d.k] == 'Y';
    case var_tt0: return m.rs == 'A' || m.rs == 'B' || m.rs == 'L';
  }
  return 0;
}

// --- the written file: the source text with the varied values replaced ---

static std::string fmt(double v) {
  char b[64];
  snprintf(b, sizeof b, "%.10g", v);
  return b;
}

static const char *value_of(const synth_problem *p, const double *x, variable_kind kind, int i, int j, int k) {
  static std::string s;
  for (int v = 0; v < p->var_count; v++) {
    const design_variable &d = p->vars[v];
    if (d.kind != kind) continue;
    const int match = kind == var_length ? ((d.i == i && d.j == j) || (d.i == j && d.j == i))
                    : kind == var_angle ? (d.i == i && d.j == j && d.k == k)
                    : d.i == i;
    if (kind == var_angle && d.i == k && d.j == j && d.k == i) { s = fmt(-x[v]); return s.c_str(); }
    if (match) { s = fmt(x[v]); return s.c_str(); }
  }
  return nullptr;
}

static int write_result(const char *src, const char *out, const synth_problem *p, const double *x) {
  FILE *f = fopen(src, "r");
  if (!f) {
    std::string lib = std::string(mechanism_dir() ? mechanism_dir() : ".") + "/" + src;
    f = fopen(lib.c_str(), "r");
  }
  if (!f) return 0;
  std::vector<std::string> w;
  char word[512];
  while (fscanf(f, "%511s", word) == 1) w.push_back(word);
  fclose(f);
  FILE *o = fopen(out, "w");
  if (!o || w.size() < 3) { if (o) fclose(o); return 0; }
  size_t at = 0;
  std::string title = w[at++];
  title = title.substr(0, title_size - 1 - 6) + "_synth";
  fprintf(o, "%s\n%s\n", title.c_str(), w[at++].c_str());
  auto section = [&](int kind_of_section) {
    while (at < w.size()) {
      std::string e = w[at++];
      if (e == "0") break;
      int i = 0, j = 0, k = 0;
      double a, b;
      char buf[256];
      const char *r;
      if (kind_of_section == 4 && sscanf(e.c_str(), "%d,%lf,%lf", &i, &a, &b) == 3) {
        if ((r = value_of(p, x, var_fixed_x, i, 0, 0))) a = atof(r);
        if ((r = value_of(p, x, var_fixed_y, i, 0, 0))) b = atof(r);
        snprintf(buf, sizeof buf, "%d,%s,%s", i, fmt(a).c_str(), fmt(b).c_str()); e = buf;
      } else if (kind_of_section == 5 && sscanf(e.c_str(), "%d,%d,%lf,%lf", &i, &j, &a, &b) == 4) {
        if ((r = value_of(p, x, var_fixed_x, i, 0, 0))) a = atof(r);
        if ((r = value_of(p, x, var_fixed_y, i, 0, 0))) b = atof(r);
        snprintf(buf, sizeof buf, "%d,%d,%s,%s", i, j, fmt(a).c_str(), fmt(b).c_str()); e = buf;
      } else if (kind_of_section == 7 && sscanf(e.c_str(), "%d,%d,%lf", &i, &j, &a) == 3 &&
                 (r = value_of(p, x, var_length, i, j, 0))) {
        snprintf(buf, sizeof buf, "%d,%d,%s", i, j, r); e = buf;
      } else if (kind_of_section == 8 && sscanf(e.c_str(), "%d,%d,%d,%lf", &i, &j, &k, &a) == 4 &&
                 (r = value_of(p, x, var_angle, i, j, k))) {
        snprintf(buf, sizeof buf, "%d,%d,%d,%s", i, j, k, r); e = buf;
      }
      fprintf(o, "%s ", e.c_str());
    }
    fprintf(o, "0\n");
  };
  section(2);
  if (at < w.size()) fprintf(o, "%s\n", w[at++].c_str());
  for (int s = 4; s <= 9; s++) section(s);
  if (at + 1 < w.size()) {
    std::string kind = w[at++], e = w[at++];
    for (int v = 0; v < p->var_count; v++)
      if (p->vars[v].kind == var_tt0) e = e.substr(0, e.rfind(',') + 1) + fmt(x[v]);
    fprintf(o, "%s %s\n", kind.c_str(), e.c_str());
  }
  return fclose(o) == 0;
}

int main(int argc, char **argv) {
  static synth_problem p;
  p.seed = 1;
  p.max_evaluations = 20000;
  p.max_seconds = 60;
  p.rebuild = rebuild;
  const char *file = nullptr, *target = nullptr, *out = nullptr;
  for (int a = 1; a < argc; a++) {
    const char *arg = argv[a];
    const int has_value = a + 1 < argc;
    double v;
    if (strcmp(arg, "--timed") == 0) p.timed = 1;
    else if (strcmp(arg, "--target") == 0 && has_value) target = argv[++a];
    else if (strcmp(arg, "--out") == 0 && has_value) out = argv[++a];
    else if (strcmp(arg, "--seed") == 0 && has_value && parse_number(argv[a + 1], &v) && v >= 0) { p.seed = static_cast<unsigned>(v); a++; }
    else if (strcmp(arg, "--budget-s") == 0 && has_value && parse_number(argv[a + 1], &v) && v > 0) { p.max_seconds = v; a++; }
    else if (strcmp(arg, "--budget-evals") == 0 && has_value && parse_number(argv[a + 1], &v) && v >= 1) { p.max_evaluations = static_cast<long>(v); a++; }
    else if (strcmp(arg, "--vary") == 0 && has_value) {
      if (p.var_count >= max_variables) return bad("too many --vary", nullptr);
      design_variable &d = p.vars[p.var_count++];
      if (!parse_vary(argv[++a], &d)) return bad("bad --vary", argv[a]);
      if (!(d.lo < d.hi)) return bad("bounds reversed or empty in --vary", argv[a]);
    } else if (arg[0] == '-' || file) return bad("unknown argument", arg);
    else file = arg;
  }
  if (!file) return bad("no FILE", nullptr);
  if (!target) return bad("no --target", nullptr);
  if (p.var_count == 0) return bad("no --vary: nothing to search", nullptr);
  p.target_count = read_targets(target, p.timed, p.targets);
  if (p.target_count < 0) return bad("target file missing or a line is not numbers", target);
  if (p.target_count < 2) return bad("fewer than 2 target points", target);
  static FILE *devnull = fopen("/dev/null", "w");
  console_set_output(devnull ? devnull : stderr);
  if (!batch_load(file, search_notches)) { fprintf(stderr, "linkmotion-synth: %s does not load or assemble\n", shown(file)); return 2; }
  for (int v = 0; v < p.var_count; v++)
    if (!variable_valid(p.vars[v])) return bad("--vary names no given length, fixed joint or angle of the file", nullptr);
  static mechanism base;
  base = mech;
  std::vector<double> x(p.var_count);
  read_variables(&p, x.data());
  for (int v = 0; v < p.var_count; v++) x[v] = std::fmin(std::fmax(x[v], p.vars[v].lo), p.vars[v].hi);
  long evals = 0;
  const double err = run_synthesis(&p, &base, x.data(), &evals);
  if (err < 0 || candidate_error(&p, &base, x.data()) < 0) {
    fprintf(stderr, "linkmotion-synth: no candidate assembled within the budget\n");
    return 1;
  }
  const std::string newfile = out ? out : std::string(file) + "_synth";
  if (!write_result(file, newfile.c_str(), &p, x.data())) {
    fprintf(stderr, "linkmotion-synth: cannot write %s\n", shown(newfile.c_str()));
    return 1;
  }
  printf("written %s (%ld evaluations)\n", shown(newfile.c_str()), evals);
  for (int v = 0; v < p.var_count; v++) {
    const design_variable &d = p.vars[v];
    switch (d.kind) {
      case var_length: printf("l[%d][%d]=%.10g\n", d.i, d.j, x[v]); break;
      case var_fixed_x: printf("J[%d].x=%.10g\n", d.i, x[v]); break;
      case var_fixed_y: printf("J[%d].y=%.10g\n", d.i, x[v]); break;
      case var_angle: printf("th[%d][%d][%d]=%.10g deg\n", d.i, d.j, d.k, x[v]); break;
      case var_tt0: printf("tt0=%.10g\n", x[v]); break;
    }
  }
  printf("max_error=%.9g\n", err);
  return 0;
}
