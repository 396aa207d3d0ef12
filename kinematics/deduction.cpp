// Deduction pass: the algebraic rules of the planner, their records in the
// solving order, and the same formulas replayed for every drive value.
#include "kinematics/deduction.h"

#include <cmath>

#include "kinematics/primitives.h"
#include "model/console.h"
#include "model/mechanism_model.h"

// --- the formulas, shared by planning and replay ---

// Planning reduces every derived angle by whole turns; the replay does not.
static double reduced(double x, char mark) { return mark == solving ? x : wrap_angle(x); }

static void mark_pair(char *a, char *b, char mark) {
  if (mark != solving) *a = *b = mark;
}

// th[i][j][k] = v and its reverse th[k][j][i] = -v.
static void put_th(int i, int j, int k, double v, char mark) {
  mechanism &m = mech;
  m.th[i][j][k] = v;
  m.th[k][j][i] = -v;
  mark_pair(&m.th_known[i][j][k], &m.th_known[k][j][i], mark);
}

// ath[i][j] = v and its reverse ath[j][i] = reverse.
static void put_ath(int i, int j, double v, double reverse, char mark) {
  mechanism &m = mech;
  m.ath[i][j] = v;
  m.ath[j][i] = reverse;
  mark_pair(&m.ath_known[i][j], &m.ath_known[j][i], mark);
}

static void put_l(int i, int j, double v, char mark) {
  mechanism &m = mech;
  m.l[i][j] = m.l[j][i] = v;
  mark_pair(&m.l_known[i][j], &m.l_known[j][i], mark);
}

// Folded angle of a straight line: a joint between two others turns by 0,
// the two ends fold back by pi.
static void put_folded(int i, int j, int k, char mark) {
  mechanism &m = mech;
  m.th[i][j][k] = pi;
  if (mark != solving) m.th_known[i][j][k] = mark;
}

static int is_finite_value(double v) { return std::isfinite(v) ? 1 : 0; }

int apply_deduction(int code, int a, int b, int c, int d, char mark) {
  mechanism &m = mech;
  // Every case computes its values first and writes only when all are
  // finite: an overflow (a joint or a length beyond the range of a double)
  // must leave the tables as they were.
  switch (code) {
    case 101:  // b between a and c on a line: the angles at a and c fold back
      put_folded(b, a, c, mark);
      put_folded(c, a, b, mark);
      put_folded(a, c, b, mark);
      put_folded(b, c, a, mark);
      return 1;
    case 102: {  // j, k, l on a line: link j-k points along j-l
      const double v = m.ath[a][c], reverse = m.ath[c][a];
      if (!is_finite_value(v) || !is_finite_value(reverse)) return 0;
      put_ath(a, b, v, reverse, mark);
      return 1;
    }
    case 103: {  // j, k, l on a line: at j, link j-k makes the angles of j-l
      const int j = a, k = b, l = c, q = d;
      const double v = m.th[l][j][q], reverse = m.th[q][j][l];
      if (!is_finite_value(v) || !is_finite_value(reverse)) return 0;
      m.th[k][j][q] = v;
      m.th[q][j][k] = reverse;
      mark_pair(&m.th_known[k][j][q], &m.th_known[q][j][k], mark);
      return 1;
    }
    case 1: {  // triangle j, k, l: th[j][k][l] + th[k][l][j] + th[l][j][k] = 2 pi
      const int j = a, k = b, l = c;
      const double v = reduced(2.0 * pi - (m.th[j][k][l] + m.th[k][l][j]), mark);
      if (!is_finite_value(v)) return 0;
      put_th(l, j, k, v, mark);
      return 1;
    }
    case 2: {  // at joint k: th[l][k][m] = th[j][k][m] - th[j][k][l] + pi
      const int j = a, k = b, l = c, q = d;
      const double v = reduced(m.th[j][k][q] - m.th[j][k][l] + pi, mark);
      if (!is_finite_value(v)) return 0;
      put_th(l, k, q, v, mark);
      return 1;
    }
    case 3: {  // at joint k: th[j][k][m] = th[j][k][l] + th[l][k][m] - pi
      const int j = a, k = b, l = c, q = d;
      const double v = reduced(m.th[j][k][l] + m.th[l][k][q] - pi, mark);
      if (!is_finite_value(v)) return 0;
      put_th(j, k, q, v, mark);
      return 1;
    }
    case 4: {  // quadrilateral j, k, l, m: its four turning angles sum to 2 pi
      const int j = a, k = b, l = c, q = d;
      const double v =
          reduced(2.0 * pi - (m.th[j][k][l] + m.th[k][l][q] + m.th[l][q][j]), mark);
      if (!is_finite_value(v)) return 0;
      put_th(q, j, k, v, mark);
      return 1;
    }
    case 5: {  // th[j][k][l] = ath[k][l] - ath[j][k]
      const int j = a, k = b, l = c;
      const double v = reduced(m.ath[k][l] - m.ath[j][k], mark);
      if (!is_finite_value(v)) return 0;
      put_th(j, k, l, v, mark);
      return 1;
    }
    case 6: {  // th[l][j][k] = pi - (ath[j][l] - ath[j][k])
      const int j = a, k = b, l = c;
      const double v = reduced(pi - (m.ath[j][l] - m.ath[j][k]), mark);
      if (!is_finite_value(v)) return 0;
      put_th(l, j, k, v, mark);
      return 1;
    }
    case 7: {  // ath[k][l] = ath[j][k] + th[j][k][l]
      const int j = a, k = b, l = c;
      const double v = reduced(m.ath[j][k] + m.th[j][k][l], mark);
      if (!is_finite_value(v) || !is_finite_value(pi + v)) return 0;
      put_ath(k, l, v, pi + v, mark);
      return 1;
    }
    case 8: {  // ath[j][l] = ath[j][k] + th[k][j][l] - pi
      const int j = a, k = b, l = c;
      const double v = reduced(m.ath[j][k] + m.th[k][j][l] - pi, mark);
      if (!is_finite_value(v) || !is_finite_value(pi + v)) return 0;
      put_ath(j, l, v, pi + v, mark);
      return 1;
    }
    case 10: {  // J[k] = J[j] + l[j][k] (cos ath[j][k], sin ath[j][k])
      const int j = a, k = b;
      const double x = m.J[j].x + m.l[j][k] * cos(m.ath[j][k]);
      const double y = m.J[j].y + m.l[j][k] * sin(m.ath[j][k]);
      if (!is_finite_value(x) || !is_finite_value(y)) return 0;
      m.J[k].x = x;
      m.J[k].y = y;
      if (mark != solving) m.J_known[k] = mark;
      return 1;
    }
    case 11: {  // length and direction from J[j] to J[k]
      const int j = a, k = b;
      const double dx = m.J[k].x - m.J[j].x, dy = m.J[k].y - m.J[j].y;
      const double len = sqrt(dx * dx + dy * dy), dir = atan2(dy, dx);
      if (!is_finite_value(len) || !is_finite_value(dir)) return 0;
      const int replay = mark == solving;
      if (replay || m.l_known[j][k] == 'N') put_l(j, k, len, mark);
      if (replay || m.ath_known[j][k] == 'N') put_ath(j, k, dir, pi + dir, mark);
      return 1;
    }
    default:
      return 1;
  }
}

// --- the solving order ---

int junjo_full() { return mech.junjo_count >= junjo_slots - 1; }

int append_step(int code, int a, int b, int c, int d) {
  mechanism &m = mech;
  if (junjo_full()) return 0;
  int *rec = m.junjo[++m.junjo_count];
  rec[jj_code] = code;
  rec[jj_a] = a;
  rec[jj_b] = b;
  if (c) rec[jj_c] = c;
  if (d) rec[jj_d] = d;
  return m.junjo_count;
}

int replay_deduction(int r) {
  const int *rec = mech.junjo[r];
  return apply_deduction(rec[jj_code], rec[jj_a], rec[jj_b], rec[jj_c], rec[jj_d], solving);
}

// --- the pass ---

int all_known() {
  mechanism &m = mech;
  for (int i = 1; i <= m.n; i++)
    if (m.J_known[i] == 'N') return 0;
  for (int s = 1; s <= m.slider_count; s++) {
    const int a = m.sliders[s].i, b = m.sliders[s].j;
    m.ath[b][a] = atan2(m.J[a].y - m.J[b].y, m.J[a].x - m.J[b].x);
    m.ath[a][b] = m.ath[b][a] - pi;
  }
  con_printf("\nall_known() 関節位置全部分かった");
  return 1;
}

// A zero turning angle means a straight line for good only when it can
// never change: given by the file or derived before the drive.  The drive
// at its initial value, or an angle planned at tt0, holds only there.
static int invariant(char flag) { return flag == 'Y' || flag == 'W'; }

static int known_l(int i, int j) { return mech.l_known[i][j] != 'N'; }
static int known_ath(int i, int j) { return mech.ath_known[i][j] != 'N'; }
static int known_th(int i, int j, int k) { return mech.th_known[i][j][k] != 'N'; }
static int known_J(int i) { return mech.J_known[i] != 'N'; }

// The condition of a rule on the flags (and, for the lines, the values) as
// they are now.
static int rule_holds(int code, int a, int b, int c, int d) {
  const mechanism &m = mech;
  switch (code) {
    case 101:  // b between a and c
      return invariant(m.th_known[a][b][c]) && m.th[a][b][c] == 0.0 && !known_th(b, c, a) &&
             !known_th(c, a, b);
    case 102:
      return known_ath(a, c) && invariant(m.th_known[a][b][c]) && !known_ath(a, b) &&
             m.th[a][b][c] == 0.0;
    case 103:
      return known_th(c, a, d) && invariant(m.th_known[a][b][c]) && !known_th(b, a, d) &&
             m.th[a][b][c] == 0.0;
    case 1: return known_th(a, b, c) && known_th(b, c, a) && !known_th(c, a, b);
    case 2: return known_th(a, b, c) && known_th(a, b, d) && !known_th(c, b, d);
    case 3: return known_th(a, b, c) && known_th(c, b, d) && !known_th(a, b, d);
    case 4: return known_th(a, b, c) && known_th(b, c, d) && known_th(c, d, a) && !known_th(d, a, b);
    case 5: return known_ath(a, b) && known_ath(b, c) && !known_th(a, b, c);
    case 6: return known_ath(a, b) && known_ath(a, c) && !known_th(c, a, b);
    case 7: return known_ath(a, b) && known_th(a, b, c) && !known_ath(b, c);
    case 8: return known_ath(a, b) && known_th(b, a, c) && !known_ath(a, c);
    case 10: return known_J(a) && known_l(a, b) && known_ath(a, b) && !known_J(b);
    case 11: return known_J(a) && known_J(b) && (!known_l(a, b) || !known_ath(a, b));
    default: return 0;
  }
}

// Tries one rule; 0 when the action ended the sweep.
static int try_rule(rule_action act, int *count, int code, int a, int b, int c, int d) {
  if (!rule_holds(code, a, b, c, d)) return 1;
  if (!act(code, a, b, c, d)) return 0;
  ++*count;
  return 1;
}

int sweep_rules(int which, rule_action act, int *count) {
  const mechanism &m = mech;
  const int n = m.n;
  *count = 0;
  if (which & rules_lines) {
    for (int a = 1; a <= n - 1; a++)
      for (int b = a + 1; b <= n; b++)
        for (int c = 1; c <= n; c++)
          if (c != a && c != b && !try_rule(act, count, 101, a, b, c, 0)) return 0;
    for (int j = 1; j <= n; j++)
      for (int k = 1; k <= n; k++)
        for (int l = 1; l <= n; l++)
          if (j != k && j != l && k != l && !try_rule(act, count, 102, j, k, l, 0)) return 0;
    for (int j = 1; j <= n; j++)
      for (int k = 1; k <= n; k++)
        for (int l = 1; l <= n; l++) {
          if (j == k || j == l || k == l) continue;
          // Rule 103 starts from a straight line j-k-l, which it never
          // writes: without one the loop over the fourth joint finds nothing.
          if (!invariant(m.th_known[j][k][l]) || m.th[j][k][l] != 0.0) continue;
          for (int q = 1; q <= n; q++) {
            if (q == j || q == k || q == l) continue;
            if (!try_rule(act, count, 103, j, k, l, q)) return 0;
          }
        }
  }
  if (which & rules_angles) {
    for (int j = 1; j <= n; j++)
      for (int k = 1; k <= n; k++)
        for (int l = 1; l <= n; l++) {
          if (j == k || j == l || k == l) continue;
          if (!try_rule(act, count, 1, j, k, l, 0)) return 0;
          // Rules 2, 3 and 4 start from the angle (j, k, l), which none of
          // them writes: while it is unknown the loop over q finds nothing.
          if (!known_th(j, k, l)) continue;
          for (int q = 1; q <= n; q++) {
            if (q == j || q == k || q == l) continue;
            if (!try_rule(act, count, 2, j, k, l, q)) return 0;
            if (!try_rule(act, count, 3, j, k, l, q)) return 0;
            if ((which & rules_quadrilateral_sums) && !try_rule(act, count, 4, j, k, l, q))
              return 0;
          }
        }
    // Absolute against relative angles: 5, 6 over every known direction,
    // then 7, 8.
    for (int pass = 0; pass < 2; pass++)
      for (int j = 1; j <= n; j++)
        for (int k = 1; k <= n; k++)
          for (int l = 1; l <= n; l++) {
            if (j == k || j == l || k == l) continue;
            if (!try_rule(act, count, pass ? 7 : 5, j, k, l, 0)) return 0;
            if (!try_rule(act, count, pass ? 8 : 6, j, k, l, 0)) return 0;
          }
  }
  if (which & rules_joints) {
    for (int j = 1; j <= n; j++)
      for (int k = 1; k <= n; k++) {
        if (j == k) continue;
        if (!try_rule(act, count, 10, j, k, 0, 0)) return 0;
        if (!try_rule(act, count, 11, j, k, 0, 0)) return 0;
      }
  }
  return 1;
}

// Why the planner's sweep ended early.
static int plan_full_now, plan_complete_now, plan_overflow_now;

int deduction_overflowed() { return plan_overflow_now; }

// Records and derives one deduction.
static int plan_rule(int code, int a, int b, int c, int d) {
  if (!append_step(code, a, b, c, d)) {
    plan_full_now = 1;
    return 0;
  }
  if (!apply_deduction(code, a, b, c, d, 'X')) {
    plan_overflow_now = 1;
    return 0;
  }
  if (code == 10 && all_known()) {
    plan_complete_now = 1;
    return 0;
  }
  return 1;
}

int propagate_known() {
  int total = 0;
  plan_full_now = plan_complete_now = plan_overflow_now = 0;
  for (;;) {
    int count = 0;
    const int whole = sweep_rules(rules_lines | rules_angles | rules_joints, plan_rule, &count);
    total += count;
    if (plan_complete_now) return 1;
    if (!whole || count == 0) return total;
  }
}
