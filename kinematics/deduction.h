// Deduction pass of the planner: every fact that follows from the known ones
// by an algebraic rule is derived, marked 'X' and recorded in the solving
// order.
#pragma once

// Runs sweeps of the deduction rules until one derives nothing.  Returns
// the number of deductions, or 1 when a placed joint made every joint known.
int propagate_known();

// 1 when every joint position is known (after setting the slider angles
// and printing so), else 0.
int all_known();

// Recomputes deduction record r of the solving order from the current
// values, without flags and without wrapping (the position solver's replay).
void replay_deduction(int r);
