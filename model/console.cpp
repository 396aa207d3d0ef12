// Console dialogue on standard streams, with a raw one-key read on terminals.
#include "model/console.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <termios.h>
#include <unistd.h>

static FILE *console_out = nullptr;  // nullptr: stdout
static FILE *console_in = nullptr;   // nullptr: stdin
static int console_batch = 0;

static FILE *out_stream() { return console_out ? console_out : stdout; }
static FILE *in_stream() { return console_in ? console_in : stdin; }

// Messages wait here until the next read, the end of a frame or con_flush,
// and then go out in one write: whatever the stream's own buffering (stderr
// has none, a terminal flushes at every line end and every message begins
// with one), a planner's report or a pass of the assembly search costs one
// system call, not one per message.  8 KiB holds the longest report.
static char pending[8192];
static size_t pending_length;  // bytes in pending

// One write(2) where the stream has a descriptor: fwrite on a line-buffered
// stream (a terminal) would write every line on its own.  The stream is
// flushed first, so that nothing it holds comes after the messages.  A
// stream without a descriptor (a memory stream) gets the bytes by fwrite.
static void write_pending() {
  if (pending_length == 0) return;
  FILE *out = out_stream();
  fflush(out);
  const int fd = fileno(out);
  if (fd < 0) {
    fwrite(pending, 1, pending_length, out);
  } else {
    size_t done = 0;
    while (done < pending_length) {
      const ssize_t n = write(fd, pending + done, pending_length - done);
      if (n > 0)
        done += static_cast<size_t>(n);
      else if (!(n < 0 && errno == EINTR))
        break;  // a closed pipe or a full disk: the messages are lost, as with stdio
    }
  }
  pending_length = 0;
}

void con_flush() {
  write_pending();
  fflush(out_stream());
}

// Messages still waiting when the program ends go out.
static void flush_at_exit() { con_flush(); }

void console_set_output(FILE *out) {
  con_flush();  // what was printed so far belongs to the old stream
  console_out = out;
}
void console_set_input(FILE *in) { console_in = in; }
void console_set_batch(int batch) { console_batch = batch; }

void con_printf(const char *fmt, ...) {
  static int exit_handler = 0;
  if (!exit_handler) exit_handler = atexit(flush_at_exit) == 0;
  va_list args, again;
  va_start(args, fmt);
  va_copy(again, args);
  const size_t room = sizeof pending - pending_length;
  const int length = vsnprintf(pending + pending_length, room, fmt, args);
  if (length >= 0 && static_cast<size_t>(length) < room) {
    pending_length += static_cast<size_t>(length);
  } else if (length >= 0) {
    // It did not fit: what came before goes out first, then the message is
    // kept (or, longer than the whole buffer, written at once).
    write_pending();
    if (static_cast<size_t>(length) < sizeof pending) {
      vsnprintf(pending, sizeof pending, fmt, again);
      pending_length = static_cast<size_t>(length);
    } else {
      vfprintf(out_stream(), fmt, again);
    }
  }
  va_end(again);
  va_end(args);
}

const char *shown(const char *s) {
  static char buffers[4][1024];
  static int next;
  char *out = buffers[next];
  next = (next + 1) % 4;
  const size_t room = sizeof buffers[0];
  size_t n = 0;
  for (; *s; s++) {
    const unsigned char c = static_cast<unsigned char>(*s);
    const int control = c < 0x20 || c == 0x7F;
    const size_t need = control ? 4 : 1;
    if (n + need >= room) break;
    if (control)
      n += static_cast<size_t>(snprintf(out + n, room - n, "\\x%02X", c));
    else
      out[n++] = static_cast<char>(c);
  }
  out[n] = '\0';
  return out;
}

void console_input_ended() {
  con_printf("\n\n入力が終わりました．プログラムを終了します．\n");
  con_flush();
  exit(0);
}

int text_is_blank(const char *s) {
  for (; *s; s++)
    if (!isspace(static_cast<unsigned char>(*s))) return 0;
  return 1;
}

// --- raw key read on a terminal ---

// The terminal settings to put back if a signal ends the program while a
// key is being read with echo off.
static struct termios cooked_settings;
static volatile sig_atomic_t raw_fd = -1;

static void restore_terminal_and_reraise(int sig) {
  if (raw_fd >= 0) tcsetattr(raw_fd, TCSANOW, &cooked_settings);
  signal(sig, SIG_DFL);
  raise(sig);
}

// Space, tab, carriage return and line feed: never an answer.
static int is_blank_key(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// After a one-key answer on a terminal, the rest of the line the user has
// already typed (up to and including its Enter) is dropped without waiting
// for more: "01" Enter answers one question with 0, not two.  Keys typed
// after the answer was taken belong to the next question.
static void drop_typed_ahead_line(FILE *in, int fd, const struct termios *raw) {
  struct termios no_wait = *raw;
  no_wait.c_cc[VMIN] = 0;
  no_wait.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &no_wait);
  int c;
  do c = getc(in);
  while (c != EOF && c != '\n' && c != '\r');
  if (c == '\r') {  // a CR LF line end: its LF goes too, if it is there
    c = getc(in);
    if (c != '\n' && c != EOF) ungetc(c, in);
  }
  clearerr(in);  // "nothing waiting" is not the end of the input
}

static int read_key_from_terminal(FILE *in, int fd) {
  struct termios raw;
  if (tcgetattr(fd, &cooked_settings) != 0) return getc(in);
  raw = cooked_settings;
  raw.c_lflag &= ~(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  static int handlers_installed = 0;
  if (!handlers_installed) {
    signal(SIGINT, restore_terminal_and_reraise);
    signal(SIGTERM, restore_terminal_and_reraise);
    signal(SIGQUIT, restore_terminal_and_reraise);
    handlers_installed = 1;
  }
  raw_fd = fd;
  tcsetattr(fd, TCSANOW, &raw);  // keys typed ahead stay in the queue
  // End of input typed on a raw terminal: Ctrl-D itself, or a NUL, which
  // is what the line discipline hands on for a Ctrl-D typed while the
  // terminal was still in line mode (typed ahead, as the question appeared).
  const int ctrl_d = 4, eof_typed_ahead = 0;
  // Blanks are skipped as from a pipe: the Enter that ends the answer to
  // the last question is not the answer to this one.
  int c;
  do c = getc(in);
  while (c != EOF && c != ctrl_d && c != eof_typed_ahead && is_blank_key(c));
  const int ended = c == EOF || c == ctrl_d || c == eof_typed_ahead;
  if (!ended) drop_typed_ahead_line(in, fd, &raw);
  tcsetattr(fd, TCSANOW, &cooked_settings);
  raw_fd = -1;
  if (ended) return EOF;
  return c;
}

static int input_is_terminal(FILE *in) { return isatty(fileno(in)); }

// Drops what is left of the current line.
static void skip_rest_of_line(FILE *in) {
  int c;
  do c = getc(in);
  while (c != EOF && c != '\n');
}

int con_read_key() {
  con_flush();
  if (console_batch) return ' ';
  FILE *in = in_stream();
  int c;
  if (input_is_terminal(in)) {
    c = read_key_from_terminal(in, fileno(in));
  } else {
    do c = getc(in);
    while (c != EOF && isspace(c));
  }
  if (c == EOF) console_input_ended();
  return c;
}

void con_read_word(char *word, int size) {
  con_flush();
  FILE *in = in_stream();
  int c;
  do c = getc(in);
  while (c != EOF && isspace(c));
  if (c == EOF) console_input_ended();
  int len = 0;
  while (c != EOF && !isspace(c)) {
    if (len < size - 1) word[len++] = static_cast<char>(c);
    c = getc(in);
  }
  word[len] = '\0';
  // A terminal delivers whole lines: what follows the word on its line is
  // not an answer to the next question.
  if (c != EOF && c != '\n' && input_is_terminal(in)) skip_rest_of_line(in);
}

void con_read_line(char *line, int size) {
  con_flush();
  FILE *in = in_stream();
  for (;;) {
    int len = 0, c = getc(in);
    if (c == EOF) console_input_ended();
    while (c != EOF && c != '\n') {
      if (len < size - 1) line[len++] = static_cast<char>(c);
      c = getc(in);
    }
    line[len] = '\0';
    if (!text_is_blank(line)) return;
    if (c == EOF) console_input_ended();
  }
}
