// The program at a real terminal: a pseudo-terminal typed at as a person
// types (the key, then Enter, or the key alone), under a private X server,
// with the window's keys sent by xdotool.  The console reads raw keys here,
// unlike the pipe sessions.
#include <gtest/gtest.h>

#include <time.h>
#include <unistd.h>

#include <string>

#include "tests/pty_session.h"
#include "tests/test_support.h"
#include "tests/window_support.h"

static const char *const to_window = "描画画面へ";
static const char *const question_a = "(a) 機構パラメータ変更する？";
static const char *const question_b = "(b) 駆動関節変更する？";
static const char *const drive_dialog = "相対回転 or 絶対角回転 or 直動？";
static const char *const choice_prompt = "何もなければ0番号と1を入力";

// The program's window, found by its title within 20 seconds; "" if none.
static std::string find_window() {
  const time_t deadline = time(nullptr) + 20;
  while (time(nullptr) < deadline) {
    std::string id = run_with_limit("xdotool search --name 'リンク機構の運動' 2>/dev/null", 5);
    if (!id.empty()) return id.substr(0, id.find('\n'));
    usleep(100000);
  }
  return "";
}

static void press_in_window(const std::string &window, const std::string &key) {
  run_with_limit("xdotool key --window " + window + " " + key + " 2>/dev/null", 10);
}

// a00 loaded at the terminal, "a00" and Enter typed at the file name; the
// window's id, or "" when it did not open.
static std::string load_a00(pty_session &s) {
  if (!s.wait_for("ファイル名 fname=")) return "";
  s.type_line("a00");
  if (!s.wait_for(to_window, 1, 20)) return "";
  return find_window();
}

static std::string linkmotion() { return "'" + program_path("linkmotion") + "'"; }

TEST(TerminalSession, OneKeyAnswersWithOrWithoutEnterAnswerOneQuestionEach) {
  x_server server;
  ASSERT_TRUE(server.running());
  pty_session s(linkmotion(), source_path("mechanisms"));
  ASSERT_TRUE(s.started());
  const std::string window = load_a00(s);
  ASSERT_FALSE(window.empty()) << s.output();

  // "0" Enter: the Enter must not answer (b).
  press_in_window(window, "p");
  ASSERT_TRUE(s.wait_for(question_a)) << s.output();
  s.type_line("0");
  ASSERT_TRUE(s.wait_for(question_b)) << s.output();
  usleep(300000);  // time for a wrongly taken Enter to open the drive dialog
  s.wait_for(drive_dialog, 1, 1);
  EXPECT_EQ(s.output().find(drive_dialog), std::string::npos) << s.output();
  s.type_line("0");
  ASSERT_TRUE(s.wait_for(to_window, 2, 10)) << s.output();

  // The key alone, then a line typed ahead ("01" Enter): one answer each.
  press_in_window(window, "p");
  ASSERT_TRUE(s.wait_for(question_a, 2)) << s.output();
  s.type("0");
  ASSERT_TRUE(s.wait_for(question_b, 2)) << s.output();
  s.type_line("01");
  ASSERT_TRUE(s.wait_for(to_window, 3, 10)) << s.output();
  EXPECT_EQ(s.output().find(drive_dialog), std::string::npos) << s.output();

  press_in_window(window, "Escape");
  EXPECT_EQ(s.wait_for_exit(20), 0) << s.output();
}

TEST(TerminalSession, LengthsThatCannotCloseAreRefusedOnceWithTheTwoChoices) {
  const a00_joints a = load_a00_for_test();
  x_server server;
  ASSERT_TRUE(server.running());
  pty_session s(linkmotion(), source_path("mechanisms"));
  const std::string window = load_a00(s);
  ASSERT_FALSE(window.empty()) << s.output();
  press_in_window(window, "p");
  ASSERT_TRUE(s.wait_for(question_a)) << s.output();
  s.type_line("1");
  ASSERT_TRUE(s.wait_for("i,j,l=")) << s.output();
  s.type_line(format("%d,%d,500", a.crank_pivot, a.crank_pin));
  ASSERT_TRUE(s.wait_for("i,j,l=", 2)) << s.output();
  s.type_line("0");
  ASSERT_TRUE(s.wait_for("i,j,k,th(deg)=")) << s.output();
  s.type_line("0");
  ASSERT_TRUE(s.wait_for(question_b)) << s.output();
  s.type_line("0");
  ASSERT_TRUE(s.wait_for("を少しづつ変える？:1")) << s.output();
  EXPECT_EQ(count_occurrences(s.output(), "\n機構が描けません．"), 1) << s.output();
  // Raising the drive value twice: one refusal each, no retry flood.
  s.type_line("1");
  ASSERT_TRUE(s.wait_for("を少しづつ変える？:1", 2)) << s.output();
  s.type_line("1");
  ASSERT_TRUE(s.wait_for("を少しづつ変える？:1", 3)) << s.output();
  EXPECT_EQ(count_occurrences(s.output(), "\n機構が描けません．"), 3) << s.output();
  EXPECT_EQ(count_occurrences(s.output(), "no solution"), 0) << s.output();
  // Back to the two questions, and the input ends there.
  s.type_line("0");
  ASSERT_TRUE(s.wait_for(question_a, 2)) << s.output();
  s.end_input();
  EXPECT_EQ(s.wait_for_exit(20), 0) << s.output();
  EXPECT_NE(s.output().find("入力が終わりました"), std::string::npos) << s.output();
  EXPECT_EQ(count_occurrences(s.output(), to_window), 1) << s.output();
}

TEST(TerminalSession, BranchEditorTakesOneOrTwoLinesAndRefusesAtOnce) {
  x_server server;
  ASSERT_TRUE(server.running());
  pty_session s(linkmotion(), source_path("mechanisms"));
  const std::string window = load_a00(s);
  ASSERT_FALSE(window.empty()) << s.output();

  press_in_window(window, "n");
  ASSERT_TRUE(s.wait_for(choice_prompt)) << s.output();
  s.type_line("abc");  // the message comes before anything else is typed
  ASSERT_TRUE(s.wait_for("番号と符号は整数で入力して下さい．", 1, 5)) << s.output();
  ASSERT_TRUE(s.wait_for(choice_prompt, 2)) << s.output();
  s.type_line("999 1");
  ASSERT_TRUE(s.wait_for("番号 999 は範囲外です", 1, 5)) << s.output();
  ASSERT_TRUE(s.wait_for(choice_prompt, 3)) << s.output();
  s.type_line("0 1");  // both on one line
  ASSERT_TRUE(s.wait_for(to_window, 2, 5)) << s.output();

  press_in_window(window, "n");
  ASSERT_TRUE(s.wait_for(choice_prompt, 4)) << s.output();
  s.type_line("0");  // or on two lines
  s.type_line("1");
  ASSERT_TRUE(s.wait_for(to_window, 3, 5)) << s.output();

  press_in_window(window, "n");  // the input ends inside the editor
  ASSERT_TRUE(s.wait_for(choice_prompt, 5)) << s.output();
  s.end_input();
  EXPECT_EQ(s.wait_for_exit(20), 0) << s.output();
  EXPECT_NE(s.output().find("入力が終わりました"), std::string::npos) << s.output();
}

TEST(TerminalSession, EndOfInputAtTheFileNameEndsCleanlyAndAFolderIsAskedAgain) {
  x_server server;  // the program asks nothing before it knows its window can open
  ASSERT_TRUE(server.running());
  pty_session s(linkmotion(), source_path("mechanisms"));
  ASSERT_TRUE(s.wait_for("ファイル名 fname=")) << s.output();
  s.type_line(source_path("mechanisms"));
  ASSERT_TRUE(s.wait_for("ファイル名 fname=", 2)) << s.output();
  EXPECT_NE(s.output().find("はフォルダです．"), std::string::npos) << s.output();
  s.end_input();
  EXPECT_EQ(s.wait_for_exit(20), 0) << s.output();
  EXPECT_NE(s.output().find("入力が終わりました"), std::string::npos) << s.output();
}

// Ctrl-D typed while the terminal is in line mode (here: while the window
// has the keys) reaches the next one-key read as a NUL; it ends the input
// there, as Ctrl-D at the question does, and never answers it.
TEST(TerminalSession, EndOfInputTypedAheadOfAOneKeyQuestionEndsIt) {
  x_server server;
  ASSERT_TRUE(server.running());
  pty_session s(linkmotion(), source_path("mechanisms"));
  const std::string window = load_a00(s);
  ASSERT_FALSE(window.empty()) << s.output();
  s.end_input();
  usleep(300000);  // the Ctrl-D is in the terminal's queue before the question
  press_in_window(window, "p");
  EXPECT_EQ(s.wait_for_exit(20), 0) << s.output();
  EXPECT_NE(s.output().find("入力が終わりました"), std::string::npos) << s.output();
  EXPECT_EQ(s.output().find("構造は変更できません"), std::string::npos) << "the Ctrl-D answered (a)";
}
