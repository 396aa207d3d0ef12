// The data file reader: free layout, every section's effect on the tables,
// and a clear message for every file it cannot use.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model/mechanism_model.h"
#include "tests/test_support.h"

static int load_text(const std::string &text, std::string *echo = nullptr) {
  return load_file_for_test(write_temp_file(text), echo);
}

// A slider-crank: crank 1-2, rod 2-3, slider 3 on the guide 1-4.
static const char *slider_crank =
    "sc_test\n4\n1,R 2,R 3,S 4,R 0\n3\n"
    "1,0,0 0\n4,1,200,0 0\n0\n"
    "1,2,40 2,3,120 0\n0\n3,1,4 0\nB 1,2,30\n";

TEST(DataFile, AcceptsFreeLayoutAndSpacesAfterCommas) {
  const char *text =
      "  free_layout \n\n 3 \n 1,R\n2,   R   3,R 0 3 \n1, 0, 0\n\n 0 2,1,  50,\n"
      "-25 0 0 1,2, 40 2,3,30 3,1, 45 0 0 0 A 3,1,2,  45";
  ASSERT_EQ(load_text(text), 1);
  EXPECT_EQ(mech.n, 3);
  EXPECT_EQ(mech.J[2].x, 50.0);
  EXPECT_EQ(mech.J[2].y, -25.0);
  EXPECT_EQ(mech.link_exists[1][2], 'Y');
  EXPECT_EQ(mech.l[3][1], 45.0);
  EXPECT_EQ(mech.rs, 'A');
  EXPECT_NEAR(mech.tt0, 45 * deg_to_rad, 1e-15);
}

TEST(DataFile, RefusesASpaceBeforeAComma) {
  std::string echo;
  EXPECT_EQ(load_text("t\n2\n1 ,R 0\n1\n0 0 0 0 0 0 L 1,2,5", &echo), 0);
  EXPECT_NE(echo.find("区間(2)，1番目の項目：書式が正しくありません"), std::string::npos) << echo;
}

TEST(DataFile, KindIsTheFirstLetterOfItsWord) {
  const char *text = "kinds 3 1,Rotary 2,Slider 3,Dx 0 1 1,0,0 0 0 0 1,2,10 0 0 0 B 1,2,0";
  ASSERT_EQ(load_text(text), 1);
  EXPECT_EQ(mech.joint_kind[1], 'R');
  EXPECT_EQ(mech.joint_kind[2], 'S');
  EXPECT_EQ(mech.joint_kind[3], 'D');
  EXPECT_EQ(mech.kten, 1);
}

TEST(DataFile, SectionSixWrapsTheReverseDirectionOnly) {
  ASSERT_EQ(load_text("t 3 0 1 0 0 1,2,90 2,3,-90 0 1,3,50 0 0 0 B 1,3,0"), 1);
  EXPECT_EQ(mech.ath[1][2], 90 * deg_to_rad);
  EXPECT_DOUBLE_EQ(mech.ath[2][1], 90 * deg_to_rad + pi - 2 * pi);  // about -90 degrees
  EXPECT_DOUBLE_EQ(mech.ath[3][2], -90 * deg_to_rad + pi);         // no wrap needed
  EXPECT_EQ(mech.ath_known[2][1], 'Y');
  EXPECT_EQ(mech.ath_known_saved[1][2], 'Y');
  EXPECT_EQ(mech.link_exists[3][2], 'Y');
}

TEST(DataFile, SectionEightKeepsAnglesBeyond180Unwrapped) {
  std::string echo;
  ASSERT_EQ(load_text("t 3 0 1 0 0 0 0 1,2,3,270 0 0 B 1,2,0", &echo), 1);
  EXPECT_EQ(mech.th[1][2][3], 270 * deg_to_rad);
  EXPECT_EQ(mech.th[3][2][1], -270 * deg_to_rad);
  EXPECT_EQ(mech.th_saved[3][2][1], -270 * deg_to_rad);
  EXPECT_EQ(mech.th_known[3][2][1], 'Y');
  EXPECT_NE(echo.find("\n    th[1][2][3]=270.00°"), std::string::npos);
}

TEST(DataFile, SliderPutsItsJointOnTheGuideLineWithSixAngles) {
  ASSERT_EQ(load_text("t 4 0 1 0 0 0 1,2,30 2,4,100 0 0 3,2,4 0 B 1,2,0"), 1);
  mechanism &m = mech;
  EXPECT_EQ(m.slider_count, 1);
  EXPECT_EQ(m.sliders[1].i, 3);
  EXPECT_EQ(m.sliders[1].j, 2);
  EXPECT_EQ(m.sliders[1].k, 4);
  EXPECT_EQ(m.th[4][3][2], 0.0);
  EXPECT_EQ(m.th[2][3][4], 0.0);
  EXPECT_EQ(m.th[2][4][3], pi);
  EXPECT_EQ(m.th[3][4][2], pi);
  EXPECT_EQ(m.th[3][2][4], pi);
  EXPECT_EQ(m.th[4][2][3], pi);
  const int cells[6][3] = {{4, 3, 2}, {2, 3, 4}, {2, 4, 3}, {3, 4, 2}, {3, 2, 4}, {4, 2, 3}};
  for (auto &c : cells) {
    EXPECT_EQ(m.th_known[c[0]][c[1]][c[2]], 'Y');
    EXPECT_EQ(m.th_known_saved[c[0]][c[1]][c[2]], 'Y');
  }
  EXPECT_EQ(m.link_exists[3][2], 'N');  // a slider names no link
}

TEST(DataFile, DriveBKeepsKdOfAnEarlierFile) {
  ASSERT_EQ(load_text("t 3 0 1 0 0 0 3,1,10 1,2,10 0 0 0 A 3,1,2,10"), 1);
  EXPECT_EQ(mech.kd, 2);
  ASSERT_EQ(load_text("t 3 0 1 0 0 0 2,3,10 0 0 0 B 2,3,30"), 1);
  EXPECT_EQ(mech.rs, 'B');
  EXPECT_EQ(mech.id, 2);
  EXPECT_EQ(mech.jd, 3);
  EXPECT_EQ(mech.kd, 2);
  EXPECT_DOUBLE_EQ(mech.ath[3][2], 30 * deg_to_rad - pi);  // reverse not wrapped
  EXPECT_EQ(mech.ath_known[2][3], 'Z');
  EXPECT_EQ(mech.ath_known[3][2], 'Z');
}

TEST(DataFile, SlideDriveSetsBothOrders) {
  ASSERT_EQ(load_text(slider_crank), 1);
  ASSERT_EQ(load_text("t 3 0 1 0 0 1,3,0 0 0 0 0 L 3,1,120"), 1);
  EXPECT_EQ(mech.l[1][3], 120.0);
  EXPECT_EQ(mech.l[3][1], 120.0);
  EXPECT_EQ(mech.tt0, 120.0);
  EXPECT_EQ(mech.l_known[1][3], 'Z');
}

TEST(DataFile, EchoOfASliderMechanism) {
  std::string echo;
  ASSERT_EQ(load_text(slider_crank, &echo), 1);
  EXPECT_NE(echo.find("\n(4,5) 設定位置固定の関節数=2\n      J[1]=(   0.00    0.00)"
                      "\n      J[4]=( 200.00    0.00)\n\n(6) 設定不変リンク傾き角数=0"),
            std::string::npos)
      << echo;
  EXPECT_NE(echo.find("\n\n(9) 設定スライダとそれが走るリンク番号  スライダ数=1"
                      "\n    J[3]=S  リンクL[1][4]上を動く\n"),
            std::string::npos);
  EXPECT_NE(echo.find("\n\n(10) 設定絶対回転駆動 rs=B ath[1][2]= 30.00(deg)\n"),
            std::string::npos);
}

// Every file the reader cannot use names the file, the section and the entry.
struct bad_file_case {
  const char *name;  // the case as a test name
  const char *text;
  const char *message;
};

// A failing case prints as its name, not as the bytes of its pointers.
static void PrintTo(const bad_file_case &c, std::ostream *os) { *os << c.name; }

class BadDataFile : public ::testing::TestWithParam<bad_file_case> {};

TEST_P(BadDataFile, IsRefusedWithItsReason) {
  std::string echo;
  std::string path = write_temp_file(GetParam().text);
  EXPECT_EQ(load_file_for_test(path, &echo), 0);
  EXPECT_NE(echo.find("データファイル " + path), std::string::npos) << echo;
  EXPECT_NE(echo.find(GetParam().message), std::string::npos) << echo;
}

// Twenty different links of a 19-joint mechanism: 1-2 .. 1-19, 2-3, 2-4.
static const std::string twenty_lengths = [] {
  std::string s = "t 19 0 1 0 0 0 ";
  for (int e = 0; e < 20; e++) {
    const int i = e < 18 ? 1 : 2, j = e < 18 ? e + 2 : e - 15;
    s += std::to_string(i) + "," + std::to_string(j) + ",10 ";
  }
  return s + "0 0 0 B 1,2,0";
}();

INSTANTIATE_TEST_SUITE_P(
    Reader, BadDataFile,
    ::testing::Values(
        bad_file_case{"EmptyFile", "", "区間title：ファイルが途中で終わっています"},
        bad_file_case{"EndsInFixedSection", "t 3 1,R 2,R", "区間(2)，3番目の項目：ファイルが途中で終わっています"},
        bad_file_case{"EndsInLengths", "t 3 0 1 1,0,0 0 0 0 1,2,", "区間(7)，1番目の項目：ファイルが途中で終わっています"},
        bad_file_case{"LengthNotANumber", "t 3 0 1 0 0 0 1,2,x 0", "区間(7)，1番目の項目：書式が正しくありません"},
        bad_file_case{"SemicolonSeparators", "t 3 0 1 0 0 0 1;2;3 0", "区間(7)，1番目の項目：書式が正しくありません"},
        bad_file_case{"LengthJointOutOfRange", "t 3 0 1 0 0 0 1,2,5 2,20,5 0", "区間(7)，2番目の項目：関節番号 20 が範囲 1～3 の外です"},
        bad_file_case{"LengthSecondJointOutOfRange", "t 3 0 1 0 0 0 1,4,5 0", "関節番号 4 が範囲 1～3 の外です"},
        bad_file_case{"FixedJointNegative", "t 3 0 1 -2,0,0 0", "区間(4)，1番目の項目：関節番号 -2"},
        bad_file_case{"DrawnJointOutOfRange", "t 3 0 7", "区間(3)：関節番号 7 が範囲 1～3 の外です"},
        bad_file_case{"TooManyJoints", "t 20 0", "区間(1)：関節数 n=20 は 1～19 の範囲の外です"},
        bad_file_case{"NoJoints", "t 0 0", "区間(1)：関節数 n=0"},
        bad_file_case{"UnknownJointKind", "t 3 1,Q 0", "区間(2)，1番目の項目：関節の種類 Q"},
        bad_file_case{"LinkToItself", "t 3 0 1 0 0 0 1,1,5 0", "同じ関節番号 1 が重なっています"},
        bad_file_case{"ZeroLength", "t 3 0 1 0 0 0 1,2,0 0", "リンクの長さ 0 が正ではありません"},
        bad_file_case{"FixedCoordinateNaN", "t 3 0 1 1,nan,0 0", "区間(4)，1番目の項目：数値が有限ではありません"},
        bad_file_case{"AngleInfinite", "t 3 0 1 0 0 0 0 1,2,3,inf 0", "区間(8)，1番目の項目：数値が有限ではありません"},
        bad_file_case{"DriveJointOutOfRange", "t 3 0 1 0 0 0 0 0 0 A 1,2,9,10", "区間(10)：関節番号 9"},
        bad_file_case{"DriveEndsEarly", "t 3 0 1 0 0 0 0 0 0 L 1,2", "区間(10)：ファイルが途中で終わっています"},
        bad_file_case{"NoDriveSection", "t 3 0 1 0 0 0 0 0 0", "区間(10)：ファイルが途中で終わっています"},
        bad_file_case{"SliderEntryMalformed", "t 3 0 1 0 0 0 0 0 2,1 0", "区間(9)，1番目の項目：書式が正しくありません"},
        // Degenerate mechanisms.
        bad_file_case{"TwoFixedJointsAtOnePlace", "t 3 0 1 1,5,5 2,5,5 0 0 0 0 0 0 N",
                      "区間(4)，2番目の項目：関節 1 と関節 2 が同じ位置 (5, 5) に固定されています（その間のリンクの長さが 0 になります）"},
        bad_file_case{"RelativeFixedJointOnAnother", "t 3 0 1 1,0,0 0 2,1,0.0000001,0 0 0 0 0 0 N",
                      "区間(5)，1番目の項目：関節 1 と関節 2 が同じ位置"},
        bad_file_case{"JointFixedTwice", "t 3 0 1 1,0,0 0 1,2,10,0 0 0 0 0 0 N",
                      "区間(5)，1番目の項目：関節 1 が二か所 (0, 0) と (10, 0) に固定されています"},
        bad_file_case{"NegativeLength", "t 3 0 1 0 0 0 1,2,-5 0", "区間(7)，1番目の項目：リンクの長さ -5 が正ではありません"},
        bad_file_case{"CoordinateTooLarge", "t 3 0 1 1,2e6,0 0", "区間(4)，1番目の項目：数値 2e+06 が大きすぎます（絶対値 1e+06 まで）"},
        bad_file_case{"LengthTooLarge", "t 3 0 1 0 0 0 1,2,1e300 0", "区間(7)，1番目の項目：数値 1e+300 が大きすぎます"},
        bad_file_case{"AngleTooLarge", "t 3 0 1 0 0 0 0 1,2,3,-1e7 0", "区間(8)，1番目の項目：数値 -1e+07 が大きすぎます"},
        bad_file_case{"DriveValueTooLarge", "t 3 0 1 0 0 0 1,2,10 0 0 0 L 1,2,1e9", "区間(10)：数値 1e+09 が大きすぎます"},
        bad_file_case{"DrivenLinkMissing", "t 3 0 1 0 0 0 1,2,10 0 0 0 B 1,3,20",
                      "区間(10)：駆動する ath[1][3] のリンク 1-3 がこの機構にありません（区間(4)～(9)のどれにもありません）"},
        bad_file_case{"DrivenAngleSecondLinkMissing", "t 3 0 1 0 0 0 1,2,10 0 0 0 A 1,2,3,30",
                      "区間(10)：駆動する th[1][2][3] のリンク 2-3 がこの機構にありません"},
        bad_file_case{"DrivenAngleFirstLinkMissing", "t 3 0 1 0 0 0 2,3,10 0 0 0 A 1,2,3,30",
                      "区間(10)：駆動する th[1][2][3] のリンク 1-2 がこの機構にありません"},
        bad_file_case{"DrivenAbsoluteAngleGiven", "t 3 0 1 0 0 1,2,30 0 0 0 0 B 1,2,20",
                      "区間(10)：駆動する ath[1][2] はデータファイルで不変と定められています"},
        bad_file_case{"DrivenLinkFixed", "t 3 0 1 1,0,0 2,10,0 0 0 0 1,2,10 0 0 0 B 1,2,0", "区間(10)：駆動する ath[1][2] は位置固定の関節から決まり，動きません"},
        bad_file_case{"DrivenRelativeAngleGiven", "t 3 0 1 0 0 0 1,2,10 2,3,10 0 1,2,3,30 0 0 A 3,2,1,40",
                      "駆動する th[3][2][1] はデータファイルで不変と定められています"},
        bad_file_case{"DrivenLengthGiven", "t 3 0 1 0 0 0 1,2,10 0 0 0 L 1,2,10", "駆動する l[1][2] はデータファイルで不変と定められています"},
        bad_file_case{"DrivenLengthBetweenFixedJoints", "t 3 0 1 1,0,0 2,10,0 0 0 0 0 0 0 L 1,2,5", "駆動する l[1][2] は位置固定の関節から決まり，動きません"},
        bad_file_case{"SliderGuideMissing", "t 4 0 1 1,0,0 4,200,0 0 0 0 1,2,40 2,3,120 0 0 3,2,4 0 B 1,2,30",
                      "区間(9)，1番目の項目：スライダ 3 が走るリンク L[2][4] がこの機構にありません（区間(4)～(9)のどれにもありません）"},
        bad_file_case{"DrawnJointZero", "t 3 0 0", "区間(3)：関節番号 0 が範囲 1～3 の外です"},
        bad_file_case{"DrawnJointNegative", "t 3 0 -1", "区間(3)：関節番号 -1 が範囲 1～3 の外です"},
        // Numbers beyond the range of int once wrapped onto joints of the file.
        bad_file_case{"JointBeyondInt", "t 3 0 1 0 0 0 4294967299,4,40 0",
                      "区間(7)，1番目の項目：関節番号 4294967299 が範囲 1～3 の外です"},
        bad_file_case{"SecondJointBeyondInt", "t 3 0 1 0 0 0 1,4294967298,40 0",
                      "区間(7)，1番目の項目：関節番号 4294967298 が範囲 1～3 の外です"},
        // A quantity given twice (the second once silently won).
        bad_file_case{"LengthTwice", "t 3 0 1 0 0 0 1,2,10 2,3,5 2,1,12 0",
                      "区間(7)，3番目の項目：l[2][1] は 1番目の項目ですでに与えられています"},
        bad_file_case{"RelativeAngleTwice", "t 3 0 1 0 0 0 1,2,10 2,3,10 0 1,2,3,30 3,2,1,40 0",
                      "区間(8)，2番目の項目：th[3][2][1] は 1番目の項目ですでに与えられています"},
        bad_file_case{"DirectionTwice", "t 3 0 1 0 0 1,2,30 1,2,40 0", "区間(6)，2番目の項目：ath[1][2] は 1番目の項目"},
        bad_file_case{"FixedJointTwice", "t 3 0 1 1,0,0 1,0,0 0", "区間(4)，2番目の項目：J[1] は 1番目の項目"},
        bad_file_case{"SliderLineTwice", "t 4 0 1 1,0,0 2,100,0 0 0 0 1,2,100 0 0 3,1,2 3,2,1 0",
                      "区間(9)，2番目の項目：スライダ J[3] の直線 L[2][1] は 1番目の項目"},
        bad_file_case{"JointCountBeyondInt", "t 4294967299 0", "区間(1)：関節数 n=4294967299 は 1～19 の範囲の外です"}),
    [](const ::testing::TestParamInfo<bad_file_case> &param) { return std::string(param.param.name); });

// What the mechanism has, for the guide of a slider and for the drive: links
// of sections (5) to (7), sides of the angles of (8), the lines of sliders.
TEST(DataFile, DrivesAndGuidesOnTheLinesTheMechanismHas) {
  // A slide along the guide of slider 3 (1-4 named by section (5)), and a
  // second slider 5 on the part 3-4 of that guide.
  const char *slide = "t 5 0 1 1,0,0 0 4,1,200,0 0 0 1,2,40 2,3,120 0 0 3,1,4 5,3,4 0 L 1,3,140";
  ASSERT_EQ(load_text(slide), 1);
  EXPECT_EQ(mech.rs, 'L');
  EXPECT_TRUE(has_line(3, 1) && has_line(5, 4) && has_line(5, 3));
  EXPECT_FALSE(has_line(2, 4));
  // The rod 2-3 against the guide at the slider.
  ASSERT_EQ(load_text("t 4 0 1 1,0,0 0 4,1,200,0 0 0 1,2,40 2,3,120 0 0 3,1,4 0 A 2,3,1,150"), 1);
  EXPECT_EQ(mech.rs, 'A');
  // A side of a relative angle names a line without a link of its own.
  ASSERT_EQ(load_text("t 3 0 1 0 0 0 1,2,10 0 2,1,3,30 0 0 B 1,3,0"), 1);
  EXPECT_EQ(mech.link_exists[1][3], 'N');
  // So does the line between its ends: here a straight bar 2-1-3 that a
  // slider runs along, as in an Oldham coupling.
  ASSERT_EQ(load_text("t 4 0 1 1,0,0 0 0 0 1,2,80 1,3,80 0 2,1,3,0 0 4,2,3 0 B 1,2,30"), 1);
  EXPECT_TRUE(has_line(2, 3) && has_line(3, 2));
  EXPECT_FALSE(has_line(1, 4));
  // A guide and a frame line between two fixed joints that no link joins.
  ASSERT_EQ(load_text("t 4 0 1 1,0,0 4,200,0 0 0 0 1,2,40 2,3,120 0 0 3,1,4 0 A 4,1,2,30"), 1);
  EXPECT_TRUE(has_line(1, 4));
  // A slide between two joints that no link joins: an actuator.
  ASSERT_EQ(load_text("t 3 0 1 0 0 0 1,2,10 0 0 0 L 2,3,5"), 1);
  EXPECT_EQ(mech.rs, 'L');
  // A fixed joint named again by section (5) at its place, for another link.
  ASSERT_EQ(load_text("t 4 0 1 1,0,0 0 1,2,0,0 1,3,0,0 0 0 1,2,10 1,3,10 0 0 0 B 1,2,0"), 1);
  EXPECT_EQ(mech.link_exists[1][3], 'Y');
}

TEST(DataFile, RefusesATwentiethEntry) {
  std::string echo;
  EXPECT_EQ(load_text(twenty_lengths, &echo), 0);
  EXPECT_NE(echo.find("区間(7)，20番目の項目：項目が多すぎます（19項目まで）"), std::string::npos)
      << echo;
  EXPECT_EQ(mech.l[1][2], 10.0);
}

TEST(DataFile, FixedJointsOfSectionsFourAndFiveShareTheLimit) {
  std::string s = "t 19 0 1 ";
  for (int i = 1; i <= 10; i++) s += std::to_string(i) + "," + std::to_string(10 * i) + ",0 ";
  s += "0 ";
  for (int i = 11; i <= 19; i++) s += std::to_string(i) + ",1," + std::to_string(10 * i) + ",0 ";
  std::string ok = s + "0 0 0 0 0 N";  // no drive: every joint is fixed
  ASSERT_EQ(load_text(ok), 1);
  std::string over = s + "19,1,5,5 0 0 0 0 0 N";
  std::string echo;
  EXPECT_EQ(load_text(over, &echo), 0);
  EXPECT_NE(echo.find("区間(5)，10番目の項目：位置固定の関節が多すぎます"), std::string::npos)
      << echo;
}

TEST(DataFile, LongTitleIsCutOnACharacterBoundaryAndRefused) {
  std::string title(78, 'a');
  title += "\xe6\xa9\x9f";  // a three-byte character across the 79-byte limit
  std::string echo;
  EXPECT_EQ(load_text(title + " 3 0 1 0 0 0 1,2,10 0 0 0 B 1,2,0", &echo), 0);
  EXPECT_EQ(std::string(mech.title), std::string(78, 'a'));
  EXPECT_NE(echo.find("区間title：タイトルが長すぎます（79バイトまで）"), std::string::npos);
  std::string exact(79, 'b');
  ASSERT_EQ(load_text(exact + " 3 0 1 0 0 0 1,2,10 0 0 0 B 1,2,0"), 1);
  EXPECT_EQ(std::string(mech.title), exact);
}

TEST(DataFile, MissingFileIsNamed) {
  std::string echo;
  EXPECT_EQ(load_file_for_test("no-such-mechanism", &echo), 0);
  EXPECT_NE(echo.find("ファイル no-such-mechanism を開けません"), std::string::npos);
}

TEST(DataFile, UnknownDriveKindReadsNothingMore) {
  ASSERT_EQ(load_text("t 3 0 1 0 0 0 3,1,10 1,2,10 0 0 0 A 3,1,2,10"), 1);
  ASSERT_EQ(load_text("t 3 0 1 0 0 0 0 0 0 Q"), 1);
  EXPECT_EQ(mech.rs, 'Q');
  EXPECT_EQ(mech.id, 3);
  EXPECT_DOUBLE_EQ(mech.tt0, 10 * deg_to_rad);
}
