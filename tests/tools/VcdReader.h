#ifndef VCDREADER_H
#define VCDREADER_H
// Reads one one-bit signal of a Value Change Dump file as edge samples.

#include <cstdint>
#include <string>
#include <vector>

struct VcdSignal {
    int initLevel = 0;           // level at sample 0
    std::vector<int64_t> edges;  // samples where the level flips, ascending, all > 0
    int64_t depth = 0;           // sample count: past the last edge and the last time stamp
};

// sample = time × timescale × rate, truncated. Unknown values (x, z) keep
// the previous level; before the first value the level is low. Changes that
// fall on one sample leave only their net result. On failure, false and a
// one-line message ("line N: ..." where a line is to blame).
bool readVcdSignal(const std::string& path, const std::string& signal, uint64_t rateHz, VcdSignal* out,
                   std::string* error);
bool parseVcdSignal(const std::string& text, const std::string& signal, uint64_t rateHz, VcdSignal* out,
                    std::string* error);

#endif
