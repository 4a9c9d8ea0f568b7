#ifndef OSCBENCHCAPTURE_H
#define OSCBENCHCAPTURE_H
// The capture the oscilloscope benchmarks measure: the mixed-signal model's
// shown store filled at 1 MHz with a noisy sine (channel 0) and a square
// with ringing (channel 1), 20 periods each over the most a record holds,
// the trigger in the middle.

#include <cmath>
#include <cstdint>

#include "data/SmpDataOsc.h"
#include "osc/DevMS.h"

inline void fillBenchCapture(DevPoplar* dev, const int gain[2], const int offset[2])
{
    constexpr int n = OSC_MAX_SAMPLES;
    SmpDataOsc* s = dev->shownDataOsc();
    const int sc[2] = {480, 480};
    const bool ena[2] = {true, true};
    s->dataConvertStart(0, 1000000, gain, sc, offset, ena);
    uint32_t r = 12345;
    for (int i = 0; i < n; ++i) {
        r = r * 1664525u + 1013904223u;
        const int noise = int(r >> 28) - 8;
        s->record(0)->samples[i] = int16_t(200 * std::sin(2 * M_PI * i * 20 / n) + noise);
        const int t = i % (n / 20);
        s->record(1)->samples[i] = int16_t((t < n / 40 ? 300 : -100) + (t % 500 < 8 ? 40 : 0) + noise);
    }
    for (int c = 0; c < 2; ++c) {
        s->record(c)->count = n;
        s->record(c)->trgIndex = n / 2;
    }
}

#endif
