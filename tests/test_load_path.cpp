// The load path end to end: the whole console session of a00, a mechanism
// whose file value of the drive does not assemble (the notches, their
// messages, the plan made again, the end state), and the batch load.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "app/motion.h"
#include "app/setup_controller.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

namespace {

program_run run_linkmotion(const std::string &input) {
  return run_program("'" + program_path("tests/linkmotion-console") + "'", input, source_path("mechanisms"));
}

int count_of(const std::string &text, const std::string &what) {
  int c = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) c++;
  return c;
}

const char *const key_help =
    "\n\n'l'キー    ：リンク機構変更\n'p'キー    ：リンクパラメータ・駆動関節変更\n"
    "\n'0','1'キー：初期形態 or 運動形態の選択\n'r'キー    ：正逆回転"
    "\n'x','X'キー：座標系横方向移動\n'y','Y'キー：座標系縦方向移動"
    "\n'w','W'キー：描画倍率縮小拡大\n's'キー：運動継続\n'スペース'キー：連続運動の開始・停止\n"
    "\n                                                   描画画面へ\n";

// The four-bar of a00 (ground 2-3, crank 3-4) with a coupler of 50 and a
// rocker of 40: the crank reaches only within 34.6 degrees of the ground
// line, and the file starts it at -50 degrees.
const char *const late_start =
    "t_late-start\n4\n1,R 2,R 3,R 4,R 0\n4\n3,0,0 0\n2,3,120,0 0\n0\n"
    "3,4,40 4,1,50 1,2,40 0\n0\n0\nB 3,4,-50\n";

// A fresh directory for data files whose names matter.
std::string temp_dir() {
  return make_temp_dir("linkmotion-dir");
}

std::string write_file_in(const std::string &dir, const std::string &name, const char *text) {
  const std::string path = dir + "/" + name;
  FILE *f = fopen(path.c_str(), "w");
  fputs(text, f);
  fclose(f);
  return path;
}

double distance(point a, point b) { return std::hypot(b.x - a.x, b.y - a.y); }

class BatchLoad : public ::testing::Test {
 protected:
  void SetUp() override { console_set_batch(1); }
};

}  // namespace

// The set-up ran to its end and went on to the window.
static void expect_ended_at_the_window(const program_run &r) {
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.errors, "window\n");
  EXPECT_EQ(r.output.find("入力が終わりました"), std::string::npos) << "a question was left unanswered";
}

// Nobody answers a dialogue for a window that cannot open.
TEST(LoadPath, AMissingDisplayIsSaidBeforeTheFirstQuestion) {
  const std::string program = "'" + program_path("linkmotion") + "'";
  const program_run unset = run_program(program, "a00\n", source_path("mechanisms"));
  EXPECT_EQ(unset.status, 1);
  EXPECT_NE(unset.errors.find("\nウィンドウを開けません．X ディスプレイが設定されていません (DISPLAY)．\n"),
            std::string::npos) << unset.errors;
  EXPECT_EQ(unset.output.find("fname="), std::string::npos) << unset.output;
  const program_run unreachable = run_program("env DISPLAY=:97 " + program, "a00\n", source_path("mechanisms"));
  EXPECT_EQ(unreachable.status, 1);
  EXPECT_NE(unreachable.errors.find("X ディスプレイ :97 に接続できません"), std::string::npos) << unreachable.errors;
  EXPECT_EQ(unreachable.output.find("fname="), std::string::npos) << unreachable.output;
}

TEST(LoadPath, A00SessionFromTheFileNameToTheWindow) {
  program_run r = run_linkmotion("a00\n");
  expect_ended_at_the_window(r);
  const std::string echo = read_file(source_path("tests/data/a00_load.txt"));
  const std::string planner =
      "\nall_known() 関節位置全部分かった\nall_known() 関節位置全部分かった";
  // No report, no key asked: the answers end with the file name.
  EXPECT_EQ(r.output, echo + planner + key_help);
}

TEST(LoadPath, DriveThatDoesNotAssembleIsRaisedUntilTheMechanismCloses) {
  const std::string dir = temp_dir();
  const std::string path = write_file_in(dir, "late", late_start);
  // Per failing value: the planner's report waits for a key, then the
  // question of the search; four failing values, eight answers.
  std::string answers = path + "\n";
  for (int i = 0; i < 8; i++) answers += "1\n";
  program_run r = run_linkmotion(answers);
  expect_ended_at_the_window(r);
  const std::string &out = r.output;
  EXPECT_EQ(count_of(out, "\n\n三角法４　Δ(124)の解がない"), 4);
  EXPECT_EQ(count_of(out, "\n解がありません．\n最初に戻る？:0　駆動初期値を変える？:1　"), 4);
  const size_t n1 = out.find("\n初期値 tt0=-50.00 →　-45.00(deg)");
  const size_t n2 = out.find("\n初期値 tt0=-45.00 →　-40.00(deg)");
  const size_t n3 = out.find("\n初期値 tt0=-40.00 →　-35.00(deg)");
  const size_t n4 = out.find("\n初期値 tt0=-35.00 →　-30.00(deg)");
  ASSERT_NE(n4, std::string::npos) << out;
  EXPECT_TRUE(n1 < n2 && n2 < n3 && n3 < n4);
  EXPECT_EQ(count_of(out, "\n初期値 tt0="), 4);
  // At -30 degrees the new plan is complete and solves.
  EXPECT_EQ(out.substr(n4).find("三角法"), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - std::string(key_help).size()), key_help);
  EXPECT_EQ(out.find("入力が終わりました"), std::string::npos);
  unlink(path.c_str());
  rmdir(dir.c_str());
}

TEST(LoadPath, ZeroAtTheSearchStartsOverWithANewFile) {
  const std::string path = write_temp_file(late_start);
  program_run r = run_linkmotion(path + "\n1\n0\na00\n");
  expect_ended_at_the_window(r);
  EXPECT_EQ(count_of(r.output, "\nリンク機構の運動解析"), 2);
  EXPECT_EQ(count_of(r.output, "\n初期値 tt0="), 0);
  EXPECT_NE(r.output.find("\nfname=a00  nochoice=1\n"), std::string::npos);
  EXPECT_EQ(r.output.substr(r.output.size() - std::string(key_help).size()), key_help);
  unlink(path.c_str());
}

TEST_F(BatchLoad, LateStartIsPlannedAgainAtEachNotchAndEndsComplete) {
  const std::string path = write_temp_file(late_start);
  console_capture out;
  ASSERT_EQ(batch_load(path.c_str(), 10), 1);
  const mechanism &m = mech;
  EXPECT_NEAR(m.tt0, -30.0 * deg_to_rad, 1e-9);
  EXPECT_EQ(count_of(out.text(), "\n初期値 tt0="), 4);
  EXPECT_EQ(m.solve_ok, 1);
  // Every joint placed by the plan, every length kept at the new tt0.
  for (int i = 1; i <= m.n; i++) EXPECT_NE(m.J_known[i], 'N') << i;
  EXPECT_NEAR(distance(m.J[3], m.J[4]), 40.0, 1e-7);
  EXPECT_NEAR(distance(m.J[4], m.J[1]), 50.0, 1e-7);
  EXPECT_NEAR(distance(m.J[1], m.J[2]), 40.0, 1e-7);
  EXPECT_NEAR(m.J[4].x, 40.0 * std::cos(m.tt0), 1e-9);
  // The plan was made at -30 degrees: its branch signs start afresh.
  for (int r = 1; r <= m.junjo_count; r++) {
    if (m.junjo[r][jj_code] == 34) {
      EXPECT_EQ(m.choice_offered[r], -1);
    }
  }
  unlink(path.c_str());
}

TEST_F(BatchLoad, TooFewNotchesSayWhy) {
  const std::string path = write_temp_file(late_start);
  console_capture out;
  EXPECT_EQ(batch_load(path.c_str(), 2), 0);
  EXPECT_EQ(mech.solve_ok, 0);
  EXPECT_NEAR(mech.tt0, -40.0 * deg_to_rad, 1e-9);
  EXPECT_NE(out.text().find("\n駆動初期値を2回変えても計算手順が完成しません．"), std::string::npos)
      << out.text();
  unlink(path.c_str());
}

TEST_F(BatchLoad, APlanOutOfRecordsEndsTheSearchAtOnce) {
  // Nineteen joints whose angles give more deductions than junjo holds: the
  // plan fails the same way at every notch, and 72 new plans used to cost
  // seconds under the sanitizers.
  console_capture out;
  EXPECT_EQ(batch_load(source_path("tests/fuzz/seeds/nineteen_joints_plan_full").c_str(), 72), 0);
  EXPECT_EQ(mech.solve_ok, 0);
  EXPECT_EQ(count_of(out.text(), "計算手順が749個を超える"), 1);
  EXPECT_EQ(count_of(out.text(), "\n初期値 tt0="), 0);
  EXPECT_NE(out.text().find("\n解がありません．\n計算手順が完成しないので，駆動初期値を変えても解けません．"),
            std::string::npos)
      << out.text();
}

TEST_F(BatchLoad, AFigureOfInvariantsWithoutSolutionEndsTheSearchAtOnce) {
  // The coupler plate of a00 with sides 110, 70 and 20: it cannot close at
  // any crank angle.
  const std::string path = write_temp_file(
      "t_plate 5 0 5 3,0,0 0 2,3,120,0 0 0 3,4,40 4,1,110 1,2,90 4,5,70 1,5,20 0 0 0 B 3,4,60");
  console_capture out;
  EXPECT_EQ(batch_load(path.c_str(), 72), 0);
  EXPECT_EQ(count_of(out.text(), "\n初期値 tt0="), 0);
  EXPECT_NE(out.text().find("\n計算手順が完成しないので，駆動初期値を変えても解けません．"),
            std::string::npos)
      << out.text();
  unlink(path.c_str());
}

TEST_F(BatchLoad, BundledNameLoadsAndResetsTheAnimation) {
  motion.display_mode = '1';
  motion.step_count = 17;
  motion.view_scale = 0.02;
  console_capture out;
  ASSERT_EQ(batch_load("a00", 0), 1);
  EXPECT_NE(out.text().find("\nfname=a00  nochoice=1\n"), std::string::npos);
  EXPECT_EQ(out.text().find("描画画面へ"), std::string::npos);  // no window follows
  EXPECT_EQ(mech.solve_ok, 1);
  EXPECT_EQ(motion.display_mode, '0');
  EXPECT_EQ(motion.step_count, 0);
  EXPECT_EQ(motion.view_scale, 0.005);
  EXPECT_EQ(motion.drive_step, pi / 180.0);
}

TEST_F(BatchLoad, NochoiceFollowsTheBaseNameOfThePath) {
  const std::string a00 = read_file(source_path("mechanisms/a00"));
  const std::string dir = temp_dir();
  const std::string fixed = write_file_in(dir, "pc9", a00.c_str());
  console_capture out;
  ASSERT_EQ(batch_load(fixed.c_str(), 0), 1);
  EXPECT_EQ(mech.nochoice, 0);
  const std::string sub = dir + "/pc";
  mkdir(sub.c_str(), 0700);
  const std::string free_branches = write_file_in(sub, "a9", a00.c_str());
  ASSERT_EQ(batch_load(free_branches.c_str(), 0), 1);
  EXPECT_EQ(mech.nochoice, 1);
  unlink(fixed.c_str());
  unlink(free_branches.c_str());
  rmdir(sub.c_str());
  rmdir(dir.c_str());
}

TEST_F(BatchLoad, RejectedFileSaysSo) {
  console_capture out;
  EXPECT_EQ(batch_load("/nonexistent/dir/a00", 3), 0);
  EXPECT_NE(out.text().find("を開けません"), std::string::npos);
  EXPECT_NE(out.text().find("\nファイル /nonexistent/dir/a00 を読み込めませんでした．"),
            std::string::npos);
  const std::string long_name(fname_size, 'x');
  EXPECT_EQ(batch_load(long_name.c_str(), 0), 0);
  EXPECT_NE(out.text().find("ファイル名が長すぎます"), std::string::npos);
}
