// An animation of a motion: the postures of some of its steps, each drawn
// with the path traced up to that step, one picture map for them all, and
// the writers of the animation as a GIF and as an SVG that plays itself.
// No OpenGL.
#pragma once

#include <cstdio>

#include "draw/picture_layout.h"

// Most frames of one animation: 3600 frames of 40 ms are two and a half
// minutes of motion, ten turns of a crank at a degree a frame; their
// postures take 1.7 MB.
constexpr int max_frames = 3600;
// Frame sizes, pixels: below 200 the title band and the margins leave too
// little to draw in; 2000 x 2000 is 16 MB of image, 20 times the window.
constexpr int min_frame_pixels = 200, max_frame_pixels = 2000;

struct animation {
  int count;                             // frames, 1..max_frames
  int step[max_frames];                  // frame k shows the posture after step[k] steps
  picture_posture posture[max_frames];   // and the path trace[0..step[k]]
  const point *trace;                    // the path of the run, slot s after step s
  int delay_ms;                          // milliseconds a frame stands
  picture_frame frame;                   // pixels of every frame
};

// Appends the posture the tables hold now as the frame of step s.  1 added,
// 0 the table is full.
int add_animation_frame(animation *a, int s);

// The map of width x height pixels that holds every posture of the frames
// and the whole path of the last frame, as the still picture is fitted to
// its posture and path.
picture_frame fit_animation(const animation *a, int width, int height);

// The animation as a looping GIF of the drawing's colours.  1 written, 0
// the drawing or a write failed.
int write_gif_animation(FILE *out, const animation *a);

// The animation as an SVG that plays itself in a loop with SMIL animation
// and no script.  1 written, 0 a write failed.
int write_svg_animation(FILE *out, const animation *a);
