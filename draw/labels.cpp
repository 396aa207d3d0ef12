// Joint numbers and the drive label, from the model alone.
#include "draw/labels.h"

#include <cstdio>

#include "model/mechanism_model.h"

// Digit table of the single-character joint numbers: joint d is character d,
// so 10 is written '0'.
static const char digit_table[] = "01234567890";

void joint_number(char *out, int size, int j) {
  if (j >= 11 && j <= 19)
    snprintf(out, size, "%d", j);
  else if (j >= 0 && j <= 10)
    snprintf(out, size, "%c", digit_table[j]);
  else
    snprintf(out, size, "?");
}

int drive_label(char *out, int size) {
  char i[4], j[4];
  joint_number(i, sizeof i, mech.id);
  joint_number(j, sizeof j, mech.jd);
  if (size > 0) out[0] = '\0';
  if (mech.rs == 'A') snprintf(out, size, "drive=J%s angle", j);
  else if (mech.rs == 'B') snprintf(out, size, "drive=L%s%sangle", i, j);
  else if (mech.rs == 'L') snprintf(out, size, "drive=L%s%s slide", i, j);
  else return 0;
  return 1;
}
