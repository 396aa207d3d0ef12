// Drawing primitives in OpenGL immediate mode: link bars, plates, joint
// discs and rings, slider blocks.  They know nothing of the mechanism.
//
// Positions, sizes and widths are in normalised device units (the window
// spans -1..1 both ways, the projection is the identity); sizes are not
// scaled with the view, so joints and sliders keep their size on screen.
// Every primitive but draw_slider disables GL_LIGHTING while it draws and
// enables it again at its end.
#pragma once

struct screen_point {
  double x, y;  // normalised device units
};

struct rgba {
  float r, g, b, a;  // alpha is never blended
};

extern const rgba red;           // link bars, joint rings, slider outlines
extern const rgba blue;          // traced path
extern const rgba white;         // joint discs, slider fill
extern const rgba plate_yellow;  // plate of a three-joint link
extern const rgba black;         // grid

// Pixels per normalised unit in the 800 x 800 window: widths given in
// normalised units are multiplied by this for glLineWidth.
constexpr double pixels_per_unit = 400.0;

// Line from p1 to p2, width in normalised units; leaves the line width 2.0.
void draw_segment(screen_point p1, screen_point p2, double width, rgba colour);

// Many lines of one width and colour, as draw_segment draws each of them:
// begin_segments, then one segment call per line (its own GL_LINES
// primitive), then end_segments, which leaves the line width 2.0.  The
// state is set once for them all, so the driver draws them in one batch
// instead of flushing at every line.
void begin_segments(double width, rgba colour);
void segment(screen_point p1, screen_point p2);
void end_segments();

// Filled circle of 120 vertices.
void draw_disc(screen_point centre, double radius, rgba colour);

// Circle outline through the same 120 points, closed.
void draw_ring(screen_point centre, double radius, rgba colour);

// Filled triangle.
void draw_triangle(screen_point p1, screen_point p2, screen_point p3, rgba colour);

// Filled rectangle from corner, turned by angle (radians) about the corner.
void fill_rect(screen_point corner, double width, double height, double angle, rgba colour);

// The two long sides (0,0)-(width,0) and (width,height)-(0,height) of the
// same rectangle; the ends are not drawn.
void outline_rect(screen_point corner, double width, double height, double angle, rgba colour);

// Slider block centred on centre, turned to angle (radians): white fill,
// long sides in colour.  Leaves the model-view matrix as it found it.
void draw_slider(screen_point centre, double width, double height, double angle, rgba colour);
