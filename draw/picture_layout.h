// Layout of a picture of the mechanism, shared by the still SVG picture,
// the animated SVG and the frames of the GIF: the posture drawn, the map
// from world units to pixels that fits a drawing into the picture, the grid
// spacing, where the texts stand, and text made safe for any writer.
// World y points up, pixel y down: a world point (x, y) is the pixel
// (x0 + x scale, y0 - y scale).  No OpenGL.
#pragma once

#include <cmath>

#include "model/mechanism_model.h"

constexpr int picture_pixels = 800;  // default width and height, as the window at start

struct picture_posture {
  point J[joint_slots];                // joint positions, world units
  double slider_angle[joint_slots];    // per slider record s: ath[j][i] of its guide, radians
};

// The posture the tables hold now.
void take_posture(picture_posture *p);

// Pixels of the texts, as the window places them in its 800 x 800 picture.
constexpr double text_band = 90.0;  // pixels at the top for the title and the drive label
constexpr double title_x = 40.0, title_y = 40.0;  // the window's (-0.9, 0.9)
constexpr double drive_y = 60.0;                  // the window's (-0.9, 0.85)
constexpr double grid_note_share = 0.75;  // of the width: the window's x = 0.5
constexpr double label_offset = 8.0;  // pixels right of and above a joint, the window's 0.02
constexpr double font_pixels = 18.0;  // Helvetica 18, the window's bitmap font

// Extent of what a picture draws, world units; empty while lo_x > hi_x.
struct world_box {
  double lo_x = INFINITY, hi_x = -INFINITY, lo_y = INFINITY, hi_y = -INFINITY;
  void add(point p) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
    lo_x = std::fmin(lo_x, p.x), hi_x = std::fmax(hi_x, p.x);
    lo_y = std::fmin(lo_y, p.y), hi_y = std::fmax(hi_y, p.y);
  }
};

// Number of joints drawn: n, or the last slot of the tables if n is beyond them.
int joints_drawn();

// Adds every drawn joint of a posture (clamped as the window clamps it).
void box_posture(world_box *box, const picture_posture *posture);

// Adds both ends of every segment of trace[0..count] that the path draws.
void box_trace(world_box *box, const point *trace, int count);

struct picture_frame {
  int width, height;  // pixels
  double scale;       // pixels per world unit
  double x0, y0;      // pixel of the world origin
};

inline double pixel_x(const picture_frame &f, double x) { return f.x0 + x * f.scale; }
inline double pixel_y(const picture_frame &f, double y) { return f.y0 - y * f.scale; }

// The map that fits the box, equally in x and y, into width x height pixels
// below the text band, centred there; an empty box is the world origin.
picture_frame fit_picture(world_box box, int width, int height);

// World units between grid lines: 20 as the window, times 5 while the lines
// would stand closer than 10 pixels.
double grid_spacing(const picture_frame &f);

// The shapes of one posture in the order they are drawn: plates, link
// bars, slider blocks, joints; pixels of the frame.
enum shape_kind { shape_plate, shape_bar, shape_slider, shape_joint, shape_fixed_joint };
struct picture_shape {
  shape_kind kind;
  double x[3], y[3];  // pixels: a plate's corners, a bar's ends, a block's or a joint's centre
  double turn;        // slider: radians from the pixel x axis, clockwise as pixel y points down
};
// Every triangle of three links can be a plate: C(19, 3) = 969 of them, with
// 171 bars, 19 blocks and 19 joints.
constexpr int max_shapes = 1200;

// The shapes of the posture into out[0..max_shapes-1]; their number.
int posture_shapes(const picture_frame &f, const picture_posture *posture, picture_shape *out);

// Length of the UTF-8 sequence at s, 0 when it is not a valid one.
int utf8_length(const unsigned char *s);

// text into out (size bytes, cut at a whole character): control bytes and
// bytes that are not UTF-8 (a title may be in another encoding) as '?'.
void clean_text(const char *text, char *out, int size);
