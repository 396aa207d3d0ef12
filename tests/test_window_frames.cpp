// Real frames of the program's window on a private X server, read back
// pixel by pixel: background, grid, link bars, plates, joints, sliders,
// the traced path, the on-screen text and the far-away clamp.
#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/motion.h"
#include "app/window.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"
#include "tests/window_support.h"

static x_server *server;

class window_environment : public ::testing::Environment {
 public:
  void SetUp() override {
    server = new x_server;
    ASSERT_TRUE(server->running()) << "Xvfb did not start";
    ASSERT_EQ(open_program_window(), 1) << "the window did not appear";
  }
  void TearDown() override {
    close_program_window();
    delete server;
  }
};

static ::testing::Environment *const environment =
    ::testing::AddGlobalTestEnvironment(new window_environment);

// An empty model and the start view: every test builds its own scene.
static void clear_scene() {
  memset(&mech, 0, sizeof mech);
  for (int i = 0; i < joint_slots; i++) {
    mech.J_known[i] = 'N';
    for (int j = 0; j < joint_slots; j++) mech.link_exists[i][j] = mech.l_known[i][j] = 'N';
  }
  motion.view_scale = start_view_scale;
  motion.view_x = motion.view_y = -50.0;
  motion.display_mode = '0';
  motion.step_count = 0;
  motion.stalled = 0;
}

static void add_joint(int i, double x, double y, char kind, char known) {
  mech.J[i] = {x, y};
  mech.joint_kind[i] = kind;
  mech.J_known[i] = known;
  if (i > mech.n) mech.n = i;
}

static void add_link(int i, int j) { mech.link_exists[i][j] = mech.link_exists[j][i] = 'Y'; }

static frame_pixels frame() {
  draw_frame();
  return frame_pixels();
}

TEST(WindowFrames, WhiteBackgroundAndGridEveryTwentyUnitsWithWideAxes) {
  clear_scene();
  frame_pixels f = frame();
  ASSERT_EQ(f.width(), 800);
  ASSERT_EQ(f.height(), 800);
  EXPECT_TRUE(is_white(f.at(column_of_world(10), row_of_world(10))));
  EXPECT_TRUE(is_white(f.at(column_of_world(-130), row_of_world(230))));

  // Vertical lines along the row of world y = 10, from x = -40 to 240.
  std::vector<pixel_run> v = runs_in_row(f, row_of_world(10), 210, 799, is_black);
  ASSERT_EQ(v.size(), 15u);
  for (size_t k = 0; k < v.size(); k++) {
    const int world_x = -40 + 20 * static_cast<int>(k);
    EXPECT_NEAR(v[k].start, column_of_world(world_x), 1) << world_x;
    EXPECT_EQ(v[k].length, world_x == 0 ? 2 : 1) << world_x;
  }
  // Horizontal lines down the column of world x = 10, over the whole window.
  std::vector<pixel_run> h = runs_in_column(f, column_of_world(10), 0, 799, is_black);
  ASSERT_EQ(h.size(), 20u);
  for (size_t k = 0; k < h.size(); k++) {
    const int world_y = 240 - 20 * static_cast<int>(k);
    EXPECT_NEAR(h[k].start, row_of_world(world_y), 1) << world_y;
    EXPECT_EQ(h[k].length, world_y == 0 ? 2 : 1) << world_y;
  }
}

TEST(WindowFrames, BarsEightPixelsWidePlateYellowAndRingsAtTheJoints) {
  clear_scene();
  add_joint(1, 10, 10, 'R', 'Y');   // fixed: two rings
  add_joint(2, 110, 10, 'R', 'N');  // moving: one ring
  add_joint(3, 50, 90, 'R', 'N');
  add_link(1, 2);
  add_link(2, 3);
  add_link(3, 1);
  frame_pixels f = frame();

  rgb plate = f.at(column_of_world(56), row_of_world(36));
  EXPECT_EQ(plate.r, 255);
  EXPECT_EQ(plate.g, 255);
  EXPECT_NEAR(plate.b, 153, 1);

  // Across the bar 1-2 at world x = 70: 8 red pixels, plate above, white below.
  std::vector<pixel_run> bar = runs_in_column(f, column_of_world(70), row_of_world(30),
                                              row_of_world(-8), is_red);
  ASSERT_EQ(bar.size(), 1u);
  EXPECT_EQ(bar[0].length, 8);
  EXPECT_NEAR(bar[0].start + 4, row_of_world(10), 1);

  // Pixels k = 0, 1, ... left of joint 1 and right of joint 2, whose centres
  // lie k + 0.5 pixels from the joint's centre.
  const int y = row_of_world(10), x1 = column_of_world(10), x2 = column_of_world(110);
  auto left_of_1 = [&](int k) { return f.at(x1 - 1 - k, y); };
  auto right_of_2 = [&](int k) { return f.at(x2 + k, y); };
  for (int k : {0, 2, 4, 7, 11}) EXPECT_TRUE(is_white(left_of_1(k))) << k;
  for (int k : {5, 6, 8, 9}) EXPECT_TRUE(is_red(left_of_1(k))) << k;  // rings 5.6 and 8.8
  for (int k : {0, 2, 4, 5, 6, 7}) EXPECT_TRUE(is_white(right_of_2(k))) << k;
  for (int k : {8, 9}) EXPECT_TRUE(is_red(right_of_2(k))) << k;
  EXPECT_TRUE(is_white(right_of_2(11)));
}

TEST(WindowFrames, SliderBlockIsWhiteWithRedLongSidesOnlyAndTurnsWithItsGuide) {
  clear_scene();
  add_joint(1, 10, 10, 'R', 'Y');
  add_joint(2, 190, 10, 'R', 'Y');
  add_joint(3, 100, 10, 'S', 'N');
  add_link(1, 2);
  mech.slider_count = 1;
  mech.sliders[1] = {3, 1, 2};
  const int cx = column_of_world(100), cy = row_of_world(10);
  for (double angle : {0.0, half_pi}) {
    mech.ath[1][3] = angle;
    frame_pixels f = frame();
    EXPECT_TRUE(is_white(f.at(cx, cy))) << angle;  // covers the bar and a grid line
    EXPECT_TRUE(is_white(f.at(cx + 6, cy + 4))) << angle;
    // Long sides 10 pixels off the centre line, across the guide.
    const int across_x = angle == 0.0 ? 0 : 1, across_y = angle == 0.0 ? 1 : 0;
    for (int side : {-1, 1}) {
      bool red = false;
      for (int d = 9; d <= 11; d++)
        red = red || is_red(f.at(cx + side * d * across_x, cy + side * d * across_y));
      EXPECT_TRUE(red) << "long side " << side << " angle " << angle;
    }
    // No line at the ends, 20 pixels along the guide, beside the bar.
    const int along_x = across_y, along_y = across_x;
    for (int side : {-1, 1})
      for (int d = 18; d <= 21; d++)
        EXPECT_FALSE(is_red(f.at(cx + side * d * along_x + 6 * across_x,
                                 cy + side * d * along_y + 6 * across_y)))
            << "end " << side << " angle " << angle << " at " << d;
  }
}

TEST(WindowFrames, TraceIsBlueFourPixelsWideAndSkipsGapsAndJumps) {
  clear_scene();
  add_joint(1, 190, 130, 'R', 'N');
  mech.kten = 1;
  const point path[] = {{10, 50}, {50, 50}, {trace_gap, trace_gap}, {90, 50},
                        {130, 50}, {130, 90}, {190, 90}};
  for (int s = 0; s < 7; s++) motion.trace[s] = path[s];
  motion.display_mode = '1';
  motion.step_count = 7;  // the frame puts joint 1, (190, 130), into slot 7
  frame_pixels f = frame();
  EXPECT_EQ(motion.trace[7].x, 190.0);

  const int y50 = row_of_world(50);
  EXPECT_TRUE(is_blue(f.at(column_of_world(30), y50)));
  EXPECT_FALSE(is_blue(f.at(column_of_world(70), y50)));  // slot 2 is a gap
  EXPECT_TRUE(is_blue(f.at(column_of_world(110), y50)));
  std::vector<pixel_run> across = runs_in_column(f, column_of_world(30), y50 - 10, y50 + 10,
                                                 is_blue);
  ASSERT_EQ(across.size(), 1u);
  EXPECT_EQ(across[0].length, 4);
  std::vector<pixel_run> up = runs_in_row(f, row_of_world(70), column_of_world(120),
                                          column_of_world(140), is_blue);
  ASSERT_EQ(up.size(), 1u);
  EXPECT_EQ(up[0].length, 4);
  EXPECT_FALSE(is_blue(f.at(column_of_world(160), row_of_world(90))));  // a 60-unit jump
  EXPECT_TRUE(is_blue(f.at(column_of_world(190), row_of_world(110))));

  motion.display_mode = '0';  // the initial configuration draws no trace
  frame_pixels g = frame();
  EXPECT_FALSE(is_blue(g.at(column_of_world(30), y50)));
}

static int dark_pixels(const frame_pixels &f, int x0, int y0, int x1, int y1) {
  int c = 0;
  for (int y = y0; y <= y1; y++)
    for (int x = x0; x <= x1; x++) c += is_dark(f.at(x, y));
  return c;
}

TEST(WindowFrames, TextIsDrawnDarkAtItsRasterPositions) {
  clear_scene();
  frame_pixels plain = frame();
  snprintf(mech.title, sizeof mech.title, "a00_crank-rocker");
  mech.rs = 'B';
  mech.id = 1;
  mech.jd = 2;
  add_joint(1, 10, 10, 'R', 'Y');
  frame_pixels titled = frame();
  // Title at (-0.9, 0.9): pixel (40, 40) is its baseline; the drive label one line below.
  EXPECT_GT(dark_pixels(titled, 40, 24, 250, 42) - dark_pixels(plain, 40, 24, 250, 42), 100);
  EXPECT_GT(dark_pixels(titled, 40, 44, 250, 62) - dark_pixels(plain, 40, 44, 250, 62), 100);
  // The list line of the fixed joint at y = 0.80 (row 80).
  EXPECT_GT(dark_pixels(titled, 40, 64, 200, 82) - dark_pixels(plain, 40, 64, 200, 82), 60);
  // The prompt is there in both.
  EXPECT_GT(dark_pixels(plain, 520, 45, 780, 62), 150);
  // The joint label "J1" right of and above the joint.
  const int jx = column_of_world(10) + 8, jy = row_of_world(10) - 8;
  EXPECT_GT(dark_pixels(titled, jx, jy - 14, jx + 20, jy), 15);
}

TEST(WindowFrames, FarAwayJointIsDrawnAtTheEdgeWithItsSignAndKeepsItsPosition) {
  clear_scene();
  add_joint(1, 10, 10, 'R', 'Y');
  add_joint(2, -1500, 10, 'R', 'N');
  motion.view_scale = 0.0004;  // 1000 world units are 0.4 of the half window
  frame_pixels f = frame();
  EXPECT_EQ(mech.J[2].x, -1500.0);
  // Drawn at x = -1000: ((-50 - 1000) 0.0004 + 1) 400 = 232; y: (1 - (-40) 0.0004) 400.
  const int x = 232, y = static_cast<int>((1.0 + 40 * 0.0004) * 400.0);
  bool ring = false;
  for (int d = 7; d <= 10; d++) ring = ring || is_red(f.at(x, y - d)) || is_red(f.at(x, y + d));
  EXPECT_TRUE(ring);
  EXPECT_TRUE(is_white(f.at(x, y)));
}

TEST(WindowFrames, ANonSquareViewportSqueezesThePicture) {
  clear_scene();
  reshape(800, 400);
  frame_pixels f = frame();
  reshape(800, 800);
  // The picture fills the lower 400 rows: grid lines 20 pixels apart down a column.
  std::vector<pixel_run> h = runs_in_column(f, 320, 400, 799, is_black);
  ASSERT_GE(h.size(), 19u);
  for (size_t k = 1; k < h.size(); k++) EXPECT_NEAR(h[k].start - h[k - 1].start, 20, 1);
  EXPECT_TRUE(runs_in_column(f, 320, 0, 399, is_black).empty());
}

TEST(WindowFrames, SetUpFromTheLoadKeyIsFollowedByARedrawOfTheNewMechanism) {
  clear_scene();
  const std::string answers = write_temp_file("a00\n");
  FILE *in = fopen(answers.c_str(), "r");
  console_set_input(in);
  motion.trace[0] = {1.0, 1.0};  // the next frame of the initial configuration breaks it
  {
    console_capture out;
    keyboard('l', 0, 0);  // the whole console set-up
    EXPECT_NE(out.text().find("描画画面へ"), std::string::npos);
  }
  console_set_input(nullptr);
  fclose(in);
  EXPECT_EQ(motion.trace[0].x, 1.0);  // no frame drawn yet
  for (int i = 0; i < 20 && motion.trace[0].x == 1.0; i++) {
    glutMainLoopEvent();  // the toolkit draws the frame it was asked for
    usleep(10000);
  }
  EXPECT_EQ(motion.trace[0].x, trace_gap);
  EXPECT_STREQ(mech.fname, "a00");
}

// Pumps the toolkit's events for about `ms` milliseconds.
static void pump_events(int ms) {
  for (int t = 0; t < ms; t += 10) {
    glutMainLoopEvent();
    usleep(10000);
  }
}

TEST(WindowFrames, SpaceKeyPlaysTheMotionWithNoKeyHeldAndTheSecondPressStopsIt) {
  clear_scene();
  const std::string answers = write_temp_file("a00\n");
  FILE *in = fopen(answers.c_str(), "r");
  console_set_input(in);
  {
    console_capture out;
    keyboard('l', 0, 0);
  }
  console_set_input(nullptr);
  fclose(in);
  pump_events(100);
  const frame_pixels before;
  const int steps_before = motion.step_count;
  keyboard(' ', 0, 0);
  pump_events(600);  // fifteen ticks of the play at 40 ms
  const int steps_played = motion.step_count;
  EXPECT_GE(steps_played - steps_before, 5);
  const frame_pixels played;
  int changed = 0;
  for (int y = 0; y < 800; y += 2)
    for (int x = 0; x < 800; x += 2) {
      const rgb a = before.at(x, y), b = played.at(x, y);
      if (a.r != b.r || a.g != b.g || a.b != b.b) changed++;
    }
  EXPECT_GT(changed, 50) << "the played frame shows the same posture";
  keyboard(' ', 0, 0);
  const int steps_stopped = motion.step_count;
  pump_events(400);
  EXPECT_EQ(motion.step_count, steps_stopped);
}
