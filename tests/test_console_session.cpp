// Whole console sessions of the program with piped answers.
#include <gtest/gtest.h>

#include <string>

#include "app/setup_controller.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

static program_run run_linkmotion(const std::string &input) {
  return run_program("'" + program_path("tests/linkmotion-console") + "'", input, source_path("mechanisms"));
}

static int count_of(const std::string &text, const std::string &what) {
  int c = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) c++;
  return c;
}

TEST(ConsoleSession, LoadingA00PrintsTheWholeTranscript) {
  program_run r = run_linkmotion("a00\n");
  std::string expected = read_file(source_path("tests/data/a00_load.txt"));
  EXPECT_EQ(r.output.substr(0, expected.size()), expected);
  EXPECT_NE(r.output.find("\nfname=a00  nochoice=1\n"), std::string::npos);
  EXPECT_NE(r.output.find("\n's'キー：運動継続\n"), std::string::npos);
  EXPECT_NE(r.output.find("描画画面へ\n"), std::string::npos);
}

TEST(ConsoleSession, BadFileNamesGoBackToTheMenu) {
  std::string bad = write_temp_file("broken 3 1,R 2,R");
  program_run r = run_linkmotion("no-such-file\n" + bad + "\na00\n");
  EXPECT_NE(r.output.find("ファイル no-such-file を開けません"), std::string::npos);
  EXPECT_NE(r.output.find("データファイル " + bad + " の区間(2)，3番目の項目：ファイルが途中で終わっています"),
            std::string::npos);
  EXPECT_EQ(count_of(r.output, "\nファイル名 fname="), 3);
  EXPECT_EQ(count_of(r.output, "\nリンク機構の運動解析"), 3);
  EXPECT_NE(r.output.find("fname=a00  nochoice=1"), std::string::npos);
}

TEST(ConsoleSession, AFolderTypedAsAFileNameIsReportedAsAFolder) {
  const std::string folder = make_temp_dir("folder_as_name");
  program_run r = run_linkmotion(folder + "\na00\n");
  EXPECT_NE(r.output.find("\n" + folder + " はフォルダです．"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("途中で終わっています"), std::string::npos) << r.output;
  EXPECT_EQ(count_of(r.output, "\nファイル名 fname="), 2);
  EXPECT_NE(r.output.find("fname=a00  nochoice=1"), std::string::npos);
}

// An escape sequence in a file name or a title reaches the user's terminal
// only as text.
TEST(ConsoleSession, ControlBytesOfNamesAndTitlesAreShownEscaped) {
  const std::string dir = make_temp_dir("control_bytes");
  const std::string name = dir + "/red\x1b[31mname";
  std::string text = read_file(source_path("mechanisms/a00"));
  text.insert(text.find('_'), "\x1b]0;owned\x07");
  std::FILE *f = std::fopen(name.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs(text.c_str(), f);
  std::fclose(f);
  program_run r = run_linkmotion(name + "\n");
  EXPECT_EQ(r.output.find('\x1b'), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find('\x07'), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("\nfname=" + dir + "/red\\x1B[31mname  nochoice="), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("\na00\\x1B]0;owned\\x07_"), std::string::npos) << r.output;
}

TEST(ConsoleSession, EndOfInputEndsTheProgramCleanly) {
  program_run r = run_linkmotion("");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("ファイル名 fname="), std::string::npos);
  EXPECT_NE(r.output.find("入力が終わりました"), std::string::npos);
  program_run after_bad = run_linkmotion("nothing-here\n");
  EXPECT_EQ(after_bad.status, 0);
  EXPECT_EQ(count_of(after_bad.output, "\nファイル名 fname="), 2);
}

TEST(ConsoleSession, VeryLongFileNameIsCutNotOverflowed) {
  std::string name(5000, 'q');
  program_run r = run_linkmotion(name + "\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("ファイル " + std::string(fname_size - 1, 'q') + " を開けません"),
            std::string::npos);
}

TEST(NochoiceRule, LeadingLettersFixTheBranches) {
  for (const char *name : {"pc1", "ht", "sk1", "sk2", "pr", "st7", "hyper4", "hyper5", "conic1",
                           "conic2", "conic4", "conic5", "pc3", "prx"}) {
    apply_nochoice_rule(name);
    EXPECT_EQ(mech.nochoice, 0) << name;
  }
  for (const char *name : {"a00", "hs", "cr", "hyper1", "conic3", "p", "s", "conic", "hyper",
                           "hyp4", "ellips2"}) {
    apply_nochoice_rule(name);
    EXPECT_EQ(mech.nochoice, 1) << name;
  }
}
