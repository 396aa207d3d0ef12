// One frame of holding "s" on the largest mechanism file (most joints, then
// most links, then most solving records): the motion step and the display
// callback with the trace buffer full (1000 points), in the program's
// window on the X display in DISPLAY, timed by the wall clock until the X
// server has taken the frame.
//
//   bench_frame [--mechanisms=DIR] [Google Benchmark flags]
//
// scripts/bench.sh starts a private Xvfb for it.  After the table one line
// gives the frame time against the target.
#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <tuple>

#include "app/motion.h"
#include "app/window.h"
#include "bench/bench_support.h"
#include "draw/scene.h"
#include "model/mechanism_model.h"

constexpr double frame_target_ms = 16.0;  // one frame of a 60 Hz screen
constexpr int window_wait_ms = 10000;     // a loaded machine may take seconds

static long now_ms() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

// The program's window, shown and drawn once.  0 when it did not appear.
static int open_window() {
  static char name[] = "linkmotion-bench";
  static char *argv[] = {name, nullptr};
  int argc = 1;
  create_window(&argc, argv);
  Display *d = glXGetCurrentDisplay();
  const Window w = glXGetCurrentDrawable();
  const long deadline = now_ms() + window_wait_ms;
  while (now_ms() < deadline) {
    glutMainLoopEvent();
    XWindowAttributes a;
    if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable) {
      for (int i = 0; i < 10; i++) glutMainLoopEvent();  // the first expose and its frame
      return 1;
    }
    usleep(5000);
  }
  return 0;
}

// Segments of the trace that draw_trace draws.
static int drawn_segments() {
  int count = 0;
  const point *t = motion.trace;
  for (int b = 0; b < motion.step_count && b + 1 < trace_slots; b++) {
    if (trace_joins(t[b], t[b + 1])) count++;
  }
  return count;
}

static void bm_frame(benchmark::State &state, const std::string &path) {
  if (!load_quietly(path)) {
    state.SkipWithError("does not assemble");
    return;
  }
  reset_animation();
  display();  // the initial configuration, as after the set-up
  // Fill the trace as 1000 presses of "s" would, without drawing them.
  for (int s = 0; s < trace_limit + 1; s++) {
    motion_step();
    solve_frame();
  }
  if (motion.step_count != trace_limit) {
    state.SkipWithError("the trace did not fill");
    return;
  }
  Display *d = glXGetCurrentDisplay();
  for (auto _ : state) {
    motion_step();
    display();
    glFinish();
    XSync(d, False);  // the server has put the frame on the screen
  }
  state.counters["joints"] = mech.n;
  state.counters["links"] = link_count();
  state.counters["trace_segments"] = drawn_segments();
}

int main(int argc, char **argv) {
  std::string dir;
  const std::vector<std::string> names = begin_benchmarks(&argc, argv, "bench_frame", &dir);
  Display *probe = XOpenDisplay(nullptr);
  if (!probe) {
    fprintf(stderr, "bench_frame: no X display (scripts/bench.sh starts Xvfb for it)\n");
    return 1;
  }
  XCloseDisplay(probe);

  std::string largest;
  std::tuple<int, int, int> size(-1, -1, -1);
  for (const std::string &name : names) {
    if (!load_quietly(dir + "/" + name)) continue;
    const std::tuple<int, int, int> s(mech.n, link_count(), mech.junjo_count);
    if (s > size) size = s, largest = name;
  }
  if (largest.empty()) {
    fprintf(stderr, "bench_frame: no mechanism file in %s assembles\n", dir.c_str());
    return 1;
  }
  if (!open_window()) {
    fprintf(stderr, "bench_frame: the window did not appear\n");
    return 1;
  }
  const std::string name = "frame/" + largest + "/full_trace";
  benchmark::RegisterBenchmark(name.c_str(), bm_frame, dir + "/" + largest)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  summary_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double t = reporter.real_ns(name);
  if (t > 0.0) {
    const double ms = t / 1e6;
    printf("\nframe of %s with a full trace: %.3f ms, %.3f of the %.0f ms target (%s)\n",
           largest.c_str(), ms, ms / frame_target_ms, frame_target_ms,
           ms < frame_target_ms ? "met" : "MISSED");
  }
  glutDestroyWindow(glutGetWindow());
  glutExit();
  return 0;
}
