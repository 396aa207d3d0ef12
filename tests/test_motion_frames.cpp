// The display step's solve on real mechanisms: dead points, mechanisms that
// stop assembling, and the set-up run from the keys.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "app/keyboard.h"
#include "app/motion.h"
#include "app/setup_controller.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

static int count_of(const std::string &text, const std::string &what) {
  int c = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) c++;
  return c;
}

static void load(const std::string &name) {
  console_capture quiet;
  ASSERT_EQ(batch_load(name.c_str(), 72), 1);
}

TEST(MotionFrames, AtADeadPointTheMotionTurnsBackWithinTheFrame) {
  load(source_path("tests/data/rocker_drive"));
  solve_frame();
  console_capture out;
  int s = 0;
  while (s < 200 && out.text().empty()) {
    motion_step();
    solve_frame();
    s++;
  }
  ASSERT_LT(s, 200) << "no dead point within 200 steps";
  EXPECT_EQ(count_of(out.text(), "\ndrive angle="), 1);
  EXPECT_NE(out.text().find("[rad],[m] no solution"), std::string::npos);
  EXPECT_LT(motion.drive_step, 0.0);  // reversed
  EXPECT_NEAR(motion.drive_value, motion.drive_prev, 1e-12);  // back at the previous value
  // The slot gets the posture at the previous value, not a gap.
  const point here = motion.trace[motion.step_count];
  EXPECT_EQ(here.x, mech.J[mech.kten].x);
  EXPECT_EQ(here.y, mech.J[mech.kten].y);
  motion_step();
  solve_frame();
  EXPECT_NEAR(motion.drive_value, motion.drive_prev - pi / 180.0, 1e-12);
}

// Lengths no drive value can satisfy: every moving link a thousand long.
// Returns how many lengths it changed.  (A void helper of this shape is
// dropped whole by g++ 12 at -O1 and above: the call is taken to have no
// effect.  The count keeps the call.)
static int break_the_mechanism() {
  int changed = 0;
  for (int i = 1; i <= mech.n; i++)
    for (int j = 1; j <= mech.n; j++)
      if (mech.l_known[i][j] == 'Y' && mech.J_known_saved[i] != 'Y' &&
          mech.J_known_saved[j] != 'Y') {
        mech.l[i][j] = 1000.0;
        changed++;
      }
  return changed;
}

TEST(MotionFrames, InitialFrameGivesUpAfterOneTurnAndKeepsTheLastPosture) {
  load("a00");
  solve_frame();
  point posture[joint_slots];
  memcpy(posture, mech.J, sizeof posture);
  const double tt0 = mech.tt0;
  ASSERT_GT(break_the_mechanism(), 0);
  {
    console_capture out;
    EXPECT_EQ(solve_frame(), 0);
    // One line for the frame, not one per value tried.
    EXPECT_EQ(count_of(out.text(), "\n"), 1) << out.text();
    EXPECT_NE(out.text().find(format("%d回変えても解がありません", frame_attempts)),
              std::string::npos);
  }
  EXPECT_EQ(motion.stalled, 1);
  EXPECT_EQ(mech.tt0, tt0);
  EXPECT_EQ(memcmp(posture, mech.J, sizeof posture), 0);
  {
    console_capture out;  // a redraw (pan, expose) does not search again
    run_key_command('x');
    solve_frame();
    EXPECT_EQ(out.text(), "");
  }
}

TEST(MotionFrames, MotionStopsAtTheLastAssembledPostureAfterItsBound) {
  load("a00");
  solve_frame();
  for (int s = 0; s < 10; s++) {
    motion_step();
    solve_frame();
  }
  point posture[joint_slots];
  memcpy(posture, mech.J, sizeof posture);
  const double value = motion.drive_value;
  ASSERT_GT(break_the_mechanism(), 0);
  {
    console_capture out;
    motion_step();
    EXPECT_EQ(solve_frame(), 1);
    EXPECT_EQ(count_of(out.text(), "\n"), 1) << out.text();
    EXPECT_NE(out.text().find("最後に組み立てられた姿勢で運動を止めます"), std::string::npos);
  }
  EXPECT_EQ(motion.stalled, 1);
  EXPECT_DOUBLE_EQ(motion.drive_value, value);
  EXPECT_EQ(memcmp(posture, mech.J, sizeof posture), 0);
  EXPECT_EQ(motion.trace[11].x, trace_gap);
  {
    console_capture out;
    run_key_command('w');
    solve_frame();
    EXPECT_EQ(out.text(), "");
  }
}

TEST(MotionFrames, LoadKeyRunsTheSetUpAndAsksForARedraw) {
  load("a00");
  solve_frame();
  for (int s = 0; s < 5; s++) {
    motion_step();
    solve_frame();
  }
  run_key_command('x');
  run_key_command('w');
  const double view_x = motion.view_x;
  console_set_batch(0);
  const std::string answers = write_temp_file("a00\n");
  FILE *in = fopen(answers.c_str(), "r");
  console_set_input(in);
  key_then then;
  {
    console_capture out;
    then = run_key_command('l');
    EXPECT_NE(out.text().find("描画画面へ"), std::string::npos);
  }
  console_set_input(nullptr);
  fclose(in);
  EXPECT_EQ(then, then_redraw);
  EXPECT_EQ(command_key, 'l');
  EXPECT_EQ(motion.display_mode, '0');
  EXPECT_EQ(motion.step_count, 0);
  EXPECT_EQ(motion.view_scale, 0.005);
  EXPECT_EQ(motion.view_x, view_x);  // the offsets are kept
  // An "s" before the first frame of the new mechanism starts from its tt0.
  motion_step();
  EXPECT_NEAR(motion.drive_value, wrap_angle(mech.tt0 + pi / 180.0), 1e-12);
}
