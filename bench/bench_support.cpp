// Mechanism files, quiet loads, recorded motions and the summary table of
// the benchmark programs.
#include "bench/bench_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/motion.h"
#include "app/setup_controller.h"
#include "kinematics/solver.h"
#include "model/console.h"

// The batch tool's bound on the assembly search: one turn of 5-degree
// notches, or 72 notches of a slide.
constexpr int search_notches = 72;

static std::string mechanism_dir_argument(int *argc, char **argv) {
  static const char flag[] = "--mechanisms=";
  std::string dir = LINKMOTION_BENCH_MECHANISM_DIR;
  int kept = 1;
  for (int i = 1; i < *argc; i++) {
    if (strncmp(argv[i], flag, sizeof flag - 1) == 0)
      dir = argv[i] + sizeof flag - 1;
    else
      argv[kept++] = argv[i];
  }
  *argc = kept;
  argv[kept] = nullptr;
  return dir;
}

static std::vector<std::string> mechanism_names(const std::string &dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(dir, error)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find('.') != std::string::npos) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

static void silence_console() {
  static FILE *null_stream = fopen("/dev/null", "w");
  if (!null_stream) {
    perror("/dev/null");
    exit(1);
  }
  console_set_output(null_stream);
}

std::vector<std::string> begin_benchmarks(int *argc, char **argv, const char *program,
                                          std::string *dir) {
  *dir = mechanism_dir_argument(argc, argv);
  benchmark::Initialize(argc, argv);
  if (benchmark::ReportUnrecognizedArguments(*argc, argv)) exit(1);
  silence_console();
  std::vector<std::string> names = mechanism_names(*dir);
  if (names.empty()) {
    fprintf(stderr, "%s: no mechanism files in %s\n", program, dir->c_str());
    exit(1);
  }
  return names;
}

int load_quietly(const std::string &path) { return batch_load(path.c_str(), search_notches); }

static int has_branches(int code) { return code == 33 || code == 34 || code == 41 || code == 42; }

int record_motion(const std::string &path, int steps, motion_script *script) {
  *script = motion_script();
  if (!load_quietly(path)) return 0;
  const mechanism &m = mech;
  for (int r = 1; r <= m.junjo_count; r++)
    if (has_branches(m.junjo[r][jj_code])) script->branch_records.push_back(r);
  reset_animation();
  solve_frame();  // the initial configuration, as the window shows it first
  for (int s = 1; s <= steps; s++) {
    motion_step();
    solve_frame();
    if (motion.stalled) continue;
    script->drive.push_back(motion.drive_value);
    for (int r : script->branch_records) script->choices.push_back(m.junjo[r][jj_choice]);
    std::array<point, joint_slots> J;
    std::copy(std::begin(m.J), std::end(m.J), J.begin());
    script->J.push_back(J);
  }
  return 1;
}

void set_step_choices(const motion_script &script, size_t s) {
  const size_t per_step = script.branch_records.size();
  for (size_t k = 0; k < per_step; k++)
    mech.junjo[script.branch_records[k]][jj_choice] = script.choices[s * per_step + k];
}

int link_count() {
  int count = 0;
  for (int i = 1; i <= mech.n; i++)
    for (int j = i + 1; j <= mech.n; j++)
      if (mech.link_exists[i][j] == 'Y') count++;
  return count;
}

summary_reporter::summary_reporter()
    : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

void summary_reporter::ReportRuns(const std::vector<Run> &runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run &run : runs) {
    if (run.error_occurred) continue;
    const bool median = run.run_type == Run::RT_Aggregate;
    if (median && run.aggregate_name != "median") continue;
    const std::string name = run.run_name.function_name;  // without the /real_time suffix
    auto found = times_.find(name);
    if (found != times_.end() && found->second.median && !median) continue;
    const double to_ns = 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
    times t = {run.GetAdjustedCPUTime() * to_ns, run.GetAdjustedRealTime() * to_ns, median, {}};
    for (const auto &c : run.counters) t.counters[c.first] = c.second.value;
    times_[name] = t;
  }
}

double summary_reporter::counter(const std::string &name, const std::string &key) const {
  auto found = times_.find(name);
  if (found == times_.end()) return 0.0;
  auto c = found->second.counters.find(key);
  return c == found->second.counters.end() ? 0.0 : c->second;
}

double summary_reporter::cpu_ns(const std::string &name) const {
  auto found = times_.find(name);
  return found == times_.end() ? -1.0 : found->second.cpu;
}

double summary_reporter::real_ns(const std::string &name) const {
  auto found = times_.find(name);
  return found == times_.end() ? -1.0 : found->second.real;
}
