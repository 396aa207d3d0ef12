// Set-up controller: the console dialogue that loads a mechanism (menu, file
// name, reading, analysis, plan, search for a drive value that assembles)
// or edits the loaded one (link parameters, drive, new plan), and ends with
// the key help; and the same load without a user.
#include "app/setup_controller.h"

#include <cstdio>
#include <cstring>

#include "app/dialogs.h"
#include "app/motion.h"
#include "kinematics/fact_check.h"
#include "kinematics/planner.h"
#include "kinematics/pre_analysis.h"
#include "kinematics/solver.h"
#include "model/console.h"
#include "model/data_file.h"
#include "model/mechanism_model.h"

char command_key = 'l';

const char *mechanism_dir() {
#ifdef LINKMOTION_MECHANISM_DIR
  return LINKMOTION_MECHANISM_DIR;
#else
  return nullptr;
#endif
}

// Names whose solving steps keep their branch signs when a step fails.
static const char *const fixed_branch_prefixes[] = {
    "pc", "ht", "sk", "pr", "st", "hyper4", "hyper5", "conic1", "conic2", "conic4", "conic5",
};

void apply_nochoice_rule(const char *name) {
  mech.nochoice = 1;
  for (const char *prefix : fixed_branch_prefixes)
    if (strncmp(name, prefix, strlen(prefix)) == 0) mech.nochoice = 0;
}

int raise_initial_drive() {
  mechanism &m = mech;
  const double notch_deg = 5.0;   // degrees, rotary drives
  const double notch_len = 5.0;   // world units, slides
  const int i = m.id, j = m.jd, k = m.kd;
  switch (m.rs) {
    case 'A':
      con_printf("\n初期値 tt0=%6.2f →　%6.2f(deg)", m.tt0 * rad_to_deg,
                 m.tt0 * rad_to_deg + notch_deg);
      m.th[i][j][k] = m.tt0 + notch_deg * deg_to_rad;
      m.tt0 = m.th[i][j][k];
      m.th[k][j][i] = -m.th[i][j][k];
      return 1;
    case 'B':
      con_printf("\n初期値 tt0=%6.2f →　%6.2f(deg)", m.tt0 * rad_to_deg,
                 m.tt0 * rad_to_deg + notch_deg);
      m.ath[i][j] = m.tt0 + notch_deg * deg_to_rad;
      m.tt0 = m.ath[i][j];
      m.ath[j][i] = m.ath[i][j] - pi;
      return 1;
    case 'L':
      con_printf("\n初期値 tt0=%6.2f →　%6.2f", m.tt0, m.tt0 + notch_len);
      m.l[i][j] = m.tt0 + notch_len;
      m.tt0 = m.l[i][j];
      m.l[j][i] = m.l[i][j];
      return 1;
    default:
      return 0;
  }
}

static void print_menu() {
  con_printf("\nリンクデータを下記ファイル名から読みだし");
  con_printf("\n４節リンク4R機構 ：a00(てこクランク),a01(両てこ),a02(両クランク)");
  con_printf("\n        3R1S機構 : a11,a12,a13,a14,as11,as12,as13,as14");
  con_printf("\n        2R2S機構 : ss01,ss02,ss03,ss04,ss13,ss14,ss23");
  con_printf("\n６節リンク機構   : a60, a61, a62");
  con_printf("\n早戻り機構       ：haya  ");
  con_printf("\n真正直線運動機構 : pc1, pc2, pc3, pc4, cr, ht, sk1, sk2, hs, pr");
  con_printf("\n楕円描画器       : ellips1, ellips2, ellips3, ellips4, ellips5  ");
  con_printf("\n双曲線描画器     : hyper1, hyper2, hyper3, hyper4, hyper5  ");
  con_printf("\n放物線描画器     : parab1, parab2, parab3, parab4, parab5  ");
  con_printf("\n２次曲線描画器   : conic1, conic2, conic3, conic4, conic5  ");
}

int read_mechanism_file() {
  if (!open_data_file(mechanism_dir())) return 0;
  int ok = read_title() && read_joints() && read_fixed() && read_links();
  if (ok) {
    save_model();
    pre_analysis();  // a figure without solution has been reported; loading goes on
    ok = read_drive();
  }
  if (!ok) close_data_file();
  if (ok) save_drive();
  return ok;
}

// --- planning and the search for an initial drive value that assembles ---

static void clear_choices() {
  for (int s = 0; s < junjo_slots; s++) {
    mech.junjo[s][jj_choice] = 0;
    mech.choice_offered[s] = 0;
  }
}

// A new plan at the current tt0, the facts of the last one thrown away.
static int replan() {
  clear_planned();
  clear_choices();
  return cal_junjo();
}

// Next try of the assembly search: tt0 one notch up and, while the plan is
// incomplete, a new plan there, so that no joint is left where no step
// placed it.  0 when the drive cannot be raised.
static int next_notch(int *planned) {
  if (!raise_initial_drive()) return 0;
  if (!*planned) *planned = replan();
  return 1;
}

// The assembly at tt0: only a complete plan can give one.
static int assembles(int planned) { return planned && solve_positions(mech.tt0); }

// The console line for fact `broken` (1-based, as last_broken_fact gives
// it) of the posture now in the tables: the lead, then the fact with its
// given and its actual value.
static void say_broken_fact(const char *lead, int broken) {
  char what[160];
  describe_fact(solver_facts, broken, mech.J, what, sizeof what);
  con_printf("\n%s%s", lead, what);
}

// After a solve at tt0 that failed: 1 when its posture broke a fact of the
// file (a length, angle, fixed joint or slider line that the plan never
// used and that no posture of these dimensions keeps).  Then the file
// contradicts itself and is refused, with the fact and its two values.
static int refused_for_a_broken_fact() {
  const int broken = last_broken_fact();
  if (!broken) return 0;
  say_broken_fact("データファイルの条件が両立しません：", broken);
  return 1;
}

// --- load path ---

// Heading, menu and file name until a file reads cleanly; then the plan
// and the assembly search, on the user's answers.  Starts over when the
// user asks to.
static void load_path() {
  for (;;) {
    con_printf("\nリンク機構の運動解析");
    init_model();
    print_menu();
    con_printf("\nファイル名 fname=");
    con_read_word(mech.fname, fname_size);
    if (!read_mechanism_file()) {
      con_printf("\n別のファイル名を入力して下さい．\n");
      continue;
    }
    apply_nochoice_rule(mech.fname);
    con_printf("\nfname=%s  nochoice=%d\n", shown(mech.fname), mech.nochoice);
    for (int s = 0; s < junjo_slots; s++) mech.choice_offered[s] = 0;
    int planned = cal_junjo();
    mech.solve_ok = planned;
    for (;;) {
      mech.solve_ok = assembles(planned);
      if (mech.solve_ok) return;
      if (refused_for_a_broken_fact()) {
        con_printf("\n別のファイル名を入力して下さい．\n");
        break;
      }
      con_printf("\n解がありません．");
      con_printf("\n最初に戻る？:0　駆動初期値を変える？:1　");
      if (con_read_key() == '0') break;
      if (!next_notch(&planned)) return;  // no drive to raise: shown as it is
    }
  }
}

// --- batch load ---

static const char *base_name(const char *path) {
  const char *slash = strrchr(path, '/');
  return slash ? slash + 1 : path;
}

int batch_load(const char *path, int max_notches) {
  console_set_batch(1);
  init_model();
  if (strlen(path) >= static_cast<size_t>(fname_size)) {
    con_printf("\nファイル名が長すぎます（%d文字まで）：%s", fname_size - 1, shown(path));
    return 0;
  }
  snprintf(mech.fname, sizeof mech.fname, "%s", path);
  if (!read_mechanism_file()) {
    con_printf("\nファイル %s を読み込めませんでした．", shown(path));
    return 0;
  }
  apply_nochoice_rule(base_name(path));
  con_printf("\nfname=%s  nochoice=%d\n", shown(mech.fname), mech.nochoice);
  for (int s = 0; s < junjo_slots; s++) mech.choice_offered[s] = 0;
  int planned = cal_junjo();
  int notches = 0;
  for (;;) {
    if (assembles(planned)) {
      mech.solve_ok = 1;
      reset_animation();
      return 1;
    }
    if (refused_for_a_broken_fact()) return 0;
    con_printf("\n解がありません．");
    if (notches >= max_notches) break;
    // A plan that ran out of records or of progress, or failed at a figure
    // of invariants, fails the same way at the next notch: planning it
    // again only costs time.
    if (!planned && !plan_depends_on_tt0()) {
      con_printf("\n計算手順が完成しないので，駆動初期値を変えても解けません．");
      mech.solve_ok = 0;
      return 0;
    }
    if (!next_notch(&planned)) {
      con_printf("\n駆動の種類 rs=%c では初期値を変えられません．", mech.rs);
      break;
    }
    notches++;
  }
  mech.solve_ok = 0;
  if (!planned)
    con_printf("\n駆動初期値を%d回変えても計算手順が完成しません．", notches);
  else
    con_printf("\n駆動初期値を%d回変えても機構が組み立てられません．", notches);
  return 0;
}

static void print_key_help() {
  con_printf("\n");
  con_printf("\n'l'キー    ：リンク機構変更");
  con_printf("\n'p'キー    ：リンクパラメータ・駆動関節変更\n");
  con_printf("\n'0','1'キー：初期形態 or 運動形態の選択");
  con_printf("\n'r'キー    ：正逆回転");
  con_printf("\n'x','X'キー：座標系横方向移動");
  con_printf("\n'y','Y'キー：座標系縦方向移動");
  con_printf("\n'w','W'キー：描画倍率縮小拡大");
  con_printf("\n's'キー：運動継続\n");
  con_printf("'スペース'キー：連続運動の開始・停止\n");
}

// The initial drive value as the console shows it: degrees for a rotation,
// world units for a slide.
static double tt0_on_console() {
  const mechanism &m = mech;
  return m.rs == 'A' || m.rs == 'B' ? m.tt0 * rad_to_deg : m.tt0;
}

// The solve at the initial drive value tt0 after an edit, as a check only:
// the tables are left as the edit made them, for the first frame to solve.
// A posture that broke a fact is named (the edit made the facts contradict)
// and gives 0.  Otherwise 1 when the mechanism closes at tt0, or when
// need_closing is 0 (a new plan, whose first frame searches on from tt0).
static int edit_holds_at_tt0(int need_closing) {
  static mechanism edited;  // static: the record is too large for the stack
  memcpy(&edited, &mech, sizeof edited);
  const int closes = solve_positions(mech.tt0) != 0;
  const int broken = closes ? 0 : last_broken_fact();
  if (broken) say_broken_fact("変更した条件が両立しません：", broken);
  memcpy(&mech, &edited, sizeof mech);
  return closes || (!need_closing && !broken);
}

// Key "p": new link lengths and relative angles (then a new pre-analysis),
// a new drive (then a new plan), or both, or neither.  When a plan fails the
// user either starts the two questions again or raises tt0 by a notch.
static void edit_path() {
  mechanism &m = mech;
  save_model();
  save_drive();
  int plan_complete = 1;  // the solving order in force determines every joint
  for (;;) {
    con_printf("\n\n機構パラメータ(a)・駆動関節(b)のどちらか，又は両方変更　");
    con_printf("\n\n(a) 機構パラメータ変更する？　yes:1   no:0  ");
    if (con_read_key() == '0') {
      con_printf("\n   機構パラメータは変更しない");
    } else {
      clear_derived();
      if (edit_parameters())
        pre_analysis();
      else
        restore_model();
    }

    con_printf("\n\n(b) 駆動関節変更する？　yes:1   no:0  ");
    int new_drive = 0;
    if (con_read_key() == '0') {
      con_printf("\n    駆動関節は変更しない");
      mark_drive('Z');
    } else {
      clear_planned();
      new_drive = edit_drive();
      if (!new_drive) restore_drive();
    }
    // The plan in force is kept when the drive is, and then new lengths
    // must still close at tt0; a new drive, or a plan of this edit that
    // failed, is planned anew.
    const int keep_plan = !new_drive && plan_complete;
    if (!new_drive && !plan_complete)
      con_printf("\n解法手順が未完成なので，作り直します．");

    for (;;) {
      // A kept plan must close at tt0 with the new lengths (the window
      // would go on drawing the old posture beside them); a new plan must
      // keep the facts there.
      m.solve_ok = keep_plan ? edit_holds_at_tt0(1) : replan() && edit_holds_at_tt0(0);
      if (m.solve_ok) return;
      if (!keep_plan) plan_complete = 0;
      con_printf("\n機構が描けません．");
      con_printf("\nパラメータ新たに変更？:0　駆動初期値(=%6.2f)を少しづつ変える？:1　",
                 tt0_on_console());
      if (con_read_key() == '0') break;  // back to the two questions
      if (!raise_initial_drive()) return;
    }
  }
}

void setup_mechanism() {
  if (command_key == 'p')
    edit_path();
  else
    load_path();
  print_key_help();
  mech.solve_ok = 1;
  reset_animation();
  con_printf("\n                                                   描画画面へ\n");
  con_flush();
}
