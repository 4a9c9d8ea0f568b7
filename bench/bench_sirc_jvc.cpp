// IR SIRC and IR JVC decoding speed: 10^6 messages of each plug-in's own
// demonstration signal at 1 MHz, and the real SIRC recording tiled to 10^7
// edges, in edges per second against a bare walk of the library's cursor
// over the same edges (warm_vs_cursor_walk) and the first decode against the
// later ones (first_vs_warm: the process's first decode when the benchmark
// runs alone, --benchmark_filter); the export file of 10^6 fields in lines
// per second.

#include "PluginBench.h"

using namespace pluginbench;

namespace {

const U64 kRate = 1000000;
const U64 kMessages = 1000000;
// Messages last about 150 ms.
const U64 kMessageSamples = kRate / 1000 * 150;
const std::vector<double> kSirc20Bits = {2, 1}; // packet length, idle level
const std::vector<double> kJvcIdleHigh = {1};

void BM_SircDemo(benchmark::State& state)
{
    Plugin plugin;
    if (!loadOrSkip(state, "IR-SIRC", &plugin))
        return;
    // Start, command, device and extended frames a message.
    decodeBench(state, plugin, kSirc20Bits, demoSignal(plugin, kSirc20Bits, kRate, kMessages * kMessageSamples),
                atLeast(4 * kMessages));
}

void BM_JvcDemo(benchmark::State& state)
{
    Plugin plugin;
    if (!loadOrSkip(state, "IR-JVC", &plugin))
        return;
    // Start, address and command frames a message.
    decodeBench(state, plugin, kJvcIdleHigh, demoSignal(plugin, kJvcIdleHigh, kRate, kMessages * kMessageSamples),
                atLeast(3 * kMessages));
}

// Four 20-bit messages recorded at 20 kHz (168 edges).
void BM_SircRecording20kHz(benchmark::State& state)
{
    Plugin plugin;
    if (!loadOrSkip(state, "IR-SIRC", &plugin))
        return;
    Signal* s = tiledRecording("ir-sirc/sirc-1.vcd", "IR", 20000, 10000000);
    decodeBench(state, plugin, kSirc20Bits, s, atLeast(s->edges / 168 * 16));
}

void BM_SircExport(benchmark::State& state)
{
    Plugin plugin;
    if (!loadOrSkip(state, "IR-SIRC", &plugin))
        return;
    exportBench(state, plugin, kSirc20Bits, demoSignal(plugin, kSirc20Bits, kRate, kMessages / 4 * kMessageSamples),
                Hexadecimal);
}

} // namespace

BENCHMARK(BM_SircDemo)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_JvcDemo)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_SircRecording20kHz)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_SircExport)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

BENCHMARK_MAIN();
