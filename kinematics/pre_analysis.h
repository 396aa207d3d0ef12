// Drive-independent pre-analysis: derives, before the drive is known, every
// joint position, length and angle that cannot change while the mechanism
// moves, and marks them 'W'.
#pragma once

// 1 when the derivation ran to its end; 0 when a figure had no solution or
// a derived value would not be finite (report printed, one key read).
int pre_analysis();

// Collinearity rules once, then sweeps of the algebraic rules until one
// derives nothing or a derived value would not be finite (nothing of it is
// written); returns the number of facts the sweeps derived.
int propagate_invariants();
