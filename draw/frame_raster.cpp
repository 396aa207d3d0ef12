// A frame drawn with Cairo, shape for shape as the SVG picture writes it:
// the same pixel coordinates, widths, radii and colours, so that a GIF
// frame and the SVG of the same posture cover the same pixels.
#include "draw/frame_raster.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cmath>
#include <cstdio>

#include "draw/labels.h"
#include "draw/primitives.h"
#include "draw/scene.h"

// The source colour of what is drawn next (alpha is never blended).
static void set_colour(cairo_t *cr, rgba c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

// A segment added to the current path.
static void line(cairo_t *cr, double x1, double y1, double x2, double y2) {
  cairo_move_to(cr, x1, y1);
  cairo_line_to(cr, x2, y2);
}

// The black grid over the whole frame, the axes 2 pixels wide, the others 1.
static void put_grid(cairo_t *cr, const picture_frame &f) {
  const double g = grid_spacing(f);
  const double x_lo = (0.0 - f.x0) / f.scale, x_hi = (f.width - f.x0) / f.scale;
  const double y_lo = (f.y0 - f.height) / f.scale, y_hi = f.y0 / f.scale;
  set_colour(cr, black);
  for (int axis = 0; axis < 2; axis++) {
    const double lo = axis == 0 ? x_lo : y_lo, hi = axis == 0 ? x_hi : y_hi;
    for (long k = static_cast<long>(std::ceil(lo / g)); k * g <= hi; k++) {
      if (axis == 0) line(cr, pixel_x(f, k * g), 0.0, pixel_x(f, k * g), f.height);
      else line(cr, 0.0, pixel_y(f, k * g), f.width, pixel_y(f, k * g));
      cairo_set_line_width(cr, k == 0 ? 2.0 : 1.0);
      cairo_stroke(cr);
    }
  }
}

// A circle of radius r pixels added to the current path as a path of its own.
static void circle(cairo_t *cr, double x, double y, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x, y, r, 0.0, 2.0 * pi);
}

// Plates, bars, slider blocks and joints of the posture, in the SVG's order.
static void put_mechanism(cairo_t *cr, const picture_frame &f, const picture_posture *posture) {
  static picture_shape shapes[max_shapes];
  const int count = posture_shapes(f, posture, shapes);
  const double half_l = slider_length * pixels_per_unit / 2.0, half_h = slider_height * pixels_per_unit / 2.0;
  for (int s = 0; s < count; s++) {
    const picture_shape &p = shapes[s];
    switch (p.kind) {
      case shape_plate:
        cairo_move_to(cr, p.x[0], p.y[0]);
        cairo_line_to(cr, p.x[1], p.y[1]);
        cairo_line_to(cr, p.x[2], p.y[2]);
        cairo_close_path(cr);
        set_colour(cr, plate_yellow);
        cairo_fill(cr);
        break;
      case shape_bar:
        line(cr, p.x[0], p.y[0], p.x[1], p.y[1]);
        set_colour(cr, red);
        cairo_set_line_width(cr, bar_width * pixels_per_unit);
        cairo_stroke(cr);
        break;
      case shape_slider:
        cairo_save(cr);
        cairo_translate(cr, p.x[0], p.y[0]);
        cairo_rotate(cr, p.turn);
        cairo_rectangle(cr, -half_l, -half_h, 2.0 * half_l, 2.0 * half_h);
        set_colour(cr, white);
        cairo_fill(cr);
        line(cr, -half_l, -half_h, half_l, -half_h);
        line(cr, -half_l, half_h, half_l, half_h);
        set_colour(cr, red);
        cairo_set_line_width(cr, outline_width);
        cairo_stroke(cr);
        cairo_restore(cr);
        break;
      case shape_joint:
      case shape_fixed_joint:
        circle(cr, p.x[0], p.y[0], disc_radius * pixels_per_unit);
        set_colour(cr, white);
        cairo_fill(cr);
        circle(cr, p.x[0], p.y[0], ring_radius * pixels_per_unit);
        if (p.kind == shape_fixed_joint) circle(cr, p.x[0], p.y[0], fixed_ring_radius * pixels_per_unit);
        set_colour(cr, red);
        cairo_set_line_width(cr, outline_width);
        cairo_stroke(cr);
        break;
    }
  }
}

// Runs of joined segments as polylines, as the SVG's path element.
static void put_trace(cairo_t *cr, const picture_frame &f, const point *trace, int count) {
  int running = 0, any = 0;
  for (int b = 0; b < count; b++) {
    if (!trace_joins(trace[b], trace[b + 1])) {
      running = 0;
      continue;
    }
    if (!running) cairo_move_to(cr, pixel_x(f, trace[b].x), pixel_y(f, trace[b].y));
    cairo_line_to(cr, pixel_x(f, trace[b + 1].x), pixel_y(f, trace[b + 1].y));
    running = any = 1;
  }
  if (!any) return;
  set_colour(cr, blue);
  cairo_set_line_width(cr, trace_width * pixels_per_unit);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_stroke(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

// UTF-8 text with its baseline starting at pixel (x, y).
static void text_at(cairo_t *cr, double x, double y, const char *text) {
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, text);
}

// Title, drive label and grid note in the band, a label beside every joint.
static void put_texts(cairo_t *cr, const picture_frame &f, const picture_posture *posture) {
  set_colour(cr, black);
  cairo_select_font_face(cr, "Helvetica", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, font_pixels);
  char text[title_size + 1];
  clean_text(mech.title, text, sizeof text);
  text_at(cr, title_x, title_y, text);
  if (drive_label(text, sizeof text)) text_at(cr, title_x, drive_y, text);
  const double g = grid_spacing(f);
  snprintf(text, sizeof text, "1grid=(%g, %g)", g, g);
  text_at(cr, std::round(grid_note_share * f.width), title_y, text);
  for (int j = 1; j <= joints_drawn(); j++) {
    const point p = clamped_position(posture->J[j]);
    snprintf(text, sizeof text, "J%d", j);
    text_at(cr, pixel_x(f, p.x) + label_offset, pixel_y(f, p.y) - label_offset, text);
  }
}

int draw_frame_raster(uint32_t *pixels, int stride, const picture_frame &f, const picture_posture *posture,
                      const point *trace, int count) {
  cairo_surface_t *s = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char *>(pixels),
                                                           CAIRO_FORMAT_RGB24, f.width, f.height, stride);
  cairo_t *cr = cairo_create(s);
  set_colour(cr, white);
  cairo_paint(cr);
  put_grid(cr, f);
  put_mechanism(cr, f, posture);
  put_trace(cr, f, trace, count);
  put_texts(cr, f, posture);
  cairo_surface_flush(s);
  const int ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  cairo_surface_destroy(s);
  return ok;
}

void release_frame_raster() {
  cairo_debug_reset_static_data();
  FcFini();  // the font configuration that Cairo's text loaded
}
