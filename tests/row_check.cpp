// Rows against the facts of their file, from positions alone.
#include "tests/row_check.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "tests/test_support.h"

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

static int slider_angle(const mechanism &m, int a, int b, int c) {
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

double worst_fact_miss(const given_facts &g, const std::vector<row> &rows, std::string *what) {
  double worst = 0.0;
  std::string worst_what;
  auto note = [&](double err, const std::string &which) {
    // A non-finite miss is the worst of all.
    if (!(err <= worst)) worst = std::isfinite(err) ? err : HUGE_VAL, worst_what = which;
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
  if (what) *what = worst_what;
  return worst;
}
