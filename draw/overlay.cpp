// On-screen text: bitmap strings at raster positions.
#include "draw/overlay.h"

#include <GL/freeglut.h>

void draw_text(float x, float y, void *font, const char *text) {
  glPushAttrib(GL_CURRENT_BIT);
  glRasterPos2f(x, y);
  for (const char *c = text; *c; c++) glutBitmapCharacter(font, static_cast<unsigned char>(*c));
  glPopAttrib();
}

void draw_overlay() {
  static overlay_text items[overlay_max_texts];
  const int count = build_overlay(items, overlay_max_texts);
  for (int i = 0; i < count; i++)
    draw_text(items[i].x, items[i].y, GLUT_BITMAP_HELVETICA_18, items[i].text);
}
