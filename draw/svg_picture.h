// A picture of the mechanism as an SVG file: one posture with the path of
// joint kten, in the window's colours and sizes, scaled to fit the picture,
// with the title, the drive label and the joint labels.  No OpenGL.
#pragma once

#include <cstdio>

#include "model/mechanism_model.h"

constexpr int picture_pixels = 800;  // width and height, as the window at start

struct picture_posture {
  point J[joint_slots];                // joint positions, world units
  double slider_angle[joint_slots];    // per slider record s: ath[j][i] of its guide, radians
};

// The posture the tables hold now.
void take_posture(picture_posture *p);

// Writes the picture of the loaded mechanism in the given posture with the
// path trace[0..count] (gaps and jumps skipped as the window skips them).
// 1 written, 0 a write failed.
int write_svg_picture(FILE *out, const picture_posture *posture, const point *trace, int count);
