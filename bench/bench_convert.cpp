// Throughput of the device-data converters on 256 MB of recorded data with
// realistic edge densities, in 1 MiB transfer buffers as the transport hands
// them over, against memcpy of the same buffer in the same run.
#include "BenchSupport.h"
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "data/SmpData.h"

namespace {

constexpr size_t kBytes = size_t(256) << 20;
constexpr int kTransfer = 1 << 20;

// Run-length records as a busy capture of mixed traffic produces them: mostly
// one channel changing (serial lines, clocks) after up to 100 samples,
// sometimes a parallel bus changing several at once, and idle stretches
// continued with full runs. Every record but the idle ones holds an edge,
// so this is about one edge per 4 bytes.
std::vector<unsigned char> recordData(int channels)
{
    const int perFrame = channels == 32 ? 6 : 5;
    const int frame = channels == 32 ? 32 : 16;
    const int lw = channels == 32 ? 4 : 2;
    std::vector<unsigned char> mem(kBytes, 0);
    XorShift rng{0x2545F4914F6CDD1DULL};
    uint32_t level = 0;
    for (size_t f = 0; f + size_t(frame) <= kBytes; f += size_t(frame)) {
        for (int k = 0; k < perFrame; ++k) {
            const uint64_t r = rng.next();
            const int kind = int(r % 100);
            unsigned run;
            if (kind < 60) {
                level ^= 1u << ((r >> 8) % unsigned(channels));
                run = 1 + unsigned((r >> 16) % 100);
            } else if (kind < 70) {
                level ^= uint32_t(r >> 24) & (channels == 32 ? 0xFF00FF00u : 0x0FF0u);
                run = 1 + unsigned((r >> 16) % 20);
            } else {
                run = 255;   // idle: the same levels go on
            }
            unsigned char* p = mem.data() + f + size_t(k * (lw + 1));
            for (int j = 0; j < lw; ++j)
                p[j] = uint8_t(level >> (8 * j));
            p[lw] = uint8_t(run);
        }
    }
    return mem;
}

// 16 channels in the stream's word format: one fast clock (an edge every 8
// samples), data lines at 1/64 and 1/256, slow control lines, idle channels.
std::vector<unsigned char> streamData()
{
    static const int spacing[16] = {8, 64, 64, 256, 256, 1024, 4096, 16384,
                                    0, 0, 0, 0, 64, 256, 1024, 0};
    std::vector<unsigned char> mem(kBytes, 0);
    XorShift rng{0x9E3779B97F4A7C15ULL};
    uint32_t level[16] = {0};
    long long next[16];
    for (int c = 0; c < 16; ++c)
        next[c] = spacing[c] ? (long long)(rng.next() % unsigned(spacing[c])) : -1;
    const size_t rows = kBytes / 32;
    for (size_t r = 0; r < rows; ++r) {
        const long long t0 = (long long)r * 16;
        for (int c = 0; c < 16; ++c) {
            uint32_t w = 0;
            for (int i = 0; i < 16; ++i) {
                if (next[c] == t0 + i) {
                    level[c] ^= 1;
                    // Jittered spacing around the channel's mean.
                    const int s = spacing[c];
                    next[c] += s / 2 + 1 + (long long)(rng.next() % unsigned(s));
                }
                w |= level[c] << i;
            }
            mem[r * 32 + size_t(c) * 2] = uint8_t(w);
            mem[r * 32 + size_t(c) * 2 + 1] = uint8_t(w >> 8);
        }
    }
    return mem;
}

const std::vector<unsigned char>& data(int which)
{
    static std::unique_ptr<std::vector<unsigned char>> d[3];
    if (!d[which])
        d[which].reset(new std::vector<unsigned char>(which == 0 ? recordData(16)
                                                      : which == 1 ? recordData(32)
                                                                   : streamData()));
    return *d[which];
}

long long edgeCount(const SmpData& s)
{
    long long n = 0;
    for (int c = 0; c < s.chnNum; ++c)
        n += SmpData::entryCount(s.chnData[c]);
    return n;
}

// which: 0 P5_16, 1 P6_32, 2 S16_N.
void convert(benchmark::State& state, int which)
{
    const std::vector<unsigned char>& in = data(which);
    const int channels = which == 1 ? 32 : 16;
    std::vector<unsigned char> copy(kBytes);
    SmpData s(channels);
    const QVector<bool> ena(channels, true);
    double convertSec = 0, memcpySec = 0;
    long long edges = 0;
    for (auto _ : state) {
        s.dataConvertStart(0, 100000000, ena);
        SmpConvertState st;
        long long done = 0, depth = 0;
        const auto t0 = std::chrono::steady_clock::now();
        for (size_t i = 0; i < kBytes; i += kTransfer) {
            const unsigned char* p = in.data() + i;
            if (which == 0)
                smpDataConvertP5_16(&s, &st, p, kTransfer, &done);
            else if (which == 1)
                smpDataConvertP6_32(&s, &st, p, kTransfer, &done);
            else
                smpDataConvertS16_N(&s, &st, p, kTransfer, i == 0 ? 0 : -1, &depth);
        }
        const auto t1 = std::chrono::steady_clock::now();
        std::memcpy(copy.data(), in.data(), kBytes);
        benchmark::ClobberMemory();
        const auto t2 = std::chrono::steady_clock::now();
        const double c = std::chrono::duration<double>(t1 - t0).count();
        state.SetIterationTime(c);
        convertSec += c;
        memcpySec += std::chrono::duration<double>(t2 - t1).count();
        edges = edgeCount(s);
        s.clearData();
    }
    const double n = double(state.iterations());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
    state.counters["GB/s"] = double(kBytes) * n / convertSec / 1e9;
    state.counters["memcpy_GB/s"] = double(kBytes) * n / memcpySec / 1e9;
    state.counters["vs_memcpy"] = memcpySec / convertSec;
    state.counters["edges_M"] = double(edges) / 1e6;
    state.counters["B_per_edge"] = edges ? double(kBytes) / double(edges) : 0;
}

void BM_ConvertP5_16(benchmark::State& s) { convert(s, 0); }
void BM_ConvertP6_32(benchmark::State& s) { convert(s, 1); }
void BM_ConvertS16_N(benchmark::State& s) { convert(s, 2); }

} // namespace

BENCHMARK(BM_ConvertP5_16)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertP6_32)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertS16_N)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
