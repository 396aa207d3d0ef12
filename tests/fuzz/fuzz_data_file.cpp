// libFuzzer target: arbitrary bytes as a mechanism data file, loaded the way
// linkmotion-path loads one (reader, snapshot, pre-analysis, drive, plan,
// assembly search with its notches), then a few frames of motion and solves
// at a spread of drive values.  After every solve that reports success every
// joint position, and the direction a slider block is drawn along, must be
// finite; a failing solve may leave anything but non-finite values behind.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/motion.h"
#include "app/setup_controller.h"
#include "kinematics/solver.h"
#include "model/console.h"
#include "model/mechanism_model.h"

// Notches of the assembly search.  linkmotion-path tries 72, each with a new
// plan while the plan is incomplete; 8 run the very same code for a ninth of
// the work, which matters under the sanitizers and the coverage: a 19-joint
// plan that fails late costs some 10 ms normally and 60 ms here.
constexpr int search_notches = 8;
// Motion frames after the load; each may take up to frame_attempts solves.
constexpr int motion_frames = 12;

static char data_path[64];

static void finite_or_abort(const char *where) {
  const mechanism &m = mech;
  for (int i = 1; i <= m.n; i++) {
    if (std::isfinite(m.J[i].x) && std::isfinite(m.J[i].y)) continue;
    fprintf(stderr, "\n%s: J[%d] = (%g, %g) is not finite\n", where, i, m.J[i].x, m.J[i].y);
    abort();
  }
  for (int s = 1; s <= m.slider_count && s < joint_slots; s++) {
    const slider_entry &e = m.sliders[s];
    if (std::isfinite(m.ath[e.j][e.i])) continue;
    fprintf(stderr, "\n%s: slider %d direction ath[%d][%d] is not finite\n", where, s, e.j, e.i);
    abort();
  }
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  FILE *null = fopen("/dev/null", "w");
  if (!null) abort();
  console_set_output(null);
  console_set_batch(1);
  const std::string tmp = std::filesystem::temp_directory_path().string();
  snprintf(data_path, sizeof data_path, "%s/linkmotion-fuzz-%ld", tmp.c_str(), static_cast<long>(getpid()));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FILE *f = fopen(data_path, "wb");
  if (!f) abort();
  if (size && fwrite(data, 1, size, f) != size) abort();
  fclose(f);

  // Every input starts from the same state: what init_model keeps (joint
  // kinds, title, drive) must not carry over from the previous input.
  memset(&mech, 0, sizeof mech);
  motion.view_x = motion.view_y = -50.0;
  motion.drive_step = pi / 180.0;

  const int loaded = batch_load(data_path, search_notches);
  unlink(data_path);  // read and closed: nothing is left behind should a later step crash
  if (!loaded) return 0;
  finite_or_abort("batch_load");

  reset_animation();
  solve_frame();  // the initial configuration
  finite_or_abort("initial frame");
  for (int s = 0; s < motion_frames; s++) {
    motion_step();
    solve_frame();
    finite_or_abort("motion frame");
  }

  // The drive over its whole range, and values no drive should meet.
  const double tt0 = mech.tt0;
  const double spread[] = {tt0, tt0 + 0.5, tt0 - 0.5, pi, -pi, 0.0, 1e-300, 3.0 * pi, -7.5,
                           1e6, -1e12, 1e300};
  for (double v : spread) {
    if (solve_positions(v)) finite_or_abort("solve_positions");
  }
  return 0;
}
