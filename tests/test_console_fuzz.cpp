// Random console sessions: keys, numbers, dialog answers, garbage lines and
// an early end of input, through the set-up controller (load path and edit
// path with both dialogs), the choice editor and the motion keys, exactly
// as the window program runs them but without drawing.  Each session runs in
// a child process of its own, which must end with status 0 (end of input
// or ESC) within a time limit, with every joint position finite after every
// frame.  tests/data/sessions keeps sessions as scripts: edge cases written
// by hand (the end of input inside each dialog, drive edits that do and do
// not plan, a crank that no longer reaches, garbage bytes), and any random
// session that ever failed, under the name of its seed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/keyboard.h"
#include "app/motion.h"
#include "app/setup_controller.h"
#include "model/console.h"
#include "model/mechanism_model.h"
#include "tests/test_support.h"

namespace {

// Seconds one session may take, sanitizers included.  A session is a few
// dozen answers on small mechanisms: well under a second normally.
constexpr unsigned session_limit = 30;

// --- the session generator ---

// A small generator of its own, so that a seed names the same session with
// every standard library.
struct session_random {
  uint64_t state;
  explicit session_random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint32_t next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 33);
  }
  int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
  int between(int lo, int hi) { return lo + below(hi - lo + 1); }
  template <size_t N>
  const char *pick(const char *const (&list)[N]) { return list[below(static_cast<int>(N))]; }
};

// Data file names relative to the source tree: the shipped files, the
// fuzz seeds (good and broken), and names that do not exist.
std::vector<std::string> file_names() {
  std::vector<std::string> names;
  for (const char *dir : {"mechanisms", "tests/fuzz/seeds"}) {
    std::vector<std::string> here;
    for (const auto &e : std::filesystem::directory_iterator(source_path(dir))) {
      const std::string name = e.path().filename().string();
      if (e.is_regular_file() && name.find('.') == std::string::npos) here.push_back(name);
    }
    std::sort(here.begin(), here.end());
    for (const std::string &name : here) names.push_back(std::string(dir) + "/" + name);
  }
  return names;
}

// Mostly joints of a small mechanism, sometimes one outside every table.
std::string joint(session_random &r) {
  return std::to_string(r.below(4) ? r.between(1, 6) : r.between(-1, 21));
}

std::string number(session_random &r) {
  static const char *const odd[] = {"0",   "1",    "-1",     "1e308", "-1e308", "nan", "inf",
                                    "1e-320", "99999999999", "-0", "180",  "360",  "0.5"};
  if (r.below(3) == 0) return r.pick(odd);
  return std::to_string(r.between(-400, 400));
}

// One line of garbage: random bytes other than the line end, sometimes long.
std::string garbage(session_random &r) {
  std::string s;
  const int len = r.below(8) == 0 ? r.between(200, 700) : r.between(1, 12);
  for (int c = 0; c < len; c++) {
    char b = static_cast<char>(r.between(1, 255));
    if (b == '\n') b = ',';
    s += b;
  }
  return s;
}

// An answer in the form of a dialog: "i,j,v", "i,j,k,v", or a near miss.
std::string dialog_answer(session_random &r) {
  std::string s = joint(r) + "," + joint(r);
  if (r.below(2)) s += "," + joint(r);
  if (r.below(6)) s += "," + number(r);
  if (r.below(8) == 0) s += r.below(2) ? "," : " x";
  return s;
}

// The answers of one edit (key "p"), well formed or nearly: the two
// questions, the lists of lengths and angles, a drive and its confirmation,
// and the keys of the planning loop that may follow.
std::string edit_answers(session_random &r) {
  static const char *const drive_kinds[] = {"A", "B", "B", "L", "0", "x"};
  std::string s = "p\n";
  auto line = [&s](const std::string &text) { s += text + "\n"; };
  if (r.below(2)) {
    line("1");
    for (int e = r.below(3); e > 0; e--) line(joint(r) + "," + joint(r) + "," + number(r));
    line("0");
    for (int e = r.below(2); e > 0; e--)
      line(joint(r) + "," + joint(r) + "," + joint(r) + "," + number(r));
    line("0");
  } else {
    line("0");
  }
  if (r.below(3)) {
    line("1");
    for (int attempt = r.between(1, 2); attempt > 0; attempt--) {
      const std::string kind = r.pick(drive_kinds);
      line(kind);
      if (kind == "0") break;
      line(kind == "A" ? dialog_answer(r) : joint(r) + "," + joint(r) + "," + number(r));
      line(attempt == 1 ? "1" : "0");
    }
  } else {
    line("0");
  }
  for (int k = r.below(4); k > 0; k--) line(r.below(2) ? "1" : "0");
  return s;
}

std::string random_session(uint64_t seed, const std::vector<std::string> &files) {
  session_random r(seed);
  static const char *const missing[] = {"no-such-file", "a", "mechanisms", "/", "..", "a00x"};
  static const char *const keys[] = {"s", "s", "s", "r", "0", "1", "x", "X", "y", "Y", "w", "W",
                                     "n", "n", "p", "p", "p", "l", "q", " "};
  static const char *const drive_kinds[] = {"A", "B", "L", "0", "a", "1"};
  std::string s;
  auto line = [&s](const std::string &text) { s += text + "\n"; };
  auto file_name = [&]() {
    if (r.below(5) == 0) return std::string(r.pick(missing));
    if (r.below(2)) return std::string("a00");
    return files[r.below(static_cast<int>(files.size()))];
  };
  line(file_name());
  const int count = r.between(0, 90);
  for (int t = 0; t < count; t++) {
    switch (r.below(12)) {
      case 0: case 1: case 2: line(r.pick(keys)); break;
      case 10: s += edit_answers(r); break;
      case 11: line("n\n" + std::to_string(r.between(-1, 40)) + " " + std::to_string(r.between(-2, 2))); break;
      case 3: line(number(r)); break;
      case 4: line(number(r) + " " + number(r)); break;  // the choice editor's pair
      case 5: line(dialog_answer(r)); break;
      case 6: line(r.pick(drive_kinds)); break;
      case 7: line(garbage(r)); break;
      case 8: line(r.below(3) ? file_name() : std::string()); break;
      default: line(std::string(1, static_cast<char>(r.between(1, 255)))); break;
    }
  }
  if (r.below(10) == 0) s += "\x1b\n";  // ESC ends the program
  if (r.below(4) == 0 && !s.empty()) s.pop_back();  // input ends within a line
  return s;
}

// --- one session in a child process ---

[[noreturn]] void die(const char *why) {
  fprintf(stderr, "\n%s\n", why);
  fflush(stderr);
  abort();
}

void check_frame() {
  const mechanism &m = mech;
  for (int i = 1; i <= m.n && i < joint_slots; i++)
    if (!std::isfinite(m.J[i].x) || !std::isfinite(m.J[i].y)) die("a joint position is not finite");
  for (int s = 0; s < trace_slots; s++)
    if (!std::isfinite(motion.trace[s].x) || !std::isfinite(motion.trace[s].y))
      die("a trace point is not finite");
  if (!std::isfinite(motion.drive_value) || !std::isfinite(mech.tt0)) die("the drive is not finite");
}

// The window program without its window: the set-up, then keys from the
// same console, each command followed by the frame the window would draw.
[[noreturn]] void run_session_in_child(const std::string &script_path, const std::string &out_path) {
  alarm(session_limit);
  if (chdir(LINKMOTION_SOURCE_DIR) != 0) die("no source directory");
  FILE *in = fopen(script_path.c_str(), "r");
  FILE *out = fopen(out_path.c_str(), "w");
  if (!in || !out) die("cannot open the session files");
  setvbuf(out, nullptr, _IONBF, 0);  // all of it on disk should the child crash
  console_set_input(in);
  console_set_output(out);
  console_set_batch(0);
  motion.display_mode = '0';
  command_key = 'l';
  setup_mechanism();
  solve_frame();
  check_frame();
  for (;;) {
    const key_then then = run_key_command(static_cast<unsigned char>(con_read_key()));
    if (then == then_exit) exit(0);
    if (then == then_display || then == then_redraw) {
      solve_frame();
      check_frame();
    }
  }
}

struct session_end {
  bool ok;
  std::string why;
};

std::string printable(const std::string &text) {
  std::string s;
  for (unsigned char c : text) {
    if (c == '\n' || (c >= 0x20 && c < 0x7f)) {
      s += static_cast<char>(c);
    } else {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02x", c);
      s += hex;
    }
  }
  return s;
}

session_end run_session(const std::string &script) {
  const std::string script_path = write_temp_file(script);
  const std::string out_path = write_temp_file("");
  fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return {false, "fork failed"};
  if (child == 0) run_session_in_child(script_path, out_path);
  int status = 0;
  waitpid(child, &status, 0);
  session_end end{true, ""};
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
    end = {false, "the session did not end within " + std::to_string(session_limit) + " s"};
  else if (WIFSIGNALED(status))
    end = {false, "the session ended on signal " + std::to_string(WTERMSIG(status))};
  else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    end = {false, "the session ended with status " + std::to_string(WEXITSTATUS(status))};
  if (!end.ok) {
    std::string console = read_file(out_path);
    if (console.size() > 3000) console = "..." + console.substr(console.size() - 3000);
    end.why += "\n--- answers ---\n" + printable(script) + "\n--- console (end) ---\n" + console;
  }
  unlink(script_path.c_str());
  unlink(out_path.c_str());
  return end;
}

// Seeds 1..sessions_per_block * blocks, a block per test so that CTest can
// run blocks side by side.
constexpr int sessions_per_block = 60;

class RandomSessions : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(RandomSessions, EndCleanlyWithFinitePositions) {
  const std::vector<std::string> files = file_names();
  ASSERT_FALSE(files.empty());
  for (int k = 0; k < sessions_per_block; k++) {
    const uint64_t seed = static_cast<uint64_t>(GetParam()) * sessions_per_block + k + 1;
    const session_end end = run_session(random_session(seed, files));
    EXPECT_TRUE(end.ok) << "seed " << seed << ": " << end.why;
    if (!end.ok) break;  // one report per block is enough to start from
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomSessions, ::testing::Range(0, 5));

// The kept sessions, as the answers they are.
TEST(KeptSessions, EndCleanlyWithFinitePositions) {
  const std::string dir = source_path("tests/data/sessions");
  int kept = 0;
  for (const auto &e : std::filesystem::directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    kept++;
    const session_end end = run_session(read_file(e.path().string()));
    EXPECT_TRUE(end.ok) << e.path().filename().string() << ": " << end.why;
  }
  EXPECT_GT(kept, 0);
}

// The generator itself: a seed names one session, and the sessions reach
// the edit path, the choice editor and the motion.
TEST(RandomSessionGenerator, IsRepeatableAndReachesEveryDialog) {
  const std::vector<std::string> files = file_names();
  EXPECT_EQ(random_session(7, files), random_session(7, files));
  EXPECT_NE(random_session(7, files), random_session(8, files));
  int with_p = 0, with_n = 0, with_s = 0;
  for (int seed = 1; seed <= 300; seed++) {
    const std::string s = random_session(seed, files);
    with_p += s.find("\np\n") != std::string::npos;
    with_n += s.find("\nn\n") != std::string::npos;
    with_s += s.find("\ns\n") != std::string::npos;
  }
  EXPECT_GT(with_p, 100);
  EXPECT_GT(with_n, 100);
  EXPECT_GT(with_s, 100);
}
