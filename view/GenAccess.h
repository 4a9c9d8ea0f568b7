#ifndef GENACCESS_H
#define GENACCESS_H
// The reads that the row painter makes of the display generator (records of
// a channel, scale, start), in one place.

#include "data/SmpTables.h"

class WaveDataGen;

namespace GenAccess {
// Samples per logical pixel; 0 without a generator.
double scale(const WaveDataGen* g);
// Sample under logical pixel 0.
double start(const WaveDataGen* g);
// Records of channel chn and their count; 0 and null without a generator.
int records(WaveDataGen* g, int chn, WaveLine** out);
// Sample count of the capture the device in use shows; 0 without one.
long long shownSampleCount();
}

#endif
