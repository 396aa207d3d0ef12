// Scene drawing: the background grid, the mechanism in its current posture
// and the path traced by joint kten.
#pragma once

#include "draw/primitives.h"
#include "model/mechanism_model.h"

// Farthest coordinate drawn, world units: a joint beyond it is drawn at the
// edge of this square (the model keeps its true position).
constexpr double far_away = 1000.0;

// Sizes of the shapes, normalised units (400 pixels each in the 800 x 800
// window); they do not follow the view scale.
constexpr double bar_width = 0.02;        // 8 pixels
constexpr double trace_width = 0.01;      // 4 pixels
constexpr double slider_length = 0.1;     // 40 pixels along the guide
constexpr double slider_height = 0.05;    // 20 pixels across it
constexpr double disc_radius = 0.02;      // 8 pixels
constexpr double ring_radius = 0.022;     // just outside the disc: 8.8 pixels
constexpr double fixed_ring_radius = 0.014;  // inner ring of a fixed joint: 5.6 pixels
constexpr double outline_width = 2.0;     // pixels: rings and slider sides
constexpr double trace_jump = 50.0;       // world units (|dx| + |dy|): another branch, not a path

// 1 when the path joins trace points a and b: neither is a gap nor beyond
// far_away in x, and they are at most trace_jump apart (|dx| + |dy|).
int trace_joins(point a, point b);

// Screen point of a world position: ((view_x + x) view_scale, (view_y + y) view_scale).
screen_point screen_of(point p);

// p with each coordinate clamped to +-far_away (a non-finite one to +far_away).
point clamped_position(point p);

// Position at which joint i is drawn: J[i] with each coordinate clamped to
// +-far_away (a non-finite one to +far_away).  J is not changed.
point drawn_position(int i);

// Grid of 2 count + 1 lines each way, dx and dy apart (normalised units),
// about origin and turned by angle (radians); the two axes 2 pixels wide,
// the others 1 pixel, all black.
void draw_grid(screen_point origin, double angle, int count, double dx, double dy);

// Plates, link bars, slider blocks and joints of the current posture.
void draw_mechanism();

// Path of joint kten from trace slot 0 to slot count, skipping gaps and
// jumps of more than 50 world units.
void draw_trace(int count);
