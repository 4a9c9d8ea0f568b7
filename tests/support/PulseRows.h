#ifndef PULSEROWS_H
#define PULSEROWS_H
// Counter rows of the pulse-counter panel set up as a user would: the add
// button, then each row button's menu and the entry in it. The menus are
// answered without blocking; an entry the menu shows disabled cannot be
// chosen, exactly as for the user.

class PulseMeasure;

// Adds a row and gives it the kind, channel and range; returns its row
// number.
int addPulseRow(PulseMeasure& panel, int type, int chn, int range);
// Chooses the kind, channel and range of an existing row through its menus.
void setPulseRow(PulseMeasure& panel, int row, int type, int chn, int range);

#endif
