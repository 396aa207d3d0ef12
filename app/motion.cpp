// View and animation state and the motion logic of the window, without any
// drawing, so that the batch tools run the very same steps.
#include "app/motion.h"

motion_state motion = {
    start_view_scale, -50.0, -50.0, '0', 0, pi / 180.0, 0.0, 0.0, 0, {},
};

void reset_animation() {
  motion.step_count = 0;
  motion.view_scale = start_view_scale;
  motion.display_mode = '0';
  if (mech.rs == 'A' || mech.rs == 'B') motion.drive_step = pi / 180.0;  // one degree
  if (mech.rs == 'L') motion.drive_step = 1.0;                            // one world unit
}
