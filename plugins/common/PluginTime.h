#ifndef PLUGINTIME_H
#define PLUGINTIME_H
// Durations in whole samples at a decode or simulation rate. The product is
// taken first, in 128 bits: dividing the rate first loses everything below
// 1 MHz, and a 64-bit product of rate and nanoseconds can still overflow.

#include <AnalyzerTypes.h>

namespace plugin_time {

constexpr U64 kNsPerUs = 1000;
constexpr U64 kNsPerS = 1000000000;

// Samples in ns nanoseconds, truncated.
inline U64 samplesOf(U64 rate_hz, U64 ns)
{
    return U64((unsigned __int128)rate_hz * ns / kNsPerS);
}

// The fewest samples that last at least ns nanoseconds (rounded up).
inline U64 samplesAtLeast(U64 rate_hz, U64 ns)
{
    return U64(((unsigned __int128)rate_hz * ns + (kNsPerS - 1)) / kNsPerS);
}

// Lengths in samples whose duration lies within [min_ns, max_ns], bounds
// included: the same answer as converting each length to time exactly.
struct SampleRange {
    U64 min;
    U64 max;
    bool holds(U64 samples) const { return samples >= min && samples <= max; }
};

inline SampleRange rangeOf(U64 rate_hz, U64 min_ns, U64 max_ns)
{
    return {samplesAtLeast(rate_hz, min_ns), samplesOf(rate_hz, max_ns)};
}

// At least min_ns, no upper bound.
inline SampleRange rangeFrom(U64 rate_hz, U64 min_ns)
{
    return {samplesAtLeast(rate_hz, min_ns), ~U64(0)};
}

} // namespace plugin_time

#endif
