// SVG elements of the picture, drawn in the window's order: background,
// grid, plates, link bars, slider blocks, joints, path, texts.
#include "draw/svg_elements.h"

#include <cmath>

#include "draw/labels.h"
#include "draw/scene.h"

const char *const svg_font = "font-family=\"Helvetica, Arial, sans-serif\" font-size=\"18\"";

const char *svg_colour(rgba c, char *out) {
  auto byte = [](float v) { return static_cast<int>(std::lround(std::fmin(1.0f, std::fmax(0.0f, v)) * 255.0f)); };
  snprintf(out, 8, "#%02x%02x%02x", byte(c.r), byte(c.g), byte(c.b));
  return out;
}

void put_svg_text(FILE *out, const char *text) {
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

void put_svg_opening(FILE *out, int width, int height) {
  char colour[8];
  fprintf(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  fprintf(out,
          "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"%d\" height=\"%d\" "
          "viewBox=\"0 0 %d %d\">\n",
          width, height, width, height);
  fprintf(out, "<title>");
  put_svg_text(out, mech.title);
  fprintf(out, "</title>\n");
  fprintf(out, "<rect class=\"background\" width=\"%d\" height=\"%d\" fill=\"%s\"/>\n", width, height,
          svg_colour(white, colour));
}

void put_svg_grid(FILE *out, const picture_frame &f) {
  char colour[8];
  const double g = grid_spacing(f);
  // World range of the picture; k runs over the lines inside it.
  const double x_lo = (0.0 - f.x0) / f.scale, x_hi = (f.width - f.x0) / f.scale;
  const double y_lo = (f.y0 - f.height) / f.scale, y_hi = f.y0 / f.scale;
  fprintf(out, "<g class=\"grid\" stroke=\"%s\">\n", svg_colour(black, colour));
  for (long k = static_cast<long>(std::ceil(x_lo / g)); k * g <= x_hi; k++)
    fprintf(out, "<line x1=\"%.2f\" y1=\"0\" x2=\"%.2f\" y2=\"%d\" stroke-width=\"%d\"/>\n", pixel_x(f, k * g),
            pixel_x(f, k * g), f.height, k == 0 ? 2 : 1);
  for (long k = static_cast<long>(std::ceil(y_lo / g)); k * g <= y_hi; k++)
    fprintf(out, "<line x1=\"0\" y1=\"%.2f\" x2=\"%d\" y2=\"%.2f\" stroke-width=\"%d\"/>\n", pixel_y(f, k * g),
            f.width, pixel_y(f, k * g), k == 0 ? 2 : 1);
  fprintf(out, "</g>\n");
  fprintf(out, "<text class=\"grid-note\" x=\"%.0f\" y=\"%.0f\" %s>1grid=(%g, %g)</text>\n",
          grid_note_share * f.width, title_y, svg_font, g, g);
}

void put_svg_mechanism(FILE *out, const picture_frame &f, const picture_posture *posture) {
  static picture_shape shapes[max_shapes];
  const int count = posture_shapes(f, posture, shapes);
  char colour[8];
  const double half_l = slider_length * pixels_per_unit / 2.0, half_h = slider_height * pixels_per_unit / 2.0;
  for (int s = 0; s < count; s++) {
    const picture_shape &p = shapes[s];
    switch (p.kind) {
      case shape_plate:
        fprintf(out, "<polygon class=\"plate\" points=\"%.2f,%.2f %.2f,%.2f %.2f,%.2f\" fill=\"%s\"/>\n", p.x[0],
                p.y[0], p.x[1], p.y[1], p.x[2], p.y[2], svg_colour(plate_yellow, colour));
        break;
      case shape_bar:
        fprintf(out,
                "<line class=\"link\" x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" stroke=\"%s\" "
                "stroke-width=\"%g\"/>\n",
                p.x[0], p.y[0], p.x[1], p.y[1], svg_colour(red, colour), bar_width * pixels_per_unit);
        break;
      case shape_slider:
        fprintf(out, "<g class=\"slider\" transform=\"translate(%.2f %.2f) rotate(%.4f)\">\n", p.x[0], p.y[0],
                p.turn * 180.0 / pi);
        fprintf(out, "<rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" fill=\"%s\"/>\n", -half_l, -half_h,
                2.0 * half_l, 2.0 * half_h, svg_colour(white, colour));
        for (int k = 0; k < 2; k++) {
          const double side = k == 0 ? -half_h : half_h;
          fprintf(out, "<line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\" stroke=\"%s\" stroke-width=\"%g\"/>\n",
                  -half_l, side, half_l, side, svg_colour(red, colour), outline_width);
        }
        fprintf(out, "</g>\n");
        break;
      case shape_joint:
      case shape_fixed_joint: {
        const int fixed = p.kind == shape_fixed_joint;
        fprintf(out, "<g class=\"%s\">\n", fixed ? "joint fixed" : "joint");
        fprintf(out, "<circle cx=\"%.2f\" cy=\"%.2f\" r=\"%g\" fill=\"%s\"/>\n", p.x[0], p.y[0],
                disc_radius * pixels_per_unit, svg_colour(white, colour));
        for (int k = 0; k <= fixed; k++)
          fprintf(out,
                  "<circle cx=\"%.2f\" cy=\"%.2f\" r=\"%g\" fill=\"none\" stroke=\"%s\" stroke-width=\"%g\"/>\n",
                  p.x[0], p.y[0], (k == 0 ? ring_radius : fixed_ring_radius) * pixels_per_unit,
                  svg_colour(red, colour), outline_width);
        fprintf(out, "</g>\n");
        break;
      }
    }
  }
}

void put_svg_trace(FILE *out, const picture_frame &f, const point *trace, int from, int to) {
  char colour[8];
  int open = 0, running = 0;
  for (int b = from; b < to; b++) {
    if (!trace_joins(trace[b], trace[b + 1])) {
      running = 0;
      continue;
    }
    if (!open)
      fprintf(out,
              "<path class=\"path\" fill=\"none\" stroke=\"%s\" stroke-width=\"%g\" stroke-linejoin=\"round\" "
              "stroke-linecap=\"round\" d=\"",
              svg_colour(blue, colour), trace_width * pixels_per_unit);
    if (!running)
      fprintf(out, "%sM%.2f %.2f", open ? "\n" : "", pixel_x(f, trace[b].x), pixel_y(f, trace[b].y));
    fprintf(out, " L%.2f %.2f", pixel_x(f, trace[b + 1].x), pixel_y(f, trace[b + 1].y));
    open = running = 1;
  }
  if (open) fprintf(out, "\"/>\n");
}

void put_svg_titles(FILE *out) {
  fprintf(out, "<text class=\"title\" x=\"%.0f\" y=\"%.0f\" %s>", title_x, title_y, svg_font);
  put_svg_text(out, mech.title);
  fprintf(out, "</text>\n");
  char label[64];
  if (drive_label(label, sizeof label))
    fprintf(out, "<text class=\"drive\" x=\"%.0f\" y=\"%.0f\" %s>%s</text>\n", title_x, drive_y, svg_font, label);
}

void put_svg_joint_labels(FILE *out, const picture_frame &f, const picture_posture *posture) {
  for (int j = 1; j <= joints_drawn(); j++) {
    const point p = clamped_position(posture->J[j]);
    fprintf(out, "<text class=\"joint-label\" x=\"%.2f\" y=\"%.2f\" %s>J%d</text>\n",
            pixel_x(f, p.x) + label_offset, pixel_y(f, p.y) - label_offset, svg_font, j);
  }
}
