// View and animation state of the window, and the motion logic of every
// frame: the drive step of the key "s", the solve of the display step with
// its branch rules, the reversal at a dead point and the traced path of
// joint kten.  No drawing here, so the batch tools run the very same steps.
#pragma once

#include "model/mechanism_model.h"

constexpr int trace_limit = 1000;          // highest trace slot that holds points
constexpr int trace_slots = trace_limit + 2;  // slot 1001 only ever receives a gap
constexpr double trace_gap = 1000000.0;    // both coordinates of a slot without a point
constexpr double start_view_scale = 0.005; // normalised units per world unit: 2 pixels

// Bound on the solves of one frame.  A rotary drive moves one degree per
// attempt, so 360 attempts are one full turn; a slide moves 1.0 world unit,
// so 360 attempts cover 360 units, more than any bundled mechanism strokes.
constexpr int frame_attempts = 360;

struct motion_state {
  double view_scale;     // world-to-screen factor
  double view_x, view_y; // view offset, world units
  char display_mode;     // '0' initial configuration at tt0, '1' motion
  int step_count;        // motion steps taken; the slot the next motion frame writes
  double drive_step;     // signed drive increment per step: radians or world units
  double drive_value;    // drive value of the motion
  double drive_prev;     // drive value before the last motion step
  int drive_crossing;    // 0 no sign change, 1 through 0, 2 through +-pi
  point trace[trace_slots];  // world positions of joint kten per motion step
  int stalled;           // 1: a frame found no assembly within frame_attempts; frames
                         // show the last assembled posture until the motion changes
};

extern motion_state motion;

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
