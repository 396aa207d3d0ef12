// The rows of linkmotion-path for every shipped mechanism against the rows
// stored in tests/data/reference_rows, made by the replay of the solving
// order: every 5th row of `NAME 720` in NAME.csv, every 30th row of
// `--derivatives NAME 720` in NAME.derivatives.csv.  A change of the solver
// that moves a joint by more than 1e-9 of the mechanism's size, assembles
// another branch, or reverses at another step shows here.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/kinematic_coefficients.h"
#include "tests/test_support.h"

namespace {

constexpr int run_steps = 720;
// Positions agree to this fraction of the mechanism's size; the rows print
// 9 decimals, so one unit of the last printed digit (world units) is
// allowed on top.
constexpr double position_share = 1e-9;
constexpr double printed_digit = 1e-9;

struct table {
  std::string header;
  std::map<int, std::vector<std::string>> rows;  // by step number
};

static std::vector<std::string> split(const std::string &line) {
  std::vector<std::string> f;
  std::string cell;
  std::istringstream in(line);
  while (std::getline(in, cell, ',')) f.push_back(cell);
  if (!line.empty() && line.back() == ',') f.push_back("");
  return f;
}

static table parse(const std::string &text) {
  table t;
  std::istringstream in(text);
  std::getline(in, t.header);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f = split(line);
    if (!f.empty()) t.rows[std::stoi(f[0])] = f;
  }
  return t;
}

// Columns of joint coordinates: x and y after "step,drive", every 2 or every
// 6 fields (with the four coefficients).
static int is_position_column(size_t c, int derivatives) {
  if (c < 2) return 0;
  const size_t per_joint = derivatives ? 6 : 2;
  return (c - 2) % per_joint < 2;
}

// Diagonal of the box around every joint of every stored row, at least 1
// world unit.
static double size_of(const table &t, int derivatives) {
  double lo_x = INFINITY, hi_x = -INFINITY, lo_y = INFINITY, hi_y = -INFINITY;
  for (const auto &r : t.rows)
    for (size_t c = 2; c + 1 < r.second.size(); c++) {
      if (!is_position_column(c, derivatives) || (c - 2) % (derivatives ? 6 : 2) != 0) continue;
      const double x = std::stod(r.second[c]), y = std::stod(r.second[c + 1]);
      lo_x = std::fmin(lo_x, x), hi_x = std::fmax(hi_x, x);
      lo_y = std::fmin(lo_y, y), hi_y = std::fmax(hi_y, y);
    }
  const double d = std::hypot(hi_x - lo_x, hi_y - lo_y);
  return d > 1.0 ? d : 1.0;
}

// Today's output of the tool against the stored rows of one file.
static void compare(const std::string &name, int derivatives) {
  const std::string stored_path =
      source_path("tests/data/reference_rows/" + name + (derivatives ? ".derivatives.csv" : ".csv"));
  const table stored = parse(read_file(stored_path));
  ASSERT_FALSE(stored.rows.empty()) << stored_path;
  const std::string args = std::string(derivatives ? "--derivatives " : "") + name + " " +
                           std::to_string(run_steps);
  const program_run r =
      run_program("'" + program_path("linkmotion-path") + "' " + args, "", source_path("mechanisms"));
  ASSERT_EQ(r.status, 0) << name << ": " << r.errors;
  const table now = parse(r.output);
  ASSERT_EQ(now.header, stored.header) << name;
  ASSERT_EQ(now.rows.size(), static_cast<size_t>(run_steps)) << name;
  const double size = size_of(stored, derivatives);
  const double position_tolerance = position_share * size + printed_digit;
  int reported = 0;
  for (const auto &s : stored.rows) {
    const auto found = now.rows.find(s.first);
    ASSERT_TRUE(found != now.rows.end()) << name << " step " << s.first;
    const std::vector<std::string> &a = s.second, &b = found->second;
    ASSERT_EQ(a.size(), b.size()) << name << " step " << s.first;
    for (size_t c = 1; c < a.size() && reported < 5; c++) {
      // An empty field is a coefficient the tool could not settle: both
      // runs must leave it empty.
      if (a[c].empty() || b[c].empty()) {
        EXPECT_EQ(a[c].empty(), b[c].empty()) << name << " step " << s.first << " column " << c;
        reported += a[c].empty() != b[c].empty();
        continue;
      }
      const double x = std::stod(a[c]), y = std::stod(b[c]);
      // Drive values and positions to the size's share; coefficients to the
      // accuracy they promise.
      const double tolerance = c == 1 ? printed_digit
                               : is_position_column(c, derivatives)
                                   ? position_tolerance
                                   : coefficient_accuracy * std::fmax(std::fabs(x), size);
      const bool same = std::fabs(x - y) <= tolerance;
      EXPECT_TRUE(same) << name << " step " << s.first << " column " << c << ": stored " << a[c]
                        << ", now " << b[c] << " (tolerance " << tolerance << ")";
      reported += !same;
    }
  }
}

TEST(ReferenceRows, EveryShippedFileGivesItsStoredRows) {
  const std::vector<std::string> names = shipped_mechanisms();
  ASSERT_GT(names.size(), 40u);
  for (const std::string &name : names) compare(name, 0);
}

TEST(ReferenceRows, EveryShippedFileGivesItsStoredCoefficients) {
  for (const std::string &name : shipped_mechanisms()) compare(name, 1);
}

}  // namespace
