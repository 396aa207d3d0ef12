// The editing dialogs on a loaded four-bar (a00: joints 1 and 4 fixed, crank
// 1-2 driven by ath[1][2], coupler plate 2-3-5, rocker 3-4), answered from
// scripted console input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "app/dialogs.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

static void load_a00() { ASSERT_EQ(load_file_for_test(source_path("mechanisms/a00")), 1); }

static int count_of(const std::string &text, const std::string &what) {
  int c = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) c++;
  return c;
}

// A copy of the whole model, to show what a dialog did not touch.
static mechanism before;

TEST(ClearDerived, KeepsOnlyTheDataFilesFacts) {
  load_a00();
  mechanism &m = mech;
  m.J_known[2] = 'X';
  m.J[2] = {40.0, 0.0};
  m.l_known[1][4] = m.l_known[4][1] = 'W';
  m.th_known[1][2][3] = m.th_known[3][2][1] = 'X';
  clear_derived();
  EXPECT_EQ(m.J_known[1], 'Y');
  EXPECT_EQ(m.J_known[4], 'Y');
  EXPECT_EQ(m.J_known[2], 'N');
  EXPECT_EQ(m.J[2].x, 40.0);  // values stay
  EXPECT_EQ(m.l_known[1][4], 'N');
  EXPECT_EQ(m.l_known[4][1], 'N');
  EXPECT_EQ(m.l_known[2][3], 'Y');
  EXPECT_EQ(m.th_known[3][2][1], 'N');
  EXPECT_EQ(m.ath_known[1][2], 'N');  // the drive's mark goes too
  EXPECT_EQ(m.ath_known[2][1], 'N');
}

TEST(EditParameters, ALengthIsWrittenInBothOrdersAndTheLaterEntryWins) {
  load_a00();
  save_model();
  clear_derived();
  dialog_script script("1,2,50\n2,1, 55.5\n3,4,95\n0\n0\n");
  console_capture out;
  EXPECT_EQ(edit_parameters(), 1);
  EXPECT_EQ(mech.l[1][2], 55.5);
  EXPECT_EQ(mech.l[2][1], 55.5);
  EXPECT_EQ(mech.l[4][3], 95.0);
  const std::string text = out.text();
  EXPECT_NE(text.find("\n構造は変更できません\n始めの設定項目以外は変更できません"), std::string::npos);
  EXPECT_NE(text.find("\n原点 (X0,Y0)=(-50.0000,-50.0000)\n長さ単位 1unit=1pixel"), std::string::npos);
  EXPECT_NE(text.find("\n\n(8)-1 リンク(ij)の長さ変更 J[i]-J[j]の i,j,l(pixel)\n 変更のやり直しができます"
                      "\n データ終わり:0  i,j,l=llength[1][2]= 50.00\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("(8)-2 "), std::string::npos);
  EXPECT_NE(text.find("llength[2][1]= 55.50\n"), std::string::npos);
  EXPECT_NE(text.find("(8)-4 "), std::string::npos);
  EXPECT_EQ(text.find("(8)-5 "), std::string::npos);
  EXPECT_NE(text.find("\n\n(9)-1 ２リンク間の相対角度"), std::string::npos);
  script.expect_used_up();
}

TEST(EditParameters, AnAngleIsStoredInRadiansWithItsNegative) {
  load_a00();
  save_model();
  clear_derived();
  mech.th_known[3][2][5] = mech.th_known[5][2][3] = 'Y';
  dialog_script script("0\n3,2,4,10\n3,2,4,30\n5,2,3,-20\n0\n");
  console_capture out;
  EXPECT_EQ(edit_parameters(), 1);
  EXPECT_EQ(mech.th[3][2][4], 30 * 0.0174532925);
  EXPECT_EQ(mech.th[4][2][3], -30 * 0.0174532925);
  EXPECT_NEAR(mech.th[3][2][4], 0.523598775, 1e-12);
  EXPECT_EQ(mech.th[5][2][3], -20 * 0.0174532925);
  EXPECT_EQ(mech.th[3][2][5], 20 * 0.0174532925);
  const std::string text = out.text();
  EXPECT_NE(text.find("\n データ終わり:0    i,j,k,th(deg)=\nth[3][2][4]=N= 10.00"), std::string::npos)
      << text;
  EXPECT_NE(text.find("\nth[3][2][4]=N= 30.00"), std::string::npos);
  EXPECT_NE(text.find("\nth[5][2][3]=Y=-20.00"), std::string::npos);
  EXPECT_NE(text.find("(9)-4 "), std::string::npos);
  script.expect_used_up();
}

TEST(EditParameters, NothingEnteredRestoresEveryDerivedFact) {
  load_a00();
  mechanism &m = mech;
  // Facts the pre-analysis derives for a00: the frame link 1-4.
  m.l[1][4] = m.l[4][1] = 120.0;
  m.l_known[1][4] = m.l_known[4][1] = 'W';
  m.ath[1][4] = 0.0;
  m.ath[4][1] = pi;
  m.ath_known[1][4] = m.ath_known[4][1] = 'W';
  m.J[2] = {20.0, 34.6};
  m.J_known[2] = 'X';
  save_model();
  clear_derived();
  m.l[1][4] = m.l[4][1] = 7.0;  // a stale value the restore must replace
  dialog_script script("0\n0\n");
  console_capture out;
  EXPECT_EQ(edit_parameters(), 0);
  EXPECT_EQ(m.l_known[1][4], 'W');
  EXPECT_EQ(m.l_known[4][1], 'W');
  EXPECT_EQ(m.l[4][1], 120.0);
  EXPECT_EQ(m.ath_known[4][1], 'W');
  EXPECT_EQ(m.ath[4][1], pi);
  EXPECT_EQ(m.ath[1][4], 0.0);
  EXPECT_EQ(m.J_known[1], 'Y');
  EXPECT_EQ(m.l_known[2][3], 'Y');
  EXPECT_EQ(m.J_known[2], 'N');  // a planner fact is not part of the snapshot
  EXPECT_EQ(out.text().find("llength"), std::string::npos);
  script.expect_used_up();
}

TEST(EditParameters, BadAnswersAreRefusedAndNothingElseIsWritten) {
  load_a00();
  save_model();
  clear_derived();
  memcpy(&before, &mech, sizeof before);
  dialog_script script(
      "abc\n1,2\n1,2,40x\n1 ,2,40\n1,2,nan\n1,2,inf\n1,2,1e999\n3,0,40\n6,2,40\n-1,2,40\n"
      "99999999999,2,40\n1,1,40\n1,2,-5\n1,2,0\n0x\n1,2, 45 \n0\n"
      "1,2,3\n1,2,3,4,5\n3,3,4,10\n3,2,20,10\n3,2,4,-inf\n0\n");
  console_capture out;
  EXPECT_EQ(edit_parameters(), 1);
  mechanism &m = mech;
  EXPECT_EQ(m.l[1][2], 45.0);
  EXPECT_EQ(m.l[2][1], 45.0);
  m.l[1][2] = m.l[2][1] = before.l[1][2];
  EXPECT_EQ(memcmp(&before, &mech, sizeof before), 0) << "a refused answer changed the model";
  const std::string text = out.text();
  EXPECT_EQ(count_of(text, "\n読み取れません．i,j,l の形"), 5) << text;
  EXPECT_EQ(count_of(text, "\n数値が有限ではありません"), 3 + 1);
  EXPECT_EQ(count_of(text, "は範囲 1～5 の外です"), 4 + 1);
  EXPECT_NE(text.find("\n関節番号 6 は範囲 1～5 の外です．"), std::string::npos);
  EXPECT_EQ(count_of(text, "\n同じ関節番号 "), 1 + 1);
  EXPECT_EQ(count_of(text, "が正ではありません"), 2);
  EXPECT_EQ(count_of(text, "\n読み取れません．i,j,k,th の形"), 2);
  // Each refusal asks the same question again.
  EXPECT_EQ(count_of(text, "(8)-1 "), 16);
  EXPECT_EQ(count_of(text, "(8)-2 "), 1);
  EXPECT_EQ(count_of(text, "(9)-1 "), 6);
  script.expect_used_up();
}

TEST(RestoreModel, PutsBackGivenAndDerivedValuesInBothOrders) {
  load_a00();
  mechanism &m = mech;
  m.th[2][3][4] = 0.7;
  m.th[4][3][2] = -0.7;
  m.th_known[2][3][4] = m.th_known[4][3][2] = 'W';
  save_model();
  clear_derived();
  m.l[2][3] = m.l[3][2] = 99.0;
  m.th[2][3][4] = m.th[4][3][2] = 0.0;
  restore_model();
  EXPECT_EQ(m.l[2][3], 110.0);
  EXPECT_EQ(m.l[3][2], 110.0);
  EXPECT_EQ(m.th[2][3][4], 0.7);
  EXPECT_EQ(m.th[4][3][2], -0.7);
  EXPECT_EQ(m.th_known[4][3][2], 'W');
}

// --- drive dialog ---

// a00 as loaded, with the snapshot of the edit path taken.
static void start_drive_edit() {
  load_a00();
  save_model();
  save_drive();
  clear_planned();
}

TEST(EditDrive, ASlideSetsItsLengthTt0AndMarks) {
  start_drive_edit();
  dialog_script script("L\n1,3,120.0\n1\n");
  console_capture out;
  EXPECT_EQ(edit_drive(), 1);
  const mechanism &m = mech;
  EXPECT_EQ(m.rs, 'L');
  EXPECT_EQ(m.id * 10 + m.jd, 13);
  EXPECT_EQ(m.l[1][3], 120.0);
  EXPECT_EQ(m.l[3][1], 120.0);
  EXPECT_EQ(m.tt0, 120.0);
  EXPECT_EQ(m.l_known[1][3], 'Z');
  EXPECT_EQ(m.l_known[3][1], 'Z');
  EXPECT_EQ(m.ath_known[1][2], 'N');  // the old drive is no longer known
  EXPECT_EQ(m.ath_known[2][1], 'N');
  const std::string text = out.text();
  EXPECT_NE(text.find("\n     変更のやり直しができます\n     相対回転 or 絶対角回転 or 直動？  変更しない？ "
                      "Input A or B or L or 0 \nどの長さ i,j,length0(初期変位) 設定 "
                      "\n変更後の駆動種別=L,  関節番号=[13]\n(10,11) 駆動関節変更ＯＫ: 1   やり直し : 0  "),
            std::string::npos)
      << text;
  script.expect_used_up();
}

TEST(EditDrive, ARelativeRotationSetsItsAngleAndItsNegative) {
  start_drive_edit();
  dialog_script script("A\n3,1,2,30\n1\n");
  console_capture out;
  EXPECT_EQ(edit_drive(), 1);
  const mechanism &m = mech;
  EXPECT_EQ(m.rs, 'A');
  EXPECT_EQ(m.id * 100 + m.jd * 10 + m.kd, 312);
  EXPECT_NEAR(m.th[3][1][2], 0.523598775, 1e-12);
  EXPECT_EQ(m.th[2][1][3], -m.th[3][1][2]);
  EXPECT_EQ(m.tt0, m.th[3][1][2]);
  EXPECT_EQ(m.th_known[3][1][2], 'Z');
  EXPECT_EQ(m.th_known[2][1][3], 'Z');
  EXPECT_NE(out.text().find("\nどの角度 i,j,k,angle0(初期角deg) 設定 \n変更後の駆動種別=A,  関節番号=[312]"),
            std::string::npos);
  script.expect_used_up();
}

TEST(EditDrive, AnAbsoluteRotationSetsItsAngleAndTheUnwrappedReverse) {
  start_drive_edit();
  dialog_script script("B\n1,2,90\n1\n");
  console_capture out;
  EXPECT_EQ(edit_drive(), 1);
  const mechanism &m = mech;
  EXPECT_EQ(m.rs, 'B');
  EXPECT_NEAR(m.ath[1][2], 1.570796325, 1e-12);
  EXPECT_EQ(m.ath[2][1], pi + m.ath[1][2]);
  EXPECT_EQ(m.tt0, m.ath[1][2]);
  EXPECT_EQ(m.ath_known[1][2], 'Z');
  EXPECT_EQ(m.ath_known[2][1], 'Z');
  EXPECT_NE(out.text().find("\nどの角度 i,j,angle0(初期角deg) 設定 \n変更後の駆動種別=B,  関節番号=[12]"),
            std::string::npos);
  script.expect_used_up();
}

TEST(EditDrive, KeyZeroKeepsTheOldDriveAndMarksItAgain) {
  start_drive_edit();
  clear_derived();  // as after a parameter edit: the drive's mark has gone
  mech.tt0 = 2.0;
  dialog_script script("0\n");
  console_capture out;
  EXPECT_EQ(edit_drive(), 0);
  const mechanism &m = mech;
  EXPECT_EQ(m.rs, 'B');
  EXPECT_EQ(m.id * 10 + m.jd, 12);
  EXPECT_NEAR(m.tt0, 60 * deg_to_rad, 1e-12);
  EXPECT_EQ(m.ath_known[1][2], 'Z');
  EXPECT_EQ(m.ath_known[2][1], 'Z');
  EXPECT_NE(out.text().find("\n駆動関節変更しない 旧駆動関節種別=B 番号idjdkd=12"), std::string::npos)
      << out.text();
  EXPECT_NE(out.text().find(" 初期値 tt0= 1.05"), std::string::npos);
  script.expect_used_up();
}

TEST(EditDrive, ARejectedAttemptLeavesItsElementAsItWas) {
  start_drive_edit();
  const double l13 = mech.l[1][3];
  const double l23 = mech.l[2][3];
  // Rejected: a slide on 1-3, a slide on the given link 2-3, and the crank
  // itself at another angle; then the old drive is kept.
  dialog_script script("L\n1,3,120\n0\nL\n2,3,80\nx\nB\n1,2,90\n0\n0\n");
  console_capture out;
  EXPECT_EQ(edit_drive(), 0);
  const mechanism &m = mech;
  EXPECT_EQ(m.l_known[1][3], 'N');
  EXPECT_EQ(m.l_known[3][1], 'N');
  EXPECT_EQ(m.l[1][3], l13);
  EXPECT_EQ(m.l_known[2][3], 'Y');
  EXPECT_EQ(m.l_known[3][2], 'Y');
  EXPECT_EQ(m.l[2][3], l23);
  EXPECT_EQ(m.l[3][2], l23);
  EXPECT_EQ(m.rs, 'B');
  EXPECT_EQ(m.ath_known[1][2], 'Z');
  EXPECT_EQ(m.ath_known[2][1], 'Z');
  EXPECT_NEAR(m.tt0, 60 * deg_to_rad, 1e-12);
  EXPECT_EQ(count_of(out.text(), "\n(10,11) 駆動関節変更ＯＫ: 1   やり直し : 0  "), 3);
  script.expect_used_up();
}

TEST(EditDrive, TheConfirmedAttemptIsTheOnlyNewMark) {
  start_drive_edit();
  dialog_script script("L\n1,3,120\n0\nA\n2,1,4,45\n0\nL\n5,3,30\n1\n");
  console_capture out;
  EXPECT_EQ(edit_drive(), 1);
  const mechanism &m = mech;
  EXPECT_EQ(m.rs, 'L');
  EXPECT_EQ(m.id * 10 + m.jd, 53);
  EXPECT_EQ(m.l_known[5][3], 'Z');
  EXPECT_EQ(m.l_known[3][5], 'Z');
  EXPECT_EQ(m.tt0, 30.0);
  EXPECT_EQ(m.l_known[1][3], 'N');
  EXPECT_EQ(m.th_known[2][1][4], 'N');
  EXPECT_EQ(m.th_known[4][1][2], 'N');
  EXPECT_EQ(m.ath_known[1][2], 'N');
  int z = 0;
  for (const char *f = &m.th_known[0][0][0]; f < &m.th_known[0][0][0] + sizeof m.th_known; f++)
    z += *f == 'Z';
  for (const char *f = &m.l_known[0][0]; f < &m.l_known[0][0] + sizeof m.l_known; f++)
    z += *f == 'Z';
  for (const char *f = &m.ath_known[0][0]; f < &m.ath_known[0][0] + sizeof m.ath_known; f++)
    z += *f == 'Z';
  EXPECT_EQ(z, 2);
  script.expect_used_up();
}

TEST(EditDrive, BadKeysAndBadElementsAreAskedAgain) {
  start_drive_edit();
  memcpy(&before, &mech, sizeof before);
  dialog_script script(
      "x\na\n5\nl\nL\n1,3\n0,3,10\n1,9,10\n1,1,10\n1,3,inf\n1,3,10,\n1,3,100\n1\n");
  console_capture out;
  EXPECT_EQ(edit_drive(), 1);
  mechanism &m = mech;
  EXPECT_EQ(m.l[1][3], 100.0);
  EXPECT_EQ(m.tt0, 100.0);
  const std::string text = out.text();
  EXPECT_EQ(count_of(text, "\n A, B, L（大文字）または 0 を入力して下さい．"), 4);
  EXPECT_EQ(count_of(text, "\nどの長さ i,j,length0(初期変位) 設定 "), 7);
  EXPECT_EQ(count_of(text, "\n読み取れません．i,j,length0 の形"), 2);
  EXPECT_EQ(count_of(text, "の外です"), 2);
  EXPECT_EQ(count_of(text, "\n同じ関節番号 1 が重なっています"), 1);
  // Apart from the new drive and the old one's mark, nothing moved.
  m.l[1][3] = m.l[3][1] = before.l[1][3];
  m.l_known[1][3] = m.l_known[3][1] = 'N';
  m.ath_known[1][2] = m.ath_known[2][1] = 'Z';
  m.rs = before.rs;
  m.id = before.id;
  m.jd = before.jd;
  m.tt0 = before.tt0;
  EXPECT_EQ(memcmp(&before, &mech, sizeof before), 0);
  script.expect_used_up();
}

TEST(EditDrive, ADriveConfirmedEarlierInTheEditIsTakenBack) {
  // The plan for a confirmed drive failed and the user came back to the
  // drive dialog: that drive's mark must not survive the next choice.
  start_drive_edit();
  {
    dialog_script script("L\n1,3,120\n1\n");
    console_capture out;
    ASSERT_EQ(edit_drive(), 1);
  }
  {
    dialog_script script("0\n");
    console_capture out;
    EXPECT_EQ(edit_drive(), 0);
    script.expect_used_up();
  }
  EXPECT_EQ(mech.l_known[1][3], 'N');
  EXPECT_EQ(mech.l_known[3][1], 'N');
  EXPECT_EQ(mech.rs, 'B');
  EXPECT_EQ(mech.ath_known[2][1], 'Z');
  {
    dialog_script script("L\n1,3,120\n1\n");
    console_capture out;
    ASSERT_EQ(edit_drive(), 1);
  }
  {
    dialog_script script("A\n3,1,2,30\n1\n");
    console_capture out;
    EXPECT_EQ(edit_drive(), 1);
  }
  EXPECT_EQ(mech.l_known[1][3], 'N');
  EXPECT_EQ(mech.th_known[3][1][2], 'Z');
  EXPECT_EQ(mech.ath_known[1][2], 'N');
  {
    dialog_script script("");
    console_capture out;
    restore_drive();
  }
  EXPECT_EQ(mech.th_known[3][1][2], 'N');
  EXPECT_EQ(mech.th_known[2][1][3], 'N');
  EXPECT_EQ(mech.ath_known[1][2], 'Z');
  EXPECT_EQ(mech.rs, 'B');
}

TEST(EditDrive, AConfirmedDriveIsTheSavedOneOfTheNextEdit) {
  start_drive_edit();
  {
    dialog_script script("L\n2,3,100\n1\n");
    console_capture out;
    ASSERT_EQ(edit_drive(), 1);
  }
  // The next "p": a new snapshot with the slide as the drive.
  save_model();
  save_drive();
  {
    dialog_script script("B\n1,2,45\n0\n0\n");
    console_capture out;
    EXPECT_EQ(edit_drive(), 0);
  }
  EXPECT_EQ(mech.rs, 'L');
  EXPECT_EQ(mech.l_known[2][3], 'Z');
  EXPECT_EQ(mech.l_known[3][2], 'Z');
  EXPECT_EQ(mech.tt0, 100.0);
  EXPECT_EQ(mech.ath_known[1][2], 'N');
}

TEST(ClearPlanned, TakesOnlyThePlannersFacts) {
  load_a00();
  mechanism &m = mech;
  m.J_known[3] = 'X';
  m.l_known[1][3] = m.l_known[3][1] = 'X';
  m.ath_known[2][3] = m.ath_known[3][2] = 'X';
  m.th_known[1][2][3] = m.th_known[3][2][1] = 'X';
  m.l_known[1][4] = m.l_known[4][1] = 'W';
  clear_planned();
  EXPECT_EQ(m.J_known[3], 'N');
  EXPECT_EQ(m.l_known[3][1], 'N');
  EXPECT_EQ(m.ath_known[3][2], 'N');
  EXPECT_EQ(m.th_known[3][2][1], 'N');
  EXPECT_EQ(m.l_known[4][1], 'W');
  EXPECT_EQ(m.ath_known[1][2], 'Z');
  EXPECT_EQ(m.J_known[1], 'Y');
}
