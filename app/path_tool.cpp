// linkmotion-path [OPTIONS] FILE [STEPS]: the joint positions of a motion as
// CSV.
//
// FILE is loaded as the program loads it (a path, or a name of the bundled
// library), without waiting for any key; then the program's initial frame
// is solved and STEPS presses of "s" follow, each solved exactly as the
// window solves it (branch rules, dead-point reversal, trace slot).  After
// every step one row: step_count, the drive value of the frame, and x, y of
// every joint.  Console messages go to standard error; standard output
// carries only the CSV.
//
// Options:
//   --derivatives  after each joint's x, y its kinematic coefficients
//                  dx/dq, dy/dq, d2x/dq2, d2y/dq2 (empty where none exists)
//   --fit          after the rows, the best line, circle and conic of the
//                  traced joint's path, on standard error
//   --svg PICTURE  a picture of the mechanism at tt0 with the traced path
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "analysis/fit_report.h"
#include "analysis/kinematic_coefficients.h"
#include "app/motion.h"
#include "app/setup_controller.h"
#include "draw/svg_picture.h"
#include "model/console.h"
#include "model/mechanism_model.h"

constexpr int default_steps = 360;
constexpr int max_steps = 100000000;  // a bound on the rows of one run
constexpr int search_notches = 72;    // one turn of 5 degrees, or 72 slide notches

struct tool_options {
  const char *file;
  int steps;
  int derivatives, fit;
  const char *svg;  // nullptr: no picture
};

static int usage() {
  con_printf("\n使い方: linkmotion-path [--derivatives] [--fit] [--svg 図ファイル] ファイル名 [ステップ数]\n"
             "  ファイル名     機構データファイル，又は機構ライブラリの名前 (例 a00)\n"
             "  ステップ数     's'キーを押す回数 0～%d (省略時 %d)\n"
             "  --derivatives  各関節の x,y の後に dx/dq,dy/dq,d2x/dq2,d2y/dq2 (q は駆動値)\n"
             "  --fit          行の後に，軌跡の最適な直線・円・円錐曲線を標準エラーへ\n"
             "  --svg 図ファイル  初期形態と軌跡の SVG 図\n",
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

// Options anywhere before "--"; then FILE and STEPS.  1 understood.
static int parse_arguments(int argc, char **argv, tool_options *o) {
  *o = tool_options{nullptr, default_steps, 0, 0, nullptr};
  int positional = 0, options_end = 0;
  for (int a = 1; a < argc; a++) {
    const char *arg = argv[a];
    if (!options_end && strncmp(arg, "--", 2) == 0) {
      if (strcmp(arg, "--") == 0) options_end = 1;
      else if (strcmp(arg, "--derivatives") == 0) o->derivatives = 1;
      else if (strcmp(arg, "--fit") == 0) o->fit = 1;
      else if (strcmp(arg, "--svg") == 0 && a + 1 < argc && argv[a + 1][0] != '\0') o->svg = argv[++a];
      else return 0;
      continue;
    }
    if (positional == 0) o->file = arg;
    else if (positional == 1 && !parse_steps(arg, &o->steps)) return 0;
    else if (positional >= 2) return 0;
    positional++;
  }
  return o->file != nullptr;
}

// The data of one frame goes to standard output, not to the console.
static void print_header(FILE *out, int n, int derivatives) {
  fputs("step,drive", out);
  for (int i = 1; i <= n; i++) {
    fprintf(out, ",x%d,y%d", i, i);
    if (derivatives) fprintf(out, ",dx%d/dq,dy%d/dq,d2x%d/dq2,d2y%d/dq2", i, i, i, i);
  }
  fputc('\n', out);
}

// coefs is nullptr without --derivatives; an unknown coefficient is an
// empty field.
static void print_row(FILE *out, const joint_coefficients *coefs) {
  fprintf(out, "%d,%.9f", motion.step_count, motion.drive_value);
  for (int i = 1; i <= mech.n; i++) {
    fprintf(out, ",%.9f,%.9f", mech.J[i].x, mech.J[i].y);
    if (!coefs) continue;
    for (int f = 0; f < coef_fields; f++) {
      fputc(',', out);
      if (coefs[i].known[f]) fprintf(out, "%.12g", coefs[i].value[f]);
    }
  }
  fputc('\n', out);
}

static int write_picture(const char *path, FILE *file, const picture_posture *start) {
  const int count = motion.step_count < trace_slots - 1 ? motion.step_count : trace_slots - 1;
  int ok = write_svg_picture(file, start, motion.trace, count);
  if (fclose(file) != 0) ok = 0;
  if (!ok) con_printf("\n図ファイル %s を書き込めませんでした．", path);
  return ok;
}

int main(int argc, char **argv) {
  tool_options o;
  console_set_output(stderr);
  if (!parse_arguments(argc, argv, &o)) return usage();
  if (!batch_load(o.file, search_notches)) {
    con_printf("\n");
    con_flush();
    return 1;
  }
  reset_animation();
  solve_frame();  // the initial configuration, as the window shows it first
  static picture_posture start;
  take_posture(&start);
  FILE *picture = nullptr;
  if (o.svg && !(picture = fopen(o.svg, "w"))) {
    con_printf("\n図ファイル %s を開けません：%s\n", o.svg, strerror(errno));
    con_flush();
    return 1;
  }
  con_flush();
  FILE *out = stdout;
  static joint_coefficients coefs[joint_slots];
  print_header(out, mech.n, o.derivatives);
  for (int s = 1; s <= o.steps; s++) {
    motion_step();
    solve_frame();
    if (o.derivatives) kinematic_coefficients(motion.drive_value, coefs);
    print_row(out, o.derivatives ? coefs : nullptr);
  }
  int status = 0;
  if (fflush(out) != 0 || ferror(out)) {
    con_printf("\nlinkmotion-path: cannot write the rows\n");
    status = 1;
  }
  if (o.fit) {
    static point points[trace_slots];
    const int last = motion.step_count < trace_slots - 1 ? motion.step_count : trace_slots - 1;
    report_path_fit(mech.kten, points, traced_points(motion.trace, last, points));
  }
  if (picture && !write_picture(o.svg, picture, &start)) status = 1;
  con_printf("\n");
  con_flush();
  return status;
}
