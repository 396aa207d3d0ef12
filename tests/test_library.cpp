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
#include "tests/row_check.h"
#include "tests/test_support.h"

namespace {

std::vector<std::string> shipped_names() { return shipped_mechanisms(); }

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

  std::string worst_what;
  const double worst = worst_fact_miss(g, rows, &worst_what);
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
