#include "tests/window_support.h"

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "app/window.h"
#include "tests/test_support.h"

constexpr int server_start_ms = 15000;  // a loaded CI machine may take seconds
constexpr int server_stop_ms = 5000;

static long now_ms() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

x_server::x_server() {
  int fds[2];
  if (pipe(fds) != 0) return;
  const pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    return;
  }
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // no server outlives a crashed test
    close(fds[0]);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    char fd_text[16];
    snprintf(fd_text, sizeof fd_text, "%d", fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd_text, "-nolisten", "tcp", "-screen", "0",
           "1024x1024x24", "-noreset", static_cast<char *>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  pid_ = child;
  // The server writes its display number once it accepts connections.
  char number[32] = {0};
  size_t got = 0;
  const long deadline = now_ms() + server_start_ms;
  while (got < sizeof number - 1 && !memchr(number, '\n', got)) {
    long left = deadline - now_ms();
    if (left <= 0) break;
    struct pollfd p = {fds[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
    ssize_t r = read(fds[0], number + got, sizeof number - 1 - got);
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  close(fds[0]);
  if (!memchr(number, '\n', got)) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return;
  }
  display_ = ":" + std::string(number, strcspn(number, "\n"));
  setenv("DISPLAY", display_.c_str(), 1);
}

x_server::~x_server() {
  if (pid_ <= 0) return;
  unsetenv("DISPLAY");
  kill(pid_, SIGTERM);
  const long deadline = now_ms() + server_stop_ms;
  while (waitpid(pid_, nullptr, WNOHANG) == 0) {
    if (now_ms() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      break;
    }
    usleep(10000);
  }
}

int open_program_window() {
  static int opened = 0;
  if (opened) return 1;
  static char name[] = "linkmotion-test";
  static char *argv[] = {name, nullptr};
  int argc = 1;
  create_window(&argc, argv);
  Display *d = glXGetCurrentDisplay();
  const Window w = glXGetCurrentDrawable();
  const long deadline = now_ms() + 5000;
  while (now_ms() < deadline) {
    glutMainLoopEvent();
    XWindowAttributes a;
    if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable) {
      for (int i = 0; i < 10; i++) glutMainLoopEvent();  // the first expose and its frame
      opened = 1;
      return 1;
    }
    usleep(5000);
  }
  return 0;
}

void close_program_window() {
  if (glutGetWindow() != 0) glutDestroyWindow(glutGetWindow());
  glutExit();
}

frame_pixels::frame_pixels() {
  width_ = glutGet(GLUT_WINDOW_WIDTH);
  height_ = glutGet(GLUT_WINDOW_HEIGHT);
  std::vector<unsigned char> up(static_cast<size_t>(width_) * height_ * 3);
  glFinish();
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, up.data());
  bytes_.resize(up.size());
  const size_t row = static_cast<size_t>(width_) * 3;
  for (int y = 0; y < height_; y++)  // OpenGL's rows start at the bottom
    memcpy(&bytes_[y * row], &up[(height_ - 1 - y) * row], row);
}

frame_pixels::frame_pixels(const std::vector<unsigned char> &rgb_rows, int width, int height)
    : bytes_(rgb_rows), width_(width), height_(height) {}

rgb frame_pixels::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return {-1, -1, -1};
  const unsigned char *p = &bytes_[(static_cast<size_t>(y) * width_ + x) * 3];
  return {p[0], p[1], p[2]};
}

int column_of_world(double x) { return static_cast<int>((((-50.0 + x) * 0.005) + 1.0) * 400.0); }
int row_of_world(double y) { return static_cast<int>((1.0 - ((-50.0 + y) * 0.005)) * 400.0); }

bool is_red(rgb c) { return c.r > 200 && c.g < 60 && c.b < 60; }
bool is_blue(rgb c) { return c.b > 200 && c.r < 60 && c.g < 60; }
bool is_white(rgb c) { return c.r > 230 && c.g > 230 && c.b > 230; }
bool is_black(rgb c) { return c.r >= 0 && c.r < 40 && c.g < 40 && c.b < 40; }
bool is_dark(rgb c) { return c.r >= 0 && c.r < 80 && c.g < 80 && c.b < 80; }

static std::vector<pixel_run> runs(const frame_pixels &f, int fixed, int from, int to,
                                   bool along_row, bool (*test)(rgb)) {
  std::vector<pixel_run> found;
  int start = -1;
  for (int v = from; v <= to + 1; v++) {
    bool hit = v <= to && test(along_row ? f.at(v, fixed) : f.at(fixed, v));
    if (hit && start < 0) start = v;
    if (!hit && start >= 0) {
      found.push_back({start, v - start});
      start = -1;
    }
  }
  return found;
}

std::vector<pixel_run> runs_in_row(const frame_pixels &f, int y, int x0, int x1,
                                   bool (*test)(rgb)) {
  return runs(f, y, x0, x1, true, test);
}

std::vector<pixel_run> runs_in_column(const frame_pixels &f, int x, int y0, int y1,
                                      bool (*test)(rgb)) {
  return runs(f, x, y0, y1, false, test);
}

std::string run_with_limit(const std::string &command, int seconds, int *status) {
  std::string line = "timeout -k 2 " + std::to_string(seconds) + " " + command;
  FILE *p = popen(line.c_str(), "r");
  std::string out;
  if (!p) {
    if (status) *status = -1;
    return out;
  }
  char buf[4096];
  size_t r;
  while ((r = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, r);
  int raw = pclose(p);
  if (status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  return out;
}

bool read_ppm(const std::string &path, std::vector<unsigned char> *rgb_rows, int *width,
              int *height) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, max = 0;
  if (!(in >> magic >> w >> h >> max) || magic != "P6" || max != 255 || w <= 0 || h <= 0)
    return false;
  in.get();  // the single blank after the header
  rgb_rows->resize(static_cast<size_t>(w) * h * 3);
  if (!in.read(reinterpret_cast<char *>(rgb_rows->data()), rgb_rows->size())) return false;
  *width = w;
  *height = h;
  return true;
}

int spawn_program(const std::string &command, const std::string &dir, const std::string &in_path,
                  const std::string &out_path) {
  const pid_t child = fork();
  if (child != 0) return child;
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (chdir(dir.c_str()) != 0) _exit(126);
  int in = open(in_path.c_str(), O_RDONLY);
  int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (in < 0 || out < 0) _exit(126);
  dup2(in, 0);
  dup2(out, 1);
  dup2(out, 2);
  execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char *>(nullptr));
  _exit(127);
}

int wait_for_exit(int pid, int seconds) {
  const long deadline = now_ms() + seconds * 1000L;
  int raw;
  while (waitpid(pid, &raw, WNOHANG) == 0) {
    if (now_ms() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      return -1;
    }
    usleep(10000);
  }
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

bool chromium_screenshot(const std::string &svg_file, int budget_ms, std::vector<unsigned char> *rows) {
  const std::string dir = make_temp_dir("linkmotion-shot"), png = dir + "/shot.png", ppm = dir + "/shot.ppm";
  int status = -1;
  run_with_limit("chromium --headless --no-sandbox --disable-gpu --no-first-run "
                 "--disable-background-networking --disable-component-update --disable-sync "
                 "--hide-scrollbars --user-data-dir='" + dir + "/profile' --window-size=800,800 " +
                 (budget_ms > 0 ? "--virtual-time-budget=" + std::to_string(budget_ms) : std::string()) +
                 " --screenshot='" + png + "' 'file://" +
                 svg_file + "' >/dev/null 2>&1",
                 90, &status);
  int w = 0, h = 0;
  const bool ok = status == 0 && (run_with_limit("convert '" + png + "' '" + ppm + "'", 30, &status), status == 0) &&
                  read_ppm(ppm, rows, &w, &h) && w == 800 && h == 800;
  run_with_limit("rm -rf '" + dir + "'", 30);
  return ok;
}
