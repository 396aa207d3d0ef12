// Editing dialogs of the loaded mechanism (key "p"): its invariant link
// lengths and relative angles, and its driven element.
#pragma once

// Sets every flag that is not 'Y' to 'N': only the data file's facts stay known.
void clear_derived();

// Console dialogue of new lengths and relative angles.  1 when something
// was entered; 0 when nothing was (the model has been restored then).
int edit_parameters();

// Puts back every 'Y' and 'W' fact of the snapshot.
void restore_model();

// Sets every flag that is 'X' (a planner fact) to 'N'.
void clear_planned();

// Console dialogue of a new driven element and its initial value.  1 when a
// new drive was confirmed, 0 when the user kept the old one.
int edit_drive();

// Puts back the saved drive and marks its element 'Z'.
void restore_drive();

// Sets both flags of the element driven now (rs, id, jd, kd) to letter;
// nothing when rs is no drive kind.
void mark_drive(char letter);
