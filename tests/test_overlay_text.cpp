// The texts of the overlay and where they go, built without a window.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/motion.h"
#include "draw/overlay.h"
#include "draw/scene.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

static std::vector<overlay_text> texts() {
  static overlay_text items[overlay_max_texts];
  int n = build_overlay(items, overlay_max_texts);
  return std::vector<overlay_text>(items, items + n);
}

static std::vector<std::string> strings() {
  std::vector<std::string> s;
  for (const overlay_text &t : texts()) s.push_back(t.text);
  return s;
}

static bool has(const std::string &text) {
  for (const std::string &s : strings())
    if (s == text) return true;
  return false;
}

// A crank-rocker with a coupler point: fixed joints 1 and 4, crank 1-2.
static const char *crank_rocker =
    "crank-rocker\n5\n1,R 2,R 3,R 4,R 5,R 0\n5\n1,0,0 0\n4,1,120,0 0\n0\n"
    "1,2,40 2,3,110 3,4,90 2,5,70 3,5,60 0\n0\n0\nB 1,2,60\n";

static void start_view() {
  motion.view_scale = start_view_scale;
  motion.view_x = motion.view_y = -50.0;
}

TEST(OverlayText, CrankRockerShowsPromptTitleDriveLabelsAndTheListsInOrder) {
  ASSERT_EQ(load_file_for_test(write_temp_file(crank_rocker)), 1);
  snprintf(mech.fname, sizeof mech.fname, "a00");
  start_view();
  mech.J[2] = {20, 34.64};
  std::vector<overlay_text> t = texts();
  std::vector<std::string> expected = {
      "configuration OK?  no:n  yes:any", "If no, goto character display", "1grid=(20, 20)",
      "crank-rocker", "drive=L12angle", "J1 ", "J2 ", "J3 ", "J4 ", "J5 ",
      "J1=( 000,  000)", "J4=( 120,  000)", "L[1,2]= 040", "L[2,3]= 110", "L[2,5]= 070",
      "L[3,4]= 090", "L[3,5]= 060"};
  ASSERT_EQ(t.size(), expected.size());
  for (size_t i = 0; i < t.size(); i++) EXPECT_EQ(t[i].text, expected[i]) << i;
  EXPECT_FLOAT_EQ(t[0].x, 0.3f);
  EXPECT_FLOAT_EQ(t[0].y, 0.85f);
  EXPECT_FLOAT_EQ(t[2].x, 0.5f);
  EXPECT_FLOAT_EQ(t[3].x, -0.9f);
  EXPECT_FLOAT_EQ(t[3].y, 0.9f);
  EXPECT_FLOAT_EQ(t[4].y, 0.85f);
  // Joint 2 at (20, 34.64): the screen point (-0.15, -0.0768) plus 0.02 each way.
  EXPECT_NEAR(t[6].x, -0.13, 1e-6);
  EXPECT_NEAR(t[6].y, -0.0568, 1e-6);
  // The lists run down from 0.80 in steps of 0.05.
  for (size_t i = 10; i < t.size(); i++) EXPECT_NEAR(t[i].y, 0.85 - 0.05 * (i - 9), 1e-6) << i;
  for (size_t i = 10; i < t.size(); i++) EXPECT_FLOAT_EQ(t[i].x, -0.9f);
}

TEST(OverlayText, ConicRuleByTheSixthLetterOfTheFileName) {
  ASSERT_EQ(load_file_for_test(write_temp_file(crank_rocker)), 1);
  start_view();
  const char *rules[] = {
      "e=L12/L23>1:hyperb, =1:parabola, <1:ellipsoid",
      "e=2*L18/L89>1:hyperb, =1:parabola, <1:ellipsoid",
      "e=2*L12/L45>1:hyperb, =1:parabola, <1:ellipsoid",
      "e=2*L23/L45>1:hyperb, =1:parabola, <1:ellipsoid",
      "e=sqrt(J1,L89)/L26>1:hyperb, =1:parabola, <1:ellipsoid",
  };
  for (int k = 0; k < 5; k++) {
    snprintf(mech.fname, sizeof mech.fname, "conic%d", k + 1);
    std::vector<overlay_text> t = texts();
    ASSERT_GE(t.size(), 4u);
    EXPECT_STREQ(t[3].text, rules[k]);
    EXPECT_FLOAT_EQ(t[3].x, k == 4 ? -0.1f : 0.0f);
    EXPECT_FLOAT_EQ(t[3].y, 0.9f);
    int shown = 0;
    for (const char *r : rules) shown += has(r);
    EXPECT_EQ(shown, 1);
  }
  // The letters a longer name left behind the terminator are not read.
  snprintf(mech.fname, sizeof mech.fname, "conic3");
  for (const char *name : {"c", "cr", "ellips1", "xonic1", "conic", "conic9"}) {
    snprintf(mech.fname, sizeof mech.fname, "%s", name);
    for (const char *r : rules) EXPECT_FALSE(has(r)) << name;
  }
}

TEST(OverlayText, DriveLabelForEveryKindWithTwoDigitJoints) {
  memset(&mech, 0, sizeof mech);
  start_view();
  struct {
    int rs, id, jd;
    const char *label;
  } cases[] = {
      {'A', 3, 1, "drive=J1 angle"},    {'B', 1, 2, "drive=L12angle"},
      {'L', 3, 1, "drive=L31 slide"},   {'A', 2, 12, "drive=J12 angle"},
      {'B', 11, 19, "drive=L1119angle"}, {'L', 10, 3, "drive=L03 slide"},
  };
  for (const auto &c : cases) {
    mech.rs = c.rs;
    mech.id = c.id;
    mech.jd = c.jd;
    mech.kd = 4;
    EXPECT_TRUE(has(c.label)) << c.label;
  }
  mech.rs = 'Q';  // no drive: no label
  for (const std::string &s : strings()) EXPECT_NE(s.rfind("drive=", 0), 0u) << s;
}

TEST(OverlayText, ListsWriteSignsDigitsAndFullNumbersFromOneThousand) {
  memset(&mech, 0, sizeof mech);
  for (int i = 0; i < joint_slots; i++) {
    mech.J_known[i] = 'N';
    for (int j = 0; j < joint_slots; j++) mech.l_known[i][j] = 'N';
  }
  start_view();
  mech.n = 13;
  auto fixed = [](int i, double x, double y, char known) {
    mech.J[i] = {x, y};
    mech.J_known[i] = known;
  };
  auto length = [](int i, int j, double l) {
    mech.l[i][j] = mech.l[j][i] = l;
    mech.l_known[i][j] = mech.l_known[j][i] = 'Y';
  };
  fixed(1, 100, 50, 'Y');
  fixed(2, -7.5, -999.9, 'Y');
  fixed(3, 1000, -1500, 'Y');
  fixed(4, 30, 30, 'W');  // derived: not listed
  fixed(10, 5, 6, 'Y');
  fixed(12, 12.9, 0, 'Y');
  length(1, 2, 120);
  length(2, 3, 99.9995);  // the bias writes it 100
  length(3, 4, 99.95);    // 99, not a digit from before the table
  length(4, 5, 9.995);
  length(5, 6, 1500.25);
  length(12, 13, 120);
  mech.l_known[6][7] = mech.l_known[7][6] = 'W';  // derived: not listed
  mech.l[6][7] = 5;
  std::vector<std::string> s = strings();
  std::vector<std::string> lists(s.end() - 11, s.end());
  std::vector<std::string> expected = {
      "J1=( 100,  050)", "J2=(-007, -999)", "J3=( 1000, -1500)", "J0=( 005,  006)",
      "J12=( 012,  000)", "L[1,2]= 120", "L[2,3]= 100", "L[3,4]= 099",
      "L[4,5]= 009", "L[5,6]= 1500", "L[12,13]= 120"};
  EXPECT_EQ(lists, expected);
  EXPECT_TRUE(has("J10"));
  EXPECT_TRUE(has("J9 "));
  EXPECT_TRUE(has("J13"));
}

TEST(OverlayText, JointLabelsFollowTheDrawnPositionAndTheViewButJStaysPut) {
  memset(&mech, 0, sizeof mech);
  mech.n = 2;
  mech.J[1] = {-1500, 2500};
  mech.J[2] = {10, 10};
  start_view();
  motion.view_x = -40.0;
  motion.view_scale = 0.01;
  std::vector<overlay_text> t = texts();
  ASSERT_EQ(t.size(), 6u);  // prompt, spacing, title, two labels
  EXPECT_STREQ(t[4].text, "J1 ");
  EXPECT_NEAR(t[4].x, (-40.0 - 1000.0) * 0.01 + 0.02, 1e-5);
  EXPECT_NEAR(t[4].y, (-50.0 + 1000.0) * 0.01 + 0.02, 1e-5);
  EXPECT_NEAR(t[5].x, (-40.0 + 10.0) * 0.01 + 0.02, 1e-6);
  EXPECT_EQ(mech.J[1].x, -1500.0);
  EXPECT_EQ(drawn_position(1).x, -1000.0);
  EXPECT_EQ(drawn_position(1).y, 1000.0);
  mech.J[2] = {NAN, -INFINITY};
  EXPECT_EQ(drawn_position(2).x, 1000.0);
  EXPECT_EQ(drawn_position(2).y, 1000.0);
}

TEST(OverlayText, NineteenJointsWithEveryLinkFitTheTable) {
  memset(&mech, 0, sizeof mech);
  start_view();
  mech.n = 19;
  snprintf(mech.fname, sizeof mech.fname, "conic1");
  snprintf(mech.title, sizeof mech.title, "%s", std::string(79, 't').c_str());
  mech.rs = 'A';
  mech.jd = 19;
  for (int i = 1; i <= 19; i++) {
    mech.J_known[i] = 'Y';
    mech.J[i] = {1e300, -1e300};
    for (int j = 1; j <= 19; j++) {
      mech.l_known[i][j] = 'Y';
      mech.l[i][j] = 1e300;
    }
  }
  std::vector<overlay_text> t = texts();
  EXPECT_EQ(t.size(), static_cast<size_t>(overlay_max_texts));
  EXPECT_EQ(t[4].text, std::string(79, 't'));
  for (const overlay_text &x : t) EXPECT_LT(strlen(x.text), sizeof x.text);
  overlay_text few[5];
  EXPECT_EQ(build_overlay(few, 5), 5);
}
