// A solving order translated into a straight-line program over a state of
// its own: joint positions, link lengths, and every direction and turning
// angle as a unit vector (cos, sin).  Known angles turn a vector by a
// complex product with precomputed cos and sin; a square root is taken only
// where a figure is solved or a length and direction are measured between
// two joints (code 11).  The program computes only what reaches a joint
// position, a slider's drawn direction or a figure's acceptance test, and
// folds what does not depend on the drive into constants.
//
// It is a value: fixed-size tables, no pointer into the mechanism record.
// Copies are independent; each thread solves with its own copy.
//
// The replay of the solving order (solve_positions) stays the definition of
// the motion.  The program makes the same decisions: each figure's
// acceptance test is computed on the same quantity with the same tolerance
// (the cosine of tri_sss, the sine of tri_ssa, the sine of the corner of
// tri_asa, the cosine of sikk2, the discriminant of quad_sss_aa), and code
// 44's exact flat test and exact zero determinant are taken on the angles
// themselves, which the program carries beside the vectors (with the
// replay's own additions) wherever such a test reads them.
//
// Facts: a value flagged 'Y' (the file's) or 'W' (the pre-analysis's, the
// same at every drive value).  A deduction never writes a given value ('Y'
// is a constant of the program) and writes a derived one where the replay
// does.  A figure never writes either: an output of a figure that holds a
// fact is held (compiled_op::held), compared with the value the state has
// there, and a miss fails the figure as the replay's figure fails, with the
// replay's allowances: lengths within fact_tolerance times the mechanism's
// size, angles within 2e-3 rad, whole turns apart being the same angle.
// Where the replay's figure reads a held cell back (code 44's angle sums),
// the program reads the held value too.
//
// Where the replay reads in one solve what a later record of the previous
// solve wrote (a cycle through the tables), the program keeps those slots
// as the replay does: listed in `carried`, exchanged with the tables by
// solve_compiled, each direction restarting from its angle.
#pragma once

#include "kinematics/fact_check.h"
#include "kinematics/posture_check.h"
#include "model/mechanism_model.h"

// A direction or a turning angle: cos and sin.
struct unit2 {
  double c, s;
};

// Limits of one program.  A record of the plan becomes at most one
// operation; the drive one more.  Unit slots: every directed direction and
// turning angle a record reads or writes (sikk2 writes 24, a quadrilateral
// of code 41 22).
constexpr int compiled_ops_max = junjo_slots + 1;
constexpr int compiled_units_max = 4096;
constexpr int compiled_outputs_max = 26;  // writes of one operation (quad_sss_aa)
constexpr int compiled_inputs_max = 8;    // reads of one operation
constexpr int compiled_pool_max = 4096;   // values of the figures solved at compile time

struct compiled_op {
  short code;    // the record's code, or one of the drive operations
  short record;  // junjo record, 0 for the drive
  short shadow;  // 1: also carry the angles of its unit outputs
  short holds;   // outputs that are held (the count of held[k] >= 0)
  short corners; // tri_sss: 1 its corner at a is read (written or held), 2 the one at c, 3 both;
                 // code 44: 1 the angles at its diagonal a-c are read, 2 those at b-d
  short branch;  // product: record whose branch sign picks its constant (0 none)
  short inverse; // tri_sss: pool offset of 1 / |l_ac| where l_ac does not change, -1 none
  short place[3];  // product and drive direction: the placement that reads its unit, fused
                   // after it: from joint, length slot, joint placed; -1 none
  short in[compiled_inputs_max];     // slots read (kind by position, see the .cpp)
  short out[compiled_outputs_max];   // slots written, -1 not written
  short held[compiled_outputs_max];  // figures: a fact's slot, compared at output k; -1 none
};

// A slot that one solve leaves for the next (a record reads it before any
// record writes it, and a later one writes it), with its cell of the tables.
struct carried_cell {
  short slot;
  char kind;     // 'J' J[i], 'l' l[i][j], 'a' ath[i][j], 't' th[i][j][k]
  short i, j, k;
};
constexpr int compiled_carried_max = 256;

struct compiled_plan {
  int valid;          // 1: compiled; 0: the plan has a step this program cannot take
  int carried_count;  // slots one solve leaves for the next
  int synced_count;   // with those, slots kept in the tables too (carried_count up)
  carried_cell carried[compiled_carried_max];
  int op_count;
  compiled_op ops[compiled_ops_max];
  int n;              // joints 1..n
  char placed[joint_slots];  // 1: an operation of the plan places the joint (code 10)
  int moved_count;           // joints an operation of the program writes
  short moved[joint_slots];  // those joints
  int unmoved_bounded;       // 1: every other joint 1..n is finite and within the program's bound
                             // on magnitudes (they do not change in a run)
  int nochoice;       // the branch rule of the replay
  int last_branch;    // last record with two branches, 0 none
  int choice[junjo_slots];  // branch sign of each record, as junjo[r][jj_choice]

  // --- state: what the program reads and writes ---
  point J[joint_slots];                 // world units
  double l[joint_slots * joint_slots];  // l[i * joint_slots + j], i < j, world units
  unit2 u[compiled_units_max];          // directions and turning angles
  double angle[compiled_units_max];     // radians, where a record carries them
  int unit_count;

  // Unit slots of the slider guides' directions ath[j][i] (drawn), -1 where
  // the program does not write one.
  int slider_unit[joint_slots];

  double defer_length;  // world units: shorter vectors give no promised direction
  double drive_bound;   // radians or world units: larger drive values are left to the replay
  double length_allowance;  // world units: a held length within this of its fact keeps it
  int deferred;         // solves solve_compiled left to the replay
  int check_facts;        // 1: postures are checked against the file's facts
  posture_check check;    // those facts that a posture of the program can break
  int broken;             // 1 + index of the fact the last posture broke, 0 none

  // Figures of constant inputs, solved here for both branch signs:
  // per output slot its value (a length; cos, sin and angle of a unit).
  int pool_count;
  double pool[compiled_pool_max];
};

// Translates the loaded mechanism's plan (junjo, drive, branch signs,
// working tables as solve_positions would find them) into *p.  1 done; 0 a
// record has a code the program does not take or a limit was reached (then
// p->valid is 0 and only the replay can solve).
int compile_plan(compiled_plan *p);

// Solves the program for drive value tt (radians or world units, as
// solve_positions): the same result as the replay would give (0 failed, 1,
// or 2 where tri_asa took parallel lines last), with the branch rule
// applied to p->choice.  The positions are p->J.  -1 (no branch sign
// changed) where a direction is taken between two points closer than
// p->defer_length: there the replay's own direction is rounding noise, and
// only the replay can say what it gives; -1 too where the drive value
// exceeds p->drive_bound (there the replay's angle sums lose the promised
// precision), or a joint the run does not place or one it places leaves
// 1e60 in magnitude (or is not finite), beyond which the replay may
// overflow in a record the program does not run.
int run_compiled_plan(compiled_plan *p, double tt);

// The window's and the batch tool's solve with the plan: the branch signs
// of junjo into p, the program run, its flips back into junjo, the joint
// positions and the slider guides' directions into mech on success.  A
// joint the plan never places is read from mech and left there, as the
// replay leaves it.  Same result as solve_positions(tt), which it calls
// where the program gives -1.
int solve_compiled(compiled_plan *p, double tt);
