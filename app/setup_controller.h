// Console side of the program: loading a mechanism from its data file, or
// editing the loaded one, until the window can show it.
#pragma once

// The command that started the set-up: 'l' load, 'p' edit parameters; the
// keyboard stores every key here.
extern char command_key;

// Runs the load path ('l') or the edit path ('p') on the console, then
// prints the key help and resets the animation state.
void setup_mechanism();

// Reads the data file named mech.fname (from the working directory or the
// bundled library) into the model: reader steps, snapshot, pre-analysis,
// drive.  1 loaded, 0 the file cannot be used (message printed).
int read_mechanism_file();

// Sets mech.nochoice from the leading letters of a file name: 0 (branches
// fixed) for names beginning pc, ht, sk, pr, st, hyper4, hyper5, conic1,
// conic2, conic4, conic5; 1 for every other name.
void apply_nochoice_rule(const char *name);

// Raises the initial drive value tt0 by one notch, 5 degrees for 'A' and
// 'B', 5.0 world units for 'L', in the driven element too, and prints the
// old and the new value.  0 (nothing changed) when rs is no drive kind.
int raise_initial_drive();

// Loads the data file at path (a path, or a name in the bundled library) as
// the load path does, without waiting for any key: puts the console in batch
// mode (and leaves it there), applies the nochoice rule to the base name,
// plans at tt0 and, while nothing assembles, raises tt0 by one notch at most
// max_notches times, planning again while the plan is incomplete (a plan
// that no other tt0 can complete, plan_depends_on_tt0, ends the search at
// once).  1 the
// mechanism assembles at tt0 (solve_ok 1, animation reset); 0 otherwise, the
// reason printed on the console.
int batch_load(const char *path, int max_notches);

// The directory of the bundled mechanism library.
const char *mechanism_dir();
