// View and animation state and the motion logic of the window, without any
// drawing, so that the batch tools run the very same steps.
#include "app/motion.h"

#include <cmath>
#include <cstring>

#include "kinematics/compiled_plan.h"
#include "kinematics/fact_check.h"
#include "kinematics/solver.h"
#include "model/console.h"

// --- the solve: the compiled plan where it can take the plan ---
//
// The program is compiled from the plan, the drive, the file's facts and
// the values the replay starts from; a change of any of them (a load, an
// edit, a new plan, a drive dialog) makes a new program.  What it was
// compiled from is kept and compared with the tables before every solve:
// some ten kilobytes of flags compared as memory, and the given values
// through the cells they were found in, a fraction of a microsecond where
// a hash of the tables took some 100 000 instructions, a thousand times
// the solve.  A plan it cannot take is solved by the replay.

static compiled_plan motion_program;
static int program_state;  // 0 none, 1 compiled, 2 the plan is the replay's
static int reference_only; // 1: every solve by the replay

constexpr int record_fields = 5;  // code and four joints: the choice is not the program's
constexpr int given_max = 2 * joint_slots + 2 * joint_slots * joint_slots + joint_slots * joint_slots * joint_slots;

// What a compiled program depends on, besides the branch signs: the plan's
// records, the drive, the rule of flips, the facts (whether they are
// checked, and for which load: the allowance of a held length), which
// values are given or derived, and the given values.
struct program_inputs {
  int head[11];
  int records[junjo_slots][record_fields];
  fact facts[max_facts];
  char J_known[joint_slots];
  char l_known[joint_slots][joint_slots];
  char ath_known[joint_slots][joint_slots];
  char th_known[joint_slots][joint_slots][joint_slots];
  int given_count;
  const double *given[given_max];  // cells of the given values in mech
  double value[given_max];         // their values
};

static program_inputs compiled_for;  // some 170 kB: static

static void head_of(int *head) {
  const mechanism &m = mech;
  const int h[11] = {m.load_serial, m.n, m.rs, m.id, m.jd, m.kd, m.nochoice, m.junjo_count, solver_facts.count,
                     solver_facts.valid, solver_facts.load_serial};
  memcpy(head, h, sizeof h);
}

static int record_count() {
  const int count = mech.junjo_count;
  return count >= 0 && count < junjo_slots ? count : 0;
}

static int fact_count() {
  const int count = solver_facts.count;
  return count >= 0 && count <= max_facts ? count : 0;
}

// The tables as they are now into compiled_for.
static void keep_inputs() {
  const mechanism &m = mech;
  program_inputs &k = compiled_for;
  head_of(k.head);
  for (int r = 1; r <= record_count(); r++) memcpy(k.records[r], m.junjo[r], sizeof k.records[r]);
  memcpy(k.facts, solver_facts.facts, fact_count() * sizeof(fact));
  memcpy(k.J_known, m.J_known, sizeof k.J_known);
  memcpy(k.l_known, m.l_known, sizeof k.l_known);
  memcpy(k.ath_known, m.ath_known, sizeof k.ath_known);
  memcpy(k.th_known, m.th_known, sizeof k.th_known);
  k.given_count = 0;
  auto given = [&](const double *cell) {
    if (k.given_count >= given_max) return;  // more cells than the tables hold: cannot happen
    k.given[k.given_count] = cell;
    k.value[k.given_count++] = *cell;
  };
  for (int i = 1; i < joint_slots; i++) {
    if (m.J_known[i] == 'Y') given(&m.J[i].x), given(&m.J[i].y);
    for (int j = 1; j < joint_slots; j++) {
      if (m.l_known[i][j] == 'Y') given(&m.l[i][j]);
      if (m.ath_known[i][j] == 'Y') given(&m.ath[i][j]);
      for (int q = 1; q < joint_slots; q++)
        if (m.th_known[i][j][q] == 'Y') given(&m.th[i][j][q]);
    }
  }
}

// 1 when the tables still hold what the program was compiled from (the
// given values compared bit for bit, as they were found).
static int inputs_unchanged() {
  const mechanism &m = mech;
  const program_inputs &k = compiled_for;
  int head[11];
  head_of(head);
  if (memcmp(head, k.head, sizeof head) != 0) return 0;
  for (int r = 1; r <= record_count(); r++)
    if (memcmp(k.records[r], m.junjo[r], sizeof k.records[r]) != 0) return 0;
  if (memcmp(k.facts, solver_facts.facts, fact_count() * sizeof(fact)) != 0) return 0;
  if (memcmp(k.J_known, m.J_known, sizeof k.J_known) != 0 || memcmp(k.l_known, m.l_known, sizeof k.l_known) != 0 ||
      memcmp(k.ath_known, m.ath_known, sizeof k.ath_known) != 0 ||
      memcmp(k.th_known, m.th_known, sizeof k.th_known) != 0)
    return 0;
  // The flags are the same, so the given cells are those found then.
  for (int g = 0; g < k.given_count; g++)
    if (memcmp(k.given[g], &k.value[g], sizeof(double)) != 0) return 0;
  return 1;
}

compiled_plan *motion_plan() {
  if (reference_only) return nullptr;
  if (program_state == 0 || !inputs_unchanged()) {
    program_state = compile_plan(&motion_program) ? 1 : 2;
    keep_inputs();
  }
  return program_state == 1 ? &motion_program : nullptr;
}

void plan_changed() { program_state = 0; }

void use_reference_solver(int on) { reference_only = on; }

// The posture at tt, as solve_positions gives it.
static int solve_motion(double tt) {
  compiled_plan *p = motion_plan();
  return p ? solve_compiled(p, tt) : solve_positions(tt);
}

// The last posture that assembled, put back when a frame gives up.  Only
// what the drawing reads: joint positions and link directions (sliders).
static point last_J[joint_slots];
static double last_ath[joint_slots][joint_slots];
static double last_drive;  // drive value of that posture

static int guide_reported;  // 1 once a slider beyond its guide was reported for this mechanism

// A slider past the ends of its guide link is drawn where it is, and said
// once per mechanism on standard error.
static void report_slider_beyond_guide() {
  double along = 0.0;
  const int s = guide_reported ? 0 : slider_beyond_guide(mech.J, &along);
  if (s == 0) return;
  guide_reported = 1;
  const slider_entry &e = mech.sliders[s];
  con_flush();
  fprintf(stderr,
          "\nスライダ J[%d] がリンク L[%d][%d] の端を越えています（J[%d] から L[%d][%d] の長さの %.2f 倍の位置）．\n",
          e.i, e.j, e.k, e.j, e.j, e.k, along);
  fflush(stderr);
}

static void remember_assembly(double drive) {
  memcpy(last_J, mech.J, sizeof last_J);
  memcpy(last_ath, mech.ath, sizeof last_ath);
  last_drive = drive;
}

static void restore_assembly() {
  memcpy(mech.J, last_J, sizeof mech.J);
  memcpy(mech.ath, last_ath, sizeof mech.ath);
}

void reset_animation() {
  plan_changed();
  motion.step_count = 0;
  motion.view_scale = start_view_scale;
  motion.display_mode = '0';
  if (mech.rs == 'A' || mech.rs == 'B') motion.drive_step = pi / 180.0;  // one degree
  if (mech.rs == 'L') motion.drive_step = 1.0;                            // one world unit
  motion.stalled = 0;
  // The motion of the new mechanism starts from tt0 even when "s" comes
  // before the toolkit has drawn its first frame.
  motion.drive_value = mech.tt0;
  remember_assembly(mech.tt0);
  guide_reported = 0;
}

static int rotary_drive() { return mech.rs == 'A' || mech.rs == 'B'; }

void motion_step() {
  motion_state &v = motion;
  v.display_mode = '1';
  v.stalled = 0;
  v.step_count++;
  v.drive_prev = v.drive_value;
  v.drive_value += v.drive_step;
  if (rotary_drive()) {
    if (v.drive_value > pi) v.drive_value -= 2.0 * pi;
    if (v.drive_value < -pi) v.drive_value += 2.0 * pi;
  }
  v.drive_crossing = 0;
  if (v.drive_value * v.drive_prev < 0.0) {
    v.drive_crossing = 1;
    if (std::fabs(v.drive_value) > half_pi) v.drive_crossing = 2;  // passed +-pi, not 0
  }
}

// --- branch rules ---

// How a rule sets the sign of the step, from the drive value d.
enum branch_sign {
  minus_when_positive,  // -1 if d > 0, else +1
  plus_when_positive,   // +1 if d > 0, else -1
  minus_beyond_200,     // -1 if d > 200 world units, else +1
  plus_within_quarter,  // +1 if -pi/2 < d < pi/2, else -1
  reverse_past_half_turn,  // the sign reversed when the drive passed +-pi
};

struct branch_rule {
  const char *pattern;  // leading letters of the title; '?' stands for any letter
  branch_sign sign;
};

static const branch_rule branch_rules[] = {
    {"a00x", minus_when_positive},
    {"a03", plus_when_positive},
    {"el????2", plus_when_positive},  // letters 1, 2 and 7, as in ellips2
    {"hyper1", plus_when_positive},
    {"hyper5", plus_when_positive},
    {"parab1", minus_beyond_200},
    {"conic2", plus_within_quarter},
    {"conic3", reverse_past_half_turn},
    {"conic4", reverse_past_half_turn},
};

// 1 when the title begins with the pattern; a title shorter than the
// pattern never matches.
static int title_matches(const char *pattern) {
  const char *t = mech.title;
  for (; *pattern; pattern++, t++) {
    if (*t == '\0') return 0;
    if (*pattern != '?' && *pattern != *t) return 0;
  }
  return 1;
}

// The first step 1..junjo_count whose choice is not 0; 0 when none has one.
static int first_choice_step() {
  for (int s = 1; s <= mech.junjo_count && s < junjo_slots; s++)
    if (mech.junjo[s][jj_choice] != 0) return s;
  return 0;
}

static int rule_sign(branch_sign sign, int old, double d) {
  switch (sign) {
    case minus_when_positive: return d > 0.0 ? -1 : 1;
    case plus_when_positive: return d > 0.0 ? 1 : -1;
    case minus_beyond_200: return d > 200.0 ? -1 : 1;
    case plus_within_quarter: return (-pi / 2.0 < d && d < pi / 2.0) ? 1 : -1;
    case reverse_past_half_turn: return motion.drive_crossing == 2 ? -old : old;
  }
  return old;
}

void apply_branch_rules() {
  for (const branch_rule &rule : branch_rules) {
    if (!title_matches(rule.pattern)) continue;
    int s = first_choice_step();
    if (s == 0) continue;
    int &choice = mech.junjo[s][jj_choice];
    choice = rule_sign(rule.sign, choice, motion.drive_value);
  }
}

// --- the solve of one frame ---

static void set_trace_slot(int s, point p) {
  if (s < 0 || s >= trace_slots) return;
  motion.trace[s] = p;
}

static const point gap_point = {trace_gap, trace_gap};

// One console line for the drive values of a frame that had no solution:
// the first and the last of them and how many there were.
static void report_failed_values(const char *what, double first, double last, int count) {
  if (count == 1)
    con_printf("\ndrive %s=%6.2f[rad],[m] no solution", what, first);
  else
    con_printf("\ndrive %s=%6.2f..%6.2f[rad],[m] no solution (%d values)", what, first, last,
               count);
}

// Mode '0': the posture at tt0.  A failing tt0 is raised by drive_step and
// tried again, at most frame_attempts times; then tt0 goes back to the value
// the frame began with and the last assembled posture stays.
static void initial_frame() {
  mechanism &m = mech;
  if (!motion.stalled) {
    const double start = m.tt0;
    int attempts = 1;
    while (!solve_motion(m.tt0)) {
      if (attempts++ >= frame_attempts) {
        con_printf("\n初期値 tt0 から%d回変えても解がありません．最後に組み立てられた姿勢のまま止めます．",
                   frame_attempts);
        m.tt0 = start;
        restore_assembly();
        motion.stalled = 1;
        break;
      }
      m.tt0 += motion.drive_step;
    }
    // One line for the whole frame, however many values failed.
    if (!motion.stalled && attempts > 1)
      report_failed_values("tt0", start, m.tt0 - motion.drive_step, attempts - 1);
    if (!motion.stalled) remember_assembly(m.tt0);
    if (!motion.stalled) report_slider_beyond_guide();
  }
  if (motion.step_count == 0) motion.drive_value = m.tt0;
  if (motion.step_count < trace_limit - 1) set_trace_slot(motion.step_count, gap_point);
}

// Mode '1': the posture at drive_value.  At a dead point the motion turns
// back: the direction is reversed and the value steps back to the previous
// frame's, which assembled.  After frame_attempts failing solves the motion
// stops at the last assembled posture.
static void motion_frame() {
  mechanism &m = mech;
  motion_state &v = motion;
  int assembled = 0;
  if (!v.stalled) {
    double first_failed = 0.0, last_failed = 0.0;  // drive values without a solution
    for (int attempts = 1;; attempts++) {
      if (m.rs != 'L') v.drive_value = wrap_angle(v.drive_value);
      apply_branch_rules();
      m.solve_ok = solve_motion(v.drive_value);
      if (m.solve_ok) {
        assembled = 1;
        if (attempts > 1) report_failed_values("angle", first_failed, last_failed, attempts - 1);
        break;
      }
      if (attempts == 1) first_failed = v.drive_value;
      last_failed = v.drive_value;
      v.drive_step = -v.drive_step;
      v.drive_value += v.drive_step;
      set_trace_slot(v.step_count, gap_point);
      if (attempts >= frame_attempts) {
        con_printf("\n駆動値を%d回変えても解がありません．最後に組み立てられた姿勢で運動を止めます．",
                   frame_attempts);
        restore_assembly();
        v.drive_value = last_drive;
        v.stalled = 1;
        break;
      }
    }
  }
  if (assembled) remember_assembly(v.drive_value);
  if (assembled) report_slider_beyond_guide();
  if (v.step_count < trace_limit) {
    if (assembled && joint_in_range(m.kten)) set_trace_slot(v.step_count, m.J[m.kten]);
  } else {
    v.step_count = trace_limit;
    set_trace_slot(trace_limit, gap_point);
  }
  // The crossing belongs to the step that made it: a redraw of the same
  // step (a pan, a zoom, an expose) must not reverse a branch once more.
  v.drive_crossing = 0;
}

int solve_frame() {
  if (motion.display_mode == '1') {
    motion_frame();
    return 1;
  }
  initial_frame();
  return 0;
}
