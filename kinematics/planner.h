// Solving-order planner: builds junjo, the list of deductions and figure
// steps that determines every joint position, at the initial drive value.
#pragma once

// Plans the solving order.  1 every joint is determined; 0 a figure has no
// solution at tt0, the plan would not fit in junjo, or a pass made no
// progress (the report has been printed).
int cal_junjo();

// Prints the no-solution report of a figure step and waits for one key.
void report_step_failure(int code, int i, int j, int k, int l);

// Prints which joint positions are known, with their coordinates.
void print_joint_known_table();
