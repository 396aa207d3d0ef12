// Deduction pass of the planner: every fact that follows from the known ones
// by an algebraic rule is derived, marked 'X' and recorded in the solving
// order.
#pragma once

// Runs sweeps of the deduction rules until one derives nothing.  Returns
// the number of deductions, or 1 when a placed joint made every joint known.
// Stops early, deriving nothing more, when junjo is full or a deduction's
// value would not be finite.
int propagate_known();

// 1 when the last propagate_known stopped at a deduction whose value would
// not be finite; its record is the last of junjo and nothing was derived.
int deduction_overflowed();

// 1 when every joint position is known (after setting the slider angles
// and printing so), else 0.
int all_known();

// Recomputes deduction record r of the solving order from the current
// values, without flags and without wrapping (the position solver's replay).
// 1 done; 0 a value would not be finite (nothing written).
int replay_deduction(int r);

// Computes the fact of deduction code `code` on the joints a, b, c, d (0 for
// a joint the code does not use) from the working tables and stores it with
// its reverse entry.  mark 'X' or 'W': derived angles are wrapped, both flags
// of every written pair are set to mark, and code 11 fills only what is
// unknown; mark `solving`: nothing wrapped, no flag touched, code 11
// recomputes length and direction.  Codes 101-103, 1-3, 5-8, 10, 11, and
// 4, the angle sum of a quadrilateral, which only the pre-analysis uses.
// 1 written; 0 when a value would not be finite (an overflow of a position
// or a length): then nothing is written and no flag is touched.
int apply_deduction(int code, int a, int b, int c, int d, char mark);

// Derives the fact of a rule whose condition holds; 0 ends the sweep at once.
typedef int (*rule_action)(int code, int a, int b, int c, int d);

// Groups of rules a sweep applies, in this order.
enum rule_group {
  rules_lines = 1,               // 101, 102, 103: a zero angle ('Y' or 'W') as a straight line
  rules_angles = 2,              // 1, 2, 3 (and 4), then 5, 6, then 7, 8
  rules_joints = 4,              // 10, 11
  rules_quadrilateral_sums = 8,  // with rules_angles: 4 after 3
};

// One sweep of the chosen rule groups over every joint tuple in the fixed
// loop order, calling act wherever a rule's condition holds on the flags as
// they are at that moment.  *count gets the number of facts act derived;
// returns 1 after the whole sweep, 0 when act ended it.
int sweep_rules(int which, rule_action act, int *count);

// Appends the record (code, a, b, c, d) to junjo, writing only the joints
// that are nonzero, and returns its number; 0 (nothing written) when the
// usable records 1..749 are all taken.
int append_step(int code, int a, int b, int c, int d);

// 1 when no further record fits in junjo.
int junjo_full();
