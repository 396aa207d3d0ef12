// Mechanism tables: angle reduction, clearing before a load, the snapshot.
#include <gtest/gtest.h>

#include <cmath>

#include "model/mechanism_model.h"
#include "tests/test_support.h"

TEST(WrapAngle, ReducesByWholeTurnsOfTheSystemPi) {
  const double two_pi = 2.0 * pi;
  EXPECT_EQ(wrap_angle(pi), pi);
  EXPECT_EQ(wrap_angle(-pi), -pi);
  EXPECT_DOUBLE_EQ(wrap_angle(3.5 * pi), 1.5 * pi);  // stops once |x| < 2 pi
  EXPECT_DOUBLE_EQ(wrap_angle(4.5 * pi), 0.5 * pi);
  EXPECT_DOUBLE_EQ(wrap_angle(-3.5 * pi), -1.5 * pi);
  EXPECT_DOUBLE_EQ(wrap_angle(7.0), 7.0 - two_pi);
  EXPECT_DOUBLE_EQ(wrap_angle(-0.25), -0.25);
  for (double x = -3.0 * pi; x <= 3.0 * pi; x += 0.01) {
    double w = wrap_angle(x);
    EXPECT_LE(std::fabs(w), pi + 1e-12) << x;
    EXPECT_NEAR(std::remainder(w - x, two_pi), 0.0, 1e-9) << x;
  }
}

TEST(WrapAngle, EndsOnHugeAndNonFiniteInput) {
  double w = wrap_angle(1e18);
  EXPECT_TRUE(std::isfinite(w));
  EXPECT_LT(std::fabs(w), 2.0 * pi);
  EXPECT_TRUE(std::isnan(wrap_angle(NAN)));
  EXPECT_TRUE(std::isinf(wrap_angle(INFINITY)));
}

static int count_not_n(const char *flags, int size) {
  int c = 0;
  for (int i = 0; i < size; i++) c += flags[i] != 'N';
  return c;
}

TEST(InitModel, ClearsEveryTableAfterALoadButKeepsKindsTitleAndDrive) {
  ASSERT_EQ(load_file_for_test(source_path("mechanisms/a00")), 1);
  mech.junjo[3][0] = 31;
  mech.choice_offered[3] = 1;
  init_model();
  const mechanism &m = mech;
  EXPECT_EQ(count_not_n(m.J_known, joint_slots), 0);
  EXPECT_EQ(count_not_n(&m.l_known[0][0], joint_slots * joint_slots), 0);
  EXPECT_EQ(count_not_n(&m.ath_known[0][0], joint_slots * joint_slots), 0);
  EXPECT_EQ(count_not_n(&m.link_exists[0][0], joint_slots * joint_slots), 0);
  EXPECT_EQ(count_not_n(&m.th_known[0][0][0], joint_slots * joint_slots * joint_slots), 0);
  for (int i = 0; i < joint_slots; i++) {
    EXPECT_EQ(m.J[i].x, 0.0);
    EXPECT_EQ(m.J_saved[i].y, 0.0);
    EXPECT_EQ(m.J_known_saved[i], 'N');
    for (int j = 0; j < joint_slots; j++) {
      EXPECT_EQ(m.l[i][j], 0.0);
      EXPECT_EQ(m.l_saved[i][j], 0.0);
      EXPECT_EQ(m.ath_saved[i][j], 0.0);
      EXPECT_EQ(m.l_known_saved[i][j], 'N');
      EXPECT_EQ(m.ath_known_saved[i][j], 'N');
      for (int k = 0; k < joint_slots; k++) {
        EXPECT_EQ(m.th[i][j][k], 0.0);
        EXPECT_EQ(m.th_known_saved[i][j][k], 'N');
      }
    }
  }
  EXPECT_EQ(m.junjo[3][0], 0);
  EXPECT_EQ(m.choice_offered[3], 0);
  // What the reader sets survives until the next file overwrites it.
  EXPECT_EQ(m.n, 5);
  EXPECT_EQ(m.joint_kind[3], 'R');
  EXPECT_EQ(m.kten, 5);
  EXPECT_STREQ(m.title, "a00_crank-rocker");
  EXPECT_EQ(m.rs, 'B');
}

TEST(SaveModel, CopiesGivenAndDerivedFactsLetterForLetter) {
  init_model();
  mechanism &m = mech;
  m.n = 4;
  m.J[1] = {10, 20};
  m.J_known[1] = 'Y';
  m.J[2] = {30, 40};
  m.J_known[2] = 'W';
  m.J[3] = {50, 60};
  m.J_known[3] = 'X';
  m.l[1][2] = m.l[2][1] = 7.5;
  m.l_known[1][2] = m.l_known[2][1] = 'W';
  m.l[3][4] = m.l[4][3] = 9.0;
  m.l_known[3][4] = m.l_known[4][3] = 'Z';
  m.ath[2][1] = 1.0;
  m.ath[1][2] = 1.0 - pi;
  m.ath_known[1][2] = m.ath_known[2][1] = 'Y';
  m.th[1][2][3] = 0.5;
  m.th[3][2][1] = -0.5;
  m.th_known[1][2][3] = m.th_known[3][2][1] = 'W';
  m.th[4][1][3] = 0.25;
  m.th_known[4][1][3] = m.th_known[3][1][4] = 'X';
  save_model();
  EXPECT_EQ(m.J_known_saved[1], 'Y');
  EXPECT_EQ(m.J_saved[1].y, 20.0);
  EXPECT_EQ(m.J_known_saved[2], 'W');
  EXPECT_EQ(m.J_saved[2].x, 30.0);
  EXPECT_EQ(m.J_known_saved[3], 'N');  // planner facts are not saved
  EXPECT_EQ(m.J_saved[3].x, 0.0);
  EXPECT_EQ(m.l_known_saved[2][1], 'W');
  EXPECT_EQ(m.l_saved[2][1], 7.5);
  EXPECT_EQ(m.l_known_saved[4][3], 'N');  // the drive is not saved here
  EXPECT_EQ(m.ath_known_saved[2][1], 'Y');
  EXPECT_EQ(m.ath_saved[1][2], 1.0 - pi);  // both directions as they were
  EXPECT_EQ(m.ath_saved[2][1], 1.0);
  EXPECT_EQ(m.th_known_saved[3][2][1], 'W');
  EXPECT_EQ(m.th_saved[3][2][1], -0.5);
  EXPECT_EQ(m.th_known_saved[4][1][3], 'N');
}

TEST(SaveDrive, CopiesTheDriveDefinition) {
  mech.rs = 'A';
  mech.id = 3;
  mech.jd = 1;
  mech.kd = 2;
  mech.tt0 = 0.75;
  save_drive();
  EXPECT_EQ(mech.rs_saved, 'A');
  EXPECT_EQ(mech.id_saved * 100 + mech.jd_saved * 10 + mech.kd_saved, 312);
  EXPECT_EQ(mech.tt0_saved, 0.75);
}
