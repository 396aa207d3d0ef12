// Position solver: every joint position for one drive value, by replaying
// the solving order.
#pragma once

// Stores tt in the driven element (radians for 'A' and 'B', world units for
// 'L') and replays junjo.  Nonzero when every step found a solution; 0 when
// a figure cannot be assembled (with nochoice 1 its branch sign is flipped).
int solve_positions(double tt);
