// Keyboard commands: the key table and the small operations on the view.
#include "app/keyboard.h"

#include "app/choice_editor.h"
#include "app/motion.h"
#include "app/setup_controller.h"

constexpr double pan_step = 10.0;   // world units per press of x, X, y, Y
constexpr double zoom_factor = 0.9; // scale factor per press of w; W divides by it

int motion_playing = 0;

static void toggle_play() { motion_playing = !motion_playing; }
// A new set-up starts still: the play belongs to the mechanism it moved.
static void stop_and_set_up() {
  motion_playing = 0;
  setup_mechanism();
}
static void reverse_motion() { motion.drive_step = -motion.drive_step; }
static void show_initial() {
  motion.display_mode = '0';
  motion.stalled = 0;
}
static void show_motion() {
  motion.display_mode = '1';
  motion.stalled = 0;
}
static void pan_left() { motion.view_x -= pan_step; }
static void pan_right() { motion.view_x += pan_step; }
static void pan_down() { motion.view_y -= pan_step; }
static void pan_up() { motion.view_y += pan_step; }
static void zoom_out() { motion.view_scale *= zoom_factor; }
static void zoom_in() { motion.view_scale /= zoom_factor; }

struct key_command {
  unsigned char key;
  void (*run)();  // nullptr: nothing to run
  key_then then;
};

static const key_command key_table[] = {
    {'n', edit_choices, then_display},
    {'r', reverse_motion, then_display},
    {'0', show_initial, then_display},
    {'1', show_motion, then_display},
    {'x', pan_left, then_display},
    {'X', pan_right, then_display},
    {'y', pan_down, then_display},
    {'Y', pan_up, then_display},
    {'w', zoom_out, then_display},
    {'W', zoom_in, then_display},
    {'s', motion_step, then_display},
    {key_play, toggle_play, then_nothing},
    {'l', stop_and_set_up, then_redraw},
    {'p', stop_and_set_up, then_redraw},
    {key_escape, nullptr, then_exit},
};

key_then run_key_command(unsigned char key) {
  command_key = static_cast<char>(key);
  for (const key_command &c : key_table) {
    if (c.key != key) continue;
    if (c.run) c.run();
    return c.then;
  }
  return then_nothing;
}
