// The map from world units to the pixels of a picture, the grid spacing and
// clean texts: what the still SVG, the animated SVG and the GIF frames
// share, so that one posture is drawn at the same pixels by all of them.
#include "draw/picture_layout.h"

#include "draw/scene.h"

// Pixels kept free around the drawing: a slider block reaches 22 pixels from
// its joint, a joint label some 30 to the right and 20 above it.
constexpr double margin = 40.0;
constexpr double flat_extent = 1e-9;   // world units: below this a box has no width
constexpr double window_scale = 2.0;   // pixels per world unit at the window's start
constexpr double window_grid = 20.0;   // world units between grid lines, as the window
constexpr double grid_widening = 5.0;  // the spacing grows by this while lines crowd
constexpr double min_grid_pixels = 10.0;  // closest grid lines

void take_posture(picture_posture *p) {
  const mechanism &m = mech;
  for (int i = 0; i < joint_slots; i++) p->J[i] = m.J[i], p->slider_angle[i] = 0.0;
  for (int r = 1; r <= m.slider_count && r < joint_slots; r++) {
    const slider_entry &e = m.sliders[r];
    if (e.i >= 0 && e.i < joint_slots && e.j >= 0 && e.j < joint_slots) p->slider_angle[r] = m.ath[e.j][e.i];
  }
}

int joints_drawn() { return mech.n < joint_slots ? mech.n : joint_slots - 1; }

void box_posture(world_box *box, const picture_posture *posture) {
  for (int i = 1; i <= joints_drawn(); i++) box->add(clamped_position(posture->J[i]));
}

void box_trace(world_box *box, const point *trace, int count) {
  for (int b = 0; b < count; b++)
    if (trace_joins(trace[b], trace[b + 1])) box->add(trace[b]), box->add(trace[b + 1]);
}

// scale = min(w / box width, h / box height) over the sides that are not
// flat; the box's middle at the middle of the w x h area.
picture_frame fit_picture(world_box box, int width, int height) {
  if (!(box.lo_x <= box.hi_x)) box.add(point{0.0, 0.0});  // nothing to draw
  const double w = width - 2.0 * margin, h = height - text_band - margin;
  const double bw = box.hi_x - box.lo_x, bh = box.hi_y - box.lo_y;
  double scale = INFINITY;
  if (bw > flat_extent) scale = w / bw;
  if (bh > flat_extent) scale = std::fmin(scale, h / bh);
  if (!std::isfinite(scale)) scale = window_scale;
  picture_frame f;
  f.width = width, f.height = height;
  f.scale = scale;
  f.x0 = margin + (w - bw * scale) / 2.0 - box.lo_x * scale;
  f.y0 = text_band + (h - bh * scale) / 2.0 + box.hi_y * scale;
  return f;
}

double grid_spacing(const picture_frame &f) {
  double g = window_grid;
  while (g * f.scale < min_grid_pixels) g *= grid_widening;
  return g;
}

static int is_link(int i, int j) { return mech.link_exists[i][j] == 'Y'; }

// Appends a shape of up to three corners when out has room; the new count.
static int add_shape(picture_shape *out, int count, shape_kind kind, const double *x, const double *y, int a,
                     int b, int c) {
  if (count >= max_shapes) return count;
  picture_shape &s = out[count];
  s.kind = kind, s.turn = 0.0;
  const int corner[3] = {a, b, c};
  for (int k = 0; k < 3; k++) s.x[k] = x[corner[k]], s.y[k] = y[corner[k]];
  return count + 1;
}

int posture_shapes(const picture_frame &f, const picture_posture *posture, picture_shape *out) {
  const mechanism &m = mech;
  const int n = joints_drawn();
  double x[joint_slots], y[joint_slots];
  for (int i = 1; i <= n; i++) {
    const point p = clamped_position(posture->J[i]);
    x[i] = pixel_x(f, p.x), y[i] = pixel_y(f, p.y);
  }
  int count = 0;
  for (int i = 1; i <= n - 2; i++)
    for (int j = i + 1; j <= n - 1; j++) {
      if (!is_link(i, j)) continue;
      for (int k = j + 1; k <= n; k++)
        if (is_link(j, k) && is_link(k, i)) count = add_shape(out, count, shape_plate, x, y, i, j, k);
    }
  for (int i = 1; i <= n - 1; i++)
    for (int j = i + 1; j <= n; j++)
      if (is_link(i, j)) count = add_shape(out, count, shape_bar, x, y, i, j, j);
  for (int r = 1; r <= m.slider_count && r < joint_slots; r++) {
    const int i = m.sliders[r].i;
    if (i < 1 || i > n) continue;
    const int at = count;
    count = add_shape(out, count, shape_slider, x, y, i, i, i);
    if (count > at) out[at].turn = std::isfinite(posture->slider_angle[r]) ? -posture->slider_angle[r] : 0.0;
  }
  for (int i = 1; i <= n; i++) {
    if (m.joint_kind[i] != 'R' && m.joint_kind[i] != 'D') continue;
    const int fixed = m.J_known[i] == 'Y' || m.J_known[i] == 'W';
    count = add_shape(out, count, fixed ? shape_fixed_joint : shape_joint, x, y, i, i, i);
  }
  return count;
}

int utf8_length(const unsigned char *s) {
  int len = s[0] < 0x80 ? 1 : s[0] >= 0xc2 && s[0] <= 0xdf ? 2 : s[0] >= 0xe0 && s[0] <= 0xef ? 3
                        : s[0] >= 0xf0 && s[0] <= 0xf4 ? 4 : 0;
  for (int k = 1; k < len; k++)
    if ((s[k] & 0xc0) != 0x80) return 0;
  if (len == 3 && ((s[0] == 0xe0 && s[1] < 0xa0) || (s[0] == 0xed && s[1] >= 0xa0))) return 0;
  if (len == 4 && ((s[0] == 0xf0 && s[1] < 0x90) || (s[0] == 0xf4 && s[1] >= 0x90))) return 0;
  return len;
}

void clean_text(const char *text, char *out, int size) {
  const unsigned char *s = reinterpret_cast<const unsigned char *>(text);
  int at = 0;
  while (*s) {
    int len = utf8_length(s);
    const int bad = len == 0 || (len == 1 && *s < 0x20);
    if (bad) len = 1;
    if (at + len >= size) break;  // room for the character and the closing 0
    for (int k = 0; k < len; k++) out[at + k] = bad ? '?' : static_cast<char>(s[k]);
    at += len, s += len;
  }
  if (size > 0) out[at] = '\0';
}
