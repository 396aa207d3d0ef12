// Quality figures of the loaded mechanism: mobility, drive range,
// transmission angles, output motion, four-bar classes and the traced path,
// each worked out from the file's facts, its plan and trial solves.
//
// The trial solves run on the one mechanism record on the branch signs the
// plan holds when the report starts; every function that solves puts the
// whole record back before it returns.  Drive values are radians for a
// rotary drive ('A', 'B') and world units for a slide ('L'); angles of the
// figures are degrees, lengths world units.
#pragma once

#include <cstdio>

#include "analysis/fit_report.h"
#include "model/mechanism_model.h"

// ---- mobility -------------------------------------------------------------

// The Gruebler-Kutzbach count over the file's joints: every moving joint has
// two coordinates, every fact of the file takes one away,
//   M = 2 (joints - fixed) - lengths - directions - angles - sliders,
// which is 3 (bodies - 1) - 2 (lower pairs) - (pin-in-slot pairs) - (rigid
// angles) for the same mechanism written as bodies.  At a posture the
// facts' Jacobian tells how many of them are independent.
struct mobility_figure {
  int joints, fixed;       // n, joints fixed by the file
  int lengths, directions, angles, sliders;  // facts of sections (7), (6), (8), (9)
  int count;               // M of the count
  int has_posture;         // 1: the rank below was taken at the posture at tt0
  int independent;         // rank of the facts' Jacobian at that posture
  int mobility;            // 2 (joints - fixed) - independent
  int redundant;           // facts - independent
  int drive_determines;    // 1: the drive adds one independent row and the rank
                           // becomes 2 (joints - fixed)
};
enum mobility_state { determinate, over_constrained, under_constrained };
// The state by the count: 1 determinate, below over-, above under-constrained.
mobility_state mobility_state_of(const mobility_figure *m);
const char *mobility_state_name(mobility_state s);

// Counts the facts of the saved tables (what the file gives).  When
// posture is nonzero the joints J[1..n] of mech are an assembly and the
// rank is taken there.
void compute_mobility(int posture, mobility_figure *out);

// A row of the Jacobian whose largest pivot falls below this fraction of
// its own size is a combination of the rows before it: the postures the
// solver returns close to 1e-12 of the mechanism's size, so a dependent
// row keeps about that much; an independent one keeps parts in a hundred
// or more unless the posture sits at a dead point.
constexpr double rank_tolerance = 1e-8;

// ---- drive range ----------------------------------------------------------

struct drive_range {
  int full;              // 1: a rotary drive that assembles all the way round
  double lo, hi;         // the interval that assembles around tt0; full: tt0 .. tt0 + 2 pi
  int lo_limit, hi_limit;  // 1 where the interval ends at a limit position
  int lo_zero;           // 1: a slide whose lower end is the length 0, not a limit
};
// Scans from tt0 one degree (or one world unit) at a time each way and
// bisects every end to drive_limit_tol.  0 when tt0 itself does not assemble.
int compute_drive_range(drive_range *out);

// Limits are bisected to 1e-7 radian (6e-6 degree) or 1e-7 world unit:
// far below the 0.01 the report promises, and close enough to a dead
// point that a toggle angle there is within a few hundredths of a degree
// of 0 or 180 (it grows with the square root of the distance).
constexpr double drive_limit_tol = 1e-7;
// A slide is scanned at most this many world units each way when no limit
// comes first: ten times the span of the start view, farther than the
// joints of any library file are apart.
constexpr int max_slide_scan = 4000;

// The motion over the range: samples equally spaced from lo to hi.
constexpr int report_intervals = 3600;   // 0.1 degree over a full turn
constexpr int report_samples = report_intervals + 1;

// ---- transmission angles --------------------------------------------------

// One member meeting at a joint: a link to joint p, or the guide line j-k of
// a slider.
struct member {
  int guide;   // 0 link x-p, 1 guide line j-k
  int p;       // link: far joint
  int j, k;    // guide: its joints
};

// At joint `joint`, placed by figure step `step` (code `code`) of the plan,
// the angle between the two members that meet there: between two links the
// angle of the corner, 0..180; between a link and a guide the angle of the
// link from the guide's normal (90 when it pushes along the guide), 0..180;
// between two guides the angle of their lines.
struct transmission_figure {
  int step, code, joint;
  member a, b;
  double min_deg, max_deg;
  double min_drive, max_drive;     // drive values of the least and the largest
  double worst_deg, worst_drive;   // the one farther from 90 degrees
  int valid;         // 1: defined at some sample
  int outside_band;  // leaves good_band_lo_deg..good_band_hi_deg
  int dead_point;    // comes within dead_point_tol_deg of 0 or 180
};
constexpr double good_band_lo_deg = 40.0, good_band_hi_deg = 140.0;
// The limits are bisected to 1e-7 radian, where a toggle angle stays within
// some 0.05 degree of 0 or 180 (it goes with the square root of the drive's
// distance from the limit); a regular minimum lies whole degrees away.
constexpr double dead_point_tol_deg = 0.1;
constexpr int max_transmissions = 48;

// ---- output motion --------------------------------------------------------

// A link (i-j, absolute angle of the direction i -> j) or a slider (i on
// the guide j-k, its place along j -> k measured from j).
struct output_figure {
  int slider;            // 0 link, 1 slider
  int i, j, k;           // k for a slider only
  double lo, hi;         // least and largest value: degrees (link) or world units
  double lo_drive, hi_drive;  // drive values where they fall
  int turns;             // link: whole turns over one drive turn (0: it turns back)
  int reversals;         // times it turns back over the range (a full turn counted round)
  int has_ratio;         // full drive, one way and back per turn
  double forward_span;   // drive span from least to largest, degrees
  double return_span;    // from largest back to least
  double time_ratio;     // the longer span over the shorter
};
constexpr int max_outputs = 64;
// A spread below this (degrees or world units) is no motion: the solver's
// rounding stays near 1e-12 of the mechanism's size.
constexpr double constant_tol = 1e-7;

// ---- four-bar loops -------------------------------------------------------

enum grashof_kind { crank_rocker, double_crank, double_rocker, change_point, triple_rocker, grashof_floating };
const char *grashof_name(grashof_kind k);

// A loop of four revolute joints, each two neighbours on one body and the
// four bodies distinct.
struct fourbar_figure {
  int joint[4];      // loop order; side s joins joint[s] and joint[(s + 1) % 4]
  double side[4];    // world units
  int ground;        // side on the frame, -1 a floating loop
  grashof_kind kind;
  int cranks;        // sides that turn fully against the frame (0..2)
  int crank[2];      // their side indexes
};
constexpr int max_fourbars = 32;
// Equal sums within this fraction of the perimeter are a change point: the
// file's lengths carry seven or more significant digits, the distances from
// the posture far more.
constexpr double change_point_tol = 1e-7;

// The class from the four sides and the ground side (-1: floating); the
// cranks as side indexes into crank[0..1], their count returned in *cranks.
grashof_kind grashof_class(const double side[4], int ground, int *cranks, int crank[2]);

// Every four-bar loop of the file at the present posture; how many.
int compute_fourbars(fourbar_figure *out, int capacity);

// ---- the whole report -----------------------------------------------------

struct trace_figure {
  int joint, points;
  double min_x, max_x, min_y, max_y;
  double length;     // polyline through the samples, world units
  path_fit fit;
};

// Why the mechanism does not assemble at the file's tt0.
enum failure_kind {
  fails_not,         // it assembles
  fails_unreadable,  // the data file cannot be read
  fails_step,        // a figure step has no solution
  fails_unplanned,   // the plan leaves joints unknown
  fails_fact,        // the posture breaks a fact of the file
};
struct failure_figure {
  int kind;          // failure_kind
  int step, code;    // fails_step: the record and its code
  int joints[4];     // its joints (0 unused)
  int unknown[joint_slots];  // fails_unplanned: 1 for each joint left unknown
  char fact[160];    // fails_fact: the broken fact as the console names it
};

struct quality_report {
  char file[fname_size];
  char title[title_size];
  int rs, id, jd, kd;
  double tt0, file_tt0;      // the value the figures start from, and the file's
  failure_figure at_file_tt0; // why the file's own tt0 did not assemble (fails_not: it did)
  int assembles;
  mobility_figure mobility;
  drive_range range;
  int transmission_count;
  transmission_figure transmission[max_transmissions];
  int output_count;
  output_figure outputs[max_outputs];
  int fourbar_count;
  fourbar_figure fourbars[max_fourbars];
  trace_figure trace;
};

// All figures of the mechanism loaded in mech, assembled at tt0 with its
// plan.  1 done; 0 when tt0 does not assemble.
int compute_quality_report(quality_report *r);

// Finds why the loaded mechanism does not assemble at mech.tt0 (after a
// load that failed there) into *out.
void diagnose_failure(failure_figure *out);

// v, with a value that prints as zero at six decimals made 0 (no "-0.000").
double shown_value(double v);

// The figure a step code solves, in words ("triangle from three sides").
const char *step_figure_name(int code);

// A drive value as the report shows it: world units for a slide, degrees
// for a rotation, brought into (-180, 180] when the drive turns fully (the
// window's drive values); a limited range keeps its values continuous.
double report_drive_value(const quality_report *r, double t);

// The report as text, and as JSON with the keys listed in the README.
void write_report_text(FILE *out, const quality_report *r);
void write_report_json(FILE *out, const quality_report *r);
