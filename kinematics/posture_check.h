// The facts of a file as tests on a posture with their constants worked
// out once: squared distances against squared bounds, directions against
// precomputed unit vectors.  A test finds a fact broken exactly when
// broken_fact's miss exceeds fact_tolerance times the size, up to the
// rounding of the two ways of computing it (some 1e-16 of the size squared,
// against a bound of 1e-12 of it).
#pragma once

#include "kinematics/fact_check.h"

struct posture_test {
  int kind;      // fact_kind
  int index;     // 1 + index of the fact in its list
  int i, j, k;   // joints, as the fact's
  double a, b;   // fixed: at.x, at.y; length: lower and upper bound of the squared distance;
                 // direction and angle: cos and sin of the fact's value
};

struct posture_check {
  int count;
  posture_test tests[max_facts];
  double allowed;  // world units: fact_tolerance times the size
};

// The tests of facts; skip[f] nonzero leaves fact f out (a fact the caller
// knows to hold in every posture it checks).  Facts of an invalid list give
// no test.
void compile_posture_check(const fact_list &facts, const int *skip, posture_check *out);

// 0 when the posture J keeps every tested fact; otherwise 1 + the index of
// the first broken one in the fact list (as broken_fact).
int run_posture_check(const posture_check &check, const point *J);
