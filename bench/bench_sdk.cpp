// Analyzer library: channel cursor speed over a large capture. Decoding cost
// must follow the number of edges, not of samples; the natural limit is a
// plain loop reading the same table entries.

#include <benchmark/benchmark.h>

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
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

// CPU time of the calling thread: the ratios below compare two walks on
// one thread, so time the machine gives to other work does not count.
double threadSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// Each mode walks the capture to its end with one kind of cursor call.
class WalkAnalyzer : public Analyzer {
public:
    enum Mode {
        NextEdge,     // AdvanceToNextEdge
        SampleOfNext, // GetSampleOfNextEdge, then AdvanceToNextEdge
        AbsPosition,  // AdvanceToAbsPosition onto the next edge
        WouldAdvance, // WouldAdvancingCauseTransition, then AdvanceToNextEdge
        Stride        // Advance by 100,000 samples, about 2000 edges
    };
    Mode mode = NextEdge;
    U64 sink = 0;
    void WorkerThread() override
    {
        AnalyzerChannelData* c = GetAnalyzerChannelData(Channel(0, 0));
        switch (mode) {
        case NextEdge:
            for (;;) {
                c->AdvanceToNextEdge();
                sink += c->GetBitState();
            }
        case SampleOfNext:
            for (;;) {
                sink += c->GetSampleOfNextEdge();
                c->AdvanceToNextEdge();
            }
        case AbsPosition:
            for (;;) {
                c->AdvanceToAbsPosition(c->GetSampleOfNextEdge());
                sink += c->GetBitState();
            }
        case WouldAdvance:
            for (;;) {
                sink += c->WouldAdvancingCauseTransition(50); // the mean gap: true about half the time
                c->AdvanceToNextEdge();
            }
        case Stride:
            for (;;) {
                c->Advance(100000);
                sink += c->GetBitState();
            }
        }
    }
    U32 GenerateSimulationData(U64, U32, SimulationChannelDescriptor**) override { return 0; }
    U32 GetMinimumSampleRateHz() override { return 1; }
    const char* GetAnalyzerName() const override { return "bench"; }
};

// Every iteration walks the raw table and the cursor once each, so that the
// ratio of the two compares walks made under the same conditions.
void runWalk(benchmark::State& state, WalkAnalyzer::Mode mode)
{
    BigTable& t = table();
    DigitalChnData* tabs[1] = {t.chn};
    DataForAnly data{tabs, t.end, 100000000, 0, 1};
    WalkAnalyzer a;
    a.mode = mode;
    a.Init(&data, nullptr, nullptr);
    double rawSeconds = 0, walkSeconds = 0;
    for (auto _ : state) {
        double t0 = threadSeconds();
        benchmark::DoNotOptimize(rawWalk(t.chn));
        double t1 = threadSeconds();
        a.InitialWorkerThread();
        a.StartProcessing(); // runs to the end of the data on this thread
        walkSeconds += threadSeconds() - t1;
        rawSeconds += t1 - t0;
    }
    benchmark::DoNotOptimize(a.sink);
    // Share of the raw table walk's speed (1 = as fast as reading the table).
    state.counters["vs_raw"] = rawSeconds / walkSeconds;
    state.counters["edges/s"] = double(state.iterations()) * double(kEdges) / walkSeconds;
    state.counters["raw_edges/s"] = double(state.iterations()) * double(kEdges) / rawSeconds;
}

void BM_CursorNextEdge(benchmark::State& state)
{
    runWalk(state, WalkAnalyzer::NextEdge);
}

void BM_CursorSampleOfNextEdge(benchmark::State& state)
{
    runWalk(state, WalkAnalyzer::SampleOfNext);
}

void BM_CursorAbsPositionByEdge(benchmark::State& state)
{
    runWalk(state, WalkAnalyzer::AbsPosition);
}

void BM_CursorWouldAdvance(benchmark::State& state)
{
    runWalk(state, WalkAnalyzer::WouldAdvance);
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

// What the machine charges for memory a process writes the first time:
// mapped fresh (the pages come from the system), then mapped again at once
// (the system hands back the pages just freed). A decode's first run pays
// the first price for every byte of results it writes; compare it with the
// plug-in benchmarks' first_run_extra_ns_per_result_byte. Run it alone and a
// few seconds after other work: pages another process has just freed come
// back at the second price.
void BM_FirstWriteToMemory(benchmark::State& state)
{
    const size_t len = size_t(256) << 20;
    auto write = [len]() -> double {
        void* m = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED)
            return -1;
#ifdef MADV_HUGEPAGE
        madvise(m, len, MADV_HUGEPAGE); // as the result store asks
#endif
        const double t0 = threadSeconds();
        std::memset(m, 1, len);
        const double t = threadSeconds() - t0;
        munmap(m, len);
        return t;
    };
    double fresh = 0, reused = 0;
    for (auto _ : state) {
        fresh += write();
        reused += write();
    }
    if (fresh < 0 || reused < 0) {
        state.SkipWithError("cannot map memory");
        return;
    }
    const double bytes = double(len) * double(state.iterations());
    state.counters["fresh_ns_per_byte"] = fresh / bytes * 1e9;
    state.counters["reused_ns_per_byte"] = reused / bytes * 1e9;
}

} // namespace

BENCHMARK(BM_RawTableWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorNextEdge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorSampleOfNextEdge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorAbsPositionByEdge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorWouldAdvance)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CursorAdvanceLongJumps)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstWriteToMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
