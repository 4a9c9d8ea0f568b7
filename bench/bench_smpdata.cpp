// Throughput of the logic sample store at realistic sizes: 10^8 edges over
// 10^9 samples on one channel.
#include "BenchSupport.h"
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <algorithm>
#include <memory>
#include <vector>

#include "data/SmpData.h"
#include "view/MainView.h"

namespace {

constexpr long long kEdges = 100000000;   // 10^8

// Small fast generator: the benchmark must measure the store, not the RNG.
// Gaps of 1..19 samples (mean 10): 10^8 edges span about 10^9 samples.
long long fillEdges(SmpData& s, int chn, long long count, uint64_t seed)
{
    XorShift rng{seed};
    long long pos = 0;
    for (long long k = 0; k < count; ++k) {
        s.appendEdge(chn, pos);
        pos += 1 + (long long)(rng.next() % 19);
    }
    return pos;
}

size_t tableBytes(const DigitalChnData* d)
{
    size_t n = sizeof(DigitalChnData);
    for (int g = 0; g < d->groupNum; ++g)
        n += sizeof(DigitalDataGroup) + size_t(d->group[g]->blockNum) * sizeof(DigitalDataBlock);
    return n;
}

// One completed 10^8-edge channel, built once and shared by the query benchmarks.
SmpData& bigCapture()
{
    static std::unique_ptr<SmpData> s;
    if (!s) {
        s.reset(new SmpData(1));
        s->dataConvertStart(0, 1000000000, {true});
        s->setInitLevel(0, 1);
        const long long end = fillEdges(*s, 0, kEdges, 0x9e3779b97f4a7c15ULL);
        s->smpDepth = end;
        s->dataConvertComplete(end);
    }
    return *s;
}

std::vector<long long> randomPoints(long long depth, size_t n)
{
    XorShift rng{12345};
    std::vector<long long> v(n);
    for (auto& p : v)
        p = (long long)(rng.next() % (uint64_t)(depth + 1));
    return v;
}

void BM_AppendComplete(benchmark::State& state)
{
    const size_t bytes = size_t(kEdges) * 5;
    std::vector<char> src(bytes, 1), dst(bytes, 2);   // touched: a pure bandwidth figure
    double appendSec = 0, memcpySec = 0;
    size_t memBytes = 0, idxBytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        SmpData s(1);
        s.dataConvertStart(0, 1000000000, {true});
        state.ResumeTiming();
        const auto t0 = std::chrono::steady_clock::now();
        XorShift rng{7};
        long long pos = 0;
        for (long long k = 0; k < kEdges; ++k) {
            s.appendEdge(0, pos);
            pos += 1 + (long long)(rng.next() & 15);
        }
        s.smpDepth = pos;
        s.dataConvertComplete(pos);
        const auto t1 = std::chrono::steady_clock::now();
        state.PauseTiming();
        memBytes = tableBytes(s.chnData[0]);
        idxBytes = s.indexBytes(0);
        const auto m0 = std::chrono::steady_clock::now();
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        const auto m1 = std::chrono::steady_clock::now();
        s.clearData();
        state.ResumeTiming();
        appendSec += std::chrono::duration<double>(t1 - t0).count();
        memcpySec += std::chrono::duration<double>(m1 - m0).count();
    }
    state.SetItemsProcessed(state.iterations() * kEdges);
    state.counters["bytes_per_edge"] = double(memBytes) / double(kEdges);
    state.counters["index_bytes_per_edge"] = double(idxBytes) / double(kEdges);
    state.counters["memcpy_GBps"] = double(bytes) * state.iterations() / memcpySec / 1e9;
    state.counters["time_vs_memcpy"] = appendSec / memcpySec;
}
BENCHMARK(BM_AppendComplete)->Unit(benchmark::kMillisecond)->Iterations(3);

template <typename Q>
void runRandomQuery(benchmark::State& state, Q query)
{
    SmpData& s = bigCapture();
    const std::vector<long long> pts = randomPoints(s.smpDepth, 1 << 20);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(query(s, pts[i]));
        i = (i + 1) & (pts.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
}

// The same random queries, each point depending on the previous answer: the
// latency of one query, with no overlap between consecutive ones.
void BM_GetPointLevelLatency(benchmark::State& state)
{
    SmpData& s = bigCapture();
    const std::vector<long long> pts = randomPoints(s.smpDepth, 1 << 20);
    size_t i = 0;
    for (auto _ : state) {
        const int r = s.getPointLevel(0, pts[i]);
        i = (i + 1 + size_t(r < 0)) & (pts.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetPointLevelLatency);

void BM_GetPointLevel(benchmark::State& state)
{
    runRandomQuery(state, [](SmpData& s, long long p) { return s.getPointLevel(0, p); });
}
BENCHMARK(BM_GetPointLevel);

void BM_IsPointAtEdge(benchmark::State& state)
{
    runRandomQuery(state, [](SmpData& s, long long p) { return s.isPointAtEdge(0, p); });
}
BENCHMARK(BM_IsPointAtEdge);

void BM_GetPreEdgePoint(benchmark::State& state)
{
    runRandomQuery(state, [](SmpData& s, long long p) { return s.getPreEdgePoint(0, p); });
}
BENCHMARK(BM_GetPreEdgePoint);

void BM_GetNextEdgePoint(benchmark::State& state)
{
    runRandomQuery(state, [](SmpData& s, long long p) { return s.getNextEdgePoint(0, p); });
}
BENCHMARK(BM_GetNextEdgePoint);

void BM_GetRelatedSmpPoint(benchmark::State& state)
{
    runRandomQuery(state, [](SmpData& s, long long p) {
        RelatedSmpPoint r;
        s.getRelatedSmpPoint(0, p, &r);
        return r.nextEntry;
    });
}
BENCHMARK(BM_GetRelatedSmpPoint);

void BM_GetTwoPointEdgeNum(benchmark::State& state)
{
    // Two random points: two full searches per item.
    runRandomQuery(state, [](SmpData& s, long long p) { return s.getTwoPointEdgeNum(0, p, s.smpDepth - p); });
}
BENCHMARK(BM_GetTwoPointEdgeNum);

// A pair's four counts as the pulse counter gets them (MainView::pulseCountText),
// against the plain edge count between the same two points.
void BM_PulseCountPair(benchmark::State& state)
{
    SmpData& s = bigCapture();
    const std::vector<long long> pts = randomPoints(s.smpDepth, 1 << 20);
    size_t i = 0;
    double countSec = 0, edgeSec = 0;
    constexpr int batch = 4096;
    for (auto _ : state) {
        const size_t i0 = i;
        const auto t0 = std::chrono::steady_clock::now();
        for (int k = 0; k < batch; ++k, i = (i + 2) & (pts.size() - 1)) {
            const long long a = std::min(pts[i], pts[i + 1]), b = std::max(pts[i], pts[i + 1]);
            benchmark::DoNotOptimize(MainView::pulseCountText(&s, 0, a, b));
        }
        const auto t1 = std::chrono::steady_clock::now();
        i = i0;
        for (int k = 0; k < batch; ++k, i = (i + 2) & (pts.size() - 1)) {
            const long long a = std::min(pts[i], pts[i + 1]), b = std::max(pts[i], pts[i + 1]);
            benchmark::DoNotOptimize(s.getTwoPointEdgeNum(0, a, b));
        }
        const auto t2 = std::chrono::steady_clock::now();
        countSec += std::chrono::duration<double>(t1 - t0).count();
        edgeSec += std::chrono::duration<double>(t2 - t1).count();
    }
    state.SetItemsProcessed(state.iterations() * batch);
    state.counters["ns_per_pair"] = countSec / double(state.iterations() * batch) * 1e9;
    state.counters["vs_two_point_edge_num"] = countSec / edgeSec;
}
BENCHMARK(BM_PulseCountPair)->Unit(benchmark::kMillisecond);

// A forward walk passing the cursor, e.g. an export or a pulse count:
// steps of about 1000 samples (some 100 edges).
void BM_ForwardWalkCursor(benchmark::State& state)
{
    SmpData& s = bigCapture();
    DigitalDataSubs c = {0, 0, 0};
    long long p = 0;
    for (auto _ : state) {
        p += 1000;
        if (p > s.smpDepth) {
            p = 0;
            c = {0, 0, 0};
        }
        benchmark::DoNotOptimize(s.locateNextSmpPoint(0, p, &c));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ForwardWalkCursor);

// One 1920-pixel row; the argument is the scale in samples per pixel
// (x100, so 1 = 0.01). Starts move across the whole capture.
void BM_GetWaveLineData(benchmark::State& state)
{
    SmpData& s = bigCapture();
    const double scale = state.range(0) / 100.0;
    const int width = 1920;
    std::vector<WaveLine> out(width);
    const double span = scale * width;
    const double room = double(s.smpDepth) - span > 0 ? double(s.smpDepth) - span : 0;
    const std::vector<long long> pts = randomPoints((long long)room, 256);
    size_t i = 0, runs = 0;
    for (auto _ : state) {
        runs += s.getWaveLineData(0, double(pts[i]), scale, width, out.data());
        i = (i + 1) & 255;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["runs_per_row"] = double(runs) / double(state.iterations());
}
BENCHMARK(BM_GetWaveLineData)
    ->Arg(1)                  // 0.01 samples per pixel
    ->Arg(100)                // 1
    ->Arg(10000)              // 100
    ->Arg(1000000)            // 10^4
    ->Arg(20000000)           // 2x10^5: about one block per pixel
    ->Arg(100000000)          // 10^6
    ->Arg(52083300)         // whole capture (10^9 / 1920)
    ->Unit(benchmark::kMicrosecond);

void BM_DataFilter(benchmark::State& state)
{
    SmpData& s = bigCapture();
    const unsigned width = unsigned(state.range(0));
    for (auto _ : state) {
        DigitalChnData* dst = SmpData::newChnData();
        SmpData::dataFilter(s.chnData[0], dst, width);
        state.PauseTiming();
        SmpData::clearOneChn(dst);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kEdges);
}
BENCHMARK(BM_DataFilter)->Arg(3)->Arg(12)->Unit(benchmark::kMillisecond)->Iterations(3);

// The glitch filter as the channel menu applies it: modifyFilter on the shown
// store (10^8 edges over the given number of channels) and on the spare store
// (empty after a capture), switching between two widths so that every round
// filters every channel from its unfiltered table. Reported against memcpy of
// the table bytes in the same run.
void BM_GlitchApply(benchmark::State& state)
{
    const int chns = int(state.range(0));
    SmpData shown(chns), spare(chns);
    QVector<bool> ena(chns, true);
    shown.dataConvertStart(0, 1000000000, ena);
    long long depth = 0;
    for (int c = 0; c < chns; ++c)
        depth = std::max(depth, fillEdges(shown, c, kEdges / chns, 0x9e3779b97f4a7c15ULL + c));
    shown.smpDepth = depth;
    shown.dataConvertComplete(depth);
    size_t bytes = 0;
    for (int c = 0; c < chns; ++c)
        bytes += size_t(SmpData::entryCount(shown.chnData[c])) * 5;
    std::vector<char> src(bytes, 1), dst(bytes, 2);
    std::vector<unsigned> widths(size_t(chns), 3);
    auto apply = [&] {
        const auto t0 = std::chrono::steady_clock::now();
        shown.modifyFilter(widths.data());
        spare.modifyFilter(widths.data());
        const auto t1 = std::chrono::steady_clock::now();
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        const auto t2 = std::chrono::steady_clock::now();
        return std::make_pair(std::chrono::duration<double>(t1 - t0).count(),
                              std::chrono::duration<double>(t2 - t1).count());
    };
    // The first run after a capture takes fresh memory for the filtered
    // tables; later changes of the widths re-use it.
    const auto first = apply();
    double filterSec = 0, memcpySec = 0;
    for (auto _ : state) {
        for (auto& w : widths)
            w = w == 3 ? 12 : 3;
        const auto r = apply();
        filterSec += r.first;
        memcpySec += r.second;
    }
    state.counters["first_vs_memcpy"] = first.first / first.second;
    state.SetItemsProcessed(state.iterations() * kEdges);
    state.counters["memcpy_GBps"] = double(bytes) * state.iterations() / memcpySec / 1e9;
    state.counters["time_vs_memcpy"] = filterSec / memcpySec;
}
BENCHMARK(BM_GlitchApply)->Arg(16)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(12)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
