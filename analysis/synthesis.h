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

struct synth_problem {
  design_variable vars[max_variables];
  int var_count;
  synth_target targets[max_targets];
  int target_count;
  int timed;        // 1: each target at its drive value
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

// Error of one candidate, world units: the largest distance of a target
// from the path over a full turn of the drive (or, timed, from the joint's
// position at the target's drive value); a negative value when the
// candidate does not assemble over the turn.  Works on mech: a copy of
// base is taken first, so base is what every evaluation starts from.
double candidate_error(const synth_problem *p, const mechanism *base, const double *x);

// Global search then a local polish inside the bounds, from x (start
// values, overwritten by the best found).  Returns the best error (negative
// when no candidate assembled); progress lines on standard error.
double run_synthesis(const synth_problem *p, const mechanism *base, double *x, long *evaluations);
