// Scene drawing: grid, plates, link bars, slider blocks, joints and the trace.
#include "draw/scene.h"

#include <GL/gl.h>

#include <cmath>

#include "model/motion_state.h"

constexpr double draw_deg_to_rad = 0.01745329252;

screen_point screen_of(point p) {
  return {(motion.view_x + p.x) * motion.view_scale, (motion.view_y + p.y) * motion.view_scale};
}

point drawn_position(int i) {
  if (i < 0 || i >= joint_slots) return {0.0, 0.0};
  return clamped_position(mech.J[i]);
}

// One grid line; the width is set outside glBegin/glEnd.
static void grid_line(double x1, double y1, double x2, double y2, int axis) {
  glLineWidth(axis ? 2.0f : 1.0f);
  glBegin(GL_LINES);
  glVertex2d(x1, y1);
  glVertex2d(x2, y2);
  glEnd();
}

void draw_grid(screen_point origin, double angle, int count, double dx, double dy) {
  glDisable(GL_LIGHTING);
  glColor4f(black.r, black.g, black.b, black.a);
  glPushMatrix();
  glLineWidth(2.0f);
  glTranslated(origin.x, origin.y, 0.0);
  glRotated(angle / draw_deg_to_rad, 0.0, 0.0, 1.0);
  for (int j = -count; j <= count; j++) grid_line(j * dx, -count * dy, j * dx, count * dy, j == 0);
  for (int i = -count; i <= count; i++) grid_line(-count * dx, i * dy, count * dx, i * dy, i == 0);
  glPopMatrix();
  glEnable(GL_LIGHTING);
}

static int is_link(int i, int j) { return mech.link_exists[i][j] == 'Y'; }

static int valid_joint(int i) { return i >= 1 && i < joint_slots; }

void draw_mechanism() {
  const mechanism &m = mech;
  const int n = m.n < joint_slots ? m.n : joint_slots - 1;
  screen_point s[joint_slots];
  for (int i = 1; i <= n; i++) s[i] = screen_of(drawn_position(i));

  // Plates first, so that bars, blocks and joints cover them.
  for (int i = 1; i <= n - 2; i++)
    for (int j = i + 1; j <= n - 1; j++) {
      if (!is_link(i, j)) continue;
      for (int k = j + 1; k <= n; k++)
        if (is_link(j, k) && is_link(k, i)) draw_triangle(s[i], s[j], s[k], plate_yellow);
    }

  for (int i = 1; i <= n - 1; i++)
    for (int j = i + 1; j <= n; j++)
      if (is_link(i, j)) draw_segment(s[i], s[j], bar_width, red);

  for (int r = 1; r <= m.slider_count && r < joint_slots; r++) {
    const slider_entry &e = m.sliders[r];
    if (!valid_joint(e.i) || !valid_joint(e.j) || e.i > n) continue;
    draw_slider(s[e.i], slider_length, slider_height, m.ath[e.j][e.i], red);
  }

  for (int i = 1; i <= n; i++) {
    if (m.joint_kind[i] != 'R' && m.joint_kind[i] != 'D') continue;
    draw_disc(s[i], disc_radius, white);
    draw_ring(s[i], ring_radius, red);
    if (m.J_known[i] == 'Y' || m.J_known[i] == 'W') draw_ring(s[i], fixed_ring_radius, red);
  }
}

void draw_trace(int count) {
  if (count > trace_slots - 1) count = trace_slots - 1;
  const point *t = motion.trace;
  // Up to 1000 segments of one width and colour: the state is set once, not
  // per segment, or the driver flushes at every one of them.  It is set at
  // the first segment drawn, so that a trace without one leaves the colour
  // that the text drawn next takes as it was.
  int drawing = 0;
  for (int b = 0; b < count; b++) {
    if (!trace_joins(t[b], t[b + 1])) continue;
    if (!drawing) begin_segments(trace_width, blue);
    drawing = 1;
    segment(screen_of(t[b]), screen_of(t[b + 1]));
  }
  if (drawing) end_segments();
}
