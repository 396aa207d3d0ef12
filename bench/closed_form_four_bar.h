// The floor the benchmarks compare with: a hand-written closed-form solver
// of a crank-rocker with a coupler point (one circle-circle intersection
// for the rocker pin, a fixed offset for the coupler point).
#pragma once

#include "model/mechanism_model.h"

// The crank-rocker with a coupler point, by its parts, and its dimensions
// from the loaded tables.
struct four_bar {
  int crank_pivot, crank_pin, rocker_pin, rocker_pivot, coupler_point;
  point A, D;            // crank pivot and rocker pivot, world units
  double crank, coupler, rocker;  // lengths, world units
  double along, across;  // coupler point in the frame of crank pin -> rocker pin
  double branch;         // +1 or -1: side of the line crank pin -> rocker pivot
};

// Tells the parts of the loaded mechanism apart: the drive turns the crank
// (ath[crank pivot][crank pin]), the rocker pin is linked to the crank pin
// and to the other fixed joint, the coupler point to both pins.  The
// branches are those of the configuration the load left.  0 when the
// loaded mechanism is no such four-bar.
int find_four_bar(four_bar *f);

// The joints the closed form places, indexed by joint number.
extern point closed_form_J[joint_slots];

// Every joint of the four-bar at crank direction t (radians) into
// closed_form_J.  Kept out of line, as the solver is a call too.  0 when
// the rocker cannot reach.
int solve_four_bar(const four_bar &f, double t);
