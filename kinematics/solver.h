// Position solver: every joint position for one drive value, by replaying
// the solving order.
#pragma once

// Stores tt in the driven element (radians for 'A' and 'B', world units for
// 'L') and replays junjo.  Nonzero when every step found a solution and every
// joint position is finite; 0 when a figure cannot be assembled (with
// nochoice 1 its branch sign is flipped), a deduction's value would not be
// finite, a joint is left non-finite, or tt itself is not finite.
int solve_positions(double tt);

// Stores tt in the driven element: th[id][jd][kd] and its reverse for 'A',
// ath[id][jd] and ath[jd][id] = tt - pi for 'B', l[id][jd] both ways for
// 'L'; any other kind drives nothing.
void put_drive_value(double tt);
