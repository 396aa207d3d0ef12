// SVG picture of a posture and the traced path, drawn in the window's order:
// background, grid, plates, link bars, slider blocks, joints, path, texts.
#include "draw/svg_picture.h"

#include "draw/svg_elements.h"

int write_svg_picture(FILE *out, const picture_posture *posture, const point *trace, int count) {
  if (count < 0) count = 0;
  world_box box;
  box_posture(&box, posture);
  box_trace(&box, trace, count);
  const picture_frame f = fit_picture(box, picture_pixels, picture_pixels);
  char colour[8];
  put_svg_opening(out, f.width, f.height);
  put_svg_grid(out, f);
  put_svg_mechanism(out, f, posture);
  put_svg_trace(out, f, trace, 0, count);
  fprintf(out, "<g fill=\"%s\">\n", svg_colour(black, colour));
  put_svg_titles(out);
  put_svg_joint_labels(out, f, posture);
  fprintf(out, "</g>\n");
  fprintf(out, "</svg>\n");
  return !ferror(out);
}
