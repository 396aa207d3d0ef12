// Solving-order planner: builds junjo, the list of deductions and figure
// steps that determines every joint position, at the initial drive value.
#pragma once

// Plans the solving order.  1 every joint is determined; 0 a figure has no
// solution at tt0, a deduction's value is not finite there, the plan would
// not fit in junjo, or a pass made no progress (the report has been printed).
int cal_junjo();

// After cal_junjo returned 0: 1 when it failed at a figure or a deduction
// that the drive enters, so that another tt0 may give a complete plan; 0
// when the plan ran out of records or of progress (which another tt0
// changes only where an angle happens to lie flat), or a figure of given
// and invariant quantities alone had no solution (it has none at any tt0).
int plan_depends_on_tt0();

// Prints the no-solution report of a figure step and waits for one key.
void report_step_failure(int code, int i, int j, int k, int l);

// Prints which joint positions are known, with their coordinates.
void print_joint_known_table();
