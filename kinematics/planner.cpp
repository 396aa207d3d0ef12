// Solving-order planner: scans for triangles and quadrilaterals that the
// known facts determine, in a fixed order, carrying each out at tt0 with its
// primitive and deriving what follows after every step.
#include "kinematics/planner.h"

#include <cmath>

#include "kinematics/deduction.h"
#include "kinematics/fact_check.h"
#include "kinematics/primitives.h"
#include "model/console.h"
#include "model/mechanism_model.h"

void print_joint_known_table() {
  const mechanism &m = mech;
  con_printf("\n関節位置の既知・未知");
  for (int i = 1; i <= m.n; i++) {
    con_printf("\nJ[%d]=%c", i, m.J_known[i]);
    if (m.J_known[i] != 'N') con_printf("   =(%7.3f %7.3f)", m.J[i].x, m.J[i].y);
  }
}

void report_step_failure(int code, int i, int j, int k, int l) {
  switch (code) {
    case 31: con_printf("\n\n三角法１　"); break;
    case 32: con_printf("\n\n三角法２　"); break;
    case 33: con_printf("\n\n三角法３　"); break;
    case 34: con_printf("\n\n三角法４　"); break;
    case 41: con_printf("\n\n四角法１　"); break;
    case 42: con_printf("\n\n四角法２　"); break;
    default: break;  // code 44 has no method line
  }
  if (code < 40)
    con_printf("Δ(%d%d%d)の解がない", i, j, k);
  else
    con_printf("\n□(%d%d%d%d)の解がない", i, j, k, l);
  con_printf("\n２，３回この計算を続けて下さい．または");
  con_printf("\n駆動変位の初期値を変えるか機構を変えるかして下さい");
  con_read_key();
}

// An angle within this of 0 or +-pi makes a triangle of code 32 or a
// quadrilateral of code 44 too flat to solve (radians; well above the
// rounding of angles summed from a few table entries, well below any angle
// a drawn mechanism holds).
static const double flat_tolerance = 0.00001;

static int flat_32(double x) {
  return fabs(x) < flat_tolerance || fabs(x - pi) < flat_tolerance ||
         fabs(x + pi) < flat_tolerance;
}

static int flat_44(double x) { return fabs(x) < flat_tolerance || fabs(fabs(x) - pi) < flat_tolerance; }

static int known_l(int i, int j) { return mech.l_known[i][j] != 'N'; }
static int known_ath(int i, int j) { return mech.ath_known[i][j] != 'N'; }
static int known_th(int i, int j, int k) { return mech.th_known[i][j][k] != 'N'; }

// Conditions of the figure steps on the flags (and, for 32 and 44, the
// values) as they are at the moment of the visit.
static int plannable(int code, int i, int j, int k, int l) {
  const mechanism &m = mech;
  switch (code) {
    case 31:
      return known_l(i, j) && known_l(j, k) && known_th(i, j, k) &&
             (!known_l(i, k) || !known_th(j, k, i) || !known_th(k, i, j));
    case 32:
      return known_l(i, j) && known_th(i, j, k) && known_th(k, i, j) &&
             !(flat_32(m.th[i][j][k]) && flat_32(m.th[k][i][j])) &&
             (!known_l(i, k) || !known_l(j, k) || !known_th(j, k, i));
    case 33:
      return known_l(i, j) && known_l(j, k) && known_th(j, i, k) && !known_l(i, k) &&
             !known_th(i, j, k) && !known_th(j, k, i);
    case 34:
      return known_l(i, j) && known_l(j, k) && known_l(i, k) && !known_th(i, j, k) &&
             !known_th(j, k, i) && !known_th(k, i, j);
    case 41:
      return known_l(j, k) && known_l(k, l) && known_l(l, i) && known_th(i, j, k) &&
             known_th(l, i, j) && !known_l(i, j) && !known_th(i, l, k) && !known_th(j, k, l);
    case 42:
      return known_l(j, k) && known_l(k, l) && known_l(l, i) && known_l(i, j) &&
             known_ath(i, l) && known_ath(j, k) && !known_th(l, i, j) && !known_th(i, j, k) &&
             !known_th(j, k, l) && !known_th(k, l, i);
    case 44: {
      if (!(known_l(j, k) && known_l(i, l) && known_th(i, j, k) && known_th(j, k, l) &&
            known_th(k, l, i) && !known_l(i, j) && !known_l(k, l)))
        return 0;
      const int flat = flat_44(m.th[i][j][k]) + flat_44(m.th[j][k][l]) + flat_44(m.th[k][l][i]);
      return flat <= 1;
    }
    default:
      return 0;
  }
}

// Branch sign a two-branch step starts with; 0 for a one-branch step.
static int initial_choice(int code) {
  switch (code) {
    case 33: case 41: case 42: return 1;
    case 34: return -1;
    default: return 0;
  }
}

// The code's primitive in planning mode, with the mark 'X'.
static int plan_figure(int code, int i, int j, int k, int l, int choice) {
  switch (code) {
    case 31: return tri_sas(i, j, k, 'X');
    case 32: return tri_asa(i, j, k, 'X');
    case 33: return tri_ssa(i, j, k, choice, 'X');
    case 34: return tri_sss(i, j, k, choice, 'X');
    case 41: return quad_sss_aa(i, j, k, l, choice, 'X');
    case 42: return sikk2(i, j, k, l, choice, 'X');
    case 44: return quad_ss_aaa(i, j, k, l, 'X');
    default: return 0;
  }
}

static void report_plan_full() {
  con_printf("\ncal_junjo() 計算手順が%d個を超えるので，機構を解けません．機構を見直して下さい．",
             junjo_slots - 1);
  con_printf("  Hit any key");
  con_read_key();
}

// A deduction of the plan gave a value beyond the range of a double (a
// joint or a length overflowing at tt0).
static void report_overflow() {
  con_printf("\n\n計算順番 %d の値が大きすぎて求められません．", mech.junjo_count);
  con_printf("\n駆動変位の初期値を変えるか機構を変えるかして下さい");
  con_read_key();
}

static int failed_with_drive;  // the last plan failed where the drive matters

int plan_depends_on_tt0() { return failed_with_drive; }

// How a figure step or a deduction run ended.
enum step_end { step_go_on, step_done, step_failed };

// After a step or at the start of a pass: the deductions, then the tests
// of completion and of room for more.
static step_end deduce() {
  propagate_known();
  if (deduction_overflowed()) {
    report_overflow();
    failed_with_drive = 1;  // computed at tt0: another tt0 may stay in range
    return step_failed;
  }
  if (all_known()) return step_done;
  if (junjo_full()) {
    report_plan_full();
    return step_failed;
  }
  return step_go_on;
}

static int invariant_flag(char flag) { return flag == 'Y' || flag == 'W'; }
static int invariant_l(int a, int b) { return invariant_flag(mech.l_known[a][b]); }
static int invariant_th(int a, int b, int c) { return invariant_flag(mech.th_known[a][b][c]); }
static int invariant_ath(int a, int b) { return invariant_flag(mech.ath_known[a][b]); }

// 1 when every quantity a figure step starts from (the known ones of its
// condition) is given by the file or derived before the drive: the figure
// then comes out the same at every drive value.
static int figure_of_invariants(int code, int i, int j, int k, int l) {
  switch (code) {
    case 31: return invariant_l(i, j) && invariant_l(j, k) && invariant_th(i, j, k);
    case 32: return invariant_l(i, j) && invariant_th(i, j, k) && invariant_th(k, i, j);
    case 33: return invariant_l(i, j) && invariant_l(j, k) && invariant_th(j, i, k);
    case 34: return invariant_l(i, j) && invariant_l(j, k) && invariant_l(i, k);
    case 41:
      return invariant_l(j, k) && invariant_l(k, l) && invariant_l(l, i) &&
             invariant_th(i, j, k) && invariant_th(l, i, j);
    case 42:
      return invariant_l(j, k) && invariant_l(k, l) && invariant_l(l, i) && invariant_l(i, j) &&
             invariant_ath(i, l) && invariant_ath(j, k);
    case 44:
      return invariant_l(j, k) && invariant_l(i, l) && invariant_th(i, j, k) &&
             invariant_th(j, k, l) && invariant_th(k, l, i);
    default: return 0;
  }
}

// Appends the figure step, carries it out at tt0 and derives what follows.
static step_end plan_step(int code, int i, int j, int k, int l) {
  mechanism &m = mech;
  const int r = append_step(code, i, j, k, l);
  if (!r) {
    report_plan_full();
    return step_failed;
  }
  const int choice = initial_choice(code);
  if (choice) m.choice_offered[r] = m.junjo[r][jj_choice] = choice;
  if (!plan_figure(code, i, j, k, l, m.junjo[r][jj_choice])) {
    report_step_failure(code, i, j, k, l);
    failed_with_drive = !figure_of_invariants(code, i, j, k, l);
    return step_failed;
  }
  return deduce();
}

static step_end scan_triangles(int code) {
  const int n = mech.n;
  for (int i = 1; i <= n; i++)
    for (int j = 1; j <= n; j++)
      for (int k = 1; k <= n; k++) {
        if (i == j || i == k || j == k || !plannable(code, i, j, k, 0)) continue;
        const step_end end = plan_step(code, i, j, k, 0);
        if (end != step_go_on) return end;
      }
  return step_go_on;
}

// The part of a quadrilateral's condition on its first three joints.  Flags
// only ever turn known while a plan is built, so when this fails before the
// loop over the fourth joint no candidate of that loop can hold.
static int plannable_start(int code, int i, int j, int k) {
  switch (code) {
    case 41: case 44: return known_l(j, k) && known_th(i, j, k) && !known_l(i, j);
    case 42: return known_l(j, k) && known_l(i, j) && known_ath(j, k) && !known_th(i, j, k);
    default: return 0;
  }
}

static step_end scan_quadrilaterals(int code) {
  const int n = mech.n;
  for (int i = 1; i <= n; i++)
    for (int j = 1; j <= n; j++)
      for (int k = 1; k <= n; k++) {
        if (i == j || i == k || j == k || !plannable_start(code, i, j, k)) continue;
        for (int l = 1; l <= n; l++) {
          if (l == i || l == j || l == k) continue;
          if (!plannable(code, i, j, k, l)) continue;
          const step_end end = plan_step(code, i, j, k, l);
          if (end != step_go_on) return end;
        }
      }
  return step_go_on;
}

static int plan_order() {
  mechanism &m = mech;
  static const int triangle_codes[] = {31, 32, 33, 34};
  static const int quadrilateral_codes[] = {41, 42, 44};
  m.junjo_count = 0;
  failed_with_drive = 0;
  for (;;) {
    const int records_before = m.junjo_count;
    step_end end = deduce();
    for (int code : triangle_codes)
      if (end == step_go_on) end = scan_triangles(code);
    for (int code : quadrilateral_codes)
      if (end == step_go_on) end = scan_quadrilaterals(code);
    if (end == step_go_on) end = deduce();
    if (end != step_go_on) return end == step_done;
    print_joint_known_table();
    if (m.junjo_count == records_before) {
      // Every fact and every step adds a record: nothing recorded means the
      // next pass would find exactly what this one found.
      con_printf("\ncal_junjo() まだ未知量があるが，これ以上求められない．"
                 "駆動関節か機構を変えて下さい．");
      con_printf("  Hit any key");
      con_read_key();
      return 0;
    }
    con_printf("\ncal_junjo() まだ未知量がある．もう１度");
    con_printf("  Hit any key");
    con_read_key();
  }
}

int cal_junjo() {
  const int planned = plan_order();
  // The facts every posture must keep, over the joints this plan places.
  collect_facts(&solver_facts);
  return planned;
}
