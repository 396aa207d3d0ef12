// linkmotion-path: the rows it prints against the solver and the
// mechanism's own constraints, and its answers to bad arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "app/motion.h"
#include "app/setup_controller.h"
#include "kinematics/solver.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

static program_run run_path(const std::string &args) {
  return run_program("'" + program_path("linkmotion-path") + "' " + args, "");
}

struct csv {
  std::string header;
  std::vector<std::vector<double>> rows;
};

// Parses the output; every data line must be numbers only.
static csv parse(const std::string &text) {
  csv c;
  std::istringstream in(text);
  std::getline(in, c.header);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<double> row;
    std::istringstream fields(line);
    std::string f;
    while (std::getline(fields, f, ',')) {
      size_t used = 0;
      row.push_back(std::stod(f, &used));
      EXPECT_EQ(used, f.size()) << line;
    }
    c.rows.push_back(row);
  }
  return c;
}

// Loads the same file in this process, as the tool does, console captured.
static void load_here(const char *name) {
  console_capture quiet;
  ASSERT_EQ(batch_load(name, 72), 1);
}

// Every length the data file gives holds between the two joints, and every
// fixed joint stays where the file put it.
static void expect_constraints(const std::vector<double> &row, double tolerance) {
  const mechanism &m = mech;
  auto x = [&](int j) { return row[2 * j]; };
  auto y = [&](int j) { return row[2 * j + 1]; };
  for (int i = 1; i <= m.n; i++) {
    if (m.J_known[i] == 'Y') {
      EXPECT_NEAR(x(i), m.J_saved[i].x, tolerance) << "joint " << i;
      EXPECT_NEAR(y(i), m.J_saved[i].y, tolerance) << "joint " << i;
    }
    for (int j = i + 1; j <= m.n; j++) {
      if (m.l_known_saved[i][j] != 'Y') continue;
      EXPECT_NEAR(std::hypot(x(i) - x(j), y(i) - y(j)), m.l_saved[i][j], tolerance)
          << "link " << i << "-" << j << " at step " << row[0];
    }
  }
}

TEST(PathTool, A00RowsAreTheSolverAtEachDriveValueAndKeepEveryLength) {
  program_run r = run_path("a00 100");
  ASSERT_EQ(r.status, 0) << r.errors;
  csv c = parse(r.output);
  load_here("a00");
  std::string header = "step,drive";
  for (int i = 1; i <= mech.n; i++) header += ",x" + std::to_string(i) + ",y" + std::to_string(i);
  EXPECT_EQ(c.header, header);
  ASSERT_EQ(c.rows.size(), 100u);
  const double tt0 = mech.tt0;
  for (size_t k = 0; k < c.rows.size(); k++) {
    const std::vector<double> &row = c.rows[k];
    ASSERT_EQ(row.size(), static_cast<size_t>(2 + 2 * mech.n));
    EXPECT_EQ(row[0], k + 1.0);
    const double drive = wrap_angle(tt0 + (k + 1) * pi / 180.0);
    EXPECT_NEAR(row[1], drive, 1e-9);
    ASSERT_NE(solve_positions(drive), 0) << k;
    for (int i = 1; i <= mech.n; i++) {
      EXPECT_NEAR(row[2 * i], mech.J[i].x, 1e-8) << "step " << k + 1 << " joint " << i;
      EXPECT_NEAR(row[2 * i + 1], mech.J[i].y, 1e-8) << "step " << k + 1 << " joint " << i;
    }
    // The crank is the driven link: its direction is the drive value.
    const point a = {row[2 * mech.id], row[2 * mech.id + 1]};
    const point b = {row[2 * mech.jd], row[2 * mech.jd + 1]};
    EXPECT_NEAR(std::remainder(std::atan2(b.y - a.y, b.x - a.x) - row[1], 2.0 * pi), 0.0, 1e-7);
    expect_constraints(row, 1e-6);
  }
  // Only the CSV goes to standard output; the load's echo goes to errors.
  EXPECT_NE(r.errors.find("a00_crank-rocker"), std::string::npos);
  EXPECT_EQ(r.output.find("a00_crank-rocker"), std::string::npos);
}

TEST(PathTool, DefaultsToOneTurnAndCountsEveryRowPastTheWindowsTrace) {
  program_run turn = run_path("a00");
  ASSERT_EQ(turn.status, 0);
  csv c = parse(turn.output);
  ASSERT_EQ(c.rows.size(), 360u);
  // After a whole turn of one-degree steps the crank is back where it began.
  load_here("a00");
  EXPECT_NEAR(std::remainder(c.rows.back()[1] - mech.tt0, 2.0 * pi), 0.0, 1e-8);

  program_run many = run_path("a00 1003");
  csv d = parse(many.output);
  ASSERT_EQ(d.rows.size(), 1003u);
  EXPECT_EQ(d.rows[998][0], 999.0);
  EXPECT_EQ(d.rows[999][0], 1000.0);
  EXPECT_EQ(d.rows[1002][0], 1003.0);
  EXPECT_NE(d.rows[1002][1], d.rows[999][1]);  // the drive keeps moving

  // The fit sees every row, not only the 999 points of the window's trace.
  program_run fit = run_path("--fit a00 1500");
  ASSERT_EQ(fit.status, 0) << fit.errors;
  EXPECT_NE(fit.errors.find("fit: joint 5, 1500 points"), std::string::npos) << fit.errors;
}

TEST(PathTool, ARockerTurnsBackAtItsDeadPointsWithEveryLengthKept) {
  const std::string file = source_path("tests/data/rocker_drive");
  program_run r = run_path("'" + file + "' 400");
  ASSERT_EQ(r.status, 0) << r.errors;
  csv c = parse(r.output);
  ASSERT_EQ(c.rows.size(), 400u);
  load_here(file.c_str());
  // At a dead point the frame stays at the previous, assembling value and
  // the following steps go the other way.
  int reversals = 0, dead_frames = 0, direction = 0;
  double lowest = 10.0, highest = -10.0;
  for (size_t k = 0; k < c.rows.size(); k++) {
    expect_constraints(c.rows[k], 1e-6);
    lowest = std::min(lowest, c.rows[k][1]);
    highest = std::max(highest, c.rows[k][1]);
    if (k == 0) continue;
    const double d = c.rows[k][1] - c.rows[k - 1][1];
    if (std::fabs(d) < 1e-9) {
      dead_frames++;
      continue;
    }
    const int now = d > 0.0 ? 1 : -1;
    if (direction != 0 && now != direction) reversals++;
    direction = now;
  }
  // The rocker swings within its range and never makes a turn.
  EXPECT_GT(highest - lowest, 30.0 * pi / 180.0);
  EXPECT_LT(highest - lowest, 90.0 * pi / 180.0);
  int messages = 0;
  for (size_t at = r.errors.find("\ndrive angle="); at != std::string::npos;
       at = r.errors.find("\ndrive angle=", at + 1))
    messages++;
  EXPECT_EQ(messages, dead_frames);
  EXPECT_GE(reversals, dead_frames - 1);
}

TEST(PathTool, BadArgumentsAndUnusableFilesExitWithAReasonAndNoRows) {
  // Each bad argument is named with the reason, then the usage follows.
  const struct {
    const char *args, *reason;
  } bad[] = {{"", "FILE is missing"},
             {"a00 -1", "STEPS must be a whole number from 0 to 100000 (got \"-1\")"},
             {"a00 ten", "STEPS must be a whole number from 0 to 100000 (got \"ten\")"},
             {"a00 12x", "(got \"12x\")"},
             {"a00 100001", "(got \"100001\")"},
             {"a00 99999999999", "(got \"99999999999\")"},
             {"a00 1 2", "more than FILE and STEPS given (got \"2\")"},
             {"--svg", "--svg needs the name of a picture file"},
             {"--bogus a00", "unknown option (got \"--bogus\")"}};
  for (const auto &b : bad) {
    program_run r = run_path(b.args);
    EXPECT_EQ(r.status, 2) << b.args;
    EXPECT_EQ(r.output, "") << b.args;
    EXPECT_NE(r.errors.find(b.reason), std::string::npos) << b.args << "\n" << r.errors;
    EXPECT_NE(r.errors.find("使い方: linkmotion-path"), std::string::npos) << b.args;
  }
  // Asked for, the usage is the answer: standard output, status 0.
  program_run help = run_path("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("使い方: linkmotion-path"), std::string::npos);
  EXPECT_EQ(help.errors, "");

  program_run none = run_path("a00 0");  // the initial frame only: a header, no rows
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(std::count(none.output.begin(), none.output.end(), '\n'), 1);
  program_run missing = run_path("no-such-mechanism 10");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.output, "");
  EXPECT_NE(missing.errors.find("no-such-mechanism"), std::string::npos);

  // A mechanism that assembles nowhere: the coupler cannot reach the rocker.
  const std::string broken = write_temp_file(
      "no_assembly\n4\n1,R 2,R 3,R 4,R 0\n3\n1,0,0 0\n4,1,300,0 0\n0\n"
      "1,2,40 2,3,50 3,4,60 0\n0\n0\nB 1,2,0\n");
  program_run r = run_path("'" + broken + "' 10");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "");
  EXPECT_FALSE(text_is_blank(r.errors.c_str()));
}

// A path on a line has no circle and its conic no eccentricity: the report
// says so instead of a circle of radius 1e11 or eccentricity=inf, and the
// line is the best curve.
TEST(PathTool, FitOfAStraightPathNamesTheLineAndNoHugeCircle) {
  for (const char *name : {"pc1", "hs", "ss03"}) {
    program_run r = run_path(std::string("--fit ") + name + " 720");
    ASSERT_EQ(r.status, 0) << name << r.errors;
    EXPECT_NE(r.errors.find("fit circle: none (the points lie on a line)"), std::string::npos) << name << r.errors;
    EXPECT_EQ(r.errors.find("inf"), std::string::npos) << name << r.errors;
    EXPECT_NE(r.errors.find("fit best: line"), std::string::npos) << name << r.errors;
  }
  // An ellipse drawer whose points a huge circle used to claim.
  program_run e = run_path("--fit ellips1 720");
  ASSERT_EQ(e.status, 0);
  EXPECT_NE(e.errors.find("fit circle: none (the points lie on a line)"), std::string::npos) << e.errors;
  EXPECT_NE(e.errors.find("fit best: conic ellipse"), std::string::npos) << e.errors;
}

// Distance of joints a and b in a row of positions (x1, y1 at fields 2, 3).
static double row_distance(const std::vector<double> &row, int a, int b) {
  return std::hypot(row[2 * a] - row[2 * b], row[2 * a + 1] - row[2 * b + 1]);
}

// A copy of a conic drawer under a name that lets the solver flip branches
// at its dead points: after each flip every row still keeps the bars of
// 110 between the joints 7-8 and 7-9 (a posture mixing two branches broke
// them by 2.6 before it was refused).
TEST(PathTool, RowsAfterABranchFlipKeepEveryLengthOfTheFile) {
  const std::string copy = write_temp_file(read_file(source_path("mechanisms/conic4")));
  program_run r = run_path("'" + copy + "' 720");
  ASSERT_EQ(r.status, 0) << r.errors;
  csv c = parse(r.output);
  ASSERT_EQ(c.rows.size(), 720u);
  ASSERT_NE(r.errors.find("no solution"), std::string::npos) << "the copy is meant to reach its dead points";
  for (const std::vector<double> &row : c.rows) {
    ASSERT_NEAR(row_distance(row, 7, 8), 110.0, 1e-6) << "step " << row[0];
    ASSERT_NEAR(row_distance(row, 7, 9), 110.0, 1e-6) << "step " << row[0];
  }
}

// A slider run past the end of its guide link is drawn as it is and said
// once on standard error, however many rows put it there.
TEST(PathTool, ASliderBeyondItsGuideIsReportedOnce) {
  std::string text = read_file(source_path("mechanisms/a11"));
  const size_t at = text.find("2,3,120");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(run_path("a11 360").errors.find("端を越えています"), std::string::npos);
  text.replace(at, 7, "2,3,400");
  const program_run r = run_path("'" + write_temp_file(text) + "' 360");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(parse(r.output).rows.size(), 360u);
  const std::string said = "\nスライダ J[3] がリンク L[4][5] の端を越えています（J[4] から L[4][5] の長さの 2.76 倍の位置）．\n";
  const size_t first = r.errors.find(said);
  EXPECT_NE(first, std::string::npos) << r.errors;
  EXPECT_EQ(r.errors.find("端を越えています", first + said.size()), std::string::npos) << "said more than once";
}
