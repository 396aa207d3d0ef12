#include "tests/test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "app/setup_controller.h"
#include "model/console.h"
#include "model/mechanism_model.h"

std::string source_path(const std::string &relative) {
  return std::string(LINKMOTION_SOURCE_DIR) + "/" + relative;
}

std::string program_path(const std::string &name) {
  return std::string(LINKMOTION_BINARY_DIR) + "/" + name;
}

std::string write_temp_file(const std::string &text) {
  char name[] = "/tmp/linkmotion-test-XXXXXX";
  int fd = mkstemp(name);
  if (fd < 0) abort();
  FILE *f = fdopen(fd, "w");
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
  return name;
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

console_capture::console_capture() {
  FILE *f = open_memstream(&buffer_, &size_);
  stream_ = f;
  console_set_output(f);
}

console_capture::~console_capture() {
  console_set_output(nullptr);
  fclose(static_cast<FILE *>(stream_));
  free(buffer_);
}

std::string console_capture::text() {
  fflush(static_cast<FILE *>(stream_));
  return std::string(buffer_, size_);
}

program_run run_program(const std::string &command, const std::string &input,
                        const std::string &dir) {
  std::string in = write_temp_file(input);
  std::string out = write_temp_file("");
  std::string err = write_temp_file("");
  // Without DISPLAY the window cannot open: a session ends after the console
  // instead of waiting for keys, wherever the tests run.
  std::string line = "cd '" + dir + "' && env -u DISPLAY " + command + " < '" + in + "' > '" +
                     out + "' 2> '" + err + "'";
  int raw = system(line.c_str());
  program_run r;
  if (WIFEXITED(raw))
    r.status = WEXITSTATUS(raw);
  else if (WIFSIGNALED(raw))
    r.status = 128 + WTERMSIG(raw);
  else
    r.status = -1;
  r.output = read_file(out);
  r.errors = read_file(err);
  unlink(in.c_str());
  unlink(out.c_str());
  unlink(err.c_str());
  return r;
}

int load_file_for_test(const std::string &path, std::string *echo) {
  console_capture capture;
  init_model();
  snprintf(mech.fname, sizeof mech.fname, "%s", path.c_str());
  int ok = read_mechanism_file();
  if (echo) *echo = capture.text();
  return ok;
}

int load_text_for_test(const std::string &text, std::string *echo) {
  const std::string path = write_temp_file(text);
  const int ok = load_file_for_test(path, echo);
  unlink(path.c_str());
  return ok;
}
