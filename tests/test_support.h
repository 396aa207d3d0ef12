// Helpers shared by the tests: files, captured console output, and runs of
// the programs with piped answers.
#pragma once

#include <string>
#include <vector>

#include "model/mechanism_model.h"

// Path of a file in the source tree, e.g. source_path("mechanisms/a00").
std::string source_path(const std::string &relative);

// Path of a data file of the tests, e.g. test_data("rocker_drive").
std::string test_data(const std::string &name);

// Names of the data files in mechanisms/ (not the catalogue or the
// pictures), sorted.
std::vector<std::string> shipped_mechanisms();

// Path of a built program, e.g. program_path("linkmotion").
std::string program_path(const std::string &name);

// A fresh directory under the system's temporary directory; its path.
std::string make_temp_dir(const std::string &stem);

// Writes text to a fresh temporary file and returns its path.
std::string write_temp_file(const std::string &text);

// Whole contents of a file.
std::string read_file(const std::string &path);

// Console output captured while the object lives.
class console_capture {
 public:
  console_capture();
  ~console_capture();
  std::string text();  // everything printed so far
 private:
  char *buffer_ = nullptr;
  size_t size_ = 0;
  void *stream_ = nullptr;
};

// Console answers read from a string while the object lives.  Should the
// answers run out, the console would end the test program with status 0;
// it ends with status 1 instead, so that a short script cannot pass.
class dialog_script {
 public:
  explicit dialog_script(const std::string &answers);
  ~dialog_script();
  void expect_used_up();  // a test failure when answers are left unread
 private:
  std::string answers_;
  void *stream_ = nullptr;
};

struct program_run {
  int status;          // exit status, or 128 + signal
  std::string output;  // standard output
  std::string errors;  // standard error
};

// Runs a program (with arguments, already quoted for the shell) in the
// working directory dir, its standard input read from `input`, without a
// DISPLAY, so that a program that opens its window ends after the console.
program_run run_program(const std::string &command, const std::string &input,
                        const std::string &dir = ".");

// Rows of `linkmotion-path NAME STEPS` run in mechanisms/: per row the drive
// value and the joint positions J[1..n] (J[0] unused).  A test failure when
// the tool fails or gives other than STEPS rows.
struct path_rows {
  int n = 0;
  std::vector<double> drive;
  std::vector<std::vector<point>> J;
};
path_rows run_path_rows(const std::string &name, int steps);

// Positions of one joint over the rows of a motion.
std::vector<point> traced_path(const path_rows &m, int joint);

// Loads the library file mechanisms/NAME without planning, quietly: the
// saved tables then hold the lengths, angles and fixed joints it gives.
void load_library_dimensions(const std::string &name);

// printf into a string.
std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Number of times `what` occurs in text.
int count_occurrences(const std::string &text, const std::string &what);

// The joints of the bundled crank-rocker a00 by their part: the crank turns
// about the fixed crank_pivot and carries crank_pin; the coupler plate is
// crank_pin, rocker_pin, coupler_point; the rocker swings about the fixed
// rocker_pivot.  The drive is ath[crank_pivot][crank_pin].
struct a00_joints {
  int crank_pivot, crank_pin, rocker_pin, rocker_pivot, coupler_point;
};

// Link lengths of a00, world units.
constexpr double a00_crank = 40.0, a00_coupler = 110.0, a00_rocker = 90.0, a00_frame = 120.0;
constexpr double a00_pin_to_point = 70.0, a00_rocker_pin_to_point = 60.0;

// Loads mechanisms/a00 in-process and tells its joints apart by the drive,
// the fixed joints and the links (a test failure when it cannot).
a00_joints load_a00_for_test();

// Loads a data file in-process, the way the load path reads it, with the
// console captured into *echo when echo is not null.  1 loaded, 0 rejected.
int load_file_for_test(const std::string &path, std::string *echo = nullptr);

// The same for a data file written from text (a temporary file, removed
// afterwards).
int load_text_for_test(const std::string &text, std::string *echo = nullptr);
