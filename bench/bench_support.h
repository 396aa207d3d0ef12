// Helpers of the benchmark programs: the mechanism files to measure, a
// batch load with the console silenced, the drive steps of the batch tool
// recorded for replay, and the table of mean times that the summary lines
// after the benchmark output are computed from.
#pragma once

#include <benchmark/benchmark.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "model/mechanism_model.h"

// The start of every benchmark program: the directory of the mechanism
// files into *dir (the argument --mechanisms=DIR, else the library shipped
// in the source tree), Google Benchmark's own arguments, the console sent
// to /dev/null.  The names of the data files there, sorted; names with a
// dot (the catalogue, pictures) are left out.  Ends the program on an
// unknown argument or when there is no file.
std::vector<std::string> begin_benchmarks(int *argc, char **argv, const char *program,
                                          std::string *dir);

// batch_load of the file with the batch tool's notch limit.  1 assembles.
int load_quietly(const std::string &path);

// The drive steps linkmotion-path takes after loading: per step, the drive
// value the frame solved, the branch signs of the two-branch records at
// that solve, and the joint positions it gave.  Steps where the motion
// stalled are left out.
struct motion_script {
  std::vector<int> branch_records;          // records of codes 33, 34, 41, 42
  std::vector<double> drive;                // per step
  std::vector<int> choices;                 // per step, branch_records.size() signs
  std::vector<std::array<point, joint_slots>> J;  // per step
};

// Loads the file and runs `steps` motion steps as the batch tool does.
// 0 when the file does not assemble.
int record_motion(const std::string &path, int steps, motion_script *script);

// Writes the branch signs of step s into the solving order.
void set_step_choices(const motion_script &script, size_t s);

// Number of links in the loaded mechanism (each pair once).
int link_count();

// Console output of Google Benchmark, with the mean time per iteration of
// every benchmark kept by name (the median when repetitions ran).
class summary_reporter : public benchmark::ConsoleReporter {
 public:
  summary_reporter();  // colours only on a terminal
  void ReportRuns(const std::vector<Run> &runs) override;
  // Mean CPU time and wall-clock time per iteration in nanoseconds; -1
  // when the benchmark did not run or failed.
  double cpu_ns(const std::string &name) const;
  double real_ns(const std::string &name) const;
  // A user counter of the benchmark's run; 0 when it has none.
  double counter(const std::string &name, const std::string &key) const;
 private:
  struct times {
    double cpu, real;
    bool median;
    std::map<std::string, double> counters;
  };
  std::map<std::string, times> times_;
};
