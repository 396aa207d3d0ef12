// Program entry: a check that the window can open, the console set-up of
// the first mechanism, then the window.
#include "app/motion.h"
#include "app/setup_controller.h"
#include "app/window.h"
#include "model/console.h"

int main(int argc, char **argv) {
  require_display(argc, argv);
  motion.display_mode = '0';
  command_key = 'l';
  setup_mechanism();
  con_flush();
  run_window(&argc, argv);
}
