// The window program's console set-up without its window, for piped
// sessions where no X display exists.  It runs the same set-up as the
// window program and ends where that one opens its window, saying so on
// standard error ("window" and a newline) so that a session that reached
// the window is told apart from one whose input ran out.
#include <cstdio>

#include "app/motion.h"
#include "app/setup_controller.h"
#include "model/console.h"

int main() {
  motion.display_mode = '0';
  command_key = 'l';
  setup_mechanism();
  con_flush();
  fputs("window\n", stderr);
  return 0;
}
