// What the window and the SVG picture draw alike: the colours, and which
// neighbouring points of the trace the path joins.
#include <cmath>

#include "draw/primitives.h"
#include "draw/scene.h"

const rgba red = {1.0f, 0.0f, 0.0f, 0.0f};
const rgba blue = {0.0f, 0.0f, 1.0f, 0.0f};
const rgba white = {1.0f, 1.0f, 1.0f, 0.0f};
const rgba plate_yellow = {1.0f, 1.0f, 0.6f, 0.0f};
const rgba black = {0.0f, 0.0f, 0.0f, 0.0f};

static double clamp_coordinate(double c) {
  if (!std::isfinite(c)) return far_away;
  if (c > far_away) return far_away;
  if (c < -far_away) return -far_away;
  return c;
}

point clamped_position(point p) { return {clamp_coordinate(p.x), clamp_coordinate(p.y)}; }

int trace_joins(point a, point b) {
  if (a.x > far_away || b.x > far_away) return 0;  // a gap
  return std::fabs(a.x - b.x) + std::fabs(a.y - b.y) <= trace_jump;
}
