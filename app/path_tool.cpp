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
//   --gif OUT, --animated-svg OUT
//                  the motion as a looping animation: a frame every K steps
//                  (--every K, default 1) from step 0 up to but not
//                  including STEPS, WxH pixels (--size, default 800x800),
//                  MS milliseconds a frame (--delay, default 40)
//   --report       instead of the rows, the quality report of the mechanism
//                  (mobility, drive range, transmission angles, output
//                  motion, four-bar classes, traced path) on standard output
//   --json         with --report: the report as JSON
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "analysis/fit_report.h"
#include "analysis/kinematic_coefficients.h"
#include "analysis/quality_report.h"
#include "app/motion.h"
#include "app/setup_controller.h"
#include "draw/animation.h"
#include "draw/svg_picture.h"
#include "model/console.h"
#include "model/mechanism_model.h"

constexpr int default_steps = 360;
// Most rows of one run: 100000 steps of one degree are 277 turns of the
// crank, far more than any curve needs, and the path of the run (16 bytes a
// step) stays below 2 MB.
constexpr int max_steps = 100000;
constexpr int search_notches = 72;    // one turn of 5 degrees, or 72 slide notches
// Frame delays, milliseconds: the GIF counts hundredths of a second, and
// browsers show a delay below 20 ms as 100 ms; 10 s a frame is a slide show.
constexpr int default_delay = 40;     // the window's play timer
constexpr int min_delay = 20, max_delay = 10000;

struct tool_options {
  const char *file;
  int steps;
  int derivatives, fit;
  const char *svg;  // nullptr: no picture
  const char *gif, *animated_svg;  // nullptr: no such animation
  int every;                       // steps from one frame to the next
  int width, height;               // pixels of a frame
  int delay;                       // milliseconds a frame stands
  int frame_options;               // 1 when --every, --size or --delay was given
  int report, json;
  int steps_given;
};

// The usage text to out: standard output for --help, the console (standard
// error) after a bad argument.
static void print_usage(FILE *out) {
  fprintf(out, "\n使い方: linkmotion-path [--derivatives] [--fit] [--svg 図ファイル] [--gif 図ファイル]\n"
             "         [--animated-svg 図ファイル] [--every K] [--size WxH] [--delay MS] ファイル名 [ステップ数]\n"
             "        linkmotion-path --report [--json] ファイル名\n"
             "  ファイル名     機構データファイル，又は機構ライブラリの名前 (例 a00)\n"
             "  ステップ数     's'キーを押す回数 0～%d (省略時 %d)\n"
             "  --derivatives  各関節の x,y の後に dx/dq,dy/dq,d2x/dq2,d2y/dq2 (q は駆動値)\n"
             "  --fit          行の後に，軌跡の最適な直線・円・円錐曲線を標準エラーへ\n"
             "  --svg 図ファイル  初期形態と軌跡の SVG 図\n"
             "  --gif 図ファイル  運動の GIF アニメーション (繰り返し)\n"
             "  --animated-svg 図ファイル  運動の SVG アニメーション (繰り返し)\n"
             "  --every K      K ステップごとに 1 コマ (省略時 1，コマ数は %d まで)\n"
             "  --size WxH     コマの幅と高さ %d～%d 画素 (省略時 %dx%d)\n"
             "  --delay MS     1 コマの時間 %d～%d ミリ秒 (省略時 %d)\n"
             "  --report       行の代わりに機構の品質報告 (自由度，駆動範囲，伝達角，出力運動，四節の型，軌跡)\n"
             "  --json         --report を JSON で\n",
             max_steps, default_steps, max_frames, min_frame_pixels, max_frame_pixels, picture_pixels,
             picture_pixels, min_delay, max_delay, default_delay);
}

// A bad argument: what was wrong, then the usage; exit status 2.
static int bad_argument(const char *what, const char *arg) {
  con_flush();
  fprintf(stderr, "\nlinkmotion-path: %s", what);
  if (arg) fprintf(stderr, " (got \"%s\")", shown(arg));
  fputc('\n', stderr);
  print_usage(stderr);
  return 2;
}

// A whole number lo..hi that fills text, into *value; 1 read, 0 not.
static int parse_whole(const char *text, long lo, long hi, int *value) {
  char *end;
  errno = 0;
  long v = strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || v < lo || v > hi) return 0;
  *value = static_cast<int>(v);
  return 1;
}

static int parse_steps(const char *text, int *steps) { return parse_whole(text, 0, max_steps, steps); }

// "WxH", each a whole number of frame pixels.
static int parse_size(const char *text, int *width, int *height) {
  const char *x = strchr(text, 'x');
  if (!x || x == text || x - text > 15) return 0;
  char w[16];
  memcpy(w, text, x - text);
  w[x - text] = '\0';
  return parse_whole(w, min_frame_pixels, max_frame_pixels, width) &&
         parse_whole(x + 1, min_frame_pixels, max_frame_pixels, height);
}

// Frames of a run: steps 0, K, 2K, ... below STEPS, and step 0 of a run of
// no step.
static long frames_of(int steps, int every) { return steps == 0 ? 1 : (steps - 1L) / every + 1; }

enum parse_result { parse_ok, parse_help, parse_bad };

// Options anywhere before "--"; then FILE and STEPS.  A bad argument is
// reported (with the usage) before parse_bad is returned.
static parse_result parse_arguments(int argc, char **argv, tool_options *o) {
  *o = tool_options{nullptr, default_steps, 0, 0, nullptr, nullptr, nullptr, 1, picture_pixels, picture_pixels,
                    default_delay, 0, 0, 0, 0};
  static char steps_message[80], every_message[80], size_message[96], delay_message[96], frames_message[128];
  snprintf(steps_message, sizeof steps_message, "STEPS must be a whole number from 0 to %d", max_steps);
  snprintf(every_message, sizeof every_message, "--every must be a whole number of steps from 1 to %d", max_steps);
  snprintf(size_message, sizeof size_message, "--size must be WIDTHxHEIGHT, each a whole number of pixels from %d to %d",
           min_frame_pixels, max_frame_pixels);
  snprintf(delay_message, sizeof delay_message, "--delay must be a whole number of milliseconds from %d to %d",
           min_delay, max_delay);
  // A value of an option: the next argument, which must be there.
  auto value = [&](int *a) -> const char * { return *a + 1 < argc && argv[*a + 1][0] != '\0' ? argv[++*a] : nullptr; };
  int positional = 0, options_end = 0;
  for (int a = 1; a < argc; a++) {
    const char *arg = argv[a];
    if (!options_end && strncmp(arg, "--", 2) == 0) {
      if (strcmp(arg, "--") == 0) options_end = 1;
      else if (strcmp(arg, "--help") == 0) return parse_help;
      else if (strcmp(arg, "--derivatives") == 0) o->derivatives = 1;
      else if (strcmp(arg, "--fit") == 0) o->fit = 1;
      else if (strcmp(arg, "--report") == 0) o->report = 1;
      else if (strcmp(arg, "--json") == 0) o->json = 1;
      else if (strcmp(arg, "--svg") == 0) {
        if (a + 1 >= argc || argv[a + 1][0] == '\0') return bad_argument("--svg needs the name of a picture file", nullptr), parse_bad;
        o->svg = argv[++a];
      } else if (strcmp(arg, "--gif") == 0 || strcmp(arg, "--animated-svg") == 0) {
        const char *name = value(&a);
        if (!name) return bad_argument(arg[2] == 'g' ? "--gif needs the name of a picture file" : "--animated-svg needs the name of a picture file", nullptr), parse_bad;
        (arg[2] == 'g' ? o->gif : o->animated_svg) = name;
      } else if (strcmp(arg, "--every") == 0) {
        const char *v = value(&a);
        if (!v || !parse_whole(v, 1, max_steps, &o->every)) return bad_argument(every_message, v), parse_bad;
        o->frame_options = 1;
      } else if (strcmp(arg, "--size") == 0) {
        const char *v = value(&a);
        if (!v || !parse_size(v, &o->width, &o->height)) return bad_argument(size_message, v), parse_bad;
        o->frame_options = 1;
      } else if (strcmp(arg, "--delay") == 0) {
        const char *v = value(&a);
        if (!v || !parse_whole(v, min_delay, max_delay, &o->delay)) return bad_argument(delay_message, v), parse_bad;
        o->frame_options = 1;
      } else return bad_argument("unknown option", arg), parse_bad;
      continue;
    }
    if (positional == 0) o->file = arg;
    else if (positional == 1 && !parse_steps(arg, &o->steps)) return bad_argument(steps_message, arg), parse_bad;
    else if (positional == 1) o->steps_given = 1;
    else if (positional >= 2) return bad_argument("more than FILE and STEPS given", arg), parse_bad;
    positional++;
  }
  if (!o->file) return bad_argument("FILE is missing", nullptr), parse_bad;
  if (o->frame_options && !o->gif && !o->animated_svg)
    return bad_argument("--every, --size and --delay go with --gif or --animated-svg", nullptr), parse_bad;
  if ((o->gif || o->animated_svg) && frames_of(o->steps, o->every) > max_frames) {
    snprintf(frames_message, sizeof frames_message,
             "an animation has at most %d frames: STEPS %d with --every %d gives %ld", max_frames, o->steps, o->every,
             frames_of(o->steps, o->every));
    return bad_argument(frames_message, nullptr), parse_bad;
  }
  if (o->json && !o->report) return bad_argument("--json goes with --report", nullptr), parse_bad;
  if (o->report && (o->derivatives || o->fit || o->svg || o->gif || o->animated_svg || o->frame_options || o->steps_given))
    return bad_argument("--report takes FILE alone (no STEPS, --derivatives, --fit, --svg or an animation)", nullptr), parse_bad;
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

// Closes a picture file written with `written` (1 written, 0 not); 1 when
// both went well, else 0 with the message.
static int close_picture(const char *path, FILE *file, int written) {
  if (fclose(file) != 0) written = 0;
  if (!written) con_printf("\n図ファイル %s を書き込めませんでした．", shown(path));
  return written;
}

// Opens a picture file for writing, nullptr with the message when it cannot.
static FILE *open_picture(const char *path) {
  FILE *f = fopen(path, "wb");
  if (!f) {
    con_printf("\n図ファイル %s を開けません：%s\n", shown(path), strerror(errno));
    con_flush();
  }
  return f;
}

static animation frames;  // the frames of --gif and --animated-svg

// The quality report of FILE on standard output.  The figures start from
// the file's tt0 or, where that does not assemble, from the first raised
// value that does (as the program raises it); a mechanism that assembles
// at neither gets the reason found at the file's tt0.  Exit 0 with figures,
// 1 without.
static int run_report(const tool_options &o) {
  static quality_report rep;
  rep = quality_report{};
  snprintf(rep.file, sizeof rep.file, "%s", o.file);
  console_set_batch(1);
  init_model();
  snprintf(mech.fname, sizeof mech.fname, "%s", o.file);
  int loaded = strlen(o.file) < static_cast<size_t>(fname_size) && read_mechanism_file();
  if (loaded) {
    loaded = batch_load(o.file, 0);
    rep.file_tt0 = mech.tt0;
    if (!loaded) {
      diagnose_failure(&rep.at_file_tt0);
      // What the file gives, counted before any other tt0 is tried.
      compute_mobility(0, &rep.mobility);
      snprintf(rep.title, sizeof rep.title, "%s", mech.title);
      rep.rs = mech.rs, rep.id = mech.id, rep.jd = mech.jd, rep.kd = mech.kd;
      rep.tt0 = mech.tt0;
      loaded = batch_load(o.file, search_notches);
    }
    if (loaded) loaded = compute_quality_report(&rep);
  } else {
    rep.at_file_tt0.kind = fails_unreadable;
  }
  con_printf("\n");
  con_flush();
  if (o.json) write_report_json(stdout, &rep);
  else write_report_text(stdout, &rep);
  if (fflush(stdout) != 0 || ferror(stdout)) return 1;
  return rep.assembles ? 0 : 1;
}

int main(int argc, char **argv) {
  tool_options o;
  console_set_output(stderr);
  switch (parse_arguments(argc, argv, &o)) {
    case parse_help: print_usage(stdout); return fflush(stdout) == 0 ? 0 : 1;
    case parse_bad: return 2;
    case parse_ok: break;
  }
  if (o.report) return run_report(o);
  if (!batch_load(o.file, search_notches)) {
    con_printf("\n");
    con_flush();
    return 1;
  }
  reset_animation();
  solve_frame();  // the initial configuration, as the window shows it first
  static picture_posture start;
  take_posture(&start);
  FILE *picture = nullptr, *gif = nullptr, *moving_svg = nullptr;
  if ((o.svg && !(picture = open_picture(o.svg))) || (o.gif && !(gif = open_picture(o.gif))) ||
      (o.animated_svg && !(moving_svg = open_picture(o.animated_svg))))
    return 1;
  const int animated = gif || moving_svg;
  frames.count = 0;
  frames.trace = run_path;
  frames.delay_ms = o.delay;
  if (animated) add_animation_frame(&frames, 0);
  con_flush();
  FILE *out = stdout;
  static joint_coefficients coefs[joint_slots];
  print_header(out, mech.n, o.derivatives);
  run_path[0] = motion.trace[0];
  for (int s = 1; s <= o.steps; s++) {
    motion_step();
    solve_frame();
    record_path(s);
    if (animated && s < o.steps && s % o.every == 0) add_animation_frame(&frames, s);
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
  if (picture && !close_picture(o.svg, picture, write_svg_picture(picture, &start, run_path, o.steps))) status = 1;
  if (animated) frames.frame = fit_animation(&frames, o.width, o.height);
  if (gif && !close_picture(o.gif, gif, write_gif_animation(gif, &frames))) status = 1;
  if (moving_svg && !close_picture(o.animated_svg, moving_svg, write_svg_animation(moving_svg, &frames))) status = 1;
  con_printf("\n");
  con_flush();
  return status;
}
