// linkmotion-path FILE [STEPS]: the joint positions of a motion as CSV.
//
// FILE is loaded as the program loads it (a path, or a name of the bundled
// library), without waiting for any key; then the program's initial frame
// is solved and STEPS presses of "s" follow, each solved exactly as the
// window solves it (branch rules, dead-point reversal, trace slot).  After
// every step one row: step_count, the drive value of the frame, and x, y of
// every joint.  Console messages go to standard error; standard output
// carries only the CSV.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "app/motion.h"
#include "app/setup_controller.h"
#include "model/console.h"
#include "model/mechanism_model.h"

constexpr int default_steps = 360;
constexpr int max_steps = 100000000;  // a bound on the rows of one run
constexpr int search_notches = 72;    // one turn of 5 degrees, or 72 slide notches

static int usage() {
  con_printf("\n使い方: linkmotion-path ファイル名 [ステップ数]\n"
             "  ファイル名  機構データファイル，又は機構ライブラリの名前 (例 a00)\n"
             "  ステップ数  's'キーを押す回数 0～%d (省略時 %d)\n",
             max_steps, default_steps);
  con_flush();
  return 2;
}

static int parse_steps(const char *text, int *steps) {
  char *end;
  errno = 0;
  long v = strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || v < 0 || v > max_steps) return 0;
  *steps = static_cast<int>(v);
  return 1;
}

// The data of one frame goes to standard output, not to the console.
static void print_header(FILE *out, int n) {
  fputs("step,drive", out);
  for (int i = 1; i <= n; i++) fprintf(out, ",x%d,y%d", i, i);
  fputc('\n', out);
}

static void print_row(FILE *out) {
  fprintf(out, "%d,%.9f", motion.step_count, motion.drive_value);
  for (int i = 1; i <= mech.n; i++) fprintf(out, ",%.9f,%.9f", mech.J[i].x, mech.J[i].y);
  fputc('\n', out);
}

int main(int argc, char **argv) {
  int steps = default_steps;
  console_set_output(stderr);
  if (argc < 2 || argc > 3) return usage();
  if (argc == 3 && !parse_steps(argv[2], &steps)) return usage();
  if (!batch_load(argv[1], search_notches)) {
    con_printf("\n");
    con_flush();
    return 1;
  }
  reset_animation();
  solve_frame();  // the initial configuration, as the window shows it first
  con_flush();
  FILE *out = stdout;
  print_header(out, mech.n);
  for (int s = 1; s <= steps; s++) {
    motion_step();
    solve_frame();
    print_row(out);
  }
  con_printf("\n");
  con_flush();
  if (fflush(out) != 0 || ferror(out)) {
    fprintf(stderr, "linkmotion-path: cannot write the rows\n");
    return 1;
  }
  return 0;
}
