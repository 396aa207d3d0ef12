// View and animation state of the window, one instance: what the window
// shows (view offset and scale, mode), where the motion is (drive value and
// step) and the path traced by joint kten.  The motion logic fills it and
// the drawing reads it.
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
