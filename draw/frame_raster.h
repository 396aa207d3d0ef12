// One frame of an animation drawn into an image of its own pixels, by the
// rules of the SVG picture: background, grid, plates, link bars, slider
// blocks, joints, path, texts, anti-aliased.  No OpenGL.
#pragma once

#include <cstdint>

#include "draw/picture_layout.h"

// Draws the posture with the path trace[0..count] into pixels: f.height
// rows of `stride` bytes, top row first, each pixel 0x00rrggbb.  1 drawn, 0
// the drawing library failed.
int draw_frame_raster(uint32_t *pixels, int stride, const picture_frame &f, const picture_posture *posture,
                      const point *trace, int count);

// Frees what the drawing library keeps between frames (its font faces and
// caches), after the last frame, so that a leak check finds nothing held.
void release_frame_raster();
