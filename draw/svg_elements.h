// The elements of an SVG picture of the mechanism, which the still picture
// and the animated one write alike: the opening with the background, the
// grid, one posture, a piece of the traced path, the texts.  Coordinates
// are pixels of a picture_frame, written to 0.01 pixel.  No OpenGL.
#pragma once

#include <cstdio>

#include "draw/picture_layout.h"
#include "draw/primitives.h"

// "#rrggbb" of a colour into out (8 bytes); out.
const char *svg_colour(rgba c, char *out);

// The XML declaration, the opening <svg> of width x height pixels, the
// document title and the white background.
void put_svg_opening(FILE *out, int width, int height);

// Text as XML character data: cleaned as clean_text cleans it, markup
// characters escaped.
void put_svg_text(FILE *out, const char *text);

// Black grid lines over the whole picture, the axes 2 pixels wide, and the
// note of the spacing at the top right.
void put_svg_grid(FILE *out, const picture_frame &f);

// Plates, link bars, slider blocks and joints of one posture.
void put_svg_mechanism(FILE *out, const picture_frame &f, const picture_posture *posture);

// One path element of the segments trace[b]-trace[b+1], from <= b < to,
// that the path joins (gaps and jumps skipped as the window skips them);
// runs of them as one polyline.  Nothing when none joins.
void put_svg_trace(FILE *out, const picture_frame &f, const point *trace, int from, int to);

// The title and the drive label in the text band; the caller's group gives
// them their black fill, as it does to the joint labels.
void put_svg_titles(FILE *out);

// The labels J1..Jn beside the joints of a posture.
void put_svg_joint_labels(FILE *out, const picture_frame &f, const picture_posture *posture);

// The font of every text element, as attributes.
extern const char *const svg_font;
