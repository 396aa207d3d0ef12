// SVG picture of a posture and the traced path, drawn in the window's order:
// background, grid, plates, link bars, slider blocks, joints, path, texts.
// World y points up, SVG y down: a world point (x, y) is the pixel
// (x0 + x scale, y0 - y scale).
#include "draw/svg_picture.h"

#include <cmath>

#include "draw/labels.h"
#include "draw/primitives.h"
#include "draw/scene.h"

constexpr double text_band = 90.0;  // pixels at the top for the title and the drive label
// Pixels kept free around the drawing: a slider block reaches 22 pixels from
// its joint, a joint label some 30 to the right and 20 above it.
constexpr double margin = 40.0;
constexpr double flat_extent = 1e-9;   // world units: below this a box has no width
constexpr double window_scale = 2.0;   // pixels per world unit at the window's start
constexpr double grid_spacing = 20.0;  // world units between grid lines, as the window
constexpr double grid_widening = 5.0;  // the spacing grows by this while lines crowd
constexpr double min_grid_pixels = 10.0;  // closest grid lines
constexpr double title_x = 40.0, title_y = 40.0;  // the window's (-0.9, 0.9)
constexpr double drive_y = 60.0;                  // the window's (-0.9, 0.85)
constexpr double grid_note_x = 600.0;             // the window's x = 0.5
constexpr double label_offset = 8.0;  // pixels right of and above a joint, the window's 0.02
constexpr const char *font = "font-family=\"Helvetica, Arial, sans-serif\" font-size=\"18\"";

struct svg_frame {
  double scale;   // pixels per world unit
  double x0, y0;  // pixel of the world origin
};

static double px(const svg_frame &f, double x) { return f.x0 + x * f.scale; }
static double py(const svg_frame &f, double y) { return f.y0 - y * f.scale; }

struct world_box {
  double lo_x = INFINITY, hi_x = -INFINITY, lo_y = INFINITY, hi_y = -INFINITY;
  void add(point p) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
    lo_x = std::fmin(lo_x, p.x), hi_x = std::fmax(hi_x, p.x);
    lo_y = std::fmin(lo_y, p.y), hi_y = std::fmax(hi_y, p.y);
  }
};

static int joints_drawn() { return mech.n < joint_slots ? mech.n : joint_slots - 1; }

// The scale that fits every drawn joint and every drawn path segment into
// the picture below the text band, centred there.
static svg_frame fit_frame(const picture_posture *posture, const point *trace, int count) {
  world_box box;
  for (int i = 1; i <= joints_drawn(); i++) box.add(clamped_position(posture->J[i]));
  for (int b = 0; b < count; b++)
    if (trace_joins(trace[b], trace[b + 1])) box.add(trace[b]), box.add(trace[b + 1]);
  if (!(box.lo_x <= box.hi_x)) box.add(point{0.0, 0.0});  // nothing to draw
  const double w = picture_pixels - 2.0 * margin, h = picture_pixels - text_band - margin;
  const double bw = box.hi_x - box.lo_x, bh = box.hi_y - box.lo_y;
  double scale = INFINITY;
  if (bw > flat_extent) scale = w / bw;
  if (bh > flat_extent) scale = std::fmin(scale, h / bh);
  if (!std::isfinite(scale)) scale = window_scale;
  svg_frame f;
  f.scale = scale;
  f.x0 = margin + (w - bw * scale) / 2.0 - box.lo_x * scale;
  f.y0 = text_band + (h - bh * scale) / 2.0 + box.hi_y * scale;
  return f;
}

// "#rrggbb" of a colour.
static const char *hex(rgba c, char *out) {
  auto byte = [](float v) { return static_cast<int>(std::lround(std::fmin(1.0f, std::fmax(0.0f, v)) * 255.0f)); };
  snprintf(out, 8, "#%02x%02x%02x", byte(c.r), byte(c.g), byte(c.b));
  return out;
}

// Length of the UTF-8 sequence at s, 0 when it is not a valid one.
static int utf8_length(const unsigned char *s) {
  int len = s[0] < 0x80 ? 1 : s[0] >= 0xc2 && s[0] <= 0xdf ? 2 : s[0] >= 0xe0 && s[0] <= 0xef ? 3
                        : s[0] >= 0xf0 && s[0] <= 0xf4 ? 4 : 0;
  for (int k = 1; k < len; k++)
    if ((s[k] & 0xc0) != 0x80) return 0;
  if (len == 3 && ((s[0] == 0xe0 && s[1] < 0xa0) || (s[0] == 0xed && s[1] >= 0xa0))) return 0;
  if (len == 4 && ((s[0] == 0xf0 && s[1] < 0x90) || (s[0] == 0xf4 && s[1] >= 0x90))) return 0;
  return len;
}

// Text as XML character data: markup characters escaped, control bytes and
// bytes that are not UTF-8 (a title may be in another encoding) as '?'.
static void put_text(FILE *out, const char *text) {
  const unsigned char *s = reinterpret_cast<const unsigned char *>(text);
  while (*s) {
    const int len = utf8_length(s);
    if (len == 0 || (len == 1 && *s < 0x20)) {
      fputc('?', out);
      s++;
      continue;
    }
    if (*s == '&') fputs("&amp;", out);
    else if (*s == '<') fputs("&lt;", out);
    else if (*s == '>') fputs("&gt;", out);
    else fwrite(s, 1, len, out);
    s += len;
  }
}

static void put_grid(FILE *out, const svg_frame &f, char *colour) {
  double g = grid_spacing;
  while (g * f.scale < min_grid_pixels) g *= grid_widening;
  // World range of the picture; k runs over the lines inside it.
  const double x_lo = (0.0 - f.x0) / f.scale, x_hi = (picture_pixels - f.x0) / f.scale;
  const double y_lo = (f.y0 - picture_pixels) / f.scale, y_hi = f.y0 / f.scale;
  fprintf(out, "<g class=\"grid\" stroke=\"%s\">\n", hex(black, colour));
  for (long k = static_cast<long>(std::ceil(x_lo / g)); k * g <= x_hi; k++)
    fprintf(out, "<line x1=\"%.2f\" y1=\"0\" x2=\"%.2f\" y2=\"%d\" stroke-width=\"%d\"/>\n", px(f, k * g),
            px(f, k * g), picture_pixels, k == 0 ? 2 : 1);
  for (long k = static_cast<long>(std::ceil(y_lo / g)); k * g <= y_hi; k++)
    fprintf(out, "<line x1=\"0\" y1=\"%.2f\" x2=\"%d\" y2=\"%.2f\" stroke-width=\"%d\"/>\n", py(f, k * g),
            picture_pixels, py(f, k * g), k == 0 ? 2 : 1);
  fprintf(out, "</g>\n");
  fprintf(out, "<text class=\"grid-note\" x=\"%.0f\" y=\"%.0f\" %s>1grid=(%g, %g)</text>\n", grid_note_x,
          title_y, font, g, g);
}

static int is_link(int i, int j) { return mech.link_exists[i][j] == 'Y'; }

static void put_mechanism(FILE *out, const svg_frame &f, const picture_posture *posture, char *colour) {
  const mechanism &m = mech;
  const int n = joints_drawn();
  double x[joint_slots], y[joint_slots];
  for (int i = 1; i <= n; i++) {
    const point p = clamped_position(posture->J[i]);
    x[i] = px(f, p.x), y[i] = py(f, p.y);
  }
  for (int i = 1; i <= n - 2; i++)
    for (int j = i + 1; j <= n - 1; j++) {
      if (!is_link(i, j)) continue;
      for (int k = j + 1; k <= n; k++)
        if (is_link(j, k) && is_link(k, i))
          fprintf(out, "<polygon class=\"plate\" points=\"%.2f,%.2f %.2f,%.2f %.2f,%.2f\" fill=\"%s\"/>\n", x[i],
                  y[i], x[j], y[j], x[k], y[k], hex(plate_yellow, colour));
    }
  for (int i = 1; i <= n - 1; i++)
    for (int j = i + 1; j <= n; j++)
      if (is_link(i, j))
        fprintf(out,
                "<line class=\"link\" x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" stroke=\"%s\" "
                "stroke-width=\"%g\"/>\n",
                x[i], y[i], x[j], y[j], hex(red, colour), bar_width * pixels_per_unit);
  const double half_l = slider_length * pixels_per_unit / 2.0, half_h = slider_height * pixels_per_unit / 2.0;
  for (int r = 1; r <= m.slider_count && r < joint_slots; r++) {
    const int i = m.sliders[r].i;
    if (i < 1 || i > n) continue;
    double turn = -posture->slider_angle[r] * 180.0 / pi;  // SVG turns clockwise for y down
    if (!std::isfinite(turn)) turn = 0.0;
    fprintf(out, "<g class=\"slider\" transform=\"translate(%.2f %.2f) rotate(%.4f)\">\n", x[i], y[i], turn);
    fprintf(out, "<rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" fill=\"%s\"/>\n", -half_l, -half_h,
            2.0 * half_l, 2.0 * half_h, hex(white, colour));
    for (int k = 0; k < 2; k++) {
      const double side = k == 0 ? -half_h : half_h;
      fprintf(out, "<line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\" stroke=\"%s\" stroke-width=\"%g\"/>\n", -half_l,
              side, half_l, side, hex(red, colour), outline_width);
    }
    fprintf(out, "</g>\n");
  }
  for (int i = 1; i <= n; i++) {
    if (m.joint_kind[i] != 'R' && m.joint_kind[i] != 'D') continue;
    const int fixed = m.J_known[i] == 'Y' || m.J_known[i] == 'W';
    fprintf(out, "<g class=\"%s\">\n", fixed ? "joint fixed" : "joint");
    fprintf(out, "<circle cx=\"%.2f\" cy=\"%.2f\" r=\"%g\" fill=\"%s\"/>\n", x[i], y[i],
            disc_radius * pixels_per_unit, hex(white, colour));
    fprintf(out, "<circle cx=\"%.2f\" cy=\"%.2f\" r=\"%g\" fill=\"none\" stroke=\"%s\" stroke-width=\"%g\"/>\n",
            x[i], y[i], ring_radius * pixels_per_unit, hex(red, colour), outline_width);
    if (fixed)
      fprintf(out, "<circle cx=\"%.2f\" cy=\"%.2f\" r=\"%g\" fill=\"none\" stroke=\"%s\" stroke-width=\"%g\"/>\n",
              x[i], y[i], fixed_ring_radius * pixels_per_unit, hex(red, colour), outline_width);
    fprintf(out, "</g>\n");
  }
}

// One path element of every joined segment, runs of them as one polyline.
static void put_trace(FILE *out, const svg_frame &f, const point *trace, int count, char *colour) {
  int open = 0, running = 0;
  for (int b = 0; b < count; b++) {
    if (!trace_joins(trace[b], trace[b + 1])) {
      running = 0;
      continue;
    }
    if (!open)
      fprintf(out,
              "<path class=\"path\" fill=\"none\" stroke=\"%s\" stroke-width=\"%g\" stroke-linejoin=\"round\" "
              "stroke-linecap=\"round\" d=\"",
              hex(blue, colour), trace_width * pixels_per_unit);
    if (!running) fprintf(out, "%sM%.2f %.2f", open ? "\n" : "", px(f, trace[b].x), py(f, trace[b].y));
    fprintf(out, " L%.2f %.2f", px(f, trace[b + 1].x), py(f, trace[b + 1].y));
    open = running = 1;
  }
  if (open) fprintf(out, "\"/>\n");
}

static void put_texts(FILE *out, const svg_frame &f, const picture_posture *posture, char *colour) {
  fprintf(out, "<g fill=\"%s\">\n", hex(black, colour));
  fprintf(out, "<text class=\"title\" x=\"%.0f\" y=\"%.0f\" %s>", title_x, title_y, font);
  put_text(out, mech.title);
  fprintf(out, "</text>\n");
  char label[64];
  if (drive_label(label, sizeof label))
    fprintf(out, "<text class=\"drive\" x=\"%.0f\" y=\"%.0f\" %s>%s</text>\n", title_x, drive_y, font, label);
  for (int j = 1; j <= joints_drawn(); j++) {
    const point p = clamped_position(posture->J[j]);
    fprintf(out, "<text class=\"joint-label\" x=\"%.2f\" y=\"%.2f\" %s>J%d</text>\n", px(f, p.x) + label_offset,
            py(f, p.y) - label_offset, font, j);
  }
  fprintf(out, "</g>\n");
}

void take_posture(picture_posture *p) {
  const mechanism &m = mech;
  for (int i = 0; i < joint_slots; i++) p->J[i] = m.J[i], p->slider_angle[i] = 0.0;
  for (int r = 1; r <= m.slider_count && r < joint_slots; r++) {
    const slider_entry &e = m.sliders[r];
    if (e.i >= 0 && e.i < joint_slots && e.j >= 0 && e.j < joint_slots) p->slider_angle[r] = m.ath[e.j][e.i];
  }
}

int write_svg_picture(FILE *out, const picture_posture *posture, const point *trace, int count) {
  if (count < 0) count = 0;
  const svg_frame f = fit_frame(posture, trace, count);
  char colour[8];
  fprintf(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  fprintf(out,
          "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"%d\" height=\"%d\" "
          "viewBox=\"0 0 %d %d\">\n",
          picture_pixels, picture_pixels, picture_pixels, picture_pixels);
  fprintf(out, "<title>");
  put_text(out, mech.title);
  fprintf(out, "</title>\n");
  fprintf(out, "<rect class=\"background\" width=\"%d\" height=\"%d\" fill=\"%s\"/>\n", picture_pixels,
          picture_pixels, hex(white, colour));
  put_grid(out, f, colour);
  put_mechanism(out, f, posture, colour);
  put_trace(out, f, trace, count, colour);
  put_texts(out, f, posture, colour);
  fprintf(out, "</svg>\n");
  return !ferror(out);
}
