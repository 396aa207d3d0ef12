// Drawing primitives: immediate-mode OpenGL shapes in normalised device units.
#include "draw/primitives.h"

#include <GL/gl.h>

#include <cmath>

// The drawing's own copies of the constants.
constexpr double draw_pi = 3.1415926536;
constexpr double draw_deg_to_rad = 0.01745329252;
constexpr double draw_rad_to_deg = 57.2957795;
constexpr int circle_steps = 120;         // vertices of every disc and ring
constexpr float default_line_width = 2.0f;  // pixels, left after a segment

static void set_colour(rgba c) { glColor4f(c.r, c.g, c.b, c.a); }

// Point i of the circle of the given radius about the origin:
//   (radius cos(i 2pi/120), radius sin(i 2pi/120))
static void circle_vertex(double radius, int i) {
  const double a = i * 2.0 * draw_pi / circle_steps;
  glVertex2d(radius * std::cos(a), radius * std::sin(a));
}

void draw_segment(screen_point p1, screen_point p2, double width, rgba colour) {
  glDisable(GL_LIGHTING);
  set_colour(colour);
  glLineWidth(static_cast<float>(width * pixels_per_unit));
  glBegin(GL_LINES);
  glVertex2d(p1.x, p1.y);
  glVertex2d(p2.x, p2.y);
  glEnd();
  glLineWidth(default_line_width);
  glEnable(GL_LIGHTING);
}

// Every shape but the segment: lighting off, the matrix saved, the origin
// moved to the shape's centre or corner, its colour set.
static void begin_shape(screen_point origin, rgba colour) {
  glDisable(GL_LIGHTING);
  glPushMatrix();
  glTranslated(origin.x, origin.y, 0.0);
  set_colour(colour);
}

static void end_shape() {
  glPopMatrix();
  glEnable(GL_LIGHTING);
}

void draw_disc(screen_point centre, double radius, rgba colour) {
  begin_shape(centre, colour);
  glBegin(GL_POLYGON);
  for (int i = 0; i < circle_steps; i++) circle_vertex(radius, i);
  glEnd();
  end_shape();
}

void draw_ring(screen_point centre, double radius, rgba colour) {
  begin_shape(centre, colour);
  glBegin(GL_LINES);
  for (int i = 0; i < circle_steps; i++) {
    circle_vertex(radius, i);
    circle_vertex(radius, (i + 1) % circle_steps);
  }
  glEnd();
  end_shape();
}

void draw_triangle(screen_point p1, screen_point p2, screen_point p3, rgba colour) {
  begin_shape({0.0, 0.0}, colour);
  glBegin(GL_POLYGON);
  glVertex2d(p1.x, p1.y);
  glVertex2d(p2.x, p2.y);
  glVertex2d(p3.x, p3.y);
  glEnd();
  end_shape();
}

// The rectangle's four corners (0,0), (width,0), (width,height), (0,height)
// after a translation to corner and a turn by angle, as one primitive.
static void rect_vertices(GLenum mode, screen_point corner, double width, double height,
                          double angle, rgba colour) {
  begin_shape(corner, colour);
  glRotated(angle / draw_deg_to_rad, 0.0, 0.0, 1.0);
  glBegin(mode);
  glVertex2d(0.0, 0.0);
  glVertex2d(width, 0.0);
  glVertex2d(width, height);
  glVertex2d(0.0, height);
  glEnd();
  end_shape();
}

void fill_rect(screen_point corner, double width, double height, double angle, rgba colour) {
  rect_vertices(GL_POLYGON, corner, width, height, angle, colour);
}

void outline_rect(screen_point corner, double width, double height, double angle, rgba colour) {
  rect_vertices(GL_LINES, corner, width, height, angle, colour);
}

void draw_slider(screen_point centre, double width, double height, double angle, rgba colour) {
  const screen_point corner = {-width / 2.0, -height / 2.0};
  glTranslated(centre.x, centre.y, 0.0);
  glRotated(angle * draw_rad_to_deg, 0.0, 0.0, 1.0);
  fill_rect(corner, width, height, 0.0, white);
  outline_rect(corner, width, height, 0.0, colour);
  glRotated(-angle * draw_rad_to_deg, 0.0, 0.0, 1.0);
  glTranslated(-centre.x, -centre.y, 0.0);
}
