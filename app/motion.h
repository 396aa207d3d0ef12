// View and animation state of the window, and the motion logic of every
// frame: the drive step of the key "s", the solve of the display step with
// its branch rules, the reversal at a dead point and the traced path of
// joint kten.  No drawing here, so the batch tools run the very same steps.
#pragma once

#include "model/motion_state.h"

struct compiled_plan;

// Back to the initial configuration at tt0 after a set-up: scale 0.005, no
// steps taken, one degree or one world unit per step, the drive at tt0;
// offsets are kept.  The positions the set-up left become the last
// assembled posture.
void reset_animation();

// Motion step of the key "s": motion mode, one more step, the drive value
// advanced by drive_step (a rotary drive brought back into +-pi), and
// drive_crossing set.  Draws and solves nothing.
void motion_step();

// Per-mechanism branch rules keyed on the title: sets the sign of the first
// solving step that has a branch choice, from the drive value.
void apply_branch_rules();

// The solve of one frame.  Mode '0': the posture at tt0 (tt0 raised by
// drive_step until it assembles) and a gap in the trace.  Mode '1': the
// posture at drive_value, reversing the motion at a dead point, and the
// traced point of this step.  Both give up after frame_attempts solves and
// keep the last assembled posture (the console says so).  1 when the trace
// is to be drawn (motion mode), 0 otherwise.
int solve_frame();

// The compiled program of the loaded plan that the frames solve with,
// compiled again whenever the plan, the drive, the facts or a given value
// changed; nullptr when the plan has a step the program does not take (the
// frames then solve with the replay) or the replay is chosen.
compiled_plan *motion_plan();

// The plan was made anew or a branch sign was set by hand: the next frame
// compiles its program again.
void plan_changed();

// 1: every frame solves with the replay of the plan (solve_positions), as
// the reference the compiled program is checked against; 0: the program.
void use_reference_solver(int on);
