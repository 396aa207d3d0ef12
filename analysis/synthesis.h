// Dimensional synthesis: design variables of a loaded mechanism, the error
// of one candidate against target points, and the bounded search.
#pragma once

#include "model/mechanism_model.h"

constexpr int max_variables = 32;   // design variables of one search
constexpr int max_targets = 200;    // target points of one search

enum variable_kind { var_length, var_fixed_x, var_fixed_y, var_angle, var_tt0 };

struct design_variable {
  variable_kind kind;
  int i, j, k;      // joints named by the variable (unused ones 0)
  double lo, hi;    // bounds: world units, or degrees for angles and a rotary tt0
};

struct synth_target {
  double drive;     // with timed targets: drive value (degrees or units)
  double x, y;      // world units
};

// What the result must keep besides passing near the targets.
struct synth_requirements {
  int range;                    // 1: the drive assembles over range_lo..range_hi
  double range_lo, range_hi;    // degrees for a rotary drive, world units for a slide
  int transmission;             // 1: every transmission angle within tmin..tmax
  double tmin, tmax;            // degrees, 0..180
  int box;                      // 1: every joint inside the box over the motion
  double box_x0, box_y0, box_x1, box_y1;  // world units, x0 < x1 and y0 < y1
};

// How one candidate fares over the motion it must cover.
struct candidate_result {
  int assembles;          // 0: refused, a posture of the motion does not assemble
  double max_distance;    // world units: the largest distance of a target from the path
  double sum_sq;          // world units squared: the sum of the squared distances
  double motion_lo, motion_hi;  // the drive span covered: radians or world units
  int full_turn;          // 1: the span is one whole turn
  int samples;            // postures of the sampled path
  int solves;             // postures solved in all (path, distances, angles)
  int transmission_count; // transmission angles that change over the motion
  double t_least, t_largest;    // degrees: least and largest over all of them
  double box_excess;      // world units: the farthest a joint leaves the box; negative
                          // inside, by the least clearance
  double penalty;         // world units: what the broken requirements add
  double score;           // world units: max_distance + penalty, what the search lowers
};

struct synth_problem {
  design_variable vars[max_variables];
  int var_count;
  synth_target targets[max_targets];
  int target_count;
  int timed;        // 1: each target at its drive value
  synth_requirements req;
  // Rebuilds what depends on the variables after they were written into
  // mech (pre-analysis, drive mark, plan); 1 when the mechanism assembles
  // at tt0.  Supplied by the program, which owns those steps.
  int (*rebuild)();
  unsigned seed;
  long max_evaluations;
  double max_seconds;
};

// Writes the values x[0..var_count-1] (units of the bounds) into mech, both
// working and saved tables.
void apply_variables(const synth_problem *p, const double *x);

// The current values of the variables in mech, units of the bounds.
void read_variables(const synth_problem *p, double *x);

// The drive span a candidate must cover, radians or world units: the
// required range; else, timed, the shortest arc of the turn that holds
// every target drive (a slide: from the least to the largest); else one
// turn from tt0 (a rotary drive).  1 when it is a whole turn.
// 0 in *lo == *hi when there is none (an untimed slide with no range).
int motion_span(const synth_problem *p, double *lo, double *hi);

// Evaluates one candidate into *r: the mechanism is rebuilt with the
// values x, its motion over the span sampled, the distances of the targets
// from the path (or, timed, from the joint at each target's drive value)
// and the requirements measured.  Returns r->score, negative when the
// candidate is refused.  Works on mech: a copy of base is taken first, so
// base is what every evaluation starts from.
double evaluate_candidate(const synth_problem *p, const mechanism *base, const double *x,
                          candidate_result *r);

// The score of one candidate (world units, negative: refused).
double candidate_error(const synth_problem *p, const mechanism *base, const double *x);

// Global search then a local polish inside the bounds, from x (start
// values, overwritten by the best found).  Returns the best score (negative
// when no candidate assembled); progress lines on standard error.
double run_synthesis(const synth_problem *p, const mechanism *base, double *x, long *evaluations);
