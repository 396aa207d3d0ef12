// libFuzzer target: arbitrary bytes as a mechanism data file, loaded the way
// linkmotion-path loads one (reader, snapshot, pre-analysis, drive, plan,
// assembly search with its notches), then a few frames of motion and solves
// at a spread of drive values.  After every solve that reports success every
// joint position, and the direction a slider block is drawn along, must be
// finite; a failing solve may leave anything but non-finite values behind.
// At the same drive values the compiled program of the plan must solve as
// the replay does: the same result and branch signs, the same joints to
// 1e-9 of the mechanism's size.
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
#include "kinematics/compiled_plan.h"
#include "kinematics/fact_check.h"
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

static compiled_plan plan;  // some 200 kB each: not on the stack
static mechanism before, replayed;

// Solves tt with the replay and then, from the same tables, with the
// program; aborts where they differ.  The tables go on from the replay.
// Returns the replay's result.
static int solve_both(double tt) {
  memcpy(&before, &mech, sizeof mech);
  const int reference = solve_positions(tt);
  memcpy(&replayed, &mech, sizeof mech);
  memcpy(&mech, &before, sizeof mech);
  const int compiled = solve_compiled(&plan, tt);
  const double size = solver_facts.valid ? solver_facts.size : 1.0;
  int differs = reference != compiled;
  for (int r = 1; r <= mech.junjo_count && r < junjo_slots; r++)
    differs |= replayed.junjo[r][jj_choice] != mech.junjo[r][jj_choice];
  for (int i = 1; reference && i <= mech.n; i++)
    differs |= !(std::hypot(replayed.J[i].x - mech.J[i].x, replayed.J[i].y - mech.J[i].y) <= 1e-9 * size);
  if (differs) {
    fprintf(stderr, "\nat tt = %.17g the replay gives %d and the compiled program %d\n", tt, reference, compiled);
    for (int r = 1; r <= mech.junjo_count && r < junjo_slots; r++)
      if (replayed.junjo[r][jj_choice] != mech.junjo[r][jj_choice])
        fprintf(stderr, "  record %d (code %d): the replay's sign %d, the program's %d\n", r,
                mech.junjo[r][jj_code], replayed.junjo[r][jj_choice], mech.junjo[r][jj_choice]);
    for (int i = 1; i <= mech.n; i++)
      fprintf(stderr, "  J[%d] replay (%.17g, %.17g) program (%.17g, %.17g)\n", i, replayed.J[i].x,
              replayed.J[i].y, mech.J[i].x, mech.J[i].y);
    abort();
  }
  memcpy(&mech, &replayed, sizeof mech);
  return reference;
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

  // The drive over its whole range, and values no drive should meet, by
  // the replay and, where the plan compiles, by the program too; then
  // steps from tt0.
  const double tt0 = mech.tt0;
  const double spread[] = {tt0, tt0 + 0.5, tt0 - 0.5, pi, -pi, 0.0, 1e-300, 3.0 * pi, -7.5,
                           1e6, -1e12, 1e300};
  const int compiled = compile_plan(&plan);
  for (double v : spread) {
    if (compiled ? solve_both(v) : solve_positions(v)) finite_or_abort("solve_positions");
  }
  if (!compiled) return 0;
  for (int s = 1; s <= 24; s++) solve_both(tt0 + s * (mech.rs == 'L' ? 1.0 : pi / 12.0));
  return 0;
}
