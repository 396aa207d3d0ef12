// Solving-order planner: builds junjo, the list of deductions and figure
// steps that determines every joint position, at the initial drive value.
#pragma once

// Plans the solving order.  1 every joint is determined; 0 a figure has no
// solution at tt0, a deduction's value is not finite there, the plan would
// not fit in junjo, or a pass made no progress (the report has been printed).
int cal_junjo();

// After cal_junjo returned 0: 1 when a figure had no solution at tt0 or a
// deduction overflowed there, so
// that another tt0 may give a complete plan; 0 when the plan ran out of
// records or made no progress, which another tt0 changes only where an
// angle happens to lie flat.
int plan_failed_at_figure();

// Prints the no-solution report of a figure step and waits for one key.
void report_step_failure(int code, int i, int j, int k, int l);

// Prints which joint positions are known, with their coordinates.
void print_joint_known_table();
