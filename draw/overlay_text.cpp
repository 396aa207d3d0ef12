// Texts of the overlay, built from the model and the view without drawing.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "draw/labels.h"
#include "draw/overlay.h"
#include "draw/scene.h"
#include "model/mechanism_model.h"

constexpr float label_offset = 0.02f;  // normalised units right of and above a joint
constexpr float list_x = -0.9f;
constexpr float list_top = 0.85f;      // the first list line is one step below
constexpr float list_step = 0.05f;     // normalised units between list lines
constexpr double length_bias = 0.001;  // world units: 99.9995 is written 100

struct overlay_builder {
  overlay_text *items;
  int max, count;
};

static void add_text(overlay_builder *b, float x, float y, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));

static void add_text(overlay_builder *b, float x, float y, const char *fmt, ...) {
  if (b->count >= b->max) return;
  overlay_text &t = b->items[b->count++];
  t.x = x;
  t.y = y;
  va_list args;
  va_start(args, fmt);
  vsnprintf(t.text, sizeof t.text, fmt, args);
  va_end(args);
}

// A sign character and the whole units u >= 0 of a magnitude: three digits
// below 1000 ("050"), every digit from 1000 on ("1500").
static void magnitude_text(char *out, int size, int negative, double u) {
  const char sign = negative ? '-' : ' ';
  if (!std::isfinite(u))
    snprintf(out, size, "%c???", sign);
  else if (u < 1000.0)
    snprintf(out, size, "%c%03d", sign, static_cast<int>(u));
  else
    snprintf(out, size, "%c%.0f", sign, u);
}

// The eccentricity rule of the conic drawers conic1..conic5, keyed on the
// first and the sixth letter of the file name.
static void add_conic_rule(overlay_builder *b) {
  static const char *const rules[] = {
      "e=L12/L23>1:hyperb, =1:parabola, <1:ellipsoid",
      "e=2*L18/L89>1:hyperb, =1:parabola, <1:ellipsoid",
      "e=2*L12/L45>1:hyperb, =1:parabola, <1:ellipsoid",
      "e=2*L23/L45>1:hyperb, =1:parabola, <1:ellipsoid",
      "e=sqrt(J1,L89)/L26>1:hyperb, =1:parabola, <1:ellipsoid",
  };
  const char *f = mech.fname;
  if (f[0] != 'c' || strnlen(f, fname_size) < 6) return;
  const int which = f[5] - '1';
  if (which < 0 || which > 4) return;
  add_text(b, which == 4 ? -0.1f : 0.0f, 0.9f, "%s", rules[which]);
}

static void add_drive_label(overlay_builder *b) {
  char label[overlay_text_size];
  if (drive_label(label, sizeof label)) add_text(b, -0.9f, 0.85f, "%s", label);
}

static void add_joint_labels(overlay_builder *b, int n) {
  for (int j = 1; j <= n; j++) {
    screen_point s = screen_of(drawn_position(j));
    add_text(b, static_cast<float>(s.x) + label_offset, static_cast<float>(s.y) + label_offset,
             j <= 9 ? "J%d " : "J%d", j);
  }
}

// Fixed joints given by the data file, then the lengths it gives.
static void add_lists(overlay_builder *b, int n) {
  const mechanism &m = mech;
  int line = 0;
  for (int j = 1; j <= n; j++) {
    if (m.J_known[j] != 'Y') continue;
    char num[4], x[32], y[32];
    joint_number(num, sizeof num, j);
    magnitude_text(x, sizeof x, m.J[j].x < 0.0, std::floor(std::fabs(m.J[j].x)));
    magnitude_text(y, sizeof y, m.J[j].y < 0.0, std::floor(std::fabs(m.J[j].y)));
    line++;
    add_text(b, list_x, list_top - list_step * line, "J%s=(%s, %s)", num, x, y);
  }
  for (int i = 1; i <= n - 1; i++)
    for (int j = i + 1; j <= n; j++) {
      if (m.l_known[i][j] != 'Y') continue;
      char len[32];
      const double l = m.l[i][j];
      magnitude_text(len, sizeof len, l < 0.0, std::floor(std::fabs(l) + length_bias));
      line++;
      add_text(b, list_x, list_top - list_step * line, "L[%d,%d]=%s", i, j, len);
    }
}

int build_overlay(overlay_text *items, int max) {
  overlay_builder b = {items, max, 0};
  const int n = mech.n < joint_slots ? mech.n : joint_slots - 1;
  add_text(&b, 0.3f, 0.85f, "configuration OK?  no:n  yes:any");
  add_text(&b, 0.3f, 0.8f, "If no, goto character display");
  add_text(&b, 0.5f, 0.75f, "1grid=(20, 20)");
  add_conic_rule(&b);
  add_text(&b, -0.9f, 0.9f, "%s", mech.title);
  add_drive_label(&b);
  add_joint_labels(&b, n);
  add_lists(&b, n);
  return b.count;
}
