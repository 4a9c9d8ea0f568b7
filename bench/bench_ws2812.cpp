// WS2812 RGB and RGBW decoding speed: 10^6 LED words of each member's own
// demonstration signal, and the real recordings tiled to 10^7 edges and
// more, in edges per second against a bare walk of the library's cursor over
// the same edges (warm_vs_cursor_walk) and the first decode against the
// later ones (first_vs_warm: the process's first decode when the benchmark
// runs alone, --benchmark_filter); the export file of 10^6 words in lines per
// second.

#include "PluginBench.h"

using namespace pluginbench;

namespace {

const U64 kWords = 1000000;
const U64 kMinEdges = 10000000;
// Dialog lists: order in frame, order in display, display mode. Shown as
// sent (no byte exchange) or with the defaults (the exchange on every word).
const std::vector<double> kDefaults = {0, 0, 0};

// Whole chains of ten words (each under 6 ms) until kWords words.
U64 demoSamples(U64 rate)
{
    return rate / 1000 * 6 * (kWords / 10);
}

void demo(benchmark::State& state, const char* member)
{
    Plugin plugin;
    if (!loadOrSkip(state, member, &plugin))
        return;
    const U64 rate = 24000000;
    // Ten words and a reset a chain.
    decodeBench(state, plugin, kDefaults, demoSignal(plugin, kDefaults, rate, demoSamples(rate)),
                atLeast(kWords + kWords / 10));
}

void BM_RgbDemo(benchmark::State& state)
{
    demo(state, "RGB-WS2812");
}

void BM_RgbwDemo(benchmark::State& state)
{
    demo(state, "RGBW-WS2812");
}

// A ring of 24 LEDs refreshed 100 times at 24 MHz (115 200 edges).
void BM_RgbRecording24MHz(benchmark::State& state)
{
    Plugin plugin;
    if (!loadOrSkip(state, "RGB-WS2812", &plugin))
        return;
    Signal* s = tiledRecording("ws2812/ws2812b_24mhz_part.vcd", "DATA_IN", 24000000, kMinEdges);
    const U64 copies = s->edges / 115200;
    decodeBench(state, plugin, kDefaults, s, atLeast(copies * 2500));
}

// Four RGBW LEDs recorded at 4 MHz, read at their true pulse lengths.
void BM_RgbwRecording40MHz(benchmark::State& state)
{
    Plugin plugin;
    if (!loadOrSkip(state, "RGBW-WS2812", &plugin))
        return;
    Signal* s = tiledRecording("ws2812/ws281x_RGBW_4MHz_snippet.vcd", "D0", 40000000, kMinEdges);
    decodeBench(state, plugin, kDefaults, s, atLeast(s->edges / 64 * 20 / 21));
}

void BM_RgbExport(benchmark::State& state)
{
    Plugin plugin;
    if (!loadOrSkip(state, "RGB-WS2812", &plugin))
        return;
    const U64 rate = 24000000;
    exportBench(state, plugin, kDefaults, demoSignal(plugin, kDefaults, rate, demoSamples(rate)), Hexadecimal);
}

} // namespace

BENCHMARK(BM_RgbDemo)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_RgbwDemo)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_RgbRecording24MHz)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_RgbwRecording40MHz)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_RgbExport)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

BENCHMARK_MAIN();
