// The drive-independent pre-analysis on data files: what it derives from
// fixed joints, hanging links, zero angles and angle sums, what it leaves to
// the planner, and its failure report.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/dialogs.h"
#include "kinematics/pre_analysis.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

namespace {

class PreAnalysis : public ::testing::Test {
 protected:
  void SetUp() override { console_set_batch(1); }
};

int count_flag(const char *flags, int size, char letter) {
  int c = 0;
  for (int i = 0; i < size; i++) c += flags[i] == letter;
  return c;
}

int count_w() {
  const mechanism &m = mech;
  return count_flag(m.J_known, joint_slots, 'W') +
         count_flag(&m.l_known[0][0], joint_slots * joint_slots, 'W') +
         count_flag(&m.ath_known[0][0], joint_slots * joint_slots, 'W') +
         count_flag(&m.th_known[0][0][0], joint_slots * joint_slots * joint_slots, 'W');
}

bool same_angle(double a, double b, double tol = 1e-9) {
  return std::fabs(std::remainder(a - b, 2.0 * pi)) < tol;
}

double dir(point a, point b) { return std::atan2(b.y - a.y, b.x - a.x); }

// A data file: title, joints 1..n all rotary, traced joint 1, then the
// sections (4) to (9) as given, and the drive (none by default).
std::string mechanism_text(int n, const std::string &sections, const std::string &drive = "N") {
  std::string s = "t_pre\n" + std::to_string(n) + "\n";
  for (int i = 1; i <= n; i++) s += std::to_string(i) + ",R ";
  return s + "0\n1\n" + sections + "\n" + drive + "\n";
}

}  // namespace

TEST_F(PreAnalysis, FourBarGetsOnlyItsGroundLink) {
  // a00: fixed joints 3 and 2, the crank, coupler and rocker, and the
  // coupler plate 4-1-5 given by its three sides.
  ASSERT_EQ(load_file_for_test(source_path("mechanisms/a00")), 1);
  const mechanism &m = mech;
  EXPECT_EQ(m.l_known[2][3], 'W');
  EXPECT_EQ(m.l_known[3][2], 'W');
  EXPECT_NEAR(m.l[2][3], 120.0, 1e-12);
  EXPECT_EQ(m.ath_known[3][2], 'W');
  EXPECT_EQ(m.ath_known[2][3], 'W');
  // atan2 gives the true pi, the reverse adds the system's 3.1415926536.
  EXPECT_NEAR(m.ath[3][2], 0.0, 1e-10);
  EXPECT_NEAR(m.ath[2][3], pi, 1e-10);
  EXPECT_EQ(count_w(), 4);
  // A triangle of three given sides is left to the planner (code 34), where
  // its mirror image stays a branch of the plan.
  EXPECT_EQ(m.th_known[4][1][5], 'N');
  // The snapshot was taken before the pre-analysis; the drive came after it.
  EXPECT_EQ(m.l_known_saved[2][3], 'N');
  EXPECT_EQ(m.ath_known[3][4], 'Z');
}

TEST_F(PreAnalysis, ThreeFixedJointsGiveTheirRelativeAngles) {
  const point p[4] = {{0, 0}, {0.0, 0.0}, {100.0, 0.0}, {30.0, 80.0}};
  ASSERT_EQ(load_text_for_test(mechanism_text(3, "1,0,0 2,100,0 3,30,80 0 0 0 0 0 0")), 1);
  const mechanism &m = mech;
  for (int i = 1; i <= 3; i++)
    for (int j = 1; j <= 3; j++)
      for (int k = 1; k <= 3; k++) {
        if (i == j || j == k || i == k) continue;
        EXPECT_EQ(m.th_known[i][j][k], 'W') << i << j << k;
        EXPECT_TRUE(same_angle(m.th[i][j][k], dir(p[j], p[k]) - dir(p[i], p[j]))) << i << j << k;
      }
}

TEST_F(PreAnalysis, HangingLinkMakesAFixedJointThatServesLikeAGivenOne) {
  // Joint 2 hangs from fixed joint 1 on a link of length 50 at 90 degrees;
  // joint 3 is fixed.
  ASSERT_EQ(load_text_for_test(mechanism_text(3, "1,0,0 3,80,10 0 0 1,2,90 0 1,2,50 0 0 0")), 1);
  const mechanism &m = mech;
  EXPECT_EQ(m.J_known[2], 'W');
  EXPECT_NEAR(m.J[2].x, 0.0, 1e-6);
  EXPECT_NEAR(m.J[2].y, 50.0, 1e-6);
  EXPECT_EQ(m.l_known[2][3], 'W');
  EXPECT_NEAR(m.l[2][3], std::hypot(80.0 - m.J[2].x, 10.0 - m.J[2].y), 1e-12);
  EXPECT_EQ(m.th_known[1][2][3], 'W');
}

TEST_F(PreAnalysis, ZeroAngleMakesALineAndCopiesAlongIt) {
  // 2 lies on the line 1-3 whose direction is given; at 1 the link 1-4
  // keeps 50 degrees to 1-3.
  ASSERT_EQ(load_text_for_test(mechanism_text(4, "0 0 1,3,30 0 0 1,2,3,0 3,1,4,50 0 0")), 1);
  const mechanism &m = mech;
  const int folded[4][3] = {{2, 1, 3}, {3, 1, 2}, {1, 3, 2}, {2, 3, 1}};
  for (const auto &a : folded) {
    EXPECT_EQ(m.th[a[0]][a[1]][a[2]], pi);
    EXPECT_EQ(m.th_known[a[0]][a[1]][a[2]], 'W');
  }
  EXPECT_EQ(m.ath_known[1][2], 'W');
  EXPECT_EQ(m.ath[1][2], m.ath[1][3]);
  EXPECT_EQ(m.ath[2][1], m.ath[3][1]);
  EXPECT_EQ(m.th_known[2][1][4], 'W');
  EXPECT_EQ(m.th[2][1][4], m.th[3][1][4]);
  EXPECT_EQ(m.th[4][1][2], m.th[4][1][3]);
}

TEST_F(PreAnalysis, ClockwiseTriangleSumLiesBetweenPiAndTwoPi) {
  ASSERT_EQ(load_text_for_test(mechanism_text(3, "0 0 0 0 1,2,3,-120 2,3,1,-120 0 0")), 1);
  const double third = mech.th[3][1][2];
  EXPECT_EQ(mech.th_known[3][1][2], 'W');
  EXPECT_NEAR(third, wrap_angle(2.0 * pi + 240.0 * deg_to_rad), 1e-12);
  EXPECT_GT(third, pi);
  // The same direction as -120 degrees, to the 1e-8 of the ten-digit
  // degrees-to-radians factor over a whole turn.
  EXPECT_TRUE(same_angle(third, -120.0 * deg_to_rad, 1e-7));
  EXPECT_EQ(mech.th[2][1][3], -third);
}

TEST_F(PreAnalysis, QuadrilateralOfTwoSidesAndThreeAnglesIsSolved) {
  // A real quadrilateral 1, 2, 3, 4: the sides 2-3 and 1-4 and the turning
  // angles at 2, 3 and 4 give the sides 1-2 and 3-4 (code 44).
  const point p[5] = {{0, 0}, {0.0, 0.0}, {30.0, 60.0}, {90.0, 70.0}, {110.0, 0.0}};
  auto turn = [&](int i, int j, int k) {
    return (dir(p[j], p[k]) - dir(p[i], p[j])) * (1.0 / deg_to_rad);
  };
  char sections[256];
  snprintf(sections, sizeof sections, "0 0 0 2,3,%.12f 1,4,%.12f 0 1,2,3,%.12f 2,3,4,%.12f 3,4,1,%.12f 0 0",
           std::hypot(60.0, 10.0), 110.0, turn(1, 2, 3), turn(2, 3, 4), turn(3, 4, 1));
  ASSERT_EQ(load_text_for_test(mechanism_text(4, sections)), 1);
  EXPECT_EQ(mech.l_known[1][2], 'W');
  EXPECT_EQ(mech.l_known[3][4], 'W');
  EXPECT_NEAR(mech.l[1][2], std::hypot(30.0, 60.0), 1e-6);
  EXPECT_NEAR(mech.l[3][4], std::hypot(20.0, 70.0), 1e-6);
  // The fourth angle comes from the angle sum.
  EXPECT_TRUE(same_angle(mech.th[4][1][2], dir(p[1], p[2]) - dir(p[4], p[1])));
}

TEST_F(PreAnalysis, FlatFiguresAreSkipped) {
  // The same quadrilateral with two straight angles (exact zeros): code 44
  // is skipped, and so are the triangles of code 32 whose two angles are
  // straight or folded.
  ASSERT_EQ(load_text_for_test(mechanism_text(4, "0 0 0 2,3,50 1,4,110 0 1,2,3,0 2,3,4,70 3,4,1,0 0 0")),
            1);
  EXPECT_EQ(mech.l_known[1][2], 'N');
  EXPECT_EQ(mech.l_known[3][4], 'N');
  EXPECT_EQ(mech.l_known[1][3], 'N');
  EXPECT_EQ(mech.l_known[2][4], 'N');
}

TEST_F(PreAnalysis, LengthsAloneDeriveNothing) {
  ASSERT_EQ(load_text_for_test(mechanism_text(4, "0 0 0 1,2,10 2,3,20 3,4,30 4,1,25 0 0 0")), 1);
  EXPECT_EQ(count_w(), 0);
  EXPECT_EQ(pre_analysis(), 1);
}

TEST_F(PreAnalysis, FigureWithoutSolutionIsReportedAndLoadingGoesOn) {
  // Sides 100 and 10 with a right angle at 1 opposite the side of 10.
  std::string echo;
  ASSERT_EQ(load_text_for_test(mechanism_text(4, "0 0 0 1,2,100 2,3,10 0 3,1,2,90 0 0", "B 2,3,10"),
                               &echo),
            1);
  EXPECT_NE(echo.find("\n\n三角法３　Δ(123)の解がない\n２，３回この計算を続けて下さい．または"
                      "\n駆動変位の初期値を変えるか機構を変えるかして下さい"),
            std::string::npos)
      << echo;
  EXPECT_EQ(mech.l_known[1][3], 'N');
  EXPECT_EQ(mech.rs, 'B');  // the drive section was read after the report
  EXPECT_EQ(mech.tt0, 10.0 * deg_to_rad);
  EXPECT_EQ(pre_analysis(), 0);
}

TEST_F(PreAnalysis, FixedPartsBeyondTheRangeOfADoubleAreReported) {
  // Fixed joints 2e308 apart, as an edit could leave them: the ground link
  // between them cannot be measured.
  ASSERT_EQ(load_text_for_test(mechanism_text(3, "1,-1,0 2,1,0 0 0 0 1,3,5 0 0 0")), 1);
  mechanism &m = mech;
  ASSERT_EQ(m.l_known[1][2], 'W');
  clear_derived();
  m.J[1].x = -1e308;
  m.J[2].x = 1e308;
  console_capture out;
  EXPECT_EQ(pre_analysis(), 0);
  EXPECT_NE(out.text().find("\n\n位置固定の関節や不変量の値が大きすぎて求められません．\n機構を変えて下さい"),
            std::string::npos)
      << out.text();
  EXPECT_EQ(m.l_known[1][2], 'N');
  EXPECT_TRUE(std::isfinite(m.l[1][2]) && std::isfinite(m.ath[1][2]));
}
