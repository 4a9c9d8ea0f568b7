// Capture files and data export at realistic sizes: 10^8 edges over 16
// channels in about 10^9 samples, in a temporary directory. Each benchmark
// reports the ratio of its time to a raw file operation of the same size
// measured in the same iteration (204,800-byte chunks, like the writer), and
// the threaded save reports the longest pause of a 20 ms timer on the
// caller's thread. The CSV of a sparse capture (10^11 samples, five edges)
// is held against a raw walk over its edges.
#include "BenchSupport.h"
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "data/DataFile.h"
#include "data/SmpData.h"

namespace {

constexpr int kChannels = 16;
constexpr long long kEdges = 100000000;   // 10^8, over all channels
constexpr int kChunk = 204800;

using Clock = std::chrono::steady_clock;
double since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

QTemporaryDir& tempDir()
{
    static QTemporaryDir dir;
    return dir;
}

QString tempPath(const char* name)
{
    return tempDir().filePath(QString::fromLatin1(name));
}

// The shared capture: per channel 6.25 * 10^6 edges, gaps of 1..319 samples.
SmpData& capture()
{
    static std::unique_ptr<SmpData> s;
    if (!s) {
        s.reset(new SmpData(kChannels));
        s->dataConvertStart(0, 100000000, QVector<bool>(kChannels, true));
        long long depth = 0;
        for (int c = 0; c < kChannels; ++c) {
            XorShift rng{0x9e3779b97f4a7c15ULL + uint64_t(c)};
            long long pos = 0;
            s->setInitLevel(c, c & 1);
            for (long long k = 0; k < kEdges / kChannels; ++k) {
                pos += 1 + (long long)(rng.next() % 319);
                s->appendEdge(c, pos);
            }
            depth = std::max(depth, pos + 1);
        }
        s->smpDepth = depth;
        s->trgPosition = depth / 10;
        s->dataConvertComplete(depth);
    }
    return *s;
}

// Raw write of bytes in 204,800-byte chunks to a new file; seconds.
double rawWrite(const QString& path, long long bytes)
{
    static std::vector<char> buf(kChunk, 'x');
    const auto t0 = Clock::now();
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    for (long long left = bytes; left > 0; left -= kChunk)
        f.write(buf.data(), std::min<long long>(left, kChunk));
    f.close();
    const double t = since(t0);
    QFile::remove(path);
    return t;
}

double rawRead(const QString& path)
{
    static std::vector<char> buf(kChunk);
    const auto t0 = Clock::now();
    QFile f(path);
    f.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    long long sum = 0;
    for (qint64 n; (n = f.read(buf.data(), kChunk)) > 0;)
        sum += buf[0] + n;
    benchmark::DoNotOptimize(sum);
    return since(t0);
}

void report(benchmark::State& state, double opSec, double rawSec, long long bytes)
{
    state.counters["MBps"] = double(bytes) * double(state.iterations()) / opSec / 1e6;
    state.counters["raw_MBps"] = double(bytes) * double(state.iterations()) / rawSec / 1e6;
    state.counters["ratio_to_raw"] = opSec / rawSec;
}

// The benchmark loop of a job that writes file: each iteration times the
// job, removes the file and times a raw write of as many bytes. An untimed
// first run (which inspect may look at) makes every timed write follow the
// removal of a file of the same size, as the raw write after it does.
void timeAgainstRawWrite(benchmark::State& state, const QString& file, const std::function<void()>& job,
                         const std::function<void()>& inspect = nullptr)
{
    job();
    if (inspect)
        inspect();
    QFile::remove(file);
    double op = 0, raw = 0;
    long long bytes = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        job();
        const double t = since(t0);
        bytes = QFileInfo(file).size();
        op += t;
        QFile::remove(file);
        raw += rawWrite(tempPath("raw.bin"), bytes);
        state.SetIterationTime(t);
    }
    report(state, op, raw, bytes);
}

const QVector<bool> kAll(kChannels, true);

void BM_SaveCapture(benchmark::State& state)
{
    SmpData& s = capture();
    const QString file = tempPath("save.cvdat");
    timeAgainstRawWrite(state, file, [&] {
        QFile(file).open(QIODevice::WriteOnly);   // the data part follows a header
        DataFile(&s).saveData(file, kAll, 0, s.smpDepth - 1, true);
    });
}
BENCHMARK(BM_SaveCapture)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LoadCapture(benchmark::State& state)
{
    SmpData& s = capture();
    const QString file = tempPath("load.cvdat");
    QFile(file).open(QIODevice::WriteOnly);
    DataFile(&s).saveData(file, kAll, 0, s.smpDepth - 1, true);
    const long long bytes = QFileInfo(file).size();
    SmpData back(kChannels);
    // The first load of a process also waits for the kernel to hand out and
    // clear the table memory; reported apart, the iterations load into
    // memory the store has used before.
    const double coldRaw = rawRead(file);
    auto c0 = Clock::now();
    bool ok = DataFile(&back).loadData(file, 0, true);
    const double cold = since(c0);
    back.clearData();
    state.counters["first_load_ratio"] = cold / coldRaw;
    double op = 0, raw = 0;
    for (auto _ : state) {
        raw += rawRead(file);   // also brings the file into the page cache
        const auto t0 = Clock::now();
        ok = ok && DataFile(&back).loadData(file, 0, true);
        const double t = since(t0);
        op += t;
        state.SetIterationTime(t);
        state.PauseTiming();
        back.clearData();
        state.ResumeTiming();
    }
    QFile::remove(file);
    if (!ok)
        state.SkipWithError("load failed");
    report(state, op, raw, bytes);
}
BENCHMARK(BM_LoadCapture)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ExportCsv(benchmark::State& state)
{
    SmpData& s = capture();
    const QString file = tempPath("export.csv");
    // About 10^7 lines: the change points of all channels over 10^8 samples.
    const long long start = s.smpDepth / 3, end = start + 100000000;
    const QStringList names = QVector<QString>(kChannels, QStringLiteral("Channel")).toList();
    long long lines = 0;
    timeAgainstRawWrite(
        state, file, [&] { DataFile(&s).exportCSV(file, kAll, names, start, end, true); },
        [&] {
            QFile f(file);
            f.open(QIODevice::ReadOnly);
            for (QByteArray b; !(b = f.read(1 << 20)).isEmpty();)
                lines += b.count('\n');
        });
    state.counters["lines"] = double(lines);
}
BENCHMARK(BM_ExportCsv)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ExportBin(benchmark::State& state)
{
    SmpData& s = capture();
    const QString file = tempPath("export.bin");
    const long long samples = std::min(s.smpDepth, 1000000000LL);   // 10^9
    timeAgainstRawWrite(state, file, [&] { DataFile(&s).exportBin(file, kAll, 0, samples - 1, true); });
    state.counters["samples"] = double(samples);
}
BENCHMARK(BM_ExportBin)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// A stream-mode capture of a slow signal: 10^11 samples at 1 GHz with five
// edges in all, on three of the 16 channels. Its CSV is a few lines; the
// export is timed against a raw walk over the same edges (the store's own
// point query to find the start, then the tables) and against that walk
// plus a raw write of the file's bytes.
SmpData& sparseCapture()
{
    static std::unique_ptr<SmpData> s;
    if (!s) {
        constexpr long long depth = 100000000000LL;   // 10^11
        s.reset(new SmpData(kChannels));
        s->dataConvertStart(0, 1000000000, QVector<bool>(kChannels, true));
        const std::pair<int, long long> edges[] = {
            {0, 12345678901LL}, {1, 23456789012LL}, {0, 34567890123LL}, {2, 45678901234LL}, {1, 98765432109LL}};
        for (const auto& e : edges)
            s->appendEdge(e.first, e.second);
        s->smpDepth = depth;
        s->trgPosition = depth / 2;
        s->dataConvertComplete(depth);
    }
    return *s;
}

// The edges of every channel in [start, end], walked from the located entry
// after start; returns their sum so that nothing is left out.
long long walkEdges(const SmpData& s, long long start, long long end)
{
    long long sum = 0;
    for (int c = 0; c < s.chnNum; ++c) {
        DigitalDataSubs at;
        if (!s.hasValidData(c) || s.getPointLevel(c, start, &at) < 0)
            continue;
        const DigitalChnData* d = s.chnData[c];
        auto blockAt = [d](const DigitalDataSubs& x) { return d->group[x.group]->block[x.block]; };
        for (DigitalDataSubs x = at; x.group < d->groupNum;) {
            const DigitalDataBlock* blk = blockAt(x);
            long long p = 0;
            for (; x.index < blk->posNum && (p = smpEntryPos(blk, x.index)) <= end; ++x.index)
                sum += p;
            if (p > end)
                break;
            x.index = 0;
            if (++x.block >= d->group[x.group]->blockNum) {
                x.block = 0;
                ++x.group;
            }
        }
    }
    return sum;
}

void BM_ExportCsvSparse(benchmark::State& state)
{
    SmpData& s = sparseCapture();
    const QString file = tempPath("sparse.csv");
    const QStringList names = QVector<QString>(kChannels, QStringLiteral("Channel")).toList();
    const long long end = s.smpDepth - 1;
    bool ok = DataFile(&s).exportCSV(file, kAll, names, 0, end, true);
    const long long bytes = QFileInfo(file).size();
    QFile::remove(file);
    double op = 0, walk = 0, raw = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        ok = ok && DataFile(&s).exportCSV(file, kAll, names, 0, end, true);
        const double t = since(t0);
        op += t;
        state.SetIterationTime(t);
        QFile::remove(file);
        t0 = Clock::now();
        benchmark::DoNotOptimize(walkEdges(s, 0, end));
        const double w = since(t0);
        walk += w;
        raw += w + rawWrite(tempPath("raw.bin"), bytes);
    }
    if (!ok)
        state.SkipWithError("export failed");
    state.counters["bytes"] = double(bytes);
    state.counters["edge_walk_us"] = walk * 1e6 / double(state.iterations());
    state.counters["ratio_to_edge_walk"] = op / walk;
    state.counters["ratio_to_walk_and_write"] = op / raw;
}
BENCHMARK(BM_ExportCsvSparse)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// A threaded save while the caller's event loop runs a 20 ms timer: the
// longest gap between two ticks.
void BM_ThreadedSaveTimerGap(benchmark::State& state)
{
    SmpData& s = capture();
    const QString file = tempPath("threaded.cvdat");
    qint64 worstMs = 0;
    DataFile::progressView = [&](DataFile* job) {
        QEventLoop loop;
        QObject::connect(job, &DataFile::sigJobDone, &loop, &QEventLoop::quit);
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            worstMs = std::max(worstMs, now - last);
            last = now;
        });
        tick.start(20);
        if (!job->isJobDone())
            loop.exec();
    };
    for (auto _ : state) {
        QFile::remove(file);
        QFile(file).open(QIODevice::WriteOnly);
        DataFile(&s).saveData(file, kAll, 0, s.smpDepth - 1, false);
    }
    DataFile::progressView = nullptr;
    QFile::remove(file);
    state.counters["max_timer_gap_ms"] = double(worstMs);
}
BENCHMARK(BM_ThreadedSaveTimerGap)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
