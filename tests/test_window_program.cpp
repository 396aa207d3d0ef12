// The program as a user runs it: console answers piped in, the window on a
// private X server, keys sent with xdotool, the title read with xprop and
// the picture taken with import.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/motion.h"
#include "app/setup_controller.h"
#include "kinematics/planner.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"
#include "tests/window_support.h"

static const char *const expected_title =
    "リンク機構の運動　i,p:機構・寸法変更　0,1:初期or運動描画 r:正逆転　w,W:倍率変更 "
    "x,X;y,Y:上下左右移動";

static long seconds_now() { return static_cast<long>(time(nullptr)); }

// The window of the program, found by its title within 20 seconds; "" when
// it does not appear.
static std::string find_window() {
  const long deadline = seconds_now() + 20;
  while (seconds_now() < deadline) {
    std::string id = run_with_limit("xdotool search --name 'リンク機構の運動' 2>/dev/null", 5);
    if (!id.empty()) return id.substr(0, id.find('\n'));
    usleep(100000);
  }
  return "";
}

static bool screenshot(const std::string &window, const std::string &png, frame_pixels *f) {
  const std::string ppm = png + ".ppm";
  int status;
  run_with_limit("import -window " + window + " '" + png + "' 2>/dev/null && convert '" + png +
                     "' -depth 8 'ppm:" + ppm + "'",
                 20, &status);
  std::vector<unsigned char> bytes;
  int w, h;
  if (status != 0 || !read_ppm(ppm, &bytes, &w, &h)) return false;
  unlink(ppm.c_str());
  *f = frame_pixels(bytes, w, h);
  return true;
}

// Share of 36 directions from a world point in which a red pixel lies 7.5
// to 10 pixels out: a joint's ring (radius 8.8) shows in nearly all of them,
// a bar through the point in two or four.
static double red_on_ring(const frame_pixels &f, double x, double y) {
  int red = 0;
  for (int k = 0; k < 36; k++) {
    const double a = k * 10.0 * M_PI / 180.0;
    bool hit = false;
    for (double r = 7.5; r <= 10.0 && !hit; r += 0.25)
      hit = is_red(f.at(static_cast<int>(std::floor(2.0 * x + 300.0 + r * std::cos(a))),
                        static_cast<int>(std::floor(500.0 - 2.0 * y - r * std::sin(a)))));
    red += hit;
  }
  return red / 36.0;
}

static int blue_pixels(const frame_pixels &f) {
  int c = 0;
  for (int y = 0; y < f.height(); y++)
    for (int x = 0; x < f.width(); x++) c += is_blue(f.at(x, y));
  return c;
}

// Joint positions of the last CSV row: x1, y1, ..., as written.
static std::vector<double> last_row(const std::string &csv) {
  std::istringstream in(csv);
  std::string line, last;
  while (std::getline(in, line))
    if (!line.empty()) last = line;
  std::vector<double> v;
  std::istringstream fields(last);
  std::string field;
  while (std::getline(fields, field, ',')) v.push_back(std::stod(field));
  return std::vector<double>(v.begin() + 2, v.end());
}

// Number of the joints at world positions xy (x1, y1, x2, ...) that show
// their ring in the picture.
static size_t joints_in_place(const frame_pixels &f, const std::vector<double> &xy) {
  size_t c = 0;
  for (size_t j = 0; j + 1 < xy.size(); j += 2) c += red_on_ring(f, xy[j], xy[j + 1]) > 0.8;
  return c;
}

// Takes screenshots into png, for at most 30 seconds, until every joint
// shows at its position in xy: the keys are taken one frame each, so the
// picture is polled until it settles.  *f gets the last picture.
static bool joints_settle(const std::string &window, const std::string &png,
                          const std::vector<double> &xy, frame_pixels *f) {
  const long deadline = seconds_now() + 30;
  while (seconds_now() < deadline) {
    if (!screenshot(window, png, f)) return false;
    if (joints_in_place(*f, xy) == xy.size() / 2) return true;
    usleep(250000);
  }
  return false;
}

TEST(WindowProgram, A00MovesWithTheKeysAndShowsItsJapaneseTitle) {
  program_run path = run_program("'" + program_path("linkmotion-path") + "' a00 100", "");
  ASSERT_EQ(path.status, 0) << path.errors;
  const std::vector<double> moved = last_row(path.output);

  x_server server;
  ASSERT_TRUE(server.running());
  const std::string in = write_temp_file("a00\n");
  const std::string out = write_temp_file("");
  const int pid = spawn_program("'" + program_path("linkmotion") + "'",
                                source_path("mechanisms"), in, out);
  const std::string window = find_window();
  ASSERT_FALSE(window.empty()) << read_file(out);

  std::string props = run_with_limit(
      "env LC_ALL=C.UTF-8 xprop -id " + window + " _NET_WM_NAME WM_NAME", 10);
  EXPECT_NE(props.find("_NET_WM_NAME(UTF8_STRING) = \"" + std::string(expected_title) + "\"\n"),
            std::string::npos)
      << props;
  EXPECT_NE(props.find("WM_NAME(COMPOUND_TEXT) = \"" + std::string(expected_title) + "\"\n"),
            std::string::npos)
      << props;

  // The initial configuration: the drive at tt0, no trace yet.
  frame_pixels before({}, 0, 0);
  ASSERT_TRUE(screenshot(window, "window_a00_start.png", &before));
  EXPECT_EQ(blue_pixels(before), 0);
  EXPECT_LT(joints_in_place(before, moved), moved.size() / 2);

  std::string keys;
  for (int i = 0; i < 100; i++) keys += " s";
  int status;
  run_with_limit("xdotool key --window " + window + " --delay 5" + keys + " 2>/dev/null", 30,
                 &status);
  EXPECT_EQ(status, 0);

  // Every moving joint where the path tool puts it after 100 steps.
  frame_pixels after({}, 0, 0);
  EXPECT_TRUE(joints_settle(window, "window_a00_100_steps.png", moved, &after))
      << "the joints are not where 100 steps put them";
  EXPECT_GT(blue_pixels(after), 300);  // the coupler point's path
  // The title text stays in the corner.
  int dark = 0;
  for (int y = 24; y <= 42; y++)
    for (int x = 40; x <= 220; x++) dark += is_dark(after.at(x, y));
  EXPECT_GT(dark, 150);

  run_with_limit("xdotool key --window " + window + " Escape 2>/dev/null", 10);
  EXPECT_EQ(wait_for_exit(pid, 20), 0);
  const std::string console = read_file(out);
  EXPECT_NE(console.find("描画画面へ"), std::string::npos);
  EXPECT_EQ(console.find("no solution"), std::string::npos);
  unlink(in.c_str());
  unlink(out.c_str());
}

// Polls the program's console output until `what` has appeared `times`
// times, for at most `seconds`.
static bool console_shows(const std::string &out, const std::string &what, int times,
                          int seconds) {
  const long deadline = seconds_now() + seconds;
  while (seconds_now() < deadline) {
    if (count_occurrences(read_file(out), what) >= times) return true;
    usleep(100000);
  }
  return false;
}

TEST(WindowProgram, KeyPEditsTheCrankAndTheDriveAndTheMechanismMovesWithThem) {
  // The edit, garbage included: a crank of 50 and a slide from the crank
  // pivot to the rocker pin, starting at 120.
  const a00_joints a = load_a00_for_test();
  const int o = a.crank_pivot, p = a.crank_pin, q = a.rocker_pin;
  const std::string edit =
      format("1\nzz\n%d,%d,abc\n%d,%d,50\n9,%d,50\n%d,%d,50\n0\nx\n0\n", o, p, o, o, p, o, p) +
      format("1\nx\nL\n%d,%d\n%d,%d,120\n1\n", o, q, o, q);
  const int steps = 20;

  // Where the program must show the joints: the same edit and steps here.
  {
    console_capture quiet;
    dialog_script script(edit);
    apply_nochoice_rule("a00");
    for (int s = 0; s < junjo_slots; s++) mech.choice_offered[s] = 0;
    ASSERT_EQ(cal_junjo(), 1);
    command_key = 'p';
    setup_mechanism();
    command_key = 'l';
    script.expect_used_up();
    for (int s = 0; s < steps; s++) {
      motion_step();
      solve_frame();
    }
  }
  ASSERT_EQ(motion.drive_value, 120.0 + steps);
  EXPECT_NEAR(std::hypot(mech.J[q].x - mech.J[o].x, mech.J[q].y - mech.J[o].y), 140.0, 1e-6);
  EXPECT_NEAR(std::hypot(mech.J[p].x - mech.J[o].x, mech.J[p].y - mech.J[o].y), 50.0, 1e-6);
  std::vector<double> moved;
  for (int i = 1; i <= mech.n; i++) {
    moved.push_back(mech.J[i].x);
    moved.push_back(mech.J[i].y);
  }

  x_server server;
  ASSERT_TRUE(server.running());
  const std::string in = write_temp_file("a00\n" + edit);
  const std::string out = write_temp_file("");
  const int pid = spawn_program("'" + program_path("linkmotion") + "'",
                                source_path("mechanisms"), in, out);
  const std::string window = find_window();
  ASSERT_FALSE(window.empty()) << read_file(out);
  run_with_limit("xdotool key --window " + window + " p 2>/dev/null", 10);
  ASSERT_TRUE(console_shows(out, "描画画面へ", 2, 20)) << read_file(out);

  std::string keys;
  for (int i = 0; i < steps; i++) keys += " s";
  run_with_limit("xdotool key --window " + window + " --delay 5" + keys + " 2>/dev/null", 30);
  frame_pixels after({}, 0, 0);
  EXPECT_TRUE(joints_settle(window, "window_a00_edited.png", moved, &after))
      << "the joints are not where the edited mechanism puts them";

  run_with_limit("xdotool key --window " + window + " Escape 2>/dev/null", 10);
  EXPECT_EQ(wait_for_exit(pid, 20), 0);
  const std::string console = read_file(out);
  EXPECT_NE(console.find(format("llength[%d][%d]= 50.00\n", o, p)), std::string::npos) << console;
  EXPECT_EQ(count_occurrences(console, "\n読み取れません．"), 4);
  EXPECT_EQ(count_occurrences(console, "\n同じ関節番号 "), 1);
  EXPECT_EQ(count_occurrences(console, "の外です．"), 1);
  EXPECT_EQ(count_occurrences(console, "\n A, B, L（大文字）または 0 を入力して下さい．"), 1);
  EXPECT_NE(console.find(format("\n変更後の駆動種別=L,  関節番号=[%d%d]", o, q)), std::string::npos);
  EXPECT_EQ(console.find("機構が描けません"), std::string::npos);
  EXPECT_EQ(console.find("入力が終わりました"), std::string::npos);
  unlink(in.c_str());
  unlink(out.c_str());
}
