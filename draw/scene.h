// Scene drawing: the background grid, the mechanism in its current posture
// and the path traced by joint kten.
#pragma once

#include "draw/primitives.h"
#include "model/mechanism_model.h"

// Farthest coordinate drawn, world units: a joint beyond it is drawn at the
// edge of this square (the model keeps its true position).
constexpr double far_away = 1000.0;

// Screen point of a world position: ((view_x + x) view_scale, (view_y + y) view_scale).
screen_point screen_of(point p);

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
