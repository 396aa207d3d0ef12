// The keys of the window on the view and animation state, the motion step,
// the trace slots of the display step, the branch rules and the choice
// editor, all without a window.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "app/choice_editor.h"
#include "app/keyboard.h"
#include "app/motion.h"
#include "app/setup_controller.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

// A mechanism with an empty solving order: every solve succeeds and leaves
// the hand-set positions where they are.  Rotary drive 'B' on link 1-2.
static void still_mechanism(char rs = 'B') {
  memset(&mech, 0, sizeof mech);
  mech.n = 2;
  mech.J[1] = {0, 0};
  mech.J[2] = {30, 40};
  mech.kten = 2;
  mech.rs = rs;
  mech.id = 1;
  mech.jd = 2;
  mech.tt0 = rs == 'L' ? 50.0 : 1.0;
  motion.view_x = motion.view_y = -50.0;
  motion.drive_value = 0.0;
  reset_animation();
}

static double degrees(double d) { return d * pi / 180.0; }

TEST(MotionStep, RotaryDriveWrapsAtPlusMinusPiAndReportsTheCrossing) {
  still_mechanism();
  EXPECT_DOUBLE_EQ(motion.drive_step, pi / 180.0);
  motion.drive_value = degrees(179.5);
  EXPECT_EQ(run_key_command('s'), then_display);
  EXPECT_EQ(motion.display_mode, '1');
  EXPECT_EQ(motion.step_count, 1);
  EXPECT_NEAR(motion.drive_value, degrees(-179.5), 1e-9);
  EXPECT_DOUBLE_EQ(motion.drive_prev, degrees(179.5));
  EXPECT_EQ(motion.drive_crossing, 2);

  motion.drive_value = degrees(-0.5);
  motion_step();
  EXPECT_NEAR(motion.drive_value, degrees(0.5), 1e-12);
  EXPECT_EQ(motion.drive_crossing, 1);
  motion_step();
  EXPECT_EQ(motion.drive_crossing, 0);

  motion.drive_step = -motion.drive_step;  // backwards through -pi as well
  motion.drive_value = degrees(-179.5);
  motion_step();
  EXPECT_NEAR(motion.drive_value, degrees(179.5), 1e-9);
  EXPECT_EQ(motion.drive_crossing, 2);
}

TEST(MotionStep, SlideMovesOneUnitAndIsNeverWrapped) {
  still_mechanism('L');
  EXPECT_EQ(motion.drive_step, 1.0);
  motion.drive_value = 3.0;
  for (int i = 0; i < 5; i++) motion_step();
  EXPECT_DOUBLE_EQ(motion.drive_value, 8.0);
  motion.drive_value = -0.5;
  motion_step();
  EXPECT_EQ(motion.drive_crossing, 1);
  EXPECT_DOUBLE_EQ(motion.drive_value, 0.5);
}

TEST(Keys, ReverseModesPanZoomAndKeysWithoutCommand) {
  still_mechanism();
  motion.drive_value = 0.0;
  EXPECT_EQ(run_key_command('r'), then_display);  // before the first "s": it goes backwards
  motion_step();
  EXPECT_NEAR(motion.drive_value, -pi / 180.0, 1e-15);
  EXPECT_EQ(run_key_command('0'), then_display);
  EXPECT_EQ(motion.display_mode, '0');
  EXPECT_EQ(run_key_command('1'), then_display);
  EXPECT_EQ(motion.display_mode, '1');

  for (int i = 0; i < 5; i++) run_key_command('x');
  EXPECT_DOUBLE_EQ(motion.view_x, -100.0);
  EXPECT_DOUBLE_EQ((motion.view_x + 0.0) * motion.view_scale - (-50.0 * 0.005), -0.25);
  run_key_command('X');
  run_key_command('y');
  run_key_command('y');
  run_key_command('Y');
  EXPECT_DOUBLE_EQ(motion.view_x, -90.0);
  EXPECT_DOUBLE_EQ(motion.view_y, -60.0);
  run_key_command('w');
  EXPECT_DOUBLE_EQ(motion.view_scale, 0.005 * 0.9);
  run_key_command('W');
  EXPECT_NEAR(motion.view_scale, 0.005, 1e-18);

  const motion_state before = motion;
  EXPECT_EQ(run_key_command('q'), then_nothing);
  EXPECT_EQ(command_key, 'q');
  EXPECT_EQ(memcmp(&before, &motion, sizeof motion), 0);
  EXPECT_EQ(run_key_command(key_escape), then_exit);
  EXPECT_EQ(command_key, 27);
}

TEST(DisplayStep, MotionFromTheInitialFrameLeavesAGapInSlotZero) {
  still_mechanism();
  motion.trace[0] = {1, 1};
  EXPECT_EQ(solve_frame(), 0);  // the initial configuration
  EXPECT_DOUBLE_EQ(motion.drive_value, mech.tt0);
  EXPECT_EQ(motion.trace[0].x, trace_gap);
  EXPECT_EQ(motion.trace[0].y, trace_gap);
  motion_step();
  EXPECT_EQ(solve_frame(), 1);
  EXPECT_EQ(motion.trace[1].x, 30.0);
  EXPECT_EQ(motion.trace[1].y, 40.0);

  // "0" during the motion breaks the path at the current slot, and "s" goes
  // on from the motion's value, not from tt0.
  const double value = motion.drive_value;
  run_key_command('0');
  solve_frame();
  EXPECT_EQ(motion.trace[1].x, trace_gap);
  EXPECT_DOUBLE_EQ(motion.drive_value, value);
  motion_step();
  EXPECT_NEAR(motion.drive_value, value + pi / 180.0, 1e-12);
}

TEST(DisplayStep, TraceStopsGrowingAfterAThousandSteps) {
  still_mechanism();
  solve_frame();
  for (int s = 1; s <= 1005; s++) {
    mech.J[2] = {static_cast<double>(s % 500), 0.0};
    motion_step();
    solve_frame();
  }
  EXPECT_EQ(motion.step_count, 1000);
  EXPECT_EQ(motion.trace[1000].x, trace_gap);
  EXPECT_EQ(motion.trace[999].x, 499.0);
  EXPECT_EQ(motion.trace[1].x, 1.0);
}

// Branch rules act on the first step with a choice; steps without one are skipped.
static void two_choice_steps(const char *title) {
  still_mechanism();
  snprintf(mech.title, sizeof mech.title, "%s", title);
  mech.junjo_count = 3;
  // Deductions that change nothing (ath[1][2] = ath[1][2]), two of them
  // carrying a sign, so that every solve succeeds.
  for (int s = 1; s <= 3; s++) {
    const int record[junjo_fields] = {102, 1, 2, 2, 0, s == 1 ? 0 : 1, 0};
    memcpy(mech.junjo[s], record, sizeof record);
  }
}

TEST(BranchRules, SignFollowsTheDriveValueByTitle) {
  struct {
    const char *title;
    double drive;
    int sign;
  } cases[] = {
      {"a00x_test", 0.3, -1},  {"a00x", -0.3, 1},       {"a03abc", 0.3, 1},
      {"a03", -0.3, -1},       {"ellips2", 0.3, 1},     {"elXXXX2yy", -0.3, -1},
      {"hyper1", -0.1, -1},    {"hyper5", 0.1, 1},      {"parab1", 250.0, -1},
      {"parab1", 150.0, 1},    {"conic2", 1.0, 1},      {"conic2", 2.0, -1},
      {"conic2", -1.6, -1},
  };
  for (const auto &c : cases) {
    two_choice_steps(c.title);
    mech.junjo[2][jj_choice] = -c.sign;
    motion.drive_value = c.drive;
    apply_branch_rules();
    EXPECT_EQ(mech.junjo[2][jj_choice], c.sign) << c.title << " " << c.drive;
    EXPECT_EQ(mech.junjo[3][jj_choice], 1) << c.title;
  }
  // No rule for other titles, nor for a short title that only begins like one.
  for (const char *title : {"a00_crank-rocker", "a00", "ellips", "el2", "hyper2", "conic"}) {
    two_choice_steps(title);
    mech.junjo[2][jj_choice] = -1;
    motion.drive_value = 1.0;
    apply_branch_rules();
    EXPECT_EQ(mech.junjo[2][jj_choice], -1) << title;
  }
}

TEST(BranchRules, ConicThreeAndFourReverseOncePerCrossingOfPlusMinusPi) {
  for (const char *title : {"conic3", "conic4"}) {
    two_choice_steps(title);
    motion.drive_value = degrees(179.5);
    motion_step();
    ASSERT_EQ(motion.drive_crossing, 2);
    solve_frame();
    EXPECT_EQ(mech.junjo[2][jj_choice], -1) << title;
    // Redrawing the same step (a pan, an expose) does not reverse it back.
    run_key_command('x');
    solve_frame();
    EXPECT_EQ(mech.junjo[2][jj_choice], -1) << title;
    motion_step();
    solve_frame();
    EXPECT_EQ(mech.junjo[2][jj_choice], -1) << title;
    motion.drive_value = degrees(-0.5);  // through 0: no reversal
    motion_step();
    solve_frame();
    EXPECT_EQ(mech.junjo[2][jj_choice], -1) << title;
  }
}

// --- choice editor ---

static std::string edit_with(const std::string &answers) {
  std::string in = write_temp_file(answers);
  FILE *f = fopen(in.c_str(), "r");
  console_set_input(f);
  console_capture out;
  edit_choices();
  std::string text = out.text();
  console_set_input(nullptr);
  fclose(f);
  return text;
}

static void plan_with_choices() {
  still_mechanism();
  mech.junjo_count = 4;
  const int records[5][6] = {
      {0}, {34, 1, 2, 3, 0, 1}, {7, 1, 2, 3, 0, 0}, {41, 1, 2, 3, 4, -1}, {31, 4, 5, 6, 0, 1}};
  for (int s = 1; s <= 4; s++) memcpy(mech.junjo[s], records[s], sizeof records[s]);
  mech.choice_offered[1] = 1;
  mech.choice_offered[3] = -1;
}

TEST(ChoiceEditor, ListsTheStepsWithAChoiceAndStoresTheTypedSign) {
  plan_with_choices();
  motion.display_mode = '0';
  motion.step_count = 12;
  std::string out = edit_with("3 1\n");
  EXPECT_NE(out.find("\n下記の番号の解の選択±を逆にして，三角形(四角形)の姿勢を反対にする"
                     "\n計算順番の番号 i=1  △[123]  解の選択=1"
                     "\n計算順番の番号 i=3  □[1234]  解の選択=-1"
                     "\n番号とその選択符号の変更を入力 i  ±1  \n何もなければ0番号と1を入力"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("i=4"), std::string::npos);  // not offered by the planner
  EXPECT_NE(out.find("描画画面へ\n"), std::string::npos);
  EXPECT_EQ(mech.junjo[3][jj_choice], 1);
  EXPECT_EQ(mech.choice_offered[3], 1);
  EXPECT_EQ(motion.step_count, 0);  // in the initial configuration the motion starts again

  motion.display_mode = '1';
  motion.step_count = 12;
  edit_with("1\n-1\n");  // the two numbers may be on two lines
  EXPECT_EQ(mech.junjo[1][jj_choice], -1);
  EXPECT_EQ(motion.step_count, 12);
}

TEST(ChoiceEditor, RefusesNumbersOutsideThePlanAndOtherSignsAndAsksAgain) {
  plan_with_choices();
  int before[junjo_slots][junjo_fields];
  memcpy(before, mech.junjo, sizeof before);
  std::string out = edit_with("5 1\n-1 1\n800 1\n1 2\n2 -3\nabc 1\n0 1\n");
  EXPECT_NE(out.find("番号 5 は範囲外です"), std::string::npos);
  EXPECT_NE(out.find("番号 -1 は範囲外です"), std::string::npos);
  EXPECT_NE(out.find("番号 800 は範囲外です"), std::string::npos);
  EXPECT_NE(out.find("選択符号 2 は使えません"), std::string::npos);
  EXPECT_NE(out.find("選択符号 -3 は使えません"), std::string::npos);
  EXPECT_NE(out.find("整数で入力して下さい"), std::string::npos);
  int prompts = 0;
  for (size_t at = out.find("何もなければ"); at != std::string::npos;
       at = out.find("何もなければ", at + 1))
    prompts++;
  EXPECT_EQ(prompts, 7);
  // "0 1" writes only record 0, which nothing reads.
  for (int s = 1; s < junjo_slots; s++)
    EXPECT_EQ(memcmp(before[s], mech.junjo[s], sizeof before[s]), 0) << s;
  EXPECT_EQ(mech.junjo[0][jj_choice], 1);

  plan_with_choices();
  edit_with("4 0\n");  // 0 is accepted: the step then offers no choice
  EXPECT_EQ(mech.junjo[4][jj_choice], 0);
  std::string listed = edit_with("0 1\n");
  EXPECT_EQ(listed.find("i=4"), std::string::npos);
}

TEST(ChoiceEditor, WithNoChoiceItStillAsksForThePair) {
  still_mechanism();
  std::string out = edit_with("0 1\n");
  EXPECT_EQ(out.find("計算順番の番号"), std::string::npos);
  EXPECT_NE(out.find("何もなければ0番号と1を入力"), std::string::npos);
}

TEST(Keys, SpaceStartsAndStopsThePlayAndOtherKeysLeaveIt) {
  motion_playing = 0;
  EXPECT_EQ(run_key_command(key_play), then_nothing);
  EXPECT_EQ(motion_playing, 1);
  run_key_command('x');
  run_key_command('r');
  EXPECT_EQ(motion_playing, 1);  // a pan or a reversal does not stop the play
  run_key_command(key_play);
  EXPECT_EQ(motion_playing, 0);
}
