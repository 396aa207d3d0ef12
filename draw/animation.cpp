// The frames of an animation and the one map they are all drawn with.
#include "draw/animation.h"

int add_animation_frame(animation *a, int s) {
  if (a->count < 0 || a->count >= max_frames) return 0;
  a->step[a->count] = s;
  take_posture(&a->posture[a->count]);
  a->count++;
  return 1;
}

picture_frame fit_animation(const animation *a, int width, int height) {
  world_box box;
  for (int k = 0; k < a->count; k++) box_posture(&box, &a->posture[k]);
  if (a->count > 0) box_trace(&box, a->trace, a->step[a->count - 1]);
  return fit_picture(box, width, height);
}
