// A picture of the mechanism as an SVG file: one posture with the path of
// joint kten, in the window's colours and sizes, scaled to fit the picture,
// with the title, the drive label and the joint labels.  No OpenGL.
#pragma once

#include <cstdio>

#include "draw/picture_layout.h"

// Writes the 800 x 800 picture of the loaded mechanism in the given posture
// with the path trace[0..count] (gaps and jumps skipped as the window skips
// them), scaled to the posture and the path.  1 written, 0 a write failed.
int write_svg_picture(FILE *out, const picture_posture *posture, const point *trace, int count);
