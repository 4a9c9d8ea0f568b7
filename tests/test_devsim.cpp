// Demonstration device: block and period rules, random waves, simulated
// analyzer traffic merged into the channels, capture phases, stop handling.

#include <QtTest>

#include <deque>
#include <memory>

#include "config/Config.h"
#include "data/SmpData.h"
#include "device/DevBase.h"
#include "device/DevGlobals.h"
#include "device/DevNone.h"
#include "device/DevSimulate.h"
#include "support/CaptureSignals.h"
#include "support/TestEnv.h"

namespace {
constexpr long long M = 1000000;

// Scripted analyzer traffic: per call of generate, the runs and current
// level of each listed descriptor.
struct Step {
    int chn;
    std::vector<int> runs;
    int current;
};

struct SourceLog {
    int created = 0;
    int destroyed = 0;
    std::vector<long long> newest;
};

class FakeSource : public SimuSource
{
public:
    FakeSource(SourceLog* log, std::vector<std::vector<Step>> script, int initial)
        : log(log), script(std::move(script))
    {
        ++log->created;
        for (int i = 0; i < 4; ++i)
            descs[i].initialLevel = initial;
    }
    ~FakeSource() override { ++log->destroyed; }
    void generate(long long newest, long long, std::vector<SimuChannelData*>& out) override
    {
        log->newest.push_back(newest);
        if (call < script.size()) {
            int k = 0;
            for (const Step& s : script[call]) {
                SimuChannelData& d = descs[k++];
                d.chn = s.chn;
                d.runs.insert(d.runs.end(), s.runs.begin(), s.runs.end());
                d.currentLevel = s.current;
                out.push_back(&d);
            }
        }
        ++call;
    }

private:
    SourceLog* log;
    std::vector<std::vector<Step>> script;
    size_t call = 0;
    SimuChannelData descs[4];
};

// Demonstration device whose store runs out of memory on the first append.
class DevNoMemory : public DevNone
{
public:
    ~DevNoMemory() override { smpStopAndWait(); }
    bool dataConvertSimu(int, const int*, int, long long*, bool) override { return false; }
};

QVector<long long> edges(const SmpData* s, int chn)
{
    QVector<long long> e;
    long long p = 0;
    for (;;) {
        const long long n = s->getNextEdgePoint(chn, p);
        if (n < 0 || n >= s->smpDepth)
            break;
        e << n;
        p = n;
    }
    return e;
}

struct Phase {
    int sta, err, n;
};
} // namespace

class TestDevSim : public QObject
{
    Q_OBJECT

    // Rate and depth by list index of the demonstration device (buffer mode).
    std::unique_ptr<DevNone> demo(int rateIdx, int depthIdx)
    {
        auto d = std::make_unique<DevNone>();
        d->setSmpFrequ(rateIdx);
        d->setSmpDepth(depthIdx);
        return d;
    }

    // Runs one capture to its end and collects the phases.
    QVector<Phase> capture(DevBase* d, int mode)
    {
        CaptureSignals sig(d);
        d->smpStart(mode, false);
        [&] { QTRY_VERIFY_WITH_TIMEOUT(sig.ended(), 20000); }();
        d->smpStopAndWait();
        QVector<Phase> phases;
        for (const QList<QVariant>& a : sig.sta)
            phases.append({a.at(0).toInt(), a.at(1).toInt(), a.at(2).toInt()});
        return phases;
    }

private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
    }
    void init() { Config::setDefaultDocument(); }
    void cleanup()
    {
        SmpSimulate::setSourceFactory(nullptr);
        DevBase::shownStoreGate = nullptr;
    }

    void blockTime_data()
    {
        QTest::addColumn<long long>("depth");
        QTest::addColumn<long long>("rate");
        QTest::addColumn<int>("ms");
        QTest::newRow("1000 at 1 MHz") << 1000LL << 1 * M << 200;
        QTest::newRow("20 k at 100 MHz") << 20000LL << 100 * M << 100;
        QTest::newRow("1 M at 1 MHz") << 1 * M << 1 * M << 100;
        QTest::newRow("20 k at 20 kHz") << 20000LL << 20000LL << 500;
        QTest::newRow("100 M at 1 MHz") << 100 * M << 1 * M << 1000;
        QTest::newRow("10 G at 20 kHz") << 10000 * M << 20000LL << 2000;
    }
    void blockTime()
    {
        QFETCH(long long, depth);
        QFETCH(long long, rate);
        QTEST(SmpSimulate::getBlockTime(depth, rate), "ms");
    }

    void periodPoints_data()
    {
        QTest::addColumn<long long>("depth");
        QTest::addColumn<long long>("blockSmp");
        QTest::addColumn<int>("period");
        QTest::newRow("short capture") << 1000LL << 200000LL << 20;
        QTest::newRow("large block") << 20000LL << 10 * M << 220;
        QTest::newRow("200 k") << 200000LL << 100000LL << 200;
        QTest::newRow("long capture") << 1000 * M << 1LL << 1000;
        QTest::newRow("limit 2000") << 100000 * M << 1000 * M << 2000;
    }
    void periodPoints()
    {
        QFETCH(long long, depth);
        QFETCH(long long, blockSmp);
        QTEST(SmpSimulate::getPeriodPoints(depth, blockSmp), "period");
    }

    void randomWaves()
    {
        DevNone d;
        SmpSimulate* s = d.smpSimulate;
        const int base = 100;
        for (int k = 0; k < 7; ++k) {
            int* runs = nullptr;
            const int n = s->genSimuData(&runs, 1000, base);
            int period = base;
            for (int i = 0; i < k % 6; ++i)
                period += period / 4;
            QVERIFY(runs);
            QCOMPARE(n, 2 * int((1000 + period - 1) / period));
            for (int i = 0; i < n; i += 2) {
                QCOMPARE(runs[i] + runs[i + 1], period);
                QVERIFY(runs[i] >= 2 && runs[i] <= period - 2);
            }
            std::free(runs);
        }
    }

    void captureEndToEnd()
    {
        auto d = demo(8, 0);   // 1 MHz, 20 k samples: one block
        QVector<bool> ena(16, true);
        ena[4] = false;
        d->setDChnEna(ena);
        QVector<bool> gateOnGui;
        DevBase::shownStoreGate = [&] { gateOnGui << (QThread::currentThread() == qApp->thread()); };
        CaptureSignals sig(d.get());
        const QSignalSpy& ready = sig.ready;
        const QVector<Phase> p = capture(d.get(), SmpStartSingle);
        QCOMPARE(p.size(), 3);
        QCOMPARE(p[0].sta, int(SmpStaStart));
        QCOMPARE(p[1].sta, int(SmpStaSampling));
        QCOMPARE(p[1].n, 100);
        QCOMPARE(p[2].sta, int(SmpStaStopped));
        QCOMPARE(ready.count(), 3);
        QCOMPARE(ready[0].at(0).toInt(), 0);   // empty view at the start
        QCOMPARE(ready[1].at(0).toInt(), 0);   // the capture
        QCOMPARE(ready[2].at(0).toInt(), 1);   // decoding may start
        QVERIFY(!d->smpRunning);
        QCOMPARE(int(d->smpErr), 0);
        QCOMPARE(int(d->smpDataSel), 2);
        QVERIFY(d->hasValidData());
        QVERIFY(!gateOnGui.isEmpty() && !gateOnGui.contains(false));

        const SmpData* s = d->shownData();
        QCOMPARE(s->smpDepth, 20000LL);
        QCOMPARE(s->smpFrequ, 1 * M);
        QVERIFY(!s->hasValidData(4));
        for (int c = 0; c < 16; ++c) {
            if (c == 4)
                continue;
            QVERIFY(s->hasValidData(c));
            QCOMPARE(s->getPointLevel(c, 0), c % 2);
            const QVector<long long> e = edges(s, c);
            QVERIFY(e.size() > 100);
            long long prev = 0;
            for (long long x : e) {
                QVERIFY(x - prev >= 2);
                prev = x;
            }
        }
        DataForAnly rec{};
        d->genDataForAnly(&rec);
        QCOMPARE(rec.chnData, s->chnData);
        QCOMPARE(rec.smpDepth, 20000LL);
        QCOMPARE(rec.smpFrequ, 1 * M);
        QCOMPARE(rec.chnNum, 16);
        QVERIFY(d->fillData()->chnData[0] == nullptr);   // the spare store was cleared
    }

    void analyzerTraffic()
    {
        // 1 MHz, 200 k samples: two blocks of 100,000 samples.
        auto d = demo(8, 1);
        SourceLog log;
        // Channel 3 starts high. Block 1: runs 1000 high, 500 low, 300 high,
        // now low. Block 2 begins high (two runs, now high): it continues the
        // high run ended at 1800, which therefore moves to 2000.
        std::vector<std::vector<Step>> script = {
            {{3, {1000, 500, 300}, 0}, {-1, {5, 5}, 1}, {99, {7}, 0}},
            {{3, {200, 400}, 1}, {-1, {5}, 0}, {99, {7}, 1}},
        };
        SmpSimulate::setSourceFactory([&](long long rate) -> std::unique_ptr<SimuSource> {
            if (rate != 1 * M)
                return nullptr;
            return std::make_unique<FakeSource>(&log, script, 1);
        });
        const QVector<Phase> p = capture(d.get(), SmpStartSingle);
        QCOMPARE(p.size(), 4);
        QCOMPARE(p[1].n, 50);
        QCOMPARE(p[2].n, 100);
        QCOMPARE(log.created, 1);
        QCOMPARE(log.destroyed, 1);
        QCOMPARE(log.newest, std::vector<long long>({100000, 200000}));
        const SmpData* s = d->shownData();
        QCOMPARE(s->smpDepth, 200000LL);
        QCOMPARE(s->getPointLevel(3, 0), 1);
        QCOMPARE(edges(s, 3), QVector<long long>({1000, 1500, 2000, 2400}));
        QCOMPARE(s->getPointLevel(3, 1999), 1);
        QCOMPARE(s->getPointLevel(3, 2000), 0);
        QCOMPARE(s->getPointLevel(3, 199999), 1);
        // Other channels keep their random waves.
        QVERIFY(edges(s, 2).size() > 100);
    }

    void analyzerTrafficContinues()
    {
        // Block 2 begins in the level the channel has: its runs follow on.
        auto d = demo(8, 1);
        SourceLog log;
        std::vector<std::vector<Step>> script = {
            {{5, {1000, 500, 300}, 0}},
            {{5, {200, 400}, 0}},
        };
        SmpSimulate::setSourceFactory([&](long long) -> std::unique_ptr<SimuSource> {
            return std::make_unique<FakeSource>(&log, script, 1);
        });
        capture(d.get(), SmpStartSingle);
        QCOMPARE(edges(d->shownData(), 5), QVector<long long>({1000, 1500, 1800, 2000, 2400}));
        QCOMPARE(d->shownData()->getPointLevel(5, 199999), 0);
    }

    void stopRepeatDiscards()
    {
        auto d = demo(8, 3);   // 1 MHz, 2 M samples: 20 blocks of 100 ms
        CaptureSignals sig(d.get());
        d->smpStart(SmpStartRepeat, false);
        QTRY_VERIFY(sig.sta.count() >= 2);
        d->smpStopAndWait();
        QTRY_VERIFY(sig.ended());
        QVERIFY(!d->hasValidData());
        QCOMPARE(sig.sta.last().at(0).toInt(), int(SmpStaStopped));
        QVERIFY(!d->smpRunning);
    }

    // The capture thread filters the store before it is shown: the window
    // gets it ready, with the unfiltered copy kept.
    void captureArrivesFiltered()
    {
        auto d = demo(8, 0);
        for (SmpData* st : {d->shownData(), d->fillData()})
            st->filterWidth[1] = 3;
        capture(d.get(), SmpStartSingle);
        const SmpData* s = d->shownData();
        QVERIFY(s->chnDataRaw[1]);
        QVERIFY(!s->chnDataRaw[0]);
        SmpData ref(1);
        ref.chnData[0] = SmpData::newChnData();
        QVERIFY(SmpData::dataFilter(s->chnDataRaw[1], ref.chnData[0], 3));
        ref.smpDepth = s->smpDepth;
        QVERIFY(ref.checkData());
        QCOMPARE(edges(s, 1), edges(&ref, 0));
    }

    void stopSingleKeeps()
    {
        auto d = demo(8, 3);
        CaptureSignals sig(d.get());
        d->smpStart(SmpStartSingle, false);
        QTRY_VERIFY(sig.sta.count() >= 2);
        d->smpStopAndWait();
        QTRY_VERIFY(d->hasValidData());
        const long long depth = d->shownData()->smpDepth;
        QVERIFY(depth >= 100000 && depth < 2 * M);
        QCOMPARE(depth % 100000, 0LL);
    }

    void repeatKeepsLastCapture()
    {
        auto d = demo(8, 1);   // two blocks per cycle
        QVector<int> gen;
        SourceLog log;
        SmpSimulate::setSourceFactory([&](long long) -> std::unique_ptr<SimuSource> {
            return std::make_unique<FakeSource>(&log, std::vector<std::vector<Step>>{}, 0);
        });
        CaptureSignals sig(d.get());
        d->smpStart(SmpStartRepeat, false);
        // Start announcement plus two finished cycles.
        QTRY_VERIFY_WITH_TIMEOUT(sig.ready.count() >= 3, 20000);
        d->smpStopAndWait();
        QTRY_VERIFY(sig.ended());   // the last kept capture is swapped in
        QVERIFY(d->hasValidData());
        QCOMPARE(d->shownData()->smpDepth, 200000LL);
        // Every cycle returned its analyzers.
        QCOMPARE(log.created, log.destroyed);
        QVERIFY(log.created >= 2);
    }

    void outOfMemory()
    {
        DevNoMemory d;
        d.setSmpFrequ(8);
        d.setSmpDepth(0);
        SourceLog log;
        SmpSimulate::setSourceFactory([&](long long) -> std::unique_ptr<SimuSource> {
            return std::make_unique<FakeSource>(&log, std::vector<std::vector<Step>>{}, 0);
        });
        const QVector<Phase> p = capture(&d, SmpStartRepeat);
        QCOMPARE(int(d.smpErr), 4);
        QVERIFY(!d.hasValidData());
        QCOMPARE(log.created, 1);
        QCOMPARE(log.destroyed, 1);
        QCOMPARE(p.size(), 3);
        QCOMPARE(p[1].sta, int(SmpStaSampling));
        QCOMPARE(p[1].err, 4);
        QCOMPARE(p[2].sta, int(SmpStaStopped));
    }

    void deleteWhileRunning()
    {
        auto d = demo(8, 3);
        CaptureSignals sig(d.get());
        d->smpStart(SmpStartRepeat, false);
        QTRY_VERIFY(sig.sta.count() >= 2);
        d.reset();   // joins the capture before any part of the device goes
    }

    void simuRunsIntoStore()
    {
        SmpData s(4);
        QVERIFY(s.dataConvertStart(0, 1 * M, QVector<bool>({true, true, false, true})));
        long long pos = 0;
        const int a[] = {10, 5, 7};
        QCOMPARE(smpDataConvertSimu(&s, 0, a, 3, &pos, true), 1);   // nothing to extend yet
        QCOMPARE(pos, 22LL);
        const int b[] = {3, 4};
        QCOMPARE(smpDataConvertSimu(&s, 0, b, 2, &pos, true), 1);   // 22 moves to 25
        QCOMPARE(pos, 29LL);
        const int bad[] = {4, -9, 2};
        long long p1 = 100;
        QCOMPARE(smpDataConvertSimu(&s, 1, bad, 3, &p1, false), 1);  // negative runs add nothing
        QCOMPARE(p1, 106LL);
        long long p2 = 0;
        QCOMPARE(smpDataConvertSimu(&s, 2, a, 3, &p2, false), 0);    // channel without table
        QCOMPARE(smpDataConvertSimu(&s, 4, a, 3, &p2, false), 0);
        QCOMPARE(smpDataConvertSimu(&s, -1, a, 3, &p2, false), 0);
        long long p3 = SMP_POS_MAX - 5;
        QCOMPARE(smpDataConvertSimu(&s, 3, a, 3, &p3, false), 0);    // beyond 40 bits
        s.smpDepth = 200;
        s.dataConvertComplete(200);
        QCOMPARE(edges(&s, 0), QVector<long long>({10, 15, 25, 29}));
        QCOMPARE(edges(&s, 1), QVector<long long>({104, 106}));
    }

    void toggleAfterLoad()
    {
        DevNone d;
        QCOMPARE(int(d.smpDataSel), 1);
        d.fillData()->smpDepth = 42;   // as a file load fills the spare store
        d.toggleSmpData();
        QCOMPARE(int(d.smpDataSel), 2);
        QCOMPARE(d.shownData()->smpDepth, 42LL);
        QVERIFY(d.hasValidData());
        QCOMPARE(d.fillData()->smpDepth, 0LL);
        d.clearSmpData();
        QVERIFY(!d.hasValidData());
    }
};

QTEST_MAIN(TestDevSim)
#include "test_devsim.moc"
