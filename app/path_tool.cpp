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
// Most rows of one run: 100000 steps of one degree are 277 turns of the
// crank, far more than any curve needs, and the path of the run (16 bytes a
// step) stays below 2 MB.
constexpr int max_steps = 100000;
constexpr int search_notches = 72;    // one turn of 5 degrees, or 72 slide notches

struct tool_options {
  const char *file;
  int steps;
  int derivatives, fit;
  const char *svg;  // nullptr: no picture
};

// The usage text to out: standard output for --help, the console (standard
// error) after a bad argument.
static void print_usage(FILE *out) {
  fprintf(out, "\n使い方: linkmotion-path [--derivatives] [--fit] [--svg 図ファイル] ファイル名 [ステップ数]\n"
             "  ファイル名     機構データファイル，又は機構ライブラリの名前 (例 a00)\n"
             "  ステップ数     's'キーを押す回数 0～%d (省略時 %d)\n"
             "  --derivatives  各関節の x,y の後に dx/dq,dy/dq,d2x/dq2,d2y/dq2 (q は駆動値)\n"
             "  --fit          行の後に，軌跡の最適な直線・円・円錐曲線を標準エラーへ\n"
             "  --svg 図ファイル  初期形態と軌跡の SVG 図\n",
             max_steps, default_steps);
}

// A bad argument: what was wrong, then the usage; exit status 2.
static int bad_argument(const char *what, const char *arg) {
  con_flush();
  fprintf(stderr, "\nlinkmotion-path: %s", what);
  if (arg) fprintf(stderr, " (got \"%s\")", arg);
  fputc('\n', stderr);
  print_usage(stderr);
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

enum parse_result { parse_ok, parse_help, parse_bad };

// Options anywhere before "--"; then FILE and STEPS.  A bad argument is
// reported (with the usage) before parse_bad is returned.
static parse_result parse_arguments(int argc, char **argv, tool_options *o) {
  *o = tool_options{nullptr, default_steps, 0, 0, nullptr};
  static char steps_message[80];
  snprintf(steps_message, sizeof steps_message, "STEPS must be a whole number from 0 to %d", max_steps);
  int positional = 0, options_end = 0;
  for (int a = 1; a < argc; a++) {
    const char *arg = argv[a];
    if (!options_end && strncmp(arg, "--", 2) == 0) {
      if (strcmp(arg, "--") == 0) options_end = 1;
      else if (strcmp(arg, "--help") == 0) return parse_help;
      else if (strcmp(arg, "--derivatives") == 0) o->derivatives = 1;
      else if (strcmp(arg, "--fit") == 0) o->fit = 1;
      else if (strcmp(arg, "--svg") == 0) {
        if (a + 1 >= argc || argv[a + 1][0] == '\0') return bad_argument("--svg needs the name of a picture file", nullptr), parse_bad;
        o->svg = argv[++a];
      } else return bad_argument("unknown option", arg), parse_bad;
      continue;
    }
    if (positional == 0) o->file = arg;
    else if (positional == 1 && !parse_steps(arg, &o->steps)) return bad_argument(steps_message, arg), parse_bad;
    else if (positional >= 2) return bad_argument("more than FILE and STEPS given", arg), parse_bad;
    positional++;
  }
  if (!o->file) return bad_argument("FILE is missing", nullptr), parse_bad;
  return parse_ok;
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
// row counts every row from 1 (the window's step_count stops at 1000).
static void print_row(FILE *out, int row, const joint_coefficients *coefs) {
  fprintf(out, "%d,%.9f", row, motion.drive_value);
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

// The path of the whole run, slot s after step s (slot 0 the initial frame,
// a gap): the window's trace holds the first 1000 steps; beyond them the
// traced joint of every frame that assembled, a gap where a frame gave up.
static point run_path[max_steps + 1];

static void record_path(int row) {
  if (row < trace_limit) run_path[row] = motion.trace[row];
  else if (motion.stalled) run_path[row] = point{trace_gap, trace_gap};
  else run_path[row] = mech.J[mech.kten];
}

static int write_picture(const char *path, FILE *file, const picture_posture *start, int count) {
  int ok = write_svg_picture(file, start, run_path, count);
  if (fclose(file) != 0) ok = 0;
  if (!ok) con_printf("\n図ファイル %s を書き込めませんでした．", path);
  return ok;
}

int main(int argc, char **argv) {
  tool_options o;
  console_set_output(stderr);
  switch (parse_arguments(argc, argv, &o)) {
    case parse_help: print_usage(stdout); return fflush(stdout) == 0 ? 0 : 1;
    case parse_bad: return 2;
    case parse_ok: break;
  }
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
  run_path[0] = motion.trace[0];
  for (int s = 1; s <= o.steps; s++) {
    motion_step();
    solve_frame();
    record_path(s);
    // The coefficients keep the replay's solves: their acceptance of a
    // finite-difference estimate reacts to rounding, and with the compiled
    // solves a few fields at their limit settle differently.
    if (o.derivatives) kinematic_coefficients(motion.drive_value, coefs);
    print_row(out, s, o.derivatives ? coefs : nullptr);
  }
  int status = 0;
  if (fflush(out) != 0 || ferror(out)) {
    con_printf("\nlinkmotion-path: cannot write the rows\n");
    status = 1;
  }
  if (o.fit) {
    static point points[max_steps + 1];
    report_path_fit(mech.kten, points, traced_points(run_path, o.steps, points));
  }
  if (picture && !write_picture(o.svg, picture, &start, o.steps)) status = 1;
  con_printf("\n");
  con_flush();
  return status;
}
