// Helpers shared by the tests: files, captured console output, and runs of
// the programs with piped answers.
#pragma once

#include <string>

// Path of a file in the source tree, e.g. source_path("mechanisms/a00").
std::string source_path(const std::string &relative);

// Path of a built program, e.g. program_path("linkmotion").
std::string program_path(const std::string &name);

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

// Loads a data file in-process, the way the load path reads it, with the
// console captured into *echo when echo is not null.  1 loaded, 0 rejected.
int load_file_for_test(const std::string &path, std::string *echo = nullptr);

// The same for a data file written from text (a temporary file, removed
// afterwards).
int load_text_for_test(const std::string &text, std::string *echo = nullptr);
