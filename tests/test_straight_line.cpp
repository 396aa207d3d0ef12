// The exact straight-line mechanisms of the library: over 720 motion steps
// of linkmotion-path the traced joint stays on its best line to 1e-6 world
// units, that line is the one the mechanism's geometry predicts from the
// file's dimensions, and the traced range has the length the catalogue
// states.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/curve_fit.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

namespace {

// A straight line: a point of it and its direction (radians).
struct line {
  point through;
  double dir;
};

point joint(int i) { return mech.J_saved[i]; }
double length(int i, int j) { return mech.l_saved[i][j]; }
double direction(point a, point b) { return std::atan2(b.y - a.y, b.x - a.x); }

// An inversor with its pole at `pole` maps the circle through the pole that
// the crank about `pivot` (radius r) gives its input point onto a line: for
// the inversion constant K (the signed product of the two distances from
// the pole) the line is square to pole->pivot at K / 2r from the pole,
// turned about the pole by theta when the inverse point leads the input
// point by theta (the skew inversor).
line inversion_line(int pole, int pivot, double K, double r, double theta) {
  const double u = direction(joint(pole), joint(pivot)) + theta;
  const double d = K / (2.0 * r);
  const point p = joint(pole);
  return {{p.x + d * std::cos(u), p.y + d * std::sin(u)}, u + 0.5 * pi};
}

// Peaucellier cell: pole O, crank pivot Q, long arm O-B, rhombus side B-A,
// crank Q-A; OA * OP = OB^2 - BA^2 (negative: pole inside the rhombus).
line peaucellier(int pole, int pivot, int arm_end, int rhombus_corner, int crank_pin) {
  const double L = length(pole, arm_end), s = length(arm_end, rhombus_corner);
  return inversion_line(pole, pivot, L * L - s * s, length(pivot, crank_pin), 0.0);
}

// Hart's crossed parallelogram, long bars a, short bars b, the three points
// at the fraction lambda of their bars: the product is lambda (1 - lambda)
// (a^2 - b^2), negative when the pole lies between the other two points.
line hart(int pole, int pivot, int crank_pin, double a, double b, double lambda, double sign) {
  const double K = sign * lambda * (1.0 - lambda) * (a * a - b * b);
  return inversion_line(pole, pivot, K, length(pivot, crank_pin), 0.0);
}

struct straight_case {
  const char *name;
  line (*expected)();  // from the tables of the loaded file
};

// Joint numbers are those of the files (see the catalogue).
const straight_case cases[] = {
    {"pc1", [] { return peaucellier(1, 2, 3, 4, 4); }},
    {"pc2", [] { return peaucellier(1, 2, 3, 4, 4); }},
    {"pc3", [] { return peaucellier(1, 2, 3, 4, 4); }},
    {"pc4", [] { return peaucellier(5, 2, 6, 3, 3); }},
    {"ht",
     [] {
       const double a = length(4, 3) + length(3, 5), b = length(1, 4) + length(1, 7);
       return hart(1, 2, 3, a, b, length(1, 4) / b, 1.0);
     }},
    {"hs",
     [] {
       const double a = length(5, 6) + length(5, 7), b = length(6, 4) + length(4, 9);
       return hart(5, 3, 4, a, b, length(5, 6) / a, -1.0);
     }},
    {"pr",
     [] {
       // Similar triangles on the bars A-B (P), A-D (O) and D-C (Q): the
       // ratios mu = AO/AD and nu = DO/AD, and the turn of Q's attachment
       // against P's.
       const double b = length(4, 5), a = length(4, 6);
       const double mu = length(1, 4) / b, nu = length(1, 5) / b;
       const double theta = mech.th_saved[7][5][8] - mech.th_saved[6][4][3];
       return inversion_line(1, 2, mu * nu * (a * a - b * b), length(2, 3), theta);
     }},
    // Scott-Russell: the far end of the rod runs square to the slider's
    // guide through the crank pivot.
    {"sk1", [] { return line{joint(1), direction(joint(1), joint(2)) + 0.5 * pi}; }},
    {"sk2", [] { return line{joint(1), direction(joint(1), joint(2)) + 0.5 * pi}; }},
    // Cardan circle: a point of the circle on the trammel B-C as diameter
    // runs through the crossing of the guides, turned from B's guide by the
    // angle at C of the coupler triangle.
    {"cr",
     [] {
       const point g1 = joint(1), g3 = joint(3);
       const double d1 = direction(g1, joint(2)), d3 = direction(g3, joint(4));
       // g1 + s e(d1) = g3 + t e(d3), solved for s.
       const double s = ((g3.x - g1.x) * std::sin(d3) - (g3.y - g1.y) * std::cos(d3)) / std::sin(d3 - d1);
       const point o = {g1.x + s * std::cos(d1), g1.y + s * std::sin(d1)};
       return line{o, d1 + std::atan2(length(5, 7), length(6, 7))};
     }},
};

// The traced joint's positions of `steps` rows of linkmotion-path NAME.
std::vector<point> traced_path(const std::string &name, int kten, int steps) {
  program_run r = run_program("'" + program_path("linkmotion-path") + "' " + name + " " +
                                  std::to_string(steps),
                              "", source_path("mechanisms"));
  std::vector<point> path;
  EXPECT_EQ(r.status, 0) << r.errors;
  std::istringstream in(r.output);
  std::string row;
  std::getline(in, row);  // header
  while (std::getline(in, row)) {
    // step, drive, then x and y of joints 1, 2, ...: x of kten is field 2 kten.
    std::istringstream fields(row);
    std::string cell;
    for (int f = 0; f <= 2 * kten + 1 && std::getline(fields, cell, ','); f++) {
      if (f == 2 * kten) path.push_back({std::strtod(cell.c_str(), nullptr), 0.0});
      if (f == 2 * kten + 1) path.back().y = std::strtod(cell.c_str(), nullptr);
    }
  }
  return path;
}

// The length the catalogue's entry for name states as "traced length N"
// (the phrase may be broken across lines); -1 when the entry or the phrase
// is missing.
double catalogue_length(const std::string &name) {
  const std::string text = read_file(source_path("mechanisms/README.md"));
  const size_t section = text.find("\n## Exact straight-line mechanisms\n");
  if (section == std::string::npos) return -1.0;
  // An entry is a paragraph that begins "**name** `name_title`".
  const size_t entry = text.find("\n**" + name + "** `" + name + "_", section);
  if (entry == std::string::npos) return -1.0;
  const size_t next = std::min(text.find("\n**", entry + 1), text.find("\n## ", entry + 1));
  std::string words;  // the entry with every run of white space made one space
  for (size_t i = entry; i < std::min(next, text.size()); i++) {
    const bool space = std::isspace(static_cast<unsigned char>(text[i]));
    if (!space) words += text[i];
    else if (!words.empty() && words.back() != ' ') words += ' ';
  }
  const std::string phrase = "traced length ";
  const size_t at = words.find(phrase);
  if (at == std::string::npos) return -1.0;
  return std::strtod(words.c_str() + at + phrase.size(), nullptr);
}

void PrintTo(const straight_case &c, std::ostream *os) { *os << c.name; }

class StraightLine : public ::testing::TestWithParam<straight_case> {};

}  // namespace

TEST_P(StraightLine, TracesThePredictedLineExactlyOverTheStatedRange) {
  const straight_case &c = GetParam();
  ASSERT_EQ(load_file_for_test(source_path(std::string("mechanisms/") + c.name)), 1) << c.name;
  const int kten = mech.kten;
  const line expected = c.expected();

  const std::vector<point> path = traced_path(c.name, kten, 720);
  ASSERT_EQ(path.size(), 720u) << c.name;
  line_fit fit;
  ASSERT_EQ(fit_line(path.data(), static_cast<int>(path.size()), &fit), 1) << c.name;
  // Exact in the kinematics: what is left is the rounding of the rows'
  // nine decimals and of the solver.
  EXPECT_LT(fit.max_dev, 1e-6) << c.name;

  // The fitted line is the predicted one: parallel, and through its point.
  const double turn = std::remainder(std::atan2(fit.dir_y, fit.dir_x) - expected.dir, pi);
  EXPECT_LT(std::fabs(turn), 1e-8) << c.name << ": the line is turned by " << turn;
  const double off = std::fabs((expected.through.x - fit.through.x) * fit.dir_y -
                               (expected.through.y - fit.through.y) * fit.dir_x);
  EXPECT_LT(off, 1e-6) << c.name << ": the line is shifted by " << off;

  // The stretch of the line the motion covers, against the catalogue (which
  // gives it to two decimals).
  double lo = 0.0, hi = 0.0;
  for (const point &p : path) {
    const double along = (p.x - fit.through.x) * fit.dir_x + (p.y - fit.through.y) * fit.dir_y;
    lo = std::min(lo, along);
    hi = std::max(hi, along);
  }
  const double stated = catalogue_length(c.name);
  ASSERT_GT(stated, 0.0) << c.name << ": no \"traced length\" in its catalogue entry";
  EXPECT_NEAR(hi - lo, stated, 0.006) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Library, StraightLine, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<straight_case> &param) {
                           return std::string(param.param.name);
                         });
