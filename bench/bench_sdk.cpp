// Analyzer library: channel cursor speed over a large capture. Decoding cost
// must follow the number of edges, not of samples; the natural limit is a
// plain loop reading the same table entries.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <vector>

#include "Analyzer.h"

namespace {

constexpr int64_t kEdges = 20000000; // 2 x 10^7 edges, about 10^9 samples

// Full blocks and groups, as the sample store builds them.
struct BigTable {
    DigitalChnData* chn = nullptr;
    int64_t end = 0;
    BigTable()
    {
        chn = static_cast<DigitalChnData*>(std::calloc(1, sizeof(DigitalChnData)));
        std::mt19937 rng(7);
        int64_t pos = 0;
        for (int64_t k = 0; k <= kEdges; ++k) {
            pos += 1 + int64_t(rng() % 99); // mean gap 50 samples
            int64_t g = k / SMP_GROUP_ENTRIES, rest = k % SMP_GROUP_ENTRIES;
            int64_t b = rest / SMP_BLOCK_ENTRIES, i = rest % SMP_BLOCK_ENTRIES;
            if (!chn->group[g]) {
                chn->group[g] = static_cast<DigitalDataGroup*>(std::calloc(1, sizeof(DigitalDataGroup)));
                chn->groupNum = int32_t(g + 1);
            }
            DigitalDataGroup* grp = chn->group[g];
            if (!grp->block[b]) {
                grp->block[b] = static_cast<DigitalDataBlock*>(std::calloc(1, sizeof(DigitalDataBlock)));
                grp->blockNum = int32_t(b + 1);
            }
            DigitalDataBlock* blk = grp->block[b];
            blk->posLow[i] = uint32_t(pos);
            blk->posHigh[i] = uint8_t(pos >> 32);
            blk->posNum = int32_t(i + 1);
            grp->blockLastPos[b] = pos;
            chn->groupLastPos[g] = pos;
        }
        end = pos; // the last entry closes the table
    }
    ~BigTable()
    {
        for (int g = 0; g < chn->groupNum; ++g) {
            for (int b = 0; b < chn->group[g]->blockNum; ++b)
                std::free(chn->group[g]->block[b]);
            std::free(chn->group[g]);
        }
        std::free(chn);
    }
};

BigTable& table()
{
    static BigTable t;
    return t;
}

// The limit: reading every position and level straight from the table.
U64 rawWalk(const DigitalChnData* chn)
{
    U64 sink = 0;
    int level = 0;
    for (int g = 0; g < chn->groupNum; ++g) {
        const DigitalDataGroup* grp = chn->group[g];
        for (int b = 0; b < grp->blockNum; ++b) {
            const DigitalDataBlock* blk = grp->block[b];
            for (int i = 0; i < blk->posNum; ++i) {
                level ^= 1;
                sink += U64(smpEntryPos(blk, i)) + U64(level);
            }
        }
    }
    return sink;
}

double secondsOf(const std::chrono::steady_clock::time_point& t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

class WalkAnalyzer : public Analyzer {
public:
    enum Mode { NextEdge, Stride };
    Mode mode = NextEdge;
    U64 sink = 0;
    void WorkerThread() override
    {
        AnalyzerChannelData* c = GetAnalyzerChannelData(Channel(0, 0));
        if (mode == NextEdge) {
            for (;;) {
                c->AdvanceToNextEdge();
                sink += c->GetBitState();
            }
        }
        for (;;) { // long jumps: 100,000 samples each, about 2000 edges
            c->Advance(100000);
            sink += c->GetBitState();
        }
    }
    U32 GenerateSimulationData(U64, U32, SimulationChannelDescriptor**) override { return 0; }
    U32 GetMinimumSampleRateHz() override { return 1; }
    const char* GetAnalyzerName() const override { return "bench"; }
};

void runWalk(benchmark::State& state, WalkAnalyzer::Mode mode)
{
    BigTable& t = table();
    DigitalChnData* tabs[1] = {t.chn};
    DataForAnly data{tabs, t.end, 100000000, 0, 1};
    WalkAnalyzer a;
    a.mode = mode;
    a.Init(&data, nullptr, nullptr);
    auto t0 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(rawWalk(t.chn));
    double rawSeconds = secondsOf(t0);
    double walkSeconds = 0;
    for (auto _ : state) {
        auto t1 = std::chrono::steady_clock::now();
        a.InitialWorkerThread();
        a.StartProcessing(); // runs to the end of the data on this thread
        walkSeconds += secondsOf(t1);
    }
    benchmark::DoNotOptimize(a.sink);
    // Share of the raw table walk's speed (1 = as fast as reading the table).
    state.counters["vs_raw"] = rawSeconds * double(state.iterations()) / walkSeconds;
    state.SetItemsProcessed(int64_t(state.iterations()) * kEdges);
    state.counters["samples/s"] = benchmark::Counter(double(state.iterations()) * double(t.end),
                                                     benchmark::Counter::kIsRate);
}

void BM_CursorNextEdge(benchmark::State& state)
{
    runWalk(state, WalkAnalyzer::NextEdge);
}

void BM_CursorAdvanceLongJumps(benchmark::State& state)
{
    runWalk(state, WalkAnalyzer::Stride);
}

void BM_RawTableWalk(benchmark::State& state)
{
    BigTable& t = table();
    for (auto _ : state)
        benchmark::DoNotOptimize(rawWalk(t.chn));
    state.SetItemsProcessed(int64_t(state.iterations()) * kEdges);
}

} // namespace

BENCHMARK(BM_RawTableWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorNextEdge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorAdvanceLongJumps)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
