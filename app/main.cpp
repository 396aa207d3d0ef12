// Program entry: the console set-up of the first mechanism.
#include "app/motion.h"
#include "app/setup_controller.h"
#include "model/console.h"

int main() {
  motion.display_mode = '0';
  command_key = 'l';
  setup_mechanism();
  con_flush();
  return 0;
}
