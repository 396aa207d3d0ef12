// Texts of the picture that the window and the SVG picture share: joint
// numbers of the lists and the label of the driven element.
#pragma once

// A joint number as the lists and the drive label write it: one character
// of the digit table "01234567890" for 0 to 10 (10 is written '0'), two
// digits for 11 to 19, "?" for anything else.
void joint_number(char *out, int size, int j);

// The drive label into out: "drive=J<jd> angle" for a relative rotation,
// "drive=L<id><jd>angle" for an absolute one, "drive=L<id><jd> slide" for a
// slide.  1 written, 0 the drive kind has no label (out is then "").
int drive_label(char *out, int size);
