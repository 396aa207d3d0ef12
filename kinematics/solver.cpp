// Position solver: the drive value into the driven element, then every
// record of the solving order, deductions recomputed and figures solved on
// the branch each record holds.
#include "kinematics/solver.h"

#include <cmath>

#include "kinematics/deduction.h"
#include "kinematics/fact_check.h"
#include "kinematics/primitives.h"
#include "model/mechanism_model.h"

void put_drive_value(double tt) {
  mechanism &m = mech;
  switch (m.rs) {
    case 'A':
      m.th[m.id][m.jd][m.kd] = tt;
      m.th[m.kd][m.jd][m.id] = -tt;
      break;
    case 'B':
      m.ath[m.id][m.jd] = tt;
      m.ath[m.jd][m.id] = tt - pi;
      break;
    case 'L':
      m.l[m.jd][m.id] = tt;
      m.l[m.id][m.jd] = tt;
      break;
    default:
      break;
  }
}

// Figure record r in solving mode; -1 when r is a deduction.
static int solve_figure(int r) {
  const int *rec = mech.junjo[r];
  const int a = rec[jj_a], b = rec[jj_b], c = rec[jj_c], d = rec[jj_d];
  const int choice = rec[jj_choice];
  switch (rec[jj_code]) {
    case 31: return tri_sas(a, b, c);
    case 32: return tri_asa(a, b, c);
    case 33: return tri_ssa(a, b, c, choice);
    case 34: return tri_sss(a, b, c, choice);
    case 41: return quad_sss_aa(a, b, c, d, choice);
    case 42: return sikk2(a, b, c, d, choice);
    case 44: return quad_ss_aaa(a, b, c, d);
    default: return -1;
  }
}

// Steps with two assembly branches; the others never change their sign.
static int has_branches(int code) { return code == 33 || code == 34 || code == 41 || code == 42; }

// 1 when every joint position is a finite point.
static int positions_finite() {
  const mechanism &m = mech;
  for (int i = 1; i <= m.n; i++)
    if (!std::isfinite(m.J[i].x) || !std::isfinite(m.J[i].y)) return 0;
  return 1;
}

static int broken_in_last_solve;  // 1 + index of the fact the last posture broke; 0 none

int last_broken_fact() { return broken_in_last_solve; }

// The last step of the plan with two branches, 0 when it has none.
static int last_branch_step() {
  for (int r = mech.junjo_count; r >= 1; r--)
    if (has_branches(mech.junjo[r][jj_code])) return r;
  return 0;
}

int solve_positions(double tt) {
  mechanism &m = mech;
  broken_in_last_solve = 0;
  if (!std::isfinite(tt)) return 0;
  put_drive_value(tt);
  int result = 1;
  for (int r = 1; r <= m.junjo_count; r++) {
    // Most records are deductions: replayed without decoding a figure.
    const int code = m.junjo[r][jj_code];
    if (code < 31 || code > 44) {
      // A deduction whose value would overflow writes nothing: no assembly.
      if (!replay_deduction(r)) return 0;
      continue;
    }
    const int got = solve_figure(r);
    if (got < 0) {
      // A deduction whose value would overflow writes nothing: no assembly.
      if (!replay_deduction(r)) return 0;
      continue;
    }
    if (got == 0) {
      if (m.nochoice == 1 && has_branches(code))
        m.junjo[r][jj_choice] = -m.junjo[r][jj_choice];
      return 0;
    }
    result = got;
  }
  // Every step wrote only finite values; a joint that no step of this plan
  // placed keeps what it held, and the drawing needs it finite too.
  if (!positions_finite()) return 0;
  // The steps may have assembled a posture that breaks a fact of the file:
  // a redundant length or angle the plan never used, or a figure solved on
  // values of another branch.  That posture is no solution.  Under the
  // branch rule the last step with two branches turns over, as a failing
  // figure would, so that the next solve tries the other assembly.
  if (const int broken = broken_fact(solver_facts, m.J, nullptr)) {
    broken_in_last_solve = broken;
    const int r = last_branch_step();
    if (m.nochoice == 1 && r > 0) m.junjo[r][jj_choice] = -m.junjo[r][jj_choice];
    return 0;
  }
  return result;
}
