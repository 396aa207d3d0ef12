// Console output goes out in few writes and in order: messages wait for the
// next read, a flush or the end of the program, whatever buffering the
// stream has.  The writes are counted on a pipe in packet mode, where every
// write(2) arrives as a read of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "model/console.h"
#include "tests/test_support.h"

namespace {

// The writes that have arrived on the read end so far, one string each.
std::vector<std::string> writes_arrived(int fd) {
  std::vector<std::string> writes;
  static char packet[65536];  // larger than any packet (PIPE_BUF)
  for (;;) {
    const ssize_t got = read(fd, packet, sizeof packet);
    if (got <= 0) return writes;
    writes.emplace_back(packet, static_cast<size_t>(got));
  }
}

std::string joined(const std::vector<std::string> &writes) {
  std::string all;
  for (const std::string &w : writes) all += w;
  return all;
}

// A pipe in packet mode, its write end a stream with the given buffering,
// set as the console output while the object lives.
class counted_output {
 public:
  explicit counted_output(int buffering) {
    int fds[2];
    // Neither end waits: reading takes what has arrived, and a console that
    // wrote a packet per message would fail on the full pipe, not hang.
    if (pipe2(fds, O_DIRECT | O_NONBLOCK) != 0) return;
    read_fd_ = fds[0];
    stream_ = fdopen(fds[1], "w");
    setvbuf(stream_, nullptr, buffering, buffering == _IONBF ? 0 : BUFSIZ);
    console_set_output(stream_);
  }
  ~counted_output() {
    if (!stream_) return;
    console_set_output(nullptr);
    fclose(stream_);
    close(read_fd_);
  }
  bool ok() const { return stream_ != nullptr; }
  std::vector<std::string> writes() { return writes_arrived(read_fd_); }
 private:
  int read_fd_ = -1;
  FILE *stream_ = nullptr;
};

std::string messages(int count) {
  std::string text;
  for (int i = 0; i < count; i++) text += format("\nmessage %d", i);
  return text;
}

}  // namespace

TEST(ConsoleOutput, MessagesWaitForTheFlushAndGoOutInOneWrite) {
  // Unbuffered like standard error, line-buffered like a terminal: the
  // stream would write every message (each begins with a line end).
  for (int buffering : {_IONBF, _IOLBF}) {
    counted_output out(buffering);
    ASSERT_TRUE(out.ok()) << "no packet-mode pipe";
    for (int i = 0; i < 40; i++) con_printf("\nmessage %d", i);
    EXPECT_TRUE(out.writes().empty()) << "written before the flush, buffering " << buffering;
    con_flush();
    const std::vector<std::string> w = out.writes();
    ASSERT_EQ(w.size(), 1u) << "buffering " << buffering;
    EXPECT_EQ(w[0], messages(40));
  }
}

TEST(ConsoleOutput, AReadPushesThePromptOutFirstAndLaterMessagesFollow) {
  counted_output out(_IONBF);
  ASSERT_TRUE(out.ok()) << "no packet-mode pipe";
  char answers[] = "a00\n";
  FILE *in = fmemopen(answers, sizeof answers - 1, "r");
  ASSERT_NE(in, nullptr);
  console_set_input(in);
  con_printf("\nリンク機構の運動解析");
  con_printf("\nファイル名 fname=");
  char word[16];
  con_read_word(word, sizeof word);
  EXPECT_STREQ(word, "a00");
  std::vector<std::string> w = out.writes();
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0], "\nリンク機構の運動解析\nファイル名 fname=");
  con_printf("\nfname=%s  nochoice=%d\n", word, 1);
  con_flush();
  w = out.writes();
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0], "\nfname=a00  nochoice=1\n");
  console_set_input(nullptr);
  fclose(in);
}

TEST(ConsoleOutput, MessagesLongerThanTheBufferKeepTheirPlace) {
  counted_output out(_IOFBF);
  ASSERT_TRUE(out.ok()) << "no packet-mode pipe";
  const std::string huge(20000, 'x');   // more than the console keeps
  const std::string large(6000, 'y');   // fits alone, not after the others
  con_printf("\nfirst");
  con_printf("%s", huge.c_str());
  con_printf("\nsecond");
  con_printf("%s", large.c_str());
  con_printf("%s", large.c_str());
  con_printf("\nlast");
  con_flush();
  EXPECT_EQ(joined(out.writes()), "\nfirst" + huge + "\nsecond" + large + large + "\nlast");
}

TEST(ConsoleOutput, PathToolSendsItsLoadReportInAFewWrites) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_DIRECT), 0) << "no packet-mode pipe";
  const std::string program = program_path("linkmotion-path");
  const std::string file = source_path("mechanisms/a00");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(fds[1], 2);
    close(fds[0]);
    execl(program.c_str(), program.c_str(), file.c_str(), "360", static_cast<char *>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::vector<std::string> w;
  static char packet[65536];
  for (;;) {
    const ssize_t got = read(fds[0], packet, sizeof packet);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    w.emplace_back(packet, static_cast<size_t>(got));
  }
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string text = joined(w);
  // The echo of eleven sections, the plan's reports: dozens of messages.
  EXPECT_GT(count_occurrences(text, "\n"), 20) << text;
  EXPECT_NE(text.find("all_known() 関節位置全部分かった"), std::string::npos) << text;
  // One write after the load and the first frame, one at the end.
  EXPECT_LE(w.size(), 3u) << text;
}
