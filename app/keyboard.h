// Keyboard commands of the window: one key, one operation, from a table.
#pragma once

// What the window does after a command.
enum key_then {
  then_nothing,  // key without a command
  then_display,  // draw the next frame now
  then_redraw,   // the console set-up ran: ask the toolkit for a redraw
  then_exit,     // ESC: end the program with status 0
};

constexpr unsigned char key_escape = 27;
constexpr unsigned char key_play = ' ';  // starts and stops the continuous motion

// 1 while the continuous motion runs: the window steps it on a timer.
extern int motion_playing;

// Stores key in command_key, runs its command on the view and animation
// state (or the console dialogue it starts), and says what comes next.
key_then run_key_command(unsigned char key);
