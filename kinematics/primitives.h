// Step primitives: complete one triangle or quadrilateral of links from what
// is known of it, working on lengths l and turning angles th (sikk2 also on
// absolute angles ath).  They never compute a joint position.
//
// Every primitive has two modes sharing its formulas:
//   planning mode (mark = 'X' for the planner, 'W' for the pre-analysis):
//     an output is written only while its known flag is 'N', and then both
//     flags of the pair are set to mark (sikk2 writes and marks everything);
//   solving mode (mark = solving): every output is written, except a fact
//     (flagged 'Y' or 'W'), which is compared instead; a miss fails the
//     figure.  No flag is written.
// Each returns nonzero when the figure was computed and 0 when it has no
// solution; a 0 result leaves nothing non-finite in the tables.
#pragma once

constexpr char solving = 0;  // the mark of solving mode

// Code 31: sides a-b, b-c and the turning angle at b known; gives l[a][c]
// and the angles at a and c.  Always 1 (0 on a zero length or a non-finite result).
int tri_sas(int a, int b, int c, char mark = solving);

// Code 32: side a-b and the angles at b and a known; gives l[a][c], l[b][c]
// and the angle at c.  1 solved; parallel sides: 0 in planning mode, 2 in
// solving mode.
int tri_asa(int a, int b, int c, char mark = solving);

// Code 33: sides a-b, b-c and the angle at a known; gives l[a][c] and the
// angles at b and c.  choice 1 takes the corner at c with non-negative
// cosine.  1 solved, 0 no triangle.
int tri_ssa(int a, int b, int c, int choice, char mark = solving);

// Code 34: three sides known; gives the three turning angles.  choice 1
// makes a, b, c counter-clockwise.  1 solved, 0 no triangle.
int tri_sss(int a, int b, int c, int choice, char mark = solving);

// Code 41: sides b-c, c-d, d-a and the angles at a and b known; gives the
// side a-b, both diagonals and every angle of the four triangles.
int quad_sss_aa(int a, int b, int c, int d, int choice, char mark = solving);

// Code 42: four sides and the directions of a-d and b-c known; gives the
// angles, both diagonals and the directions of d-c, a-b, a-c, d-b.
int sikk2(int a, int b, int c, int d, int choice, char mark = solving);

// Code 44: sides a-d, b-c and the angles at a, b, d (and c) known; gives the
// sides a-b, c-d, both diagonals and the angles of the four triangles.
int quad_ss_aaa(int a, int b, int c, int d, char mark = solving);
