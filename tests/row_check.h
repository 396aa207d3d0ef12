// A check of the batch tool's rows against the facts of their data file,
// made from positions alone (distances, directions and turns between
// joints), not from the solver's tables or its own check: fixed joints,
// given lengths, directions and relative angles, sliders on their lines.
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "model/mechanism_model.h"

struct row {
  int step;
  double drive;
  std::vector<point> J;  // J[1..n]; J[0] unused
};

// Rows of the batch tool's CSV; an empty vector when the header is not the
// expected one.
std::vector<row> parse_rows(const std::string &csv, int n);

double dist(point a, point b);
double direction(point a, point b);
// |a - b| brought into [0, pi]: whole turns apart are the same angle.
double angle_gap(double a, double b);

// The facts a data file gives, taken from the reader's tables after loading
// it (no plan is made).  n is 0 when the file does not read.
struct given_facts {
  int n = 0, kten = 0, rs = 0;
  std::vector<std::pair<int, point>> fixed;        // joint, position
  std::vector<std::array<int, 2>> lengths;         // i < j
  std::vector<double> length_value;
  std::vector<std::array<int, 2>> directions;      // i < j
  std::vector<double> direction_value;
  std::vector<std::array<int, 3>> turns;           // (i, j, k), i < k; not those of sliders
  std::vector<double> turn_value;
  std::vector<std::array<int, 3>> sliders;         // slider i on the line j-k
};
given_facts facts_of_file(const std::string &path);

// The largest miss of a fact over the rows, in world units (an angle counts
// as the sideways shift it gives at the shorter of its links), and what
// missed it ("l[1][5] at step 3").
double worst_fact_miss(const given_facts &g, const std::vector<row> &rows, std::string *what);
