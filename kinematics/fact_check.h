// The facts a data file gives (fixed joints, link lengths, absolute and
// relative angles, slider lines), held as a value apart from the mechanism
// tables, and the check of a posture against them.  A posture that breaks
// one is no solution, whatever the steps of the plan computed.
#pragma once

#include "model/mechanism_model.h"

enum fact_kind { fact_fixed, fact_length, fact_direction, fact_angle, fact_slider };

struct fact {
  int kind;        // fact_kind
  int i, j, k;     // joints: fixed i; length i-j; direction i->j; angle i,j,k (at j);
                   // slider i on the line j-k
  double value;    // world units (length), radians (direction, angle); unused otherwise
  point at;        // fixed joint: its place, world units
  double c, s;     // direction, angle: cos and sin of value, so a check takes no trigonometry
};

// Most facts of one file: 19 fixed joints, 19 lengths, 19 directions, 19
// angles and 19 sliders, with room to spare.
constexpr int max_facts = 128;

// A miss of 1e-6 of the mechanism's size, in world units, is allowed.  The
// solver's own rounding stays near 1e-12 of it, but at a dead point the
// triangle of three sides takes a triangle whose cosine lies within 1e-6 of
// +-1 as straight: its angles become exactly 0 and pi, and its third side
// then closes only to about 1e-6 of the size.  A tighter bound would refuse
// the very limit positions that the solver is built to reach; a real
// contradiction misses by far more (a link 7 percent longer, an angle of
// another branch: parts in a hundred of the size and up).
constexpr double fact_tolerance = 1e-6;

struct fact_list {
  int count;
  fact facts[max_facts];
  double size;     // longest given length or span of fixed joints, at least 1 world unit
  int valid;       // 0: too many facts to hold, no check
  int load_serial; // the mechanism's load_serial when collected: another one is not checked
};

// The facts of the loaded mechanism: every 'Y' fact of the working tables
// with its present value (the data file's, or an edit's).  0 when there were
// more than max_facts (then no check is made), 1 otherwise.
int collect_facts(fact_list *out);

// 0 when the posture J[1..n] keeps every fact to fact_tolerance of the
// size; otherwise 1 + the index of the first broken fact, and *miss its
// miss in world units.
int broken_fact(const fact_list &facts, const point *J, double *miss);

// As broken_fact, for a list kept apart from the loaded mechanism (a copy
// taken with its plan): no test of load_serial, facts.valid still read.
int first_broken_fact(const fact_list &facts, const point *J, double *miss);

// The broken fact as the console names it, with its given and its actual
// value: "l[1][2]=60.00 が 40.36 になる" and the like.
void describe_fact(const fact_list &facts, int index, const point *J, char *out, int size);

// The facts the solver checks its postures against: collected by the
// pre-analysis and the planner, cleared by init_model.
extern fact_list solver_facts;

// After solve_positions returned 0: 1 + the index of the fact its posture
// broke, or 0 when a step of the plan failed.
int last_broken_fact();

// The first slider that lies beyond the ends of its guide in posture J,
// where the guide is a link of the file (a line of two fixed joints or of
// an angle has no ends): its entry s in mech.sliders[1..slider_count], 0
// when every slider is on its guide.  *along: its place along j->k in lengths of
// the guide, 0 at j and 1 at k.
int slider_beyond_guide(const point *J, double *along);
