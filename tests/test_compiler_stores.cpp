// Loops that write into the mechanism record, in the shape the model code
// uses: nested loops over joints 1..n in helpers the compiler keeps out of
// line.  g++ 12.2 at -O1 and above, with its induction-variable rewrite,
// drops every store of such a loop and lets the caller keep the values it
// read before the call; the build switches that rewrite off.  Built with
// the project's flags, this fails if the switch is lost or a compiler
// brings the fault back.
#include <gtest/gtest.h>

#include "model/mechanism_model.h"

__attribute__((noinline)) static void set_flagged_lengths(double v) {
  for (int i = 1; i <= mech.n; i++)
    for (int j = 1; j <= mech.n; j++)
      if (mech.l_known[i][j] == 'Y') mech.l[i][j] = v;
}

__attribute__((noinline)) static void set_flagged_angles(double v) {
  for (int a = 1; a <= mech.n; a++)
    for (int b = 1; b <= mech.n; b++)
      for (int c = 1; c <= mech.n; c++)
        if (mech.th_known[a][b][c] == 'Y') mech.th[a][b][c] = v;
}

__attribute__((noinline)) static void save_lengths() {
  for (int i = 1; i <= mech.n; i++)
    for (int j = 1; j <= mech.n; j++) {
      mech.l_saved[i][j] = mech.l[i][j];
      mech.l_known_saved[i][j] = mech.l_known[i][j];
    }
}

TEST(CompilerStores, NestedLoopsOverTheRecordKeepTheirStores) {
  init_model();
  mech.n = 5;
  mech.l_known[2][3] = 'Y';
  mech.th_known[1][2][3] = 'Y';
  const double length = mech.l[2][3], angle = mech.th[1][2][3], saved = mech.l_saved[2][3];
  set_flagged_lengths(7.0);
  set_flagged_angles(0.5);
  save_lengths();
  EXPECT_EQ(length, 0.0);
  EXPECT_EQ(angle, 0.0);
  EXPECT_EQ(saved, 0.0);
  EXPECT_EQ(mech.l[2][3], 7.0);
  EXPECT_EQ(mech.th[1][2][3], 0.5);
  EXPECT_EQ(mech.l_saved[2][3], 7.0);
  EXPECT_EQ(mech.l_known_saved[2][3], 'Y');
  EXPECT_EQ(mech.l[3][2], 0.0) << "a cell without the flag was written";
}
