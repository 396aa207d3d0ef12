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

// A length test in the form the first pass reads: joints and the squared
// bounds (world units squared).
struct posture_length {
  int i, j;
  double lo, hi;
};

struct posture_check {
  int count;
  posture_test tests[max_facts];  // every test, in the order of the fact list
  double allowed;  // world units: fact_tolerance times the size
  // The first pass: the length tests (the commonest) without the dispatch
  // on the kind, then the others in their order.  A length that fails sends
  // the check to the ordered scan of every test, which names the first
  // broken fact.
  int length_count;
  posture_length lengths[max_facts];
  int other_count;
  int others[max_facts];  // indices into tests
};

// The tests of facts; skip[f] nonzero leaves fact f out (a fact the caller
// knows to hold in every posture it checks).  Facts of an invalid list give
// no test.
void compile_posture_check(const fact_list &facts, const int *skip, posture_check *out);

// 0 when the posture J keeps every tested fact; otherwise 1 + the index of
// the first broken one in the fact list (as broken_fact).
int run_posture_check(const posture_check &check, const point *J);

// 1 when J keeps every length test (the first pass of run_posture_check,
// here to be expanded in a solver's loop).  A NaN distance fails both
// comparisons.
inline int posture_lengths_hold(const posture_check &check, const point *J) {
  int hold = 1;
  for (int t = 0; t < check.length_count; t++) {
    const posture_length &e = check.lengths[t];
    const double dx = J[e.j].x - J[e.i].x, dy = J[e.j].y - J[e.i].y;
    const double d2 = dx * dx + dy * dy;
    hold &= (d2 >= e.lo) & (d2 <= e.hi);
  }
  return hold;
}

// Where every length test holds: as run_posture_check, from the tests of
// the other kinds alone.
int other_broken(const posture_check &check, const point *J);
