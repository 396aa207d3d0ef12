// The rebuild of one synthesis candidate on the mechanism record.
#include "app/synth_rebuild.h"

#include "app/dialogs.h"
#include "kinematics/planner.h"
#include "kinematics/pre_analysis.h"
#include "kinematics/solver.h"
#include "model/mechanism_model.h"

int rebuild_candidate() {
  clear_derived();
  if (!pre_analysis()) return 0;
  mark_drive('Z');
  for (int s = 0; s < junjo_slots; s++) { mech.junjo[s][jj_choice] = 0; mech.choice_offered[s] = 0; }
  if (!cal_junjo()) return 0;
  return solve_positions(mech.tt0);
}
