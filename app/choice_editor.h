// Choice editor of the key "n": the user flips the branch sign of a solving
// step, turning its triangle or quadrilateral over.
#pragma once

// Lists the steps that offer a branch, reads a step number and its new
// sign (asked again until the number is 0..junjo_count and the sign +1, -1
// or 0), stores it, and in the initial configuration starts the motion
// again from tt0.  The caller draws the next frame.
void edit_choices();
