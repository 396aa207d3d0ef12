// Reader of a mechanism data file.  Each step reads its sections in file
// order, writes every value and flag into the working and the saved tables,
// and echoes what it read on the console.
//
// A data file is whitespace-separated words and comma-separated entries:
//   title  (1) n  (2) i,K ... 0  (3) kten  (4) i,x,y ... 0  (5) i,j,x,y ... 0
//   (6) i,j,deg ... 0  (7) i,j,len ... 0  (8) i,j,k,deg ... 0  (9) i,j,k ... 0
//   (10) A id,jd,kd,deg | B id,jd,deg | L id,jd,len
//
// Every step returns 1 when its sections were read and 0 when the file
// cannot be used; then a message naming the file, the section and the entry
// has been printed and nothing was written outside a table.
//
// Besides the format, a file is refused for: a joint number outside 1..n or
// twice in one entry (the traced joint too); a number that is not finite or
// beyond max_length_value (coordinates, lengths) or max_angle_value
// (degrees); a length that is not positive; two fixed joints at the same
// place, or one joint fixed at two places; a slider whose guide j-k is no
// line of the mechanism (has_line: a link of (5), (6), (7), two fixed
// joints, two joints of an angle of (8), or the line of an earlier slider);
// a drive that check_drive
// refuses: a rotation of no line, or an element that the file gives or that
// the fixed joints determine.
#pragma once

// Opens mech.fname for reading, in the working directory or else in the
// bundled mechanism directory dir (may be nullptr).  1 opened, 0 not
// (message printed).
int open_data_file(const char *dir);

int read_title();   // the title word
int read_joints();  // sections (1) n, (2) joint kinds, (3) traced joint
int read_fixed();   // sections (4), (5) fixed joints and (6) fixed link angles
int read_links();   // sections (7) lengths, (8) relative angles, (9) sliders
int read_drive();   // section (10) the drive; closes the file

// Closes the data file if it is open (after a failed step).
void close_data_file();
