// IR RC6 decoding speed: 10^6 simulated messages (the plug-in's own
// demonstration signal at 1 MHz) decoded by libIR-RC6.so, in edges per
// second against a bare walk of the library's cursor over the same edges
// (warm_vs_cursor_walk), and the process's first decode against the later
// ones (first_vs_warm).

#include "PluginBench.h"

using namespace pluginbench;

namespace {

const U64 kRate = 1000000;
const U64 kMessages = 1000000;

void BM_Rc6Decode(benchmark::State& state)
{
    Plugin plugin;
    if (!loadOrSkip(state, "IR-RC6", &plugin))
        return;
    const U64 unit = kRate * 444 / 1000000;
    // 50 idle units, then 102 units per message; six frames a message.
    decodeBench(state, plugin, {}, demoSignal(plugin, {}, kRate, (50 + 102 * kMessages) * unit),
                exactly(6 * kMessages));
}

} // namespace

BENCHMARK(BM_Rc6Decode)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

BENCHMARK_MAIN();
