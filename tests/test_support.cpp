#include "tests/test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/setup_controller.h"
#include "model/console.h"
#include "model/mechanism_model.h"

std::string source_path(const std::string &relative) {
  return std::string(LINKMOTION_SOURCE_DIR) + "/" + relative;
}

std::string test_data(const std::string &name) { return source_path("tests/data/" + name); }

std::vector<std::string> shipped_mechanisms() {
  std::vector<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(source_path("mechanisms"))) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    if (name.empty() || name[0] == '.' || name.find('.') != std::string::npos) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string program_path(const std::string &name) {
  return std::string(LINKMOTION_BINARY_DIR) + "/" + name;
}

// A mkstemp/mkdtemp template in the system's temporary directory.
static std::string temp_template(const std::string &stem) {
  return (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
}

std::string make_temp_dir(const std::string &stem) {
  std::string name = temp_template(stem);
  if (!mkdtemp(&name[0])) abort();
  return name;
}

std::string write_temp_file(const std::string &text) {
  std::string name = temp_template("linkmotion-test");
  int fd = mkstemp(&name[0]);
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
  con_flush();
  return std::string(buffer_, size_);
}

static int script_open = 0;

static void fail_if_script_ran_out() {
  if (!script_open) return;
  fprintf(stderr, "\nthe scripted console answers ran out\n");
  fflush(stderr);
  _exit(1);
}

dialog_script::dialog_script(const std::string &answers) : answers_(answers) {
  static int handler_installed = 0;
  if (!handler_installed) {
    atexit(fail_if_script_ran_out);
    handler_installed = 1;
  }
  FILE *f = answers_.empty() ? fopen("/dev/null", "r")
                             : fmemopen(&answers_[0], answers_.size(), "r");
  if (!f) abort();
  stream_ = f;
  console_set_input(f);
  script_open = 1;
}

dialog_script::~dialog_script() {
  script_open = 0;
  console_set_input(nullptr);
  fclose(static_cast<FILE *>(stream_));
}

void dialog_script::expect_used_up() {
  FILE *f = static_cast<FILE *>(stream_);
  std::string rest;
  for (int c = getc(f); c != EOF; c = getc(f))
    if (!isspace(c)) rest += static_cast<char>(c);
  EXPECT_EQ(rest, "") << "answers left unread";
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

std::string format(const char *fmt, ...) {
  char text[1024];
  va_list args;
  va_start(args, fmt);
  vsnprintf(text, sizeof text, fmt, args);
  va_end(args);
  return text;
}

int count_occurrences(const std::string &text, const std::string &what) {
  int c = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) c++;
  return c;
}

path_rows run_path_rows(const std::string &name, int steps) {
  path_rows m;
  program_run r = run_program("'" + program_path("linkmotion-path") + "' " + name + " " +
                                  std::to_string(steps),
                              "", source_path("mechanisms"));
  EXPECT_EQ(r.status, 0) << name << ": " << r.errors;
  std::istringstream in(r.output);
  std::string line;
  std::getline(in, line);
  m.n = static_cast<int>(std::count(line.begin(), line.end(), ',') - 1) / 2;
  while (std::getline(in, line)) {
    std::vector<double> v;
    std::istringstream f(line);
    std::string cell;
    while (std::getline(f, cell, ',')) v.push_back(std::strtod(cell.c_str(), nullptr));
    if (static_cast<int>(v.size()) != 2 + 2 * m.n) continue;
    m.drive.push_back(v[1]);
    std::vector<point> J(m.n + 1, point{0.0, 0.0});
    for (int i = 1; i <= m.n; i++) J[i] = {v[2 * i], v[2 * i + 1]};
    m.J.push_back(J);
  }
  EXPECT_EQ(m.J.size(), static_cast<size_t>(steps)) << name;
  return m;
}

std::vector<point> traced_path(const path_rows &m, int joint) {
  std::vector<point> p;
  for (const std::vector<point> &row : m.J) p.push_back(row[joint]);
  return p;
}

void load_library_dimensions(const std::string &name) {
  console_capture quiet;
  ASSERT_EQ(load_file_for_test(source_path("mechanisms/" + name)), 1) << name;
}

a00_joints load_a00_for_test() {
  a00_joints a = {0, 0, 0, 0, 0};
  EXPECT_EQ(load_file_for_test(source_path("mechanisms/a00")), 1);
  const mechanism &m = mech;
  EXPECT_EQ(m.n, 5);
  EXPECT_EQ(m.rs, 'B');
  a.crank_pivot = m.id;
  a.crank_pin = m.jd;
  for (int i = 1; i <= m.n; i++)
    if (i != a.crank_pivot && m.J_known[i] == 'Y') a.rocker_pivot = i;
  for (int i = 1; i <= m.n; i++)
    if (i != a.crank_pivot && m.link_exists[i][a.rocker_pivot] == 'Y') a.rocker_pin = i;
  for (int i = 1; i <= m.n; i++)
    if (i != a.crank_pivot && i != a.crank_pin && i != a.rocker_pin && i != a.rocker_pivot)
      a.coupler_point = i;
  EXPECT_TRUE(a.rocker_pivot && a.rocker_pin && a.coupler_point) << "a00 is no longer a four-bar";
  EXPECT_EQ(m.l[a.crank_pivot][a.crank_pin], a00_crank);
  EXPECT_EQ(m.l[a.crank_pin][a.rocker_pin], a00_coupler);
  EXPECT_EQ(m.l[a.rocker_pin][a.rocker_pivot], a00_rocker);
  EXPECT_EQ(m.l[a.crank_pin][a.coupler_point], a00_pin_to_point);
  EXPECT_EQ(m.l[a.rocker_pin][a.coupler_point], a00_rocker_pin_to_point);
  return a;
}

int load_text_for_test(const std::string &text, std::string *echo) {
  const std::string path = write_temp_file(text);
  const int ok = load_file_for_test(path, echo);
  unlink(path.c_str());
  return ok;
}
