// Console dialogue: formatted messages, one-key answers, words and lines.
//
// From a terminal a key is taken as it is pressed, without echo and without
// Enter; from a pipe or a file the next non-blank character is the key, so a
// scripted session puts each answer on its own line.  On both, blanks
// (space, tab, CR, LF) are skipped, so an Enter after a one-key answer does
// not answer the next question; on a terminal the rest of a line typed
// ahead after a one-key answer is dropped.  When the input ends,
// every read prints a notice and ends the program with status 0.
#pragma once

#include <cstdio>

// Where messages go: standard output unless changed (the batch tools use
// standard error, so that standard output carries only data).  Messages
// printed before go out to the old stream first.
void console_set_output(FILE *out);

// Where answers come from: standard input unless changed.
void console_set_input(FILE *in);

// 1: a key read answers ' ' ("go on") at once without reading anything,
// for the batch tools that never wait for a user.  0: keys are read.
void console_set_batch(int batch);

// Formatted message, kept in the console's own buffer until the next read,
// con_flush, a change of stream or the end of the program; they go out in
// one write, in the order they were printed.
void con_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// s for echoing on the console, every control byte (below 0x20, and 0x7F)
// written as \xHH: a name or title that came from outside never sends an
// escape sequence to the user's terminal.  UTF-8 passes unchanged.  The text
// lives in one of four buffers used in turn, so that up to four may appear
// in one message; it is cut at 1023 bytes.
const char *shown(const char *s);

// Pushes every buffered message out (the display step calls it at the end
// of every frame).
void con_flush();

// One key (a byte 0..255).
int con_read_key();

// Next whitespace-delimited word into word[0..size-1], terminated; a longer
// word is cut at size-1 bytes and its rest dropped.
void con_read_word(char *word, int size);

// Next line that holds something other than blanks, without its line end;
// a longer line is cut at size-1 bytes and its rest dropped.
void con_read_line(char *line, int size);

// 1 when s holds nothing but blanks.
int text_is_blank(const char *s);

// Prints that the input has ended and ends the program with status 0.
[[noreturn]] void console_input_ended();
