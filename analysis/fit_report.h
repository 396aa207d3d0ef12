// The report of the path fit of the batch tool: the best straight line,
// circle and conic through the traced points, on the console.
#pragma once

#include "analysis/curve_fit.h"
#include "model/mechanism_model.h"

// A fit counts as exact when its largest deviation is at most this fraction
// of the path's extent (the diagonal of the box around its points).
constexpr double exact_fit = 1e-6;
// A conic whose eccentricity is within this of 1 is reported a parabola.
constexpr double parabola_band = 1e-5;

// Copies the points of trace[0..count] that hold a position (gaps left out)
// into out[0..]; returns how many there are.
int traced_points(const point *trace, int count, point *out);

enum fit_shape { shape_line, shape_circle, shape_conic, shapes };

// The three fits of one path and the best of them.
struct path_fit {
  int joint, count;
  double extent;        // diagonal of the box around the points, world units
  int made[shapes];     // 1 where that fit could be made
  line_fit line;
  circle_fit circle;
  conic_fit conic;
  int best;             // fit_shape of the best, -1 none
  int exact;            // 1: the best lies within exact_fit of the extent
};

// Fits the points p[0..count-1] of joint `joint`.  The best is the first
// of line, circle, conic that is exact; when none is, the one of the least
// deviation.  Returns 1 when some fit was made.
int fit_path(int joint, const point *p, int count, path_fit *out);

// Line `which` (0..4) of the fit's summary, as the batch tool prints it:
//   fit: joint J, P points, extent E
//   fit line: max_dev=M through=(X, Y) direction=(U, V)
//   fit circle: max_dev=M centre=(X, Y) radius=R
//   fit conic: max_dev=M kind=K eccentricity=Q coefficients=A,B,C,D,E,F
//   fit best: line|circle|conic[ K eccentricity=Q] max_dev=M exact|approximate
// A fit that cannot be made reads "fit circle: none (reason)".  Each line
// ends with a newline.
void format_fit_line(const path_fit *f, int which, char *out, int size);
constexpr int fit_lines = 5;

// Fits the points and prints the five lines on the console.  Returns 1 when
// some fit was made.
int report_path_fit(int joint, const point *p, int count);
