// The one view and animation state of the window.
#include "model/motion_state.h"

motion_state motion = {
    start_view_scale, -50.0, -50.0, '0', 0, pi / 180.0, 0.0, 0.0, 0, {}, 0,
};
