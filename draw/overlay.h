// On-screen text of every frame: the prompt, the grid spacing, the conic
// rule of the conic drawers, the title, the drive label, a label beside
// every joint, and the lists of fixed joints and given link lengths.
#pragma once

constexpr int overlay_text_size = 96;  // bytes of one text, terminator included
// Most texts of one frame: 3 fixed lines, a conic rule, the title, the drive
// label, 19 joint labels, 19 fixed joints and the 171 links of 19 joints.
constexpr int overlay_max_texts = 3 + 1 + 1 + 1 + 19 + 19 + 171;

struct overlay_text {
  float x, y;  // raster position, normalised device units
  char text[overlay_text_size];
};

// Builds the texts of this frame in drawing order into items[0..max-1],
// without any drawing.  Returns how many there are.
int build_overlay(overlay_text *items, int max);

// Draws text at the raster position (x, y) in the given GLUT bitmap font,
// keeping the current colour state.
void draw_text(float x, float y, void *font, const char *text);

// Draws every text of build_overlay in GLUT_BITMAP_HELVETICA_18.
void draw_overlay();
