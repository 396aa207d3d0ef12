// Every shipped mechanism file, as a new user meets it: typed at the menu it
// loads without a report, a key or a notch; over 720 motion steps every row
// is finite and keeps the file's constraints, the joints move continuously,
// and the mechanism and its traced path stay in the start view.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/setup_controller.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

namespace {

std::vector<std::string> shipped_names() { return shipped_mechanisms(); }

struct row {
  int step;
  double drive;
  std::vector<point> J;  // J[1..n]; J[0] unused
};

// Rows of the batch tool's CSV; an empty vector when the header is not the
// expected one.
std::vector<row> parse_rows(const std::string &csv, int n) {
  std::vector<row> rows;
  std::istringstream in(csv);
  std::string line;
  if (!std::getline(in, line)) return rows;
  std::string header = "step,drive";
  for (int i = 1; i <= n; i++) header += ",x" + std::to_string(i) + ",y" + std::to_string(i);
  if (line != header) return rows;
  while (std::getline(in, line)) {
    std::istringstream f(line);
    std::string cell;
    row r;
    std::getline(f, cell, ',');
    r.step = std::atoi(cell.c_str());
    std::getline(f, cell, ',');
    r.drive = std::strtod(cell.c_str(), nullptr);
    r.J.assign(n + 1, point{0, 0});
    for (int i = 1; i <= n; i++) {
      std::getline(f, cell, ',');
      r.J[i].x = std::strtod(cell.c_str(), nullptr);
      std::getline(f, cell, ',');
      r.J[i].y = std::strtod(cell.c_str(), nullptr);
    }
    rows.push_back(r);
  }
  return rows;
}

double dist(point a, point b) { return std::hypot(b.x - a.x, b.y - a.y); }
double direction(point a, point b) { return std::atan2(b.y - a.y, b.x - a.x); }
double angle_gap(double a, double b) { return std::fabs(std::remainder(a - b, 2.0 * pi)); }

// The facts a data file gives, taken from the tables after loading it.
struct given_facts {
  int n = 0, kten = 0, rs = 0;
  std::vector<std::pair<int, point>> fixed;        // joint, position
  std::vector<std::array<int, 2>> lengths;         // i < j
  std::vector<double> length_value;
  std::vector<std::array<int, 2>> directions;      // i < j
  std::vector<double> direction_value;
  std::vector<std::array<int, 3>> turns;           // (i, j, k), i < k
  std::vector<double> turn_value;
  std::vector<std::array<int, 3>> sliders;         // slider i on the line j-k
};

int slider_angle(const mechanism &m, int a, int b, int c) {
  for (int s = 1; s <= m.slider_count; s++) {
    const int t[3] = {m.sliders[s].i, m.sliders[s].j, m.sliders[s].k};
    if ((a == t[0] || a == t[1] || a == t[2]) && (b == t[0] || b == t[1] || b == t[2]) &&
        (c == t[0] || c == t[1] || c == t[2]))
      return 1;
  }
  return 0;
}

// The driven quantity carries 'Z' in the saved flags and is not a constant.
given_facts facts_of_file(const std::string &path) {
  given_facts g;
  if (!load_file_for_test(path)) return g;
  const mechanism &m = mech;
  g.n = m.n, g.kten = m.kten, g.rs = m.rs;
  for (int i = 1; i <= m.n; i++)
    if (m.J_known_saved[i] == 'Y') g.fixed.push_back({i, m.J_saved[i]});
  for (int i = 1; i <= m.n; i++)
    for (int j = i + 1; j <= m.n; j++) {
      if (m.l_known_saved[i][j] == 'Y') g.lengths.push_back({i, j}), g.length_value.push_back(m.l_saved[i][j]);
      if (m.ath_known_saved[i][j] == 'Y')
        g.directions.push_back({i, j}), g.direction_value.push_back(m.ath_saved[i][j]);
    }
  for (int i = 1; i <= m.n; i++)
    for (int k = i + 1; k <= m.n; k++)
      for (int j = 1; j <= m.n; j++)
        if (m.th_known_saved[i][j][k] == 'Y' && !slider_angle(m, i, j, k))
          g.turns.push_back({i, j, k}), g.turn_value.push_back(m.th_saved[i][j][k]);
  for (int s = 1; s <= m.slider_count; s++)
    g.sliders.push_back({m.sliders[s].i, m.sliders[s].j, m.sliders[s].k});
  return g;
}

const char *const load_failures[] = {
    "解がありません",         // the assembly search asks for a key
    "の解がない",             // a figure without solution while planning
    "まだ未知量がある",       // a planner pass with unknowns left
    "初期値 tt0=",            // a notch of the initial drive value
    "計算手順が",             // the plan does not fit or does not complete
    "三角法４解なし",
};

class ShippedMechanism : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST(MechanismLibrary, HoldsFiles) { EXPECT_GE(shipped_names().size(), 1u); }

TEST_P(ShippedMechanism, LoadsFromItsNameAlone) {
  const std::string name = GetParam();
  program_run r = run_program("'" + program_path("tests/linkmotion-console") + "'", name + "\n",
                              source_path("mechanisms"));
  for (const char *failure : load_failures)
    EXPECT_EQ(r.output.find(failure), std::string::npos) << name << ": " << failure;
  apply_nochoice_rule(name.c_str());
  EXPECT_NE(r.output.find("\nfname=" + name + "  nochoice=" + std::to_string(mech.nochoice) + "\n"),
            std::string::npos);
  EXPECT_NE(r.output.find("\n's'キー：運動継続\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("描画画面へ\n"), std::string::npos);
  EXPECT_EQ(r.output.find("入力が終わりました"), std::string::npos) << "a key was asked";
  // The title is the name, an underscore and a description.
  const std::string title = read_file(source_path("mechanisms/" + name)).substr(0, name.size() + 1);
  EXPECT_EQ(title, name + "_");
}

TEST_P(ShippedMechanism, MovesKeepingEveryConstraintInsideTheView) {
  const std::string name = GetParam();
  const std::string path = source_path("mechanisms/" + name);
  const given_facts g = facts_of_file(path);
  ASSERT_GT(g.n, 0) << name;

  // The configuration at tt0 as the window first shows it.
  {
    console_capture quiet;
    ASSERT_EQ(batch_load(path.c_str(), 0), 1) << name << " does not assemble at its file value";
    console_set_batch(0);
  }
  for (int i = 1; i <= g.n; i++) {
    EXPECT_GE(mech.J[i].x, -150.0) << name << " J" << i;
    EXPECT_LE(mech.J[i].x, 250.0) << name << " J" << i;
    EXPECT_GE(mech.J[i].y, -150.0) << name << " J" << i;
    EXPECT_LE(mech.J[i].y, 250.0) << name << " J" << i;
  }

  program_run r = run_program("'" + program_path("linkmotion-path") + "' " + name + " 720", "",
                              source_path("mechanisms"));
  ASSERT_EQ(r.status, 0) << r.errors;
  const std::vector<row> rows = parse_rows(r.output, g.n);
  ASSERT_EQ(rows.size(), 720u) << name;

  // Every step assembles at finite positions (a NaN would slip past the
  // comparisons below, which all come out false).
  int non_finite = 0;
  for (const row &w : rows) {
    const int before = non_finite;
    non_finite += !std::isfinite(w.drive);
    for (int i = 1; i <= g.n; i++) non_finite += !std::isfinite(w.J[i].x) + !std::isfinite(w.J[i].y);
    EXPECT_EQ(non_finite, before) << name << ": a value that is not finite at step " << w.step;
    if (non_finite > before) break;
  }

  // Size of the mechanism: tolerances are relative to it.
  double extent = 1.0;
  for (const row &w : rows)
    for (int i = 1; i <= g.n; i++) extent = std::max({extent, std::fabs(w.J[i].x), std::fabs(w.J[i].y)});
  const double tol = 1e-9 * extent;

  double worst = 0.0;
  std::string worst_what;
  auto note = [&](double err, const std::string &what) {
    if (err > worst) worst = err, worst_what = what;
  };
  for (const row &w : rows) {
    const std::string at = " at step " + std::to_string(w.step);
    for (const auto &f : g.fixed) note(dist(w.J[f.first], f.second), "fixed J" + std::to_string(f.first) + at);
    for (size_t c = 0; c < g.lengths.size(); c++) {
      const auto &p = g.lengths[c];
      note(std::fabs(dist(w.J[p[0]], w.J[p[1]]) - g.length_value[c]),
           "l[" + std::to_string(p[0]) + "][" + std::to_string(p[1]) + "]" + at);
    }
    // An angle error counts as the sideways shift it gives at the link's end.
    for (size_t c = 0; c < g.directions.size(); c++) {
      const auto &p = g.directions[c];
      const double len = dist(w.J[p[0]], w.J[p[1]]);
      note(angle_gap(direction(w.J[p[0]], w.J[p[1]]), g.direction_value[c]) * len,
           "ath[" + std::to_string(p[0]) + "][" + std::to_string(p[1]) + "]" + at);
    }
    for (size_t c = 0; c < g.turns.size(); c++) {
      const auto &t = g.turns[c];
      const point a = w.J[t[0]], b = w.J[t[1]], d = w.J[t[2]];
      const double turn = direction(b, d) - direction(a, b);
      note(angle_gap(turn, g.turn_value[c]) * std::min(dist(a, b), dist(b, d)),
           "th[" + std::to_string(t[0]) + "][" + std::to_string(t[1]) + "][" + std::to_string(t[2]) + "]" + at);
    }
    for (const auto &s : g.sliders) {
      const point q = w.J[s[0]], a = w.J[s[1]], b = w.J[s[2]];
      const double len = dist(a, b);
      const double off = std::fabs((b.x - a.x) * (q.y - a.y) - (b.y - a.y) * (q.x - a.x)) / len;
      note(off, "slider J" + std::to_string(s[0]) + at);
    }
  }
  EXPECT_LE(worst, tol) << name << ": worst " << worst_what;

  // Continuous motion: between two rows where the drive moves on in the
  // same direction no joint jumps.  A rotary drive moves 1 degree per row
  // and a slide 1.0 unit; a joint of a sound mechanism moves a few units,
  // a branch jump moves it by a good part of a link.
  const double jump = std::max(5.0, 0.08 * extent);
  const double turn_wrap = g.rs == 'L' ? 0.0 : 2.0 * pi;
  auto drive_change = [&](double from, double to) {
    return turn_wrap > 0 ? std::remainder(to - from, turn_wrap) : to - from;
  };
  for (size_t s = 2; s < rows.size(); s++) {
    const double before = drive_change(rows[s - 2].drive, rows[s - 1].drive);
    const double now = drive_change(rows[s - 1].drive, rows[s].drive);
    if (before == 0.0 || now == 0.0 || (before > 0) != (now > 0)) continue;  // a reversal
    for (int i = 1; i <= g.n; i++) {
      EXPECT_LE(dist(rows[s - 1].J[i], rows[s].J[i]), jump)
          << name << ": J" << i << " jumps between steps " << rows[s - 1].step << " and " << rows[s].step;
    }
  }

  // The traced path stays in the window at the start view.
  for (const row &w : rows) {
    const point p = w.J[g.kten];
    const bool inside = p.x >= -150.0 && p.x <= 250.0 && p.y >= -150.0 && p.y <= 250.0;
    EXPECT_TRUE(inside) << name << ": traced J" << g.kten << " at (" << p.x << ", " << p.y
                        << ") at step " << w.step;
    if (!inside) break;
  }
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedMechanism, ::testing::ValuesIn(shipped_names()),
                         [](const ::testing::TestParamInfo<std::string> &param) { return param.param; });
