// The editing dialogs on the loaded four-bar a00, answered from scripted
// console input.  Joints by their part (tests/test_support.h): o crank pivot,
// p crank pin, q rocker pin, r rocker pivot, c coupler point; o and r are
// fixed, ath[o][p] is driven.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "app/dialogs.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

// A copy of the whole model, to show what a dialog did not touch.
static mechanism before;

TEST(ClearDerived, KeepsOnlyTheDataFilesFacts) {
  const a00_joints a = load_a00_for_test();
  const int o = a.crank_pivot, p = a.crank_pin, q = a.rocker_pin, r = a.rocker_pivot;
  mechanism &m = mech;
  m.J_known[p] = 'X';
  m.J[p] = {40.0, 0.0};
  m.l_known[o][r] = m.l_known[r][o] = 'W';
  m.th_known[o][p][q] = m.th_known[q][p][o] = 'X';
  clear_derived();
  EXPECT_EQ(m.J_known[o], 'Y');
  EXPECT_EQ(m.J_known[r], 'Y');
  EXPECT_EQ(m.J_known[p], 'N');
  EXPECT_EQ(m.J[p].x, 40.0);  // values stay
  EXPECT_EQ(m.l_known[o][r], 'N');
  EXPECT_EQ(m.l_known[r][o], 'N');
  EXPECT_EQ(m.l_known[p][q], 'Y');
  EXPECT_EQ(m.th_known[q][p][o], 'N');
  EXPECT_EQ(m.ath_known[o][p], 'N');  // the drive's mark goes too
  EXPECT_EQ(m.ath_known[p][o], 'N');
}

TEST(EditParameters, ALengthIsWrittenInBothOrdersAndTheLaterEntryWins) {
  const a00_joints a = load_a00_for_test();
  const int o = a.crank_pivot, p = a.crank_pin, q = a.rocker_pin, r = a.rocker_pivot;
  save_model();
  clear_derived();
  dialog_script script(format("%d,%d,50\n%d,%d, 55.5\n%d,%d,95\n0\n0\n", o, p, p, o, r, q));
  console_capture out;
  EXPECT_EQ(edit_parameters(), 1);
  EXPECT_EQ(mech.l[o][p], 55.5);
  EXPECT_EQ(mech.l[p][o], 55.5);
  EXPECT_EQ(mech.l[q][r], 95.0);
  const std::string text = out.text();
  EXPECT_NE(text.find("\n構造は変更できません\n始めの設定項目以外は変更できません"
                      "\n項目毎に変更が終わったら０を入力して下さい"),
            std::string::npos);
  EXPECT_NE(text.find("\n原点 (X0,Y0)=(-50.0000,-50.0000)\n長さ単位 1unit=1pixel"
                      "\n変更全て終えてから機構の描画をします"),
            std::string::npos);
  EXPECT_NE(text.find(format("\n\n(8)-1 リンク(ij)の長さ変更 J[i]-J[j]の i,j,l(pixel)\n 変更のやり直しができます"
                             "\n データ終わり:0  i,j,l=llength[%d][%d]= 50.00\n",
                             o, p)),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("(8)-2 "), std::string::npos);
  EXPECT_NE(text.find(format("llength[%d][%d]= 55.50\n", p, o)), std::string::npos);
  EXPECT_NE(text.find("(8)-4 "), std::string::npos);
  EXPECT_EQ(text.find("(8)-5 "), std::string::npos);
  EXPECT_NE(text.find("\n\n(9)-1 ２リンク間の相対角度(スライダから出るリンクの不変角度)の変更"
                      "\n 変更のやり直しができます\n データ終わり:0    i,j,k,th(deg)="),
            std::string::npos);
  script.expect_used_up();
}

TEST(EditParameters, AnAngleIsStoredInRadiansWithItsNegative) {
  const a00_joints a = load_a00_for_test();
  const int p = a.crank_pin, q = a.rocker_pin, r = a.rocker_pivot, c = a.coupler_point;
  save_model();
  clear_derived();
  mech.th_known[q][p][c] = mech.th_known[c][p][q] = 'Y';  // as if the file gave it
  dialog_script script(format("0\n%d,%d,%d,10\n%d,%d,%d,30\n%d,%d,%d,-20\n0\n", q, p, r, q, p, r,
                              c, p, q));
  console_capture out;
  EXPECT_EQ(edit_parameters(), 1);
  EXPECT_EQ(mech.th[q][p][r], 30 * 0.0174532925);
  EXPECT_EQ(mech.th[r][p][q], -30 * 0.0174532925);
  EXPECT_NEAR(mech.th[q][p][r], 0.523598775, 1e-12);
  EXPECT_EQ(mech.th[c][p][q], -20 * 0.0174532925);
  EXPECT_EQ(mech.th[q][p][c], 20 * 0.0174532925);
  const std::string text = out.text();
  EXPECT_NE(text.find(format("\n データ終わり:0    i,j,k,th(deg)=\nth[%d][%d][%d]=N= 10.00", q, p, r)),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(format("\nth[%d][%d][%d]=N= 30.00", q, p, r)), std::string::npos);
  EXPECT_NE(text.find(format("\nth[%d][%d][%d]=Y=-20.00", c, p, q)), std::string::npos);
  EXPECT_NE(text.find("(9)-4 "), std::string::npos);
  script.expect_used_up();
}

TEST(EditParameters, NothingEnteredRestoresEveryDerivedFact) {
  const a00_joints a = load_a00_for_test();
  const int o = a.crank_pivot, p = a.crank_pin, r = a.rocker_pivot;
  mechanism &m = mech;
  // The frame link o-r, as the pre-analysis derives it.
  m.l[o][r] = m.l[r][o] = a00_frame;
  m.l_known[o][r] = m.l_known[r][o] = 'W';
  m.ath[o][r] = 0.0;
  m.ath[r][o] = pi;
  m.ath_known[o][r] = m.ath_known[r][o] = 'W';
  m.J[p] = {20.0, 34.6};
  m.J_known[p] = 'X';
  save_model();
  clear_derived();
  m.l[o][r] = m.l[r][o] = 7.0;  // a stale value the restore must replace
  dialog_script script("0\n0\n");
  console_capture out;
  EXPECT_EQ(edit_parameters(), 0);
  EXPECT_EQ(m.l_known[o][r], 'W');
  EXPECT_EQ(m.l_known[r][o], 'W');
  EXPECT_EQ(m.l[r][o], a00_frame);
  EXPECT_EQ(m.ath_known[r][o], 'W');
  EXPECT_EQ(m.ath[r][o], pi);
  EXPECT_EQ(m.ath[o][r], 0.0);
  EXPECT_EQ(m.J_known[o], 'Y');
  EXPECT_EQ(m.l_known[p][a.rocker_pin], 'Y');
  EXPECT_EQ(m.J_known[p], 'N');  // a planner fact is not part of the snapshot
  EXPECT_EQ(out.text().find("llength"), std::string::npos);
  script.expect_used_up();
}

TEST(EditParameters, BadAnswersAreRefusedAndNothingElseIsWritten) {
  const a00_joints a = load_a00_for_test();
  const int o = a.crank_pivot, p = a.crank_pin, q = a.rocker_pin, r = a.rocker_pivot;
  save_model();
  clear_derived();
  memcpy(&before, &mech, sizeof before);
  const std::string pair = format("%d,%d", o, p);
  dialog_script script(
      "abc\n" + pair + "\n" + pair + ",40x\n" + format("%d ,%d,40\n", o, p) + pair + ",nan\n" +
      pair + ",inf\n" + pair + ",1e999\n3,0,40\n6,2,40\n-1,2,40\n99999999999,2,40\n4294967297,2,50\n" +
      format("%d,%d,40\n", o, o) + pair + ",-5\n" + pair + ",0\n" + pair + ",1e308\n0x\n" + pair +
      ", 45 \n0\n" + format("%d,%d,%d,2e6\n", q, p, r) +
      "1,2,3\n1,2,3,4,5\n" + format("%d,%d,%d,10\n", q, q, r) + format("%d,%d,20,10\n", q, p) +
      format("%d,%d,%d,-inf\n", q, p, r) + "0\n");
  console_capture out;
  EXPECT_EQ(edit_parameters(), 1);
  mechanism &m = mech;
  EXPECT_EQ(m.l[o][p], 45.0);
  EXPECT_EQ(m.l[p][o], 45.0);
  m.l[o][p] = m.l[p][o] = before.l[o][p];
  EXPECT_EQ(memcmp(&before, &mech, sizeof before), 0) << "a refused answer changed the model";
  const std::string text = out.text();
  EXPECT_EQ(count_occurrences(text, "\n読み取れません．i,j,l の形"), 5) << text;
  EXPECT_EQ(count_occurrences(text, "\n数値が有限ではありません"), 3 + 1);
  EXPECT_EQ(count_occurrences(text, "は範囲 1～5 の外です"), 4);
  // Beyond int: refused, not cut to its low bits (4294967297 is 1 in 32 bits).
  EXPECT_EQ(count_occurrences(text, "\n整数が大きすぎます（絶対値 2147483647 まで）"), 2) << text;
  EXPECT_NE(text.find("\n関節番号 6 は範囲 1～5 の外です．"), std::string::npos);
  EXPECT_EQ(count_occurrences(text, "\n同じ関節番号 "), 1 + 1);
  EXPECT_EQ(count_occurrences(text, "が正ではありません"), 2);
  EXPECT_EQ(count_occurrences(text, "\n読み取れません．i,j,k,th の形"), 2);
  // Beyond what a data file may hold (1e6 world units or degrees).
  EXPECT_NE(text.find("\n数値 1e+308 が大きすぎます（絶対値 1e+06 まで）．入力し直して下さい．"),
            std::string::npos);
  EXPECT_NE(text.find("\n数値 2e+06 が大きすぎます"), std::string::npos);
  // Each refusal asks the same question again.
  EXPECT_EQ(count_occurrences(text, "(8)-1 "), 18);
  EXPECT_EQ(count_occurrences(text, "(8)-2 "), 1);
  EXPECT_EQ(count_occurrences(text, "(9)-1 "), 7);
  script.expect_used_up();
}

TEST(RestoreModel, PutsBackGivenAndDerivedValuesInBothOrders) {
  const a00_joints a = load_a00_for_test();
  const int p = a.crank_pin, q = a.rocker_pin, r = a.rocker_pivot;
  mechanism &m = mech;
  m.th[p][q][r] = 0.7;
  m.th[r][q][p] = -0.7;
  m.th_known[p][q][r] = m.th_known[r][q][p] = 'W';
  save_model();
  clear_derived();
  m.l[p][q] = m.l[q][p] = 99.0;
  m.th[p][q][r] = m.th[r][q][p] = 0.0;
  restore_model();
  EXPECT_EQ(m.l[p][q], a00_coupler);
  EXPECT_EQ(m.l[q][p], a00_coupler);
  EXPECT_EQ(m.th[p][q][r], 0.7);
  EXPECT_EQ(m.th[r][q][p], -0.7);
  EXPECT_EQ(m.th_known[r][q][p], 'W');
}

// --- drive dialog ---

// a00 as loaded, with the snapshot of the edit path taken.
static a00_joints start_drive_edit() {
  const a00_joints a = load_a00_for_test();
  save_model();
  save_drive();
  clear_planned();
  return a;
}

static int count_flags(char letter) {
  const mechanism &m = mech;
  int z = 0;
  for (const char *f = &m.th_known[0][0][0]; f < &m.th_known[0][0][0] + sizeof m.th_known; f++)
    z += *f == letter;
  for (const char *f = &m.l_known[0][0]; f < &m.l_known[0][0] + sizeof m.l_known; f++)
    z += *f == letter;
  for (const char *f = &m.ath_known[0][0]; f < &m.ath_known[0][0] + sizeof m.ath_known; f++)
    z += *f == letter;
  for (int i = 0; i < joint_slots; i++) z += m.J_known[i] == letter;
  return z;
}

TEST(EditDrive, ASlideSetsItsLengthTt0AndMarks) {
  const a00_joints a = start_drive_edit();
  const int o = a.crank_pivot, p = a.crank_pin, q = a.rocker_pin;
  dialog_script script(format("L\n%d,%d,120.0\n1\n", o, q));
  console_capture out;
  EXPECT_EQ(edit_drive(), 1);
  const mechanism &m = mech;
  EXPECT_EQ(m.rs, 'L');
  EXPECT_EQ(m.id, o);
  EXPECT_EQ(m.jd, q);
  EXPECT_EQ(m.l[o][q], 120.0);
  EXPECT_EQ(m.l[q][o], 120.0);
  EXPECT_EQ(m.tt0, 120.0);
  EXPECT_EQ(m.l_known[o][q], 'Z');
  EXPECT_EQ(m.l_known[q][o], 'Z');
  EXPECT_EQ(m.ath_known[o][p], 'N');  // the old drive is no longer known
  EXPECT_EQ(m.ath_known[p][o], 'N');
  EXPECT_EQ(count_flags('Z'), 2);
  const std::string text = out.text();
  EXPECT_NE(text.find(format("\n     変更のやり直しができます\n     相対回転 or 絶対角回転 or 直動？  変更しない？ "
                             "Input A or B or L or 0 \nどの長さ i,j,length0(初期変位) 設定 "
                             "\n変更後の駆動種別=L,  関節番号=[%d%d]\n(10,11) 駆動関節変更ＯＫ: 1   やり直し : 0  ",
                             o, q)),
            std::string::npos)
      << text;
  script.expect_used_up();
}

TEST(EditDrive, ARelativeRotationSetsItsAngleAndItsNegative) {
  const a00_joints a = start_drive_edit();
  const int o = a.crank_pivot, p = a.crank_pin, r = a.rocker_pivot;
  dialog_script script(format("A\n%d,%d,%d,30\n1\n", r, o, p));
  console_capture out;
  EXPECT_EQ(edit_drive(), 1);
  const mechanism &m = mech;
  EXPECT_EQ(m.rs, 'A');
  EXPECT_EQ(m.id * 100 + m.jd * 10 + m.kd, r * 100 + o * 10 + p);
  EXPECT_NEAR(m.th[r][o][p], 0.523598775, 1e-12);
  EXPECT_EQ(m.th[p][o][r], -m.th[r][o][p]);
  EXPECT_EQ(m.tt0, m.th[r][o][p]);
  EXPECT_EQ(m.th_known[r][o][p], 'Z');
  EXPECT_EQ(m.th_known[p][o][r], 'Z');
  EXPECT_EQ(count_flags('Z'), 2);
  EXPECT_NE(out.text().find(format("\nどの角度 i,j,k,angle0(初期角deg) 設定 \n変更後の駆動種別=A,  関節番号=[%d%d%d]",
                                   r, o, p)),
            std::string::npos);
  script.expect_used_up();
}

TEST(EditDrive, AnAbsoluteRotationSetsItsAngleAndTheUnwrappedReverse) {
  const a00_joints a = start_drive_edit();
  const int q = a.rocker_pin, r = a.rocker_pivot;
  dialog_script script(format("B\n%d,%d,90\n1\n", r, q));
  console_capture out;
  EXPECT_EQ(edit_drive(), 1);
  const mechanism &m = mech;
  EXPECT_EQ(m.rs, 'B');
  EXPECT_NEAR(m.ath[r][q], 1.570796325, 1e-12);
  EXPECT_EQ(m.ath[q][r], pi + m.ath[r][q]);
  EXPECT_EQ(m.tt0, m.ath[r][q]);
  EXPECT_EQ(m.ath_known[r][q], 'Z');
  EXPECT_EQ(m.ath_known[q][r], 'Z');
  EXPECT_EQ(count_flags('Z'), 2);
  EXPECT_NE(out.text().find(format("\nどの角度 i,j,angle0(初期角deg) 設定 \n変更後の駆動種別=B,  関節番号=[%d%d]", r, q)),
            std::string::npos);
  script.expect_used_up();
}

TEST(EditDrive, KeyZeroKeepsTheOldDriveAndMarksItAgain) {
  const a00_joints a = start_drive_edit();
  const int o = a.crank_pivot, p = a.crank_pin;
  clear_derived();  // as after a parameter edit: the drive's mark has gone
  mech.tt0 = 2.0;
  dialog_script script("0\n");
  console_capture out;
  EXPECT_EQ(edit_drive(), 0);
  const mechanism &m = mech;
  EXPECT_EQ(m.rs, 'B');
  EXPECT_EQ(m.id, o);
  EXPECT_EQ(m.jd, p);
  EXPECT_NEAR(m.tt0, 60 * deg_to_rad, 1e-12);
  EXPECT_EQ(m.ath_known[o][p], 'Z');
  EXPECT_EQ(m.ath_known[p][o], 'Z');
  EXPECT_NE(out.text().find(format("\n駆動関節変更しない 旧駆動関節種別=B 番号idjdkd=%d%d", o, p)),
            std::string::npos)
      << out.text();
  EXPECT_NE(out.text().find(" 初期値 tt0= 1.05"), std::string::npos);
  script.expect_used_up();
}

TEST(EditDrive, ARejectedAttemptLeavesItsElementAsItWas) {
  const a00_joints a = start_drive_edit();
  const int o = a.crank_pivot, p = a.crank_pin, q = a.rocker_pin;
  const double oq = mech.l[o][q];
  // Rejected: a slide on o-q, a slide on the given coupler p-q, and the
  // crank itself at another angle; then the old drive is kept.
  dialog_script script(
      format("L\n%d,%d,120\n0\nL\n%d,%d,80\nx\nB\n%d,%d,90\n0\n0\n", o, q, p, q, o, p));
  console_capture out;
  EXPECT_EQ(edit_drive(), 0);
  const mechanism &m = mech;
  EXPECT_EQ(m.l_known[o][q], 'N');
  EXPECT_EQ(m.l_known[q][o], 'N');
  EXPECT_EQ(m.l[o][q], oq);
  EXPECT_EQ(m.l_known[p][q], 'Y');
  EXPECT_EQ(m.l_known[q][p], 'Y');
  EXPECT_EQ(m.l[p][q], a00_coupler);
  EXPECT_EQ(m.l[q][p], a00_coupler);
  EXPECT_EQ(m.rs, 'B');
  EXPECT_EQ(m.ath_known[o][p], 'Z');
  EXPECT_EQ(m.ath_known[p][o], 'Z');
  EXPECT_EQ(count_flags('Z'), 2);
  EXPECT_NEAR(m.tt0, 60 * deg_to_rad, 1e-12);
  EXPECT_EQ(count_occurrences(out.text(), "\n(10,11) 駆動関節変更ＯＫ: 1   やり直し : 0  "), 3);
  script.expect_used_up();
}

TEST(EditDrive, TheConfirmedAttemptIsTheOnlyNewMark) {
  const a00_joints a = start_drive_edit();
  const int o = a.crank_pivot, p = a.crank_pin, q = a.rocker_pin, r = a.rocker_pivot,
            c = a.coupler_point;
  dialog_script script(
      format("L\n%d,%d,120\n0\nA\n%d,%d,%d,45\n0\nL\n%d,%d,30\n1\n", o, q, p, o, r, c, q));
  console_capture out;
  EXPECT_EQ(edit_drive(), 1);
  const mechanism &m = mech;
  EXPECT_EQ(m.rs, 'L');
  EXPECT_EQ(m.id, c);
  EXPECT_EQ(m.jd, q);
  EXPECT_EQ(m.l_known[c][q], 'Z');
  EXPECT_EQ(m.l_known[q][c], 'Z');
  EXPECT_EQ(m.tt0, 30.0);
  EXPECT_EQ(m.l_known[o][q], 'N');
  EXPECT_EQ(m.th_known[p][o][r], 'N');
  EXPECT_EQ(m.th_known[r][o][p], 'N');
  EXPECT_EQ(m.ath_known[o][p], 'N');
  EXPECT_EQ(count_flags('Z'), 2);
  script.expect_used_up();
}

TEST(EditDrive, BadKeysAndBadElementsAreAskedAgain) {
  const a00_joints a = start_drive_edit();
  const int o = a.crank_pivot, p = a.crank_pin, q = a.rocker_pin;
  memcpy(&before, &mech, sizeof before);
  dialog_script script(format("x\na\n5\nl\nL\n%d,%d\n0,%d,10\n%d,9,10\n%d,%d,10\n%d,%d,inf\n"
                              "%d,%d,10,\n%d,%d,100\n1\n",
                              o, q, q, o, o, o, o, q, o, q, o, q));
  console_capture out;
  EXPECT_EQ(edit_drive(), 1);
  mechanism &m = mech;
  EXPECT_EQ(m.l[o][q], 100.0);
  EXPECT_EQ(m.tt0, 100.0);
  const std::string text = out.text();
  EXPECT_EQ(count_occurrences(text, "\n A, B, L（大文字）または 0 を入力して下さい．"), 4);
  EXPECT_EQ(count_occurrences(text, "\nどの長さ i,j,length0(初期変位) 設定 "), 7);
  EXPECT_EQ(count_occurrences(text, "\n読み取れません．i,j,length0 の形"), 2);
  EXPECT_EQ(count_occurrences(text, "の外です"), 2);
  EXPECT_EQ(count_occurrences(text, format("\n同じ関節番号 %d が重なっています", o)), 1);
  // Apart from the new drive and the old one's mark, nothing moved.
  m.l[o][q] = m.l[q][o] = before.l[o][q];
  m.l_known[o][q] = m.l_known[q][o] = before.l_known[o][q];
  m.ath_known[o][p] = m.ath_known[p][o] = 'Z';
  m.rs = before.rs;
  m.id = before.id;
  m.jd = before.jd;
  m.tt0 = before.tt0;
  EXPECT_EQ(memcmp(&before, &mech, sizeof before), 0);
  script.expect_used_up();
}

TEST(EditDrive, ARotationOfNoLineOrOfTheFrameIsAskedAgain) {
  const a00_joints a = start_drive_edit();
  const int o = a.crank_pivot, p = a.crank_pin, q = a.rocker_pin, r = a.rocker_pivot;
  // o-q is the diagonal of the four-bar, no link; o-r is the fixed frame.
  dialog_script script(format("B\n%d,%d,30\n%d,%d,30\n%d,%d,45\n1\n", o, q, o, r, o, p));
  console_capture out;
  EXPECT_EQ(edit_drive(), 1);
  std::string text = out.text();
  EXPECT_NE(text.find(format("\n駆動する ath[%d][%d] のリンク %d-%d がこの機構にありません．入力し直して下さい．",
                             o, q, o, q)),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(format("\n駆動する ath[%d][%d] は位置固定の関節から決まり，動きません．", o, r)),
            std::string::npos);
  EXPECT_EQ(count_occurrences(text, "\nどの角度 i,j,angle0(初期角deg) 設定 "), 3);
  EXPECT_EQ(mech.rs, 'B');
  EXPECT_EQ(mech.id, o);
  EXPECT_EQ(mech.jd, p);
  EXPECT_NEAR(mech.tt0, 45 * deg_to_rad, 1e-12);
  script.expect_used_up();

  // A turn of the crank against the diagonal; a slide along the diagonal is
  // an actuator between o and q.
  start_drive_edit();
  dialog_script again(format("A\n%d,%d,%d,30\n%d,%d,%d,30\n0\nL\n%d,%d,100\n1\n", q, o, p, r, o,
                             p, o, q));
  console_capture out_again;
  EXPECT_EQ(edit_drive(), 1);
  text = out_again.text();
  EXPECT_NE(text.find(format("\n駆動する th[%d][%d][%d] のリンク %d-%d がこの機構にありません．", q, o, p,
                             q, o)),
            std::string::npos)
      << text;
  EXPECT_EQ(count_occurrences(text, "がこの機構にありません"), 1);
  EXPECT_EQ(mech.rs, 'L');
  EXPECT_EQ(mech.l[o][q], 100.0);
  again.expect_used_up();
}

TEST(EditDrive, ADriveConfirmedEarlierInTheEditIsTakenBack) {
  // The plan for a confirmed drive failed and the user came back to the
  // drive dialog: that drive's mark must not survive the next choice.
  const a00_joints a = start_drive_edit();
  const int o = a.crank_pivot, p = a.crank_pin, q = a.rocker_pin, r = a.rocker_pivot;
  const std::string slide = format("L\n%d,%d,120\n1\n", o, q);
  {
    dialog_script script(slide);
    console_capture out;
    ASSERT_EQ(edit_drive(), 1);
  }
  {
    dialog_script script("0\n");
    console_capture out;
    EXPECT_EQ(edit_drive(), 0);
    script.expect_used_up();
  }
  EXPECT_EQ(mech.l_known[o][q], 'N');
  EXPECT_EQ(mech.l_known[q][o], 'N');
  EXPECT_EQ(mech.rs, 'B');
  EXPECT_EQ(mech.ath_known[p][o], 'Z');
  EXPECT_EQ(count_flags('Z'), 2);
  {
    dialog_script script(slide);
    console_capture out;
    ASSERT_EQ(edit_drive(), 1);
  }
  {
    dialog_script script(format("A\n%d,%d,%d,30\n1\n", r, o, p));
    console_capture out;
    EXPECT_EQ(edit_drive(), 1);
  }
  EXPECT_EQ(mech.l_known[o][q], 'N');
  EXPECT_EQ(mech.th_known[r][o][p], 'Z');
  EXPECT_EQ(mech.ath_known[o][p], 'N');
  EXPECT_EQ(count_flags('Z'), 2);
  restore_drive();
  EXPECT_EQ(mech.th_known[r][o][p], 'N');
  EXPECT_EQ(mech.th_known[p][o][r], 'N');
  EXPECT_EQ(mech.ath_known[o][p], 'Z');
  EXPECT_EQ(mech.rs, 'B');
  EXPECT_EQ(count_flags('Z'), 2);
}

TEST(EditDrive, AConfirmedDriveIsTheSavedOneOfTheNextEdit) {
  const a00_joints a = start_drive_edit();
  const int o = a.crank_pivot, p = a.crank_pin, q = a.rocker_pin;
  {
    dialog_script script(format("L\n%d,%d,100\n1\n", p, q));
    console_capture out;
    ASSERT_EQ(edit_drive(), 1);
  }
  // The next "p": a new snapshot with the slide as the drive.
  save_model();
  save_drive();
  {
    dialog_script script(format("B\n%d,%d,45\n0\n0\n", o, p));
    console_capture out;
    EXPECT_EQ(edit_drive(), 0);
  }
  EXPECT_EQ(mech.rs, 'L');
  EXPECT_EQ(mech.l_known[p][q], 'Z');
  EXPECT_EQ(mech.l_known[q][p], 'Z');
  EXPECT_EQ(mech.tt0, 100.0);
  EXPECT_EQ(mech.ath_known[o][p], 'N');
  EXPECT_EQ(count_flags('Z'), 2);
}

TEST(ClearPlanned, TakesOnlyThePlannersFacts) {
  const a00_joints a = load_a00_for_test();
  const int o = a.crank_pivot, p = a.crank_pin, q = a.rocker_pin, r = a.rocker_pivot;
  mechanism &m = mech;
  m.J_known[q] = 'X';
  m.l_known[o][q] = m.l_known[q][o] = 'X';
  m.ath_known[p][q] = m.ath_known[q][p] = 'X';
  m.th_known[o][p][q] = m.th_known[q][p][o] = 'X';
  m.l_known[o][r] = m.l_known[r][o] = 'W';
  clear_planned();
  EXPECT_EQ(m.J_known[q], 'N');
  EXPECT_EQ(m.l_known[q][o], 'N');
  EXPECT_EQ(m.ath_known[q][p], 'N');
  EXPECT_EQ(m.th_known[q][p][o], 'N');
  EXPECT_EQ(m.l_known[r][o], 'W');
  EXPECT_EQ(m.ath_known[o][p], 'Z');
  EXPECT_EQ(m.J_known[o], 'Y');
}
