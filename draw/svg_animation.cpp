// The animation as an SVG that plays itself: the background, the grid and
// the titles once; per frame a group of its posture and one of its joint
// labels, each shown only in its own slot of the loop; the path in pieces,
// the piece of frame k shown from slot k to the end of the loop.  Every
// switch is a discrete SMIL <animate> of visibility over the whole loop,
// repeated indefinitely, so that all of them restart together.
#include "draw/animation.h"
#include "draw/svg_elements.h"

// keyTimes are fractions of the loop; frame k starts at k / count.  Six
// decimals tell 3600 frames apart with room to spare, and the same k always
// prints the same fraction, so one slot ends exactly where the next begins.
static void put_key_time(FILE *out, int k, int count) { fprintf(out, "%.6f", static_cast<double>(k) / count); }

// The <animate> that shows an element in the slots first <= k < last of the
// loop and hides it in the others.
static void put_visibility(FILE *out, const animation *a, int first, int last) {
  const int n = a->count;
  if (first <= 0 && last >= n) return;  // always shown
  fprintf(out, "<animate attributeName=\"visibility\" calcMode=\"discrete\" dur=\"%ldms\" repeatCount=\"indefinite\" ",
          static_cast<long>(a->delay_ms) * n);
  // values and keyTimes: hidden before first (when first > 0), visible
  // from first, hidden again from last (when last < n).
  fprintf(out, "values=\"%s%s\" keyTimes=\"0", first > 0 ? "hidden;visible" : "visible", last < n ? ";hidden" : "");
  if (first > 0) fputc(';', out), put_key_time(out, first, n);
  if (last < n) fputc(';', out), put_key_time(out, last, n);
  fprintf(out, "\"/>\n");
}

// Opening tag of a group shown in the slots first..last-1; the first slot's
// groups are visible without animation (a viewer without SMIL shows them).
static void open_group(FILE *out, const animation *a, const char *cls, int k, int first, int last, const char *fill) {
  fprintf(out, "<g class=\"%s\" data-frame=\"%d\" visibility=\"%s\"%s>\n", cls, k, first == 0 ? "visible" : "hidden",
          fill);
  put_visibility(out, a, first, last);
}

int write_svg_animation(FILE *out, const animation *a) {
  const picture_frame &f = a->frame;
  if (a->count < 1) return 0;
  char colour[8], fill[24];
  snprintf(fill, sizeof fill, " fill=\"%s\"", svg_colour(black, colour));
  put_svg_opening(out, f.width, f.height);
  put_svg_grid(out, f);
  fprintf(out, "<g%s>\n", fill);
  put_svg_titles(out);
  fprintf(out, "</g>\n");
  for (int k = 0; k < a->count; k++) {
    open_group(out, a, "frame", k, k, k + 1, "");
    put_svg_mechanism(out, f, &a->posture[k]);
    fprintf(out, "</g>\n");
  }
  // The piece of frame k: the segments from the step of frame k-1 to its own.
  for (int k = 1; k < a->count; k++) {
    open_group(out, a, "path-piece", k, k, a->count, "");
    put_svg_trace(out, f, a->trace, a->step[k - 1], a->step[k]);
    fprintf(out, "</g>\n");
  }
  for (int k = 0; k < a->count; k++) {
    open_group(out, a, "labels", k, k, k + 1, fill);
    put_svg_joint_labels(out, f, &a->posture[k]);
    fprintf(out, "</g>\n");
  }
  fprintf(out, "</svg>\n");
  return !ferror(out);
}
