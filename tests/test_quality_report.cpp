// The quality report against figures worked out by hand from the files'
// dimensions: the law of cosines for four-bars, the slider-crank's stroke
// and dead centres, the Whitworth ratio; limits to 0.01 degree; the classes
// of Grashof; the count of the degrees of freedom; and the program's text
// and JSON as a person runs it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analysis/quality_report.h"
#include "app/setup_controller.h"
#include "tests/test_support.h"

static const double deg = 180.0 / M_PI;

// The report of a file, loaded as the tool loads it at the file's tt0.
static quality_report rep;
static const quality_report &report_of(const std::string &file) {
  console_capture quiet;
  rep = quality_report{};
  EXPECT_EQ(batch_load(file.c_str(), 0), 1) << file;
  EXPECT_EQ(compute_quality_report(&rep), 1) << file;
  return rep;
}

// The output of link i-j (slider 0) or of slider i (slider 1); fails the
// test when the report has none.
static const output_figure &output(const quality_report &r, int slider, int i, int j = 0) {
  for (int o = 0; o < r.output_count; o++) {
    const output_figure &f = r.outputs[o];
    if (f.slider == slider && f.i == i && (slider || f.j == j)) return f;
  }
  ADD_FAILURE() << "no output " << i << "-" << j;
  static output_figure none{};
  return none;
}

static double wrap360(double d) { return std::fmod(std::fmod(d, 360.0) + 360.0, 360.0); }

// How far apart two directions are, degrees, whole turns left out.
static double angle_gap(double a, double b) { return std::fabs(std::remainder(a - b, 360.0)); }

// Angle at c of a triangle with the sides a, b next to it and e opposite.
static double corner(double a, double b, double e) { return std::acos((a * a + b * b - e * e) / (2 * a * b)) * deg; }

TEST(QualityReport, CrankRockerA00FromTheLawOfCosines) {
  // Ground 3-2 120, crank 3-4 40, coupler 4-1 110, rocker 1-2 90.
  const double g = 120, r = 40, c = 110, k = 90;
  const quality_report &q = report_of("a00");
  EXPECT_TRUE(q.range.full);
  // The angle at the rocker pin, coupler to rocker, with 4-2 at g -+ r.
  ASSERT_EQ(q.transmission_count, 1);
  const transmission_figure &t = q.transmission[0];
  EXPECT_EQ(t.joint, 1);
  EXPECT_NEAR(t.min_deg, corner(c, k, g - r), 1e-3);
  EXPECT_NEAR(t.max_deg, corner(c, k, g + r), 1e-3);
  EXPECT_LT(angle_gap(t.min_drive * deg, 0.0), 0.01);
  EXPECT_LT(angle_gap(t.max_drive * deg, 180.0), 0.01);
  EXPECT_FALSE(t.outside_band);
  EXPECT_FALSE(t.dead_point);
  // The rocker's extremes: crank and coupler in line, 3-1 at c -+ r; the
  // crank then lies along 3-1 (c + r) or against it (c - r).
  const output_figure &rocker = output(q, 0, 1, 2);
  EXPECT_NEAR(rocker.hi - rocker.lo, corner(g, k, c + r) - corner(g, k, c - r), 1e-3);
  const double out_crank = corner(g, c + r, k), in_crank = 180 + corner(g, c - r, k);
  ASSERT_TRUE(rocker.has_ratio);
  const double span = in_crank - out_crank;  // 191.3 of crank one way
  EXPECT_NEAR(std::fmax(rocker.forward_span, rocker.return_span), span, 0.01);
  EXPECT_NEAR(rocker.time_ratio, span / (360 - span), 1e-4);
  EXPECT_EQ(output(q, 0, 3, 4).turns, 1);
  ASSERT_EQ(q.fourbar_count, 1);
  EXPECT_EQ(q.fourbars[0].kind, crank_rocker);
  ASSERT_EQ(q.fourbars[0].cranks, 1);
  const fourbar_figure &f = q.fourbars[0];
  const int a = f.joint[f.crank[0]], b = f.joint[(f.crank[0] + 1) % 4];
  EXPECT_EQ(std::min(a, b) * 10 + std::max(a, b), 34);
}

TEST(QualityReport, DeadPointsOfRockerDrivesToAHundredthOfADegree) {
  // a01: input 3-4 80 on the ground 120, coupler 40 and output 100 in line
  // (4-2 at 140) or folded (60).
  const quality_report &q = report_of("a01");
  EXPECT_FALSE(q.range.full);
  EXPECT_TRUE(q.range.lo_limit && q.range.hi_limit);
  EXPECT_NEAR(q.range.lo * deg, corner(80, 120, 60), 0.01);
  EXPECT_NEAR(q.range.hi * deg, corner(80, 120, 140), 0.01);
  ASSERT_EQ(q.transmission_count, 1);
  EXPECT_NEAR(q.transmission[0].min_deg, 0.0, dead_point_tol_deg);
  EXPECT_NEAR(q.transmission[0].max_deg, 180.0, dead_point_tol_deg);
  EXPECT_TRUE(q.transmission[0].dead_point);
  EXPECT_TRUE(q.transmission[0].outside_band);
  // The non-Grashof rocker of tests/data: input 70, coupler 60, output 90,
  // ground 120; only the stretched dead point exists (90 - 60 < 120 - 70),
  // once on each side of the ground line.
  const quality_report &t = report_of(test_data("quality/triple_rocker"));
  EXPECT_NEAR(t.range.hi * deg, corner(70, 120, 150), 0.01);
  EXPECT_NEAR(t.range.lo * deg, -corner(70, 120, 150), 0.01);
  // The slide of as11 turns back where crank 40 and rod 120 lie in line:
  // the slider 120 - 40 and 120 + 40 from the crank pivot, which is 60
  // before the guide's end 4.
  const quality_report &s = report_of("as11");
  EXPECT_NEAR(s.range.lo, 120 - 40 - 60, 0.01);
  EXPECT_NEAR(s.range.hi, 120 + 40 - 60, 0.01);
  ASSERT_EQ(s.transmission_count, 1);
  EXPECT_EQ(s.transmission[0].joint, 2);  // the crank pin, where crank and rod fold
  EXPECT_TRUE(s.transmission[0].dead_point);
}

TEST(QualityReport, SliderCranksStrokeDeadCentresAndTimeRatio) {
  // a11: crank 40, rod 120, in line with the guide.
  const double r = 40, L = 120;
  const quality_report &a = report_of("a11");
  const output_figure &in_line = output(a, 1, 3);
  EXPECT_NEAR(in_line.hi - in_line.lo, 2 * r, 1e-3);
  EXPECT_NEAR(in_line.time_ratio, 1.0, 1e-4);
  ASSERT_EQ(a.transmission_count, 1);
  // Rod against the guide's normal: least where the rod leans most.
  EXPECT_NEAR(a.transmission[0].min_deg, 90 - std::asin(r / L) * deg, 1e-3);
  EXPECT_NEAR(a.transmission[0].max_deg, 90 + std::asin(r / L) * deg, 1e-3);
  // a12: the crank pivot 30 off the guide.
  const double e = 30;
  const quality_report &b = report_of("a12");
  const output_figure &offset = output(b, 1, 3);
  EXPECT_NEAR(offset.hi - offset.lo, std::sqrt((L + r) * (L + r) - e * e) - std::sqrt((L - r) * (L - r) - e * e),
              1e-3);
  // Dead centres: crank along the rod (outer) and against it (inner).
  const double outer = -std::asin(e / (L + r)) * deg, inner = 180 - std::asin(e / (L - r)) * deg;
  EXPECT_LT(angle_gap(offset.hi_drive * deg, outer), 0.01);
  EXPECT_LT(angle_gap(offset.lo_drive * deg, inner), 0.01);
  const double stroke_out = wrap360(outer - inner);
  ASSERT_TRUE(offset.has_ratio);
  EXPECT_NEAR(offset.time_ratio, stroke_out / (360 - stroke_out), 1e-4);
}

TEST(QualityReport, WhitworthQuickReturnIsTwoToOne) {
  // haya: crank 60 about 1, slotted link about 3, 30 above; the ram turns
  // back where the crank pin stands level with 3: the slow stroke takes
  // 180 + 2 asin(30 / 60) = 240 degrees of crank, the quick one 120.
  const quality_report &q = report_of("haya");
  EXPECT_TRUE(q.range.full);
  const output_figure &ram = output(q, 1, 6);
  const double slow = 180 + 2 * std::asin(30.0 / 60.0) * deg;
  ASSERT_TRUE(ram.has_ratio);
  EXPECT_NEAR(ram.time_ratio, slow / (360 - slow), 1e-4);
  EXPECT_NEAR(std::fmax(ram.forward_span, ram.return_span), slow, 0.01);
  EXPECT_NEAR(ram.hi - ram.lo, 2 * 40, 1e-3);  // twice the arm 3-5
  EXPECT_EQ(std::abs(output(q, 0, 3, 4).turns), 1);  // the slotted link turns round
  EXPECT_EQ(q.fourbar_count, 0);  // its loops hold sliders
}

TEST(QualityReport, GrashofClassOfEachKind) {
  struct expected {
    std::string file;
    grashof_kind kind;
    int cranks;
  };
  const expected cases[] = {
      {"a00", crank_rocker, 1},  // 40 + 120 < 110 + 90, crank next to the ground
      {"a01", double_rocker, 0},  // 40 + 120 < 80 + 100, coupler shortest
      {"a02", double_crank, 2},  // 40 + 110 < 80 + 100, ground shortest
      {test_data("quality/change_point"), change_point, 2},  // 40 + 100 = 40 + 100
      {test_data("quality/triple_rocker"), triple_rocker, 0},  // 60 + 120 > 70 + 90
  };
  for (const expected &e : cases) {
    const quality_report &q = report_of(e.file);
    ASSERT_EQ(q.fourbar_count, 1) << e.file;
    EXPECT_EQ(q.fourbars[0].kind, e.kind) << e.file;
    EXPECT_EQ(q.fourbars[0].cranks, e.cranks) << e.file;
    EXPECT_GE(q.fourbars[0].ground, 0) << e.file;
  }
  // The class from the lengths alone, the ground at each side in turn.
  const double sides[4] = {40, 110, 90, 120};
  const grashof_kind by_ground[4] = {double_crank, crank_rocker, double_rocker, crank_rocker};
  for (int g = 0; g < 4; g++) {
    int cranks, crank[2];
    EXPECT_EQ(grashof_class(sides, g, &cranks, crank), by_ground[g]) << "ground " << g;
  }
}

TEST(QualityReport, MobilityCountsFactsAndFindsRedundantOnes) {
  const quality_report &a = report_of("a00");
  EXPECT_EQ(a.mobility.count, 1);
  EXPECT_EQ(mobility_state_of(&a.mobility), determinate);
  EXPECT_EQ(a.mobility.mobility, 1);
  EXPECT_TRUE(a.mobility.drive_determines);
  // The trammel: 2 x (7 - 4) - 2 lengths - 1 angle - 2 sliders.
  const quality_report &t = report_of("ss01");
  EXPECT_EQ(t.mobility.count, 6 - 2 - 1 - 2);
  EXPECT_EQ(t.mobility.sliders, 2);
  // hyper1 puts joints 6 and 10 on the line 1-9 and gives the angle 1-6-10
  // as well: the count says 0, the posture moves with 1.
  const quality_report &h = report_of("hyper1");
  EXPECT_EQ(h.mobility.count, 0);
  EXPECT_EQ(mobility_state_of(&h.mobility), over_constrained);
  EXPECT_EQ(h.mobility.redundant, 1);
  EXPECT_EQ(h.mobility.mobility, 1);
  // A bar from the crank pin to the rocker pivot, as long as they stand
  // at tt0: a structure.
  const quality_report &o = report_of(test_data("quality/over_constrained"));
  EXPECT_EQ(o.mobility.count, 0);
  EXPECT_EQ(o.mobility.redundant, 0);
  EXPECT_EQ(o.mobility.mobility, 0);
  EXPECT_FALSE(o.mobility.drive_determines);
  // A five-bar with one drive: no plan, the count from the file alone.
  console_capture quiet;
  ASSERT_EQ(batch_load(test_data("quality/under_constrained").c_str(), 0), 0);
  mobility_figure u;
  compute_mobility(0, &u);
  EXPECT_EQ(u.count, 2);
  EXPECT_EQ(mobility_state_of(&u), under_constrained);
}

// ---- the program ----------------------------------------------------------

static program_run run_report(const std::string &args) {
  return run_program("'" + program_path("linkmotion-path") + "' --report " + args, "", source_path("mechanisms"));
}

// A JSON value, parsed just far enough to read the keys the tests check.
struct json {
  enum { null, boolean, number, string, array, object } kind = null;
  double num = 0;
  std::string str;
  std::vector<json> items;
  std::map<std::string, json> keys;
  const json &operator[](const std::string &k) const {
    static json none;
    auto it = keys.find(k);
    EXPECT_TRUE(it != keys.end()) << "no key " << k;
    return it == keys.end() ? none : it->second;
  }
};

struct json_reader {
  const std::string &s;
  size_t p = 0;
  bool ok = true;
  void blank() {
    while (p < s.size() && (s[p] == ' ' || s[p] == '\n' || s[p] == '\t' || s[p] == '\r')) p++;
  }
  bool take(char c) {
    blank();
    if (p < s.size() && s[p] == c) return ++p, true;
    return false;
  }
  std::string text() {
    std::string out;
    if (!take('"')) return ok = false, out;
    while (p < s.size() && s[p] != '"') {
      if (s[p] == '\\') p++;
      if (p < s.size()) out += s[p++];
    }
    ok &= take('"');
    return out;
  }
  json value() {
    json v;
    blank();
    if (p >= s.size()) return ok = false, v;
    const char c = s[p];
    if (c == '{') {
      v.kind = json::object;
      p++;
      if (take('}')) return v;
      do {
        std::string k = text();
        ok &= take(':');
        v.keys[k] = value();
      } while (ok && take(','));
      ok &= take('}');
    } else if (c == '[') {
      v.kind = json::array;
      p++;
      if (take(']')) return v;
      do v.items.push_back(value());
      while (ok && take(','));
      ok &= take(']');
    } else if (c == '"') {
      v.kind = json::string;
      v.str = text();
    } else if (s.compare(p, 4, "null") == 0) {
      p += 4;
    } else if (s.compare(p, 4, "true") == 0 || s.compare(p, 5, "false") == 0) {
      v.kind = json::boolean;
      v.num = s[p] == 't';
      p += s[p] == 't' ? 4 : 5;
    } else {
      char *end;
      v.kind = json::number;
      v.num = std::strtod(s.c_str() + p, &end);
      ok &= end != s.c_str() + p;
      p = static_cast<size_t>(end - s.c_str());
    }
    return v;
  }
};

static json parse_json(const std::string &text) {
  json_reader r{text};
  json v = r.value();
  r.blank();
  EXPECT_TRUE(r.ok && r.p == text.size()) << "not one JSON value: " << text;
  return v;
}

TEST(QualityReportProgram, TextOfA00NamesTheFiguresWithThreeDecimals) {
  program_run r = run_report("a00");
  ASSERT_EQ(r.status, 0) << r.errors;
  const std::string &t = r.output;
  EXPECT_NE(t.find("mobility: 1, determinate"), std::string::npos) << t;
  EXPECT_NE(t.find("drive range: full turn"), std::string::npos) << t;
  const size_t at = t.find("  step 6 (code 34) at joint 1 between link 1-2 and link 1-4: min ");
  ASSERT_NE(at, std::string::npos) << t;
  double lo, lo_drive, hi, hi_drive;
  ASSERT_EQ(sscanf(t.c_str() + at, "  step 6 (code 34) at joint 1 between link 1-2 and link 1-4: min %lf at drive %lf, "
                                   "max %lf at drive %lf",
                   &lo, &lo_drive, &hi, &hi_drive),
            4);
  EXPECT_NEAR(lo, corner(110, 90, 80), 1e-3);
  EXPECT_NEAR(hi, corner(110, 90, 160), 1e-3);
  EXPECT_NEAR(lo_drive, 0.0, 0.01);
  EXPECT_NEAR(hi_drive, 180.0, 0.01);
  EXPECT_EQ(t.substr(0, t.find("  fit:")).find("-0.000"), std::string::npos) << t;
  EXPECT_NE(t.find("ground 2-3; crank-rocker, crank 3-4"), std::string::npos) << t;
  EXPECT_NE(t.find("link 3-4: turns fully, 1 turn per drive turn"), std::string::npos) << t;
  EXPECT_NE(t.find("  fit best: "), std::string::npos) << t;
}

TEST(QualityReportProgram, JsonOfTheQuickReturnAndOfAMechanismThatDoesNotAssemble) {
  program_run r = run_report("--json haya");
  ASSERT_EQ(r.status, 0) << r.errors;
  const json j = parse_json(r.output);
  EXPECT_EQ(j["assembles"].num, 1);
  EXPECT_EQ(j["mobility"]["count"].num, 1);
  EXPECT_EQ(j["mobility"]["state"].str, "determinate");
  EXPECT_EQ(j["drive_range"]["full"].num, 1);
  int rams = 0;
  for (const json &o : j["outputs"].items) {
    if (o["kind"].str != "slider" || o["joints"].items[0].num != 6) continue;
    rams++;
    EXPECT_NEAR(o["time_ratio"].num, 2.0, 1e-4);
    EXPECT_NEAR(o["swing"].num, 80.0, 1e-3);
    EXPECT_EQ(o["guide"].items.size(), 2u);
  }
  EXPECT_EQ(rams, 1);
  EXPECT_EQ(j["trace"]["joint"].num, 6);
  EXPECT_NEAR(j["trace"]["x_max"].num - j["trace"]["x_min"].num, 80.0, 1e-3);
  EXPECT_EQ(j["trace"]["fit"]["best"].str, "line");

  // Coupler 20 and rocker 30 cannot bridge the 80 to 160 between the crank
  // pin and the rocker pivot: the triangle 1-2-4 fails at tt0, whatever
  // value the search raises it to.
  program_run bad = run_report("--json '" + test_data("quality/no_assembly") + "'");
  EXPECT_EQ(bad.status, 1);
  const json b = parse_json(bad.output);
  EXPECT_EQ(b["assembles"].num, 0);
  EXPECT_EQ(b["failure"]["kind"].str, "step");
  EXPECT_EQ(b["failure"]["code"].num, 34);
  ASSERT_EQ(b["failure"]["joints"].items.size(), 3u);
  EXPECT_EQ(b["failure"]["drive"].num, 60);
  EXPECT_EQ(b["drive_range"].kind, json::null);
  EXPECT_EQ(b["mobility"]["count"].num, 1);

  program_run under = run_report("'" + test_data("quality/under_constrained") + "'");
  EXPECT_EQ(under.status, 1);
  EXPECT_NE(under.output.find("mobility: 2, under-constrained"), std::string::npos) << under.output;
  EXPECT_NE(under.output.find("does not assemble: the plan leaves joints unknown: 1 5"), std::string::npos)
      << under.output;
}

TEST(QualityReportProgram, BadArgumentsAreNamed) {
  program_run r = run_program("'" + program_path("linkmotion-path") + "' --json a00", "", source_path("mechanisms"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.errors.find("--json goes with --report"), std::string::npos) << r.errors;
  r = run_report("a00 10");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.errors.find("--report takes FILE alone"), std::string::npos) << r.errors;
}
