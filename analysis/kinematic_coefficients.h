// First and second kinematic coefficients of every joint: the derivatives
// dx/dq, dy/dq, d2x/dq2, d2y/dq2 of its position with respect to the drive
// value q (radians for a rotation, world units for a slide), on the
// assembly branch of the posture in the tables.
#pragma once

#include "model/mechanism_model.h"

enum coefficient_field { coef_dx, coef_dy, coef_ddx, coef_ddy, coef_fields };

struct joint_coefficients {
  double value[coef_fields];  // dx/dq, dy/dq, d2x/dq2, d2y/dq2
  int known[coef_fields];     // 1: value holds the derivative; 0: it has none here
};

// Promised accuracy: every known value is within this fraction of the larger
// of its magnitude and the scale of its order (see coefficient_length).
constexpr double coefficient_accuracy = 1e-6;

// The coefficients of joints 1..n into out[1..n] for the posture the tables
// hold, solved at the drive value q.  The plan is solved again at q and at
// q +- s, for step sizes s from 8e-3 Q down, on the branch signs it holds
// now; the tables, the branch signs and everything else of mech are exactly
// as before when it returns.  A field is known when central-difference
// estimates at successive step sizes agree to well within
// coefficient_accuracy; it is unknown at a dead point (a solve near q fails
// at every step size, or the estimates do not settle before rounding
// forbids a smaller step, the derivative growing without bound).  Every
// field is unknown when the plan solved at q does not give the posture in
// the tables.  Returns the number of known fields.
int kinematic_coefficients(double q, joint_coefficients *out);

// Length scale L of the posture in the tables: its longest link (the box
// around its joints when it has no link), at least 1.0 world unit.  The
// derivatives of order k are compared with L / Q^k, Q being 1 radian for a
// rotation and L for a slide.
double coefficient_length();
