// Drive-independent pre-analysis: fixed joints, links between them, and the
// angles that rigid parts hold, derived before the drive is read and marked
// 'W'.  The algebraic rules and their loops are those of the deduction pass.
#include "kinematics/pre_analysis.h"

#include <cmath>

#include "kinematics/deduction.h"
#include "kinematics/fact_check.h"
#include "kinematics/planner.h"
#include "kinematics/primitives.h"
#include "model/console.h"
#include "model/mechanism_model.h"

static const char derived = 'W';

// Set when a derived value would not be finite (a joint or a length beyond
// the range of a double): the sweep ends and the pre-analysis with it.
static int overflowed;

// Length and direction between two placed joints, both recomputed; the
// reverse direction is reduced to [-pi, pi] when wrap_reverse is 1.  A
// length or direction the file gives ('Y') keeps its value and its flag:
// the check of the posture then finds a file whose fixed joints contradict
// it, where a measured value would have silently replaced the given one.
static int measure_link(int j, int k, int wrap_reverse) {
  mechanism &m = mech;
  const int given_l = m.l_known[j][k] == 'Y', given_ath = m.ath_known[j][k] == 'Y';
  const double l = m.l[j][k], ath_jk = m.ath[j][k], ath_kj = m.ath[k][j];
  if (!apply_deduction(11, j, k, 0, 0, solving)) return 0;
  if (wrap_reverse) m.ath[k][j] = wrap_angle(pi + m.ath[j][k]);
  m.l_known[j][k] = m.l_known[k][j] = derived;
  m.ath_known[j][k] = m.ath_known[k][j] = derived;
  if (given_l) {
    m.l[j][k] = m.l[k][j] = l;
    m.l_known[j][k] = m.l_known[k][j] = 'Y';
  }
  if (given_ath) {
    m.ath[j][k] = ath_jk, m.ath[k][j] = ath_kj;
    m.ath_known[j][k] = m.ath_known[k][j] = 'Y';
  }
  return 1;
}

// 1 to go on with the sweep; 0, with overflowed set, when the fact could
// not be derived.
static int derived_or_overflow(int ok) {
  if (!ok) overflowed = 1;
  return ok;
}

// The invariant rules.  A derived direction keeps its reverse in [-pi, pi];
// a link between two placed joints is measured anew, length and direction.
static int derive_invariant(int code, int a, int b, int c, int d) {
  mechanism &m = mech;
  switch (code) {
    case 7:
      if (!derived_or_overflow(apply_deduction(code, a, b, c, d, derived))) return 0;
      m.ath[c][b] = wrap_angle(pi + m.ath[b][c]);
      return 1;
    case 8:
      if (!derived_or_overflow(apply_deduction(code, a, b, c, d, derived))) return 0;
      m.ath[c][a] = wrap_angle(pi + m.ath[a][c]);
      return 1;
    case 11:
      return derived_or_overflow(measure_link(a, b, 0));
    default:
      return derived_or_overflow(apply_deduction(code, a, b, c, d, derived));
  }
}

// Joints placed from fixed joints, links between fixed joints: as the
// joint rules, with the reverse direction of a measured link reduced.
static int derive_fixed_joint(int code, int a, int b, int, int) {
  if (code == 11) return derived_or_overflow(measure_link(a, b, 1));
  return derived_or_overflow(apply_deduction(code, a, b, 0, 0, derived));
}

int propagate_invariants() {
  int count = 0;
  overflowed = 0;
  sweep_rules(rules_lines, derive_invariant, &count);  // once, not counted
  int total = 0;
  while (!overflowed) {
    sweep_rules(rules_angles | rules_quadrilateral_sums | rules_joints, derive_invariant, &count);
    if (count == 0) break;
    total += count;
  }
  return total;
}

// --- figures ---

static int unknown_l(int i, int j) { return mech.l_known[i][j] == 'N'; }
static int unknown_th(int i, int j, int k) { return mech.th_known[i][j][k] == 'N'; }

// Within this of 0 or +-pi the two angles of a code-32 triangle leave its
// sides parallel (radians; far below the angle of any drawn figure).
static const double flat_tolerance_32 = 1e-6;

static int flat_32(double x) {
  return fabs(x) < flat_tolerance_32 || fabs(x - pi) < flat_tolerance_32 ||
         fabs(x + pi) < flat_tolerance_32;
}

// A direction of a code-44 quadrilateral that lies exactly along a side.
static int flat_44(double x) { return x == 0.0 || fabs(x) == pi; }

// How a figure rule ended: the count of new facts (0 or 1), or failed.
static const int figure_failed = -1;

// Result of a primitive on a figure whose targets were unknown: 1 when it
// marked at least one of them, 0 when it marked none (then it does not
// count, so the passes end), figure_failed after the report.
static int figure_result(int ok, int unknown_before, int unknown_after, int code, int i, int j,
                         int k, int l) {
  if (!ok) {
    report_step_failure(code, i, j, k, l);
    return figure_failed;
  }
  return unknown_after < unknown_before;
}

static int triangle_rules(int i, int j, int k) {
  const mechanism &m = mech;
  int count = 0;
  if (!unknown_l(i, j) && !unknown_l(j, k) && !unknown_th(i, j, k) &&
      (unknown_l(i, k) || unknown_th(j, k, i) || unknown_th(k, i, j))) {
    const int before = unknown_l(i, k) + unknown_th(j, k, i) + unknown_th(k, i, j);
    const int ok = tri_sas(i, j, k, derived);
    const int after = unknown_l(i, k) + unknown_th(j, k, i) + unknown_th(k, i, j);
    const int r = figure_result(ok, before, after, 31, i, j, k, 0);
    if (r == figure_failed) return r;
    count += r;
  }
  if (!unknown_l(i, j) && !unknown_th(i, j, k) && !unknown_th(k, i, j) && unknown_l(j, k) &&
      unknown_l(k, i) && !(flat_32(m.th[i][j][k]) && flat_32(m.th[k][i][j]))) {
    const int ok = tri_asa(i, j, k, derived);
    const int after = unknown_l(j, k) + unknown_l(k, i);
    const int r = figure_result(ok, 2, after, 32, i, j, k, 0);
    if (r == figure_failed) return r;
    count += r;
  }
  if (!unknown_l(i, j) && !unknown_l(j, k) && !unknown_th(k, i, j) && unknown_l(i, k) &&
      unknown_th(i, j, k) && unknown_th(j, k, i)) {
    const int ok = tri_ssa(i, j, k, 1, derived);
    const int after = unknown_l(i, k) + unknown_th(i, j, k) + unknown_th(j, k, i);
    const int r = figure_result(ok, 3, after, 33, i, j, k, 0);
    if (r == figure_failed) return r;
    count += r;
  }
  return count;
}

static int quadrilateral_rules(int i, int j, int k, int l) {
  const mechanism &m = mech;
  int count = 0;
  if (!unknown_l(j, k) && !unknown_l(k, l) && !unknown_l(l, i) && !unknown_th(l, i, j) &&
      !unknown_th(i, j, k) && unknown_l(i, j) && unknown_th(j, k, l)) {
    const int ok = quad_sss_aa(i, j, k, l, 1, derived);
    const int after = unknown_l(i, j) + unknown_th(j, k, l);
    const int r = figure_result(ok, 2, after, 41, i, j, k, l);
    if (r == figure_failed) return r;
    count += r;
  }
  if (!unknown_l(j, k) && !unknown_l(l, i) && !unknown_th(i, j, k) && !unknown_th(j, k, l) &&
      !unknown_th(k, l, i) && unknown_l(i, j) && unknown_l(k, l) &&
      flat_44(m.th[i][j][k]) + flat_44(m.th[j][k][l]) + flat_44(m.th[k][l][i]) <= 1) {
    const int ok = quad_ss_aaa(i, j, k, l, derived);
    const int after = unknown_l(i, j) + unknown_l(k, l);
    const int r = figure_result(ok, 2, after, 44, i, j, k, l);
    if (r == figure_failed) return r;
    count += r;
  }
  return count;
}

// Every figure rule over every triple, then every quadruple; the count of
// figures that marked something new, or figure_failed.
static int figure_rules() {
  const int n = mech.n;
  int count = 0;
  for (int i = 1; i <= n; i++)
    for (int j = 1; j <= n; j++)
      for (int k = 1; k <= n; k++) {
        if (i == j || i == k || j == k) continue;
        int r = triangle_rules(i, j, k);
        if (r == figure_failed) return r;
        count += r;
        for (int l = 1; l <= n; l++) {
          if (l == i || l == j || l == k) continue;
          r = quadrilateral_rules(i, j, k, l);
          if (r == figure_failed) return r;
          count += r;
        }
      }
  return count;
}

// The fixed parts of the mechanism lie beyond the range of a double.
static int report_overflow() {
  con_printf("\n\n位置固定の関節や不変量の値が大きすぎて求められません．");
  con_printf("\n機構を変えて下さい");
  con_read_key();
  return 0;
}

int pre_analysis() {
  // The facts every posture must keep, with the values in force now (the
  // file's, or those of an edit).
  collect_facts(&solver_facts);
  overflowed = 0;
  for (;;) {
    int count = 0;
    sweep_rules(rules_joints, derive_fixed_joint, &count);
    if (overflowed) return report_overflow();
    count += propagate_invariants();
    if (overflowed) return report_overflow();
    const int figures = figure_rules();
    if (figures == figure_failed) return 0;
    count += figures;
    count += propagate_invariants();
    if (overflowed) return report_overflow();
    if (count == 0) return 1;
  }
}
