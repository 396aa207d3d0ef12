// A program run in a pseudo-terminal and typed at as a person types: keys,
// then Enter, after the question has appeared; its output read back as the
// terminal shows it (echo included).
#pragma once

#include <string>

class pty_session {
 public:
  // Starts `command` through the shell in directory dir, on a new terminal.
  pty_session(const std::string &command, const std::string &dir);
  // Ends the program if it still runs.
  ~pty_session();
  bool started() const { return pid_ > 0; }

  // Types the keys as they are (no Enter).
  void type(const std::string &keys);
  // Types the keys and then Enter (a carriage return, as a keyboard sends).
  void type_line(const std::string &keys) { type(keys + "\r"); }
  // Types Ctrl-D: end of input on a terminal.
  void end_input() { type("\x04"); }

  // Reads until the output holds `text` at least `times` times, for at most
  // `seconds`; true when it did.
  bool wait_for(const std::string &text, int times = 1, int seconds = 10);
  // Reads until the program ends or `seconds` pass: its exit status, or -1
  // when it had to be killed.
  int wait_for_exit(int seconds);
  // Everything the terminal has shown so far.
  const std::string &output() const { return output_; }

 private:
  // Reads what is there within `ms` milliseconds: 1 read, 0 nothing yet,
  // -1 the program's side of the terminal is closed.
  int read_some(int ms);
  int pid_ = -1;
  int master_ = -1;
  int status_ = -1;  // exit status once reaped
  std::string output_;
};
