// The tables of one planar link mechanism: its joints, links, angles,
// sliders and drive, which of these quantities are known, the solving order,
// and the snapshot that the editing dialogs restore from.
//
// Joints are numbered 1..n; slot 0 of every joint-indexed table exists and is
// never used.  A link (i, j) is held in both orders; a relative angle
// (i, j, k) meets at j and is held as (i, j, k) and (k, j, i).
//
// Angle conventions (radians inside, degrees in files and on the console):
//   ath[i][j]    direction from J[i] to J[j], from +x towards +y:
//                J[j] = J[i] + l[i][j] (cos ath[i][j], sin ath[i][j])
//   ath[j][i]  = ath[i][j] + pi (some writers wrap it, some do not)
//   th[i][j][k]= ath[j][k] - ath[i][j], the turning angle at j from the
//                direction i->j to j->k: 0 straight on, +-pi folded back
//   th[k][j][i]= -th[i][j][k] (mod 2 pi; a slider stores pi in both orders)
//
// Known flags, one letter per position, length and angle:
//   'N' still to be found        'Y' given by the data file
//   'W' derived before the drive  'Z' the driven quantity
//   'X' determined by the planner
// A quantity counts as known when its flag is not 'N'.
#pragma once

// Table sizes.
constexpr int joint_slots = 20;       // per joint index; joints 1..19
constexpr int max_joints = 19;        // largest n
constexpr int junjo_slots = 750;      // solving-order records 0..749; 0 unused
constexpr int junjo_fields = 7;       // code, four joints, choice, spare
constexpr int max_section_entries = 19;  // entries of one data-file list
constexpr int title_size = 80;        // 79 bytes and the terminator
constexpr int fname_size = 256;       // 255 bytes and the terminator

// The system's own constants (not full-precision pi).
constexpr double pi = 3.1415926536;
constexpr double half_pi = 1.5707963268;
constexpr double deg_to_rad = 0.0174532925;
constexpr double rad_to_deg = 57.2957795;

// Fields of a solving-order record.
enum junjo_field {
  jj_code = 0, jj_a = 1, jj_b = 2, jj_c = 3, jj_d = 4, jj_choice = 5, jj_spare = 6
};

struct point {
  double x, y;  // world units
};

struct slider_entry {
  int i;     // slider joint
  int j, k;  // it runs on the link L[j][k]
};

struct mechanism {
  // --- working tables ---
  int n;                              // number of joints, 1..19
  char joint_kind[joint_slots];       // 'R' rotary, 'S' slider, 'D' slider carrying a rotary joint
  int kten;                           // joint whose path is traced
  char title[title_size];             // first word of the data file
  point J[joint_slots];               // joint positions, world units
  char J_known[joint_slots];
  char link_exists[joint_slots][joint_slots];  // 'Y' where the file names a link, both orders
  double l[joint_slots][joint_slots];          // link lengths, world units, l[i][j] = l[j][i]
  char l_known[joint_slots][joint_slots];
  double ath[joint_slots][joint_slots];        // absolute link angles, radians
  char ath_known[joint_slots][joint_slots];
  double th[joint_slots][joint_slots][joint_slots];  // relative angles, radians
  char th_known[joint_slots][joint_slots][joint_slots];
  slider_entry sliders[joint_slots];  // entries 1..slider_count
  int slider_count;

  // --- drive definition ---
  int rs;          // 'A' th[id][jd][kd], 'B' ath[id][jd], 'L' l[id][jd] (a slide)
  int id, jd, kd;  // joints of the driven element; kd for 'A' only
  double tt0;      // initial drive value: radians ('A', 'B') or world units ('L')

  // --- solving order ---
  int junjo[junjo_slots][junjo_fields];  // records 1..junjo_count
  int junjo_count;
  int choice_offered[junjo_slots];       // nonzero where the planner offered a branch
  int nochoice;    // 1: the solver flips the branch of a failing step; 0: never
  int solve_ok;    // result of the last planner or solver run
  char fname[fname_size];                // data file name as typed
  int load_serial;  // counts the clearings by init_model: what was worked out of
                    // one mechanism is never taken for another's

  // --- snapshot for the editing dialogs ---
  point J_saved[joint_slots];
  int J_known_saved[joint_slots];        // flag letters held in ints
  double l_saved[joint_slots][joint_slots];
  int l_known_saved[joint_slots][joint_slots];
  double ath_saved[joint_slots][joint_slots];
  int ath_known_saved[joint_slots][joint_slots];
  double th_saved[joint_slots][joint_slots][joint_slots];
  int th_known_saved[joint_slots][joint_slots][joint_slots];
  int rs_saved, id_saved, jd_saved, kd_saved;
  double tt0_saved;
};

// The one mechanism every part of the program works on.
extern mechanism mech;

// Clears every position, length, angle, flag (working and saved) and the
// solving order; n, kinds, kten, title, sliders' k and the drive survive.
void init_model();

// Copies every 'Y' and 'W' fact of the working tables into the saved tables.
void save_model();

// Copies the drive definition into its saved copy.
void save_drive();

// Reduces x by whole turns: values within +-3 pi come back in [-pi, pi];
// the loop stops as soon as |x| < 2 pi.
double wrap_angle(double x);

// 1 when 1 <= j <= n.
int joint_in_range(int j);

// Largest magnitude of a coordinate or a length, world units: far beyond any
// drawn mechanism (the start view spans 400 units), and small enough that no
// sum or product of a few such values comes near the range of a double.
constexpr double max_length_value = 1e6;
// Largest magnitude of an angle, degrees (some 2800 turns).
constexpr double max_angle_value = 1e6;

// 1 when the data file makes i and j two joints of one straight line of the
// mechanism: a link of section (5), (6) or (7) (link_exists), two joints
// fixed by sections (4), (5) (the frame is one body), two of the
// three joints of a relative angle of section (8) (one rigid body: the two
// sides, and the line between their ends, which a straight bar of angle 0
// runs along), or two of the three joints of a slider of section (9), which
// lie on one line.  Read from link_exists and the saved 'Y' flags of J and
// th, which only the reader writes.
int has_line(int i, int j);

// 1 when a, b, c (three different joints) are the joints of a slider entry:
// the six angles of 0 and pi the reader writes for it are one fact, the
// slider's, and make no bar.
int slider_triple(int a, int b, int c);

// Whether the element of drive kind rs on joints i, j (and k for 'A') can be
// driven.  'B' turns the line i-j and 'A' the line j-k against j-i: they must
// be lines of the mechanism (has_line).  'L' changes the distance of i and j,
// which a slider along its guide or an actuator between any two joints can
// do.  Kinds other than 'A', 'B', 'L' drive nothing and are usable.
enum drive_fault {
  drive_usable,
  drive_without_line,  // 'B': i-j is no line; 'A': i-j or j-k is none
  drive_of_fixed,      // derived from the fixed parts ('W'): it cannot move
  drive_of_given,      // given by the data file ('Y'): a drive would change
                       // what the pre-analysis took for an invariant
};
// missing (may be nullptr) gets the side that is no line for drive_without_line.
drive_fault check_drive(int rs, int i, int j, int k, int missing[2]);

// The driven element as the messages name it: "th[i][j][k]" for 'A',
// "ath[i][j]" for 'B', "l[i][j]" for 'L' (anything else: "l[i][j]").
void drive_element_name(int rs, int i, int j, int k, char *out, int size);
