// The edit path of the set-up controller (key "p") on the loaded and planned
// four-bar a00, answered from scripted console input: parameter changes that
// reach the solver, new drives of every kind that are planned and move, the
// notches of the planning loop, and the flags left behind.  Joints by their
// part (tests/test_support.h): o crank pivot, p crank pin, q rocker pin,
// r rocker pivot, c coupler point; o and r are fixed, ath[o][p] is driven.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "app/motion.h"
#include "app/setup_controller.h"
#include "kinematics/planner.h"
#include "kinematics/solver.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

constexpr double tolerance = 1e-6;  // world units or radians: far above rounding, far below any error

static mechanism before;

static int o, p, q, r, c;

// a00 loaded, planned at tt0 and assembled, as the load path leaves it.
static void load_and_plan_a00() {
  const a00_joints a = load_a00_for_test();
  o = a.crank_pivot, p = a.crank_pin, q = a.rocker_pin, r = a.rocker_pivot, c = a.coupler_point;
  console_capture quiet;
  apply_nochoice_rule("a00");
  for (int s = 0; s < junjo_slots; s++) mech.choice_offered[s] = 0;
  ASSERT_EQ(cal_junjo(), 1);
  ASSERT_NE(solve_positions(mech.tt0), 0);
  mech.solve_ok = 1;
}

// Runs key "p" with these answers; returns the console output.
static std::string edit_with(const std::string &answers) {
  dialog_script script(answers);
  console_capture out;
  command_key = 'p';
  setup_mechanism();
  command_key = 'l';
  script.expect_used_up();
  return out.text();
}

static double dist(int i, int j) {
  return std::hypot(mech.J[j].x - mech.J[i].x, mech.J[j].y - mech.J[i].y);
}

static double direction(int i, int j) {
  return std::atan2(mech.J[j].y - mech.J[i].y, mech.J[j].x - mech.J[i].x);
}

static int count_flags(char letter) {
  const mechanism &m = mech;
  int count = 0;
  for (int i = 0; i < joint_slots; i++) {
    count += m.J_known[i] == letter;
    for (int j = 0; j < joint_slots; j++) {
      count += m.l_known[i][j] == letter;
      count += m.ath_known[i][j] == letter;
      for (int k = 0; k < joint_slots; k++) count += m.th_known[i][j][k] == letter;
    }
  }
  return count;
}

// Every link of a00 has its length (crank given), the fixed joints stay.
static void expect_a00_closes(double crank_length) {
  EXPECT_NEAR(dist(o, p), crank_length, tolerance);
  EXPECT_NEAR(dist(p, q), a00_coupler, tolerance);
  EXPECT_NEAR(dist(q, r), a00_rocker, tolerance);
  EXPECT_NEAR(dist(p, c), a00_pin_to_point, tolerance);
  EXPECT_NEAR(dist(q, c), a00_rocker_pin_to_point, tolerance);
  EXPECT_NEAR(mech.J[o].x, 0.0, tolerance);
  EXPECT_NEAR(mech.J[o].y, 0.0, tolerance);
  EXPECT_NEAR(mech.J[r].x, a00_frame, tolerance);
  EXPECT_NEAR(mech.J[r].y, 0.0, tolerance);
}

static const char *const help_end = "\n's'キー：運動継続\n";

TEST(EditPath, ZeroToBothQuestionsChangesNothing) {
  load_and_plan_a00();
  save_model();
  save_drive();
  memcpy(&before, &mech, sizeof before);
  const std::string text = edit_with("0\n0\n");
  EXPECT_EQ(memcmp(&before, &mech, sizeof before), 0);
  EXPECT_NE(text.find("\n\n機構パラメータ(a)・駆動関節(b)のどちらか，又は両方変更　"
                      "\n\n(a) 機構パラメータ変更する？　yes:1   no:0  \n   機構パラメータは変更しない"
                      "\n\n(b) 駆動関節変更する？　yes:1   no:0  \n    駆動関節は変更しない\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(help_end), std::string::npos);
  EXPECT_NE(text.find("描画画面へ\n"), std::string::npos);
  EXPECT_EQ(mech.ath_known[o][p], 'Z');
  EXPECT_EQ(mech.ath_known[p][o], 'Z');
  EXPECT_EQ(motion.display_mode, '0');
  EXPECT_EQ(motion.view_scale, 0.005);
}

TEST(EditPath, ALengthChangeReachesTheNextSolveInEitherOrder) {
  for (int reversed = 0; reversed < 2; reversed++) {
    load_and_plan_a00();
    const std::string crank_entry =
        reversed ? format("%d,%d,50\n", p, o) : format("%d,%d,50\n", o, p);
    edit_with("1\n" + crank_entry + format("%d,%d,95\n0\n0\n0\n", r, q));
    EXPECT_EQ(mech.l[o][p], 50.0) << crank_entry;
    EXPECT_EQ(mech.l[p][o], 50.0) << crank_entry;
    EXPECT_EQ(mech.ath_known[o][p], 'Z');
    EXPECT_EQ(mech.l_known[o][r], 'W');  // the frame, derived again by the pre-analysis
    for (double step = 0; step < 360; step += 30) {
      ASSERT_NE(solve_positions(mech.tt0 + step * deg_to_rad), 0) << crank_entry << step;
      EXPECT_NEAR(dist(o, p), 50.0, tolerance) << crank_entry;
      EXPECT_NEAR(dist(q, r), 95.0, tolerance) << crank_entry;
      EXPECT_NEAR(dist(p, q), a00_coupler, tolerance);
      EXPECT_NEAR(direction(o, p), wrap_angle(mech.tt0 + step * deg_to_rad), tolerance);
    }
  }
}

TEST(EditPath, AnAngleChangeIsStoredAndTheMechanismStillSolves) {
  load_and_plan_a00();
  const std::string text = edit_with(format("1\n0\n%d,%d,%d,30\n0\n0\n", q, p, r));
  EXPECT_EQ(mech.th[q][p][r], 30 * 0.0174532925);
  EXPECT_EQ(mech.th[r][p][q], -30 * 0.0174532925);
  EXPECT_NE(text.find(format("\nth[%d][%d][%d]=N= 30.00", q, p, r)), std::string::npos) << text;
  // Not an item of the file: the plan recomputes it at every solve.
  ASSERT_NE(solve_positions(mech.tt0), 0);
  expect_a00_closes(a00_crank);
}

TEST(EditPath, NothingEnteredRestoresEveryDerivedFact) {
  load_and_plan_a00();
  memcpy(&before, &mech, sizeof before);
  ASSERT_GT(count_flags('W'), 0);
  edit_with("1\n0\n0\n0\n");
  const mechanism &m = mech;
  // 'Y', 'W' and 'Z' as before; the planner's 'X' facts are gone.
  auto expect_kept = [](char was, char now) {
    if (was == 'X') {
      EXPECT_EQ(now, 'N');
    } else {
      EXPECT_EQ(now, was);
    }
  };
  for (int i = 1; i <= m.n; i++) {
    expect_kept(before.J_known[i], m.J_known[i]);
    if (before.J_known[i] == 'W' || before.J_known[i] == 'Y') {
      EXPECT_EQ(m.J[i].x, before.J[i].x);
      EXPECT_EQ(m.J[i].y, before.J[i].y);
    }
    for (int j = 1; j <= m.n; j++) {
      expect_kept(before.l_known[i][j], m.l_known[i][j]);
      expect_kept(before.ath_known[i][j], m.ath_known[i][j]);
      if (before.l_known[i][j] == 'W') {
        EXPECT_EQ(m.l[i][j], before.l[i][j]);
      }
      if (before.ath_known[i][j] == 'W') {
        EXPECT_EQ(m.ath[i][j], before.ath[i][j]);
      }
      for (int k = 1; k <= m.n; k++) expect_kept(before.th_known[i][j][k], m.th_known[i][j][k]);
    }
  }
  EXPECT_EQ(memcmp(m.junjo, before.junjo, sizeof m.junjo), 0);  // the plan stays
  ASSERT_NE(solve_positions(m.tt0), 0);
  expect_a00_closes(a00_crank);
}

// The driven quantity measured on the solved positions.
static double measured_drive() {
  const mechanism &m = mech;
  if (m.rs == 'A') return wrap_angle(direction(m.jd, m.kd) - direction(m.id, m.jd));
  if (m.rs == 'B') return direction(m.id, m.jd);
  return dist(m.id, m.jd);
}

// Both flags of the element driven now.
static void expect_drive_marked() {
  const mechanism &m = mech;
  const int i = m.id, j = m.jd, k = m.kd;
  if (m.rs == 'A') {
    EXPECT_EQ(m.th_known[i][j][k], 'Z');
    EXPECT_EQ(m.th_known[k][j][i], 'Z');
  } else if (m.rs == 'B') {
    EXPECT_EQ(m.ath_known[i][j], 'Z');
    EXPECT_EQ(m.ath_known[j][i], 'Z');
  } else {
    EXPECT_EQ(m.l_known[i][j], 'Z');
    EXPECT_EQ(m.l_known[j][i], 'Z');
  }
  EXPECT_EQ(count_flags('Z'), 2);  // and nothing else
}

TEST(EditPath, ANewDriveOfEachKindIsPlannedAndMoves) {
  for (int kind : {'A', 'B', 'L'}) {
    load_and_plan_a00();
    std::string answers;
    double tt0;
    int joints;
    if (kind == 'A') {
      // The crank turned relative to the frame: th[r][o][p] = ath[o][p] - ath[r][o].
      answers = format("A\n%d,%d,%d,-110\n1\n", r, o, p);
      tt0 = -110 * deg_to_rad;
      joints = r * 100 + o * 10 + p;
    } else if (kind == 'B') {
      answers = format("B\n%d,%d,100\n1\n", r, q);  // the rocker as the driven link
      tt0 = 100 * deg_to_rad;
      joints = r * 10 + q;
    } else {
      answers = format("L\n%d,%d,120\n1\n", o, q);  // a slide from the crank pivot to the rocker pin
      tt0 = 120.0;
      joints = o * 10 + q;
    }
    const std::string text = edit_with("0\n1\n" + answers);
    const mechanism &m = mech;
    ASSERT_EQ(m.rs, kind) << answers;
    EXPECT_EQ(kind == 'A' ? m.id * 100 + m.jd * 10 + m.kd : m.id * 10 + m.jd, joints);
    EXPECT_NEAR(m.tt0, tt0, 1e-12) << answers;
    EXPECT_EQ(m.solve_ok, 1);
    EXPECT_EQ(text.find("機構が描けません"), std::string::npos) << text;
    expect_drive_marked();
    EXPECT_EQ(motion.drive_step, kind == 'L' ? 1.0 : pi / 180.0);
    for (int s = 0; s <= 10; s++) {
      const double value = m.tt0 + s * motion.drive_step;
      ASSERT_NE(solve_positions(value), 0) << answers << " step " << s;
      EXPECT_NEAR(measured_drive(), value, tolerance) << answers << " step " << s;
      expect_a00_closes(a00_crank);
    }
  }
}

TEST(EditPath, ZeroAtTheFirstDriveQuestionKeepsAndMarksTheOldDrive) {
  load_and_plan_a00();
  memcpy(&before, &mech, sizeof before);
  const std::string text = edit_with("0\n1\n0\n");
  EXPECT_NE(text.find(format("\n駆動関節変更しない 旧駆動関節種別=B 番号idjdkd=%d%d", o, p)),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("機構が描けません"), std::string::npos);
  EXPECT_EQ(mech.rs, 'B');
  EXPECT_EQ(mech.tt0, before.tt0);
  EXPECT_EQ(mech.ath_known[o][p], 'Z');
  expect_drive_marked();
  EXPECT_EQ(memcmp(mech.junjo, before.junjo, sizeof mech.junjo), 0);  // not planned again
  ASSERT_NE(solve_positions(mech.tt0), 0);
  EXPECT_NEAR(direction(o, p), 60 * deg_to_rad, tolerance);
}

TEST(EditPath, ASlideThatCannotAssembleIsRaisedByNotches) {
  // |J[o] J[q]| = 62 and 67 leave the triangle o-p-q (40, 110) open; 72 closes it.
  load_and_plan_a00();
  const std::string text = edit_with(format("0\n1\nL\n%d,%d,62\n1\nk\n1\nk\n1\n", o, q));
  const mechanism &m = mech;
  EXPECT_EQ(count_occurrences(text, "\n機構が描けません．"), 2) << text;
  EXPECT_NE(text.find("\n機構が描けません．\nパラメータ新たに変更？:0　駆動初期値(= 62.00)を少しづつ変える？:1　"
                      "\n初期値 tt0= 62.00 →　 67.00"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("駆動初期値(= 67.00)を少しづつ変える？:1　\n初期値 tt0= 67.00 →　 72.00"),
            std::string::npos);
  EXPECT_EQ(m.tt0, 72.0);
  EXPECT_EQ(m.l[o][q], 72.0);
  EXPECT_EQ(m.l[q][o], 72.0);
  expect_drive_marked();
  EXPECT_EQ(m.solve_ok, 1);
  ASSERT_NE(solve_positions(m.tt0 + 1.0), 0);
  EXPECT_NEAR(dist(o, q), 73.0, tolerance);
  expect_a00_closes(a00_crank);
}

TEST(EditPath, ARotationThatCannotAssembleIsRaisedByFiveDegrees) {
  // The rocker at 82 and 87 degrees puts J[q] more than 150 from J[o]; 92 closes.
  load_and_plan_a00();
  const std::string text = edit_with(format("0\n1\nB\n%d,%d,82\n1\nk\n1\nk\n1\n", r, q));
  const mechanism &m = mech;
  EXPECT_EQ(count_occurrences(text, "\n機構が描けません．"), 2) << text;
  EXPECT_NE(text.find("駆動初期値(= 82.00)を少しづつ変える？:1　\n初期値 tt0= 82.00 →　 87.00(deg)"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\n初期値 tt0= 87.00 →　 92.00(deg)"), std::string::npos);
  EXPECT_NEAR(m.tt0, 92 * deg_to_rad, 1e-9);
  EXPECT_EQ(m.ath[r][q], m.tt0);
  expect_drive_marked();
  ASSERT_NE(solve_positions(m.tt0), 0);
  EXPECT_NEAR(direction(r, q), 92 * deg_to_rad, tolerance);
  expect_a00_closes(a00_crank);
}

TEST(EditPath, BackToTheQuestionsAfterAFailedPlanAndKeepTheOldDrive) {
  load_and_plan_a00();
  const double crank_angle = mech.tt0;
  const std::string text = edit_with(format("0\n1\nL\n%d,%d,62\n1\nk\n0\n0\n1\n0\n", o, q));
  const mechanism &m = mech;
  EXPECT_EQ(count_occurrences(text, "\n\n(a) 機構パラメータ変更する？"), 2);
  EXPECT_NE(text.find("解法手順が未完成なので，作り直します．"), std::string::npos);
  EXPECT_EQ(m.rs, 'B');
  EXPECT_EQ(m.tt0, crank_angle);
  EXPECT_EQ(m.ath_known[o][p], 'Z');
  expect_drive_marked();  // the slide o-q is no longer marked
  EXPECT_EQ(m.solve_ok, 1);
  ASSERT_NE(solve_positions(m.tt0), 0);
  EXPECT_NEAR(direction(o, p), crank_angle, tolerance);
  expect_a00_closes(a00_crank);
}

TEST(EditPath, BackToTheQuestionsToLengthenTheCrankForTheNewDrive) {
  // The slide of 62 cannot close the triangle o-p-q with a crank of 40; with
  // a crank of 55 it can, and the kept drive is planned again.
  load_and_plan_a00();
  const std::string text =
      edit_with(format("0\n1\nL\n%d,%d,62\n1\nk\n0\n1\n%d,%d,55\n0\n0\n0\n", o, q, o, p));
  const mechanism &m = mech;
  EXPECT_EQ(count_occurrences(text, "\n機構が描けません．"), 1) << text;
  EXPECT_EQ(m.rs, 'L');
  EXPECT_EQ(m.tt0, 62.0);
  expect_drive_marked();
  EXPECT_EQ(m.solve_ok, 1);
  for (double value = 62.0; value < 70.0; value += 1.0) {
    ASSERT_NE(solve_positions(value), 0) << value;
    EXPECT_NEAR(dist(o, q), value, tolerance);
    expect_a00_closes(55.0);
  }
}

TEST(EditPath, RejectedAttemptsLeaveNoStrayMark) {
  load_and_plan_a00();
  edit_with(format("0\n1\nL\n%d,%d,120\n0\nA\n%d,%d,%d,45\nn\nB\n%d,%d,100\n1\n", o, q, p, o, r,
                   r, q));
  const mechanism &m = mech;
  EXPECT_EQ(m.rs, 'B');
  EXPECT_EQ(m.ath_known[r][q], 'Z');
  expect_drive_marked();
  EXPECT_EQ(m.solve_ok, 1);
  ASSERT_NE(solve_positions(m.tt0 + 5 * deg_to_rad), 0);
  EXPECT_NEAR(direction(r, q), 105 * deg_to_rad, tolerance);
  expect_a00_closes(a00_crank);
}

TEST(EditPath, GarbageAtEveryQuestionIsRefusedWithoutHarm) {
  load_and_plan_a00();
  const std::string text = edit_with(
      "1\nzz\n" + format("%d,%d,abc\n7,8,9\n%d,%d\n%d,%d,50\n%d,%d,50\n0\n", o, p, o, p, p, p, o, p) +
      "x,y\n3,3,3,3\n" + format("%d,%d,%d,nan\n0\n", q, p, r) +
      format("1\nq\nl\nL\n%d,%d\n%d,%d,1e400\n%d,%d,120\nz\nL\n%d,%d,120\n1\n", o, q, o, q, o, q,
             o, q));
  const mechanism &m = mech;
  EXPECT_EQ(m.l[o][p], 50.0);
  EXPECT_EQ(m.rs, 'L');
  EXPECT_EQ(m.tt0, 120.0);
  expect_drive_marked();
  EXPECT_EQ(m.solve_ok, 1);
  EXPECT_NE(text.find(help_end), std::string::npos);
  ASSERT_NE(solve_positions(121.0), 0);
  EXPECT_NEAR(dist(o, q), 121.0, tolerance);
  expect_a00_closes(50.0);
}

// An edit that makes the facts contradict (a00 with its frame 2-3 also
// given as a length, then that length changed) is refused with the broken
// fact and the choices of a failed plan; putting it back goes on.
TEST(EditPath, AnEditThatMakesTheFactsContradictNamesTheBrokenFact) {
  std::string text = read_file(source_path("mechanisms/a00"));
  const size_t at = text.find("1,5,60 0");
  ASSERT_NE(at, std::string::npos);
  text.insert(at + 6, " 2,3,120");
  {
    console_capture quiet;
    ASSERT_EQ(batch_load(write_temp_file(text).c_str(), 0), 1);
    console_set_batch(0);  // the batch load answers keys itself; the dialog reads them
  }
  const std::string out = edit_with("1\n2,3,100\n0\n0\n0\n0\n1\n2,3,120\n0\n0\n0\n");
  const size_t refused = out.find("\n変更した条件が両立しません：l[2][3]=100.0000 が 120.0000 になる\n機構が描けません．");
  EXPECT_NE(refused, std::string::npos) << out;
  EXPECT_NE(out.find("パラメータ新たに変更？:0", refused), std::string::npos) << out;
  EXPECT_EQ(mech.l[2][3], 120.0);
  ASSERT_NE(solve_positions(mech.tt0), 0);
}
