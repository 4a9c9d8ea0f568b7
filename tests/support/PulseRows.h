#ifndef PULSEROWS_H
#define PULSEROWS_H
// Counter rows of the pulse-counter panel set up as a user would: the add
// button, then each row button's menu and the entry in it. The menus are
// answered without blocking; an entry the menu shows disabled cannot be
// chosen, exactly as for the user.

#include <QString>
#include <QVector>

class PulseMeasure;
class SmpData;

// Adds a row and gives it the kind, channel and range; returns its row
// number.
int addPulseRow(PulseMeasure& panel, int type, int chn, int range);
// Chooses the kind, channel and range of an existing row through its menus.
void setPulseRow(PulseMeasure& panel, int row, int type, int chn, int range);

// Per-sample definition of the four counts over [a, b] (rising edges,
// falling edges, positive and negative pulses, each after a ","): an edge is
// a level change at a sample p >= 1; a pulse is an edge and the next one,
// both in the range. No edge after a: all zero.
QString pulseCountsBySamples(const QVector<int>& level, long long a, long long b);
// The levels of a channel at samples 0 to the capture's depth.
QVector<int> channelLevels(const SmpData* s, int chn);

#endif
