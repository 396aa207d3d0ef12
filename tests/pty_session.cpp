// Pseudo-terminal sessions of a program for the tests.
#include "tests/pty_session.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

static long now_ms() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

pty_session::pty_session(const std::string &command, const std::string &dir) {
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  if (pid < 0) return;
  pid_ = pid;
  master_ = master;
}

pty_session::~pty_session() {
  if (pid_ > 0 && status_ < 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (master_ >= 0) close(master_);
}

void pty_session::type(const std::string &keys) {
  size_t done = 0;
  while (master_ >= 0 && done < keys.size()) {
    const ssize_t n = write(master_, keys.data() + done, keys.size() - done);
    if (n > 0)
      done += static_cast<size_t>(n);
    else if (!(n < 0 && errno == EINTR))
      return;
  }
}

int pty_session::read_some(int ms) {
  if (master_ < 0) return -1;
  struct pollfd p = {master_, POLLIN, 0};
  const int ready = poll(&p, 1, ms);
  if (ready <= 0) return 0;  // nothing yet
  char buffer[4096];
  const ssize_t n = read(master_, buffer, sizeof buffer);
  if (n > 0) {
    output_.append(buffer, static_cast<size_t>(n));
    return 1;
  }
  if (n < 0 && errno == EINTR) return 0;
  return -1;  // EIO: the program's side of the terminal is closed
}

static int occurrences(const std::string &text, const std::string &what) {
  int c = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) c++;
  return c;
}

bool pty_session::wait_for(const std::string &text, int times, int seconds) {
  const long deadline = now_ms() + seconds * 1000L;
  while (occurrences(output_, text) < times) {
    const long left = deadline - now_ms();
    if (left <= 0) return false;
    if (read_some(static_cast<int>(left < 100 ? left : 100)) < 0)
      return occurrences(output_, text) >= times;
  }
  return true;
}

int pty_session::wait_for_exit(int seconds) {
  if (pid_ <= 0) return -1;
  const long deadline = now_ms() + seconds * 1000L;
  for (;;) {
    int status;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      while (read_some(50) > 0) {  // what the program wrote before it ended
      }
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return status_;
    }
    if (now_ms() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      status_ = -1;
      pid_ = -1;
      return -1;
    }
    read_some(50);  // keep the terminal drained so that the program never blocks on it
  }
}
