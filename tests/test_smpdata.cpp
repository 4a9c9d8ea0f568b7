#include <QtTest>

#include <algorithm>
#include <random>

#include "config/Config.h"
#include "data/SmpData.h"
#include "support/SmpKit.h"
#include "support/TestEnv.h"

namespace {

// Sorted-vector oracle of one completed channel (entries include the closing one).
struct Oracle {
    Entries entries;
    int init;
    long long depth() const { return entries.last(); }
    bool valid(long long p) const { return p >= 0 && p <= depth(); }
    long long located(long long p) const
    {
        if (p == depth())
            return entries.size() - 1;
        return std::upper_bound(entries.begin(), entries.end(), p) - entries.begin();
    }
    int level(long long p) const { return valid(p) ? int((located(p) + init) & 1) : -1; }
    long long preEdge(long long p) const
    {
        if (!valid(p))
            return -1;
        const long long n = located(p);
        return n > 0 ? entries[n - 1] : -1;
    }
    long long nextEdge(long long p) const { return valid(p) ? entries[located(p)] : -1; }
    bool atEdge(long long p) const
    {
        return valid(p) && located(p) > 0 && entries[located(p) - 1] == p;
    }
};

// The display-run rule, done naively over the sorted entries.
QVector<WaveLine> rasterise(const Oracle& o, double start, double scale, int width, bool* fail)
{
    QVector<WaveLine> out;
    *fail = false;
    double x0d = 0;
    long long p = 0;
    if (start < 0)
        x0d = -start / scale;
    else
        p = (long long)start;
    if (!o.valid(p)) {
        *fail = true;
        return out;
    }
    const long long last = width - 1;
    if (x0d > double(last))
        return out;
    long long x0 = (long long)x0d;
    long long n = o.located(p);
    for (;;) {
        const long long e = o.entries[n];
        const double xed = (double(e) - start) / scale;
        if (xed >= double(last + 1))   // its pixel lies past the row
            break;
        long long xe = std::max((long long)xed, x0);
        const int level = int((n + o.init) & 1);
        if (xe > x0)
            out.append({int(x0), int(xe - x0), level});
        if (n == o.entries.size() - 1)
            return out;
        out.append({int(xe), 1, 2});
        x0 = xe + 1;
        const double sp = double(x0) * scale + start;
        if (x0 > last || sp > double(o.depth()))
            return out;
        const long long q = sp < 0 ? 0 : (long long)sp;
        n = std::max(n + 1, (long long)(std::upper_bound(o.entries.begin(), o.entries.end(), q) - o.entries.begin()));
        n = std::min(n, (long long)o.entries.size() - 1);
    }
    out.append({int(x0), int(last - x0), int((n + o.init) & 1)});
    return out;
}

} // namespace

class TestSmpData : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        TestEnv::isolateUserData();
        Config::init();
    }

    void queriesMatchOracle_data()
    {
        QTest::addColumn<int>("edgeCount");
        QTest::addColumn<int>("maxGap");
        QTest::addColumn<int>("seed");
        QTest::newRow("no edge") << 0 << 10 << 1;
        QTest::newRow("one edge") << 1 << 10 << 2;
        QTest::newRow("dense") << 3000 << 2 << 3;
        QTest::newRow("sparse") << 500 << 100000 << 4;
        QTest::newRow("three blocks") << 45000 << 40 << 5;
        QTest::newRow("block full with closing entry") << int(SMP_BLOCK_ENTRIES) - 1 << 5 << 6;
        QTest::newRow("closing entry opens block 2") << int(SMP_BLOCK_ENTRIES) << 5 << 7;
        QTest::newRow("last edge opens block 2") << int(SMP_BLOCK_ENTRIES) + 1 << 5 << 8;
    }
    void queriesMatchOracle()
    {
        QFETCH(int, edgeCount);
        QFETCH(int, maxGap);
        QFETCH(int, seed);
        std::mt19937_64 rng(seed);
        long long depth;
        const Entries edges = randomEdges(rng, edgeCount, maxGap, &depth);
        const int init = seed & 1;
        SmpData s(16);
        fillChannel(s, 3, edges, depth, init);
        Oracle o{edges + Entries{depth}, init};
        QCOMPARE(entriesOf(s.chnData[3]), o.entries);
        const long long total = o.entries.size();
        QCOMPARE(SmpData::entryCount(s.chnData[3]), total);
        // The closing entry is the 20481st: exactly then the second block opens.
        QCOMPARE(s.chnData[3]->group[0]->blockNum, int((total + SMP_BLOCK_ENTRIES - 1) / SMP_BLOCK_ENTRIES));

        Entries points = {-1, 0, 1, depth - 1, depth, depth + 1};
        for (int i = 0; i < 600; ++i)
            points.append((long long)(rng() % (depth + 1)));
        for (int i = 0; i < edges.size(); i += std::max(1, int(edges.size() / 300)))
            points << edges[i] - 1 << edges[i] << edges[i] + 1;
        for (long long b = SMP_BLOCK_ENTRIES - 2; b < total && b < SMP_BLOCK_ENTRIES + 2; ++b)
            points << o.entries[b] - 1 << o.entries[b] << o.entries[b] + 1;

        for (long long p : points) {
            const int lv = o.level(p);
            QCOMPARE(s.getPointLevel(3, p), lv);
            QCOMPARE(s.isPointAtEdge(3, p), o.atEdge(p));
            QCOMPARE(s.getPreEdgePoint(3, p), o.preEdge(p));
            QCOMPARE(s.getNextEdgePoint(3, p), o.nextEdge(p));
            const int preType = (lv < 0 || o.preEdge(p) < 0) ? -1 : (lv ? 0 : 1);
            QCOMPARE(s.getPreEdgeType(3, p), preType);
            const int nextType = (lv < 0 || o.located(p) == total - 1) ? -1 : lv;
            QCOMPARE(s.getNextEdgeType(3, p), nextType);
            RelatedSmpPoint r = {-7, -7, -7, -7};
            const int rc = s.getRelatedSmpPoint(3, p, &r);
            if (lv < 0) {
                QCOMPARE(rc, -1);
                QCOMPARE(r.level, -7);   // untouched
            } else {
                QCOMPARE(rc, 0);
                QCOMPARE(r.level, lv);
                QCOMPARE(r.preEdge, o.preEdge(p));
                QCOMPARE(r.nextEntry, o.nextEdge(p));
                const long long n = o.located(p);
                QCOMPARE(r.afterNext, n + 1 < total ? o.entries[n + 1] : -1LL);
            }
            DigitalDataSubs c;
            if (s.locateSmpPoint(3, p, &c) >= 0) {
                const long long n = o.located(p);
                QCOMPARE(s.getCurRecordPoint(3, &c), o.entries[n]);
                QCOMPARE(s.getPreRecordPoint(3, &c), n > 0 ? o.entries[n - 1] : -1LL);
                QCOMPARE(s.getNextRecordPoint(3, &c), n + 1 < total ? o.entries[n + 1] : -1LL);
            }
        }
        // Edge counts between two points, both orders.
        for (int i = 0; i + 1 < points.size(); i += 2) {
            const long long a = points[i], b = points[i + 1];
            long long expect = -1;
            if (o.valid(a) && o.valid(b))
                expect = std::abs(o.located(a) - o.located(b));
            QCOMPARE(s.getTwoPointEdgeNum(3, a, b), expect);
            QCOMPARE(s.getTwoPointEdgeNum(3, b, a), expect);
        }
        QCOMPARE(s.getTwoPointEdgeNum(3, 0, depth), edgeCount - (edges.value(0, -1) == 0 ? 1LL : 0LL));

        // A forward walk reusing the cursor answers like fresh searches.
        Entries sorted = points;
        std::sort(sorted.begin(), sorted.end());
        DigitalDataSubs cur = {0, 0, 0};
        for (long long p : sorted) {
            if (!o.valid(p))
                continue;
            QCOMPARE(s.locateNextSmpPoint(3, p, &cur), o.level(p));
            QCOMPARE(s.getCurRecordPoint(3, &cur), o.entries[o.located(p)]);
        }
    }

    void missingChannelSaysNoData()
    {
        SmpData s(16);
        fillChannel(s, 2, {5, 9}, 20, 0);
        DigitalDataSubs c = {0, 0, 0};
        RelatedSmpPoint r;
        WaveLine w[8];
        for (int chn : {-1, 0, 16, 1000}) {
            QVERIFY(!s.hasValidData(chn));
            QCOMPARE(s.getPointLevel(chn, 5), -1);
            QCOMPARE(s.locateNextSmpPoint(chn, 5, &c), -1);
            QVERIFY(!s.isPointAtEdge(chn, 5));
            QCOMPARE(s.getPreEdgePoint(chn, 5), -1LL);
            QCOMPARE(s.getNextEdgePoint(chn, 5), -1LL);
            QCOMPARE(s.getPreEdgeType(chn, 5), -1);
            QCOMPARE(s.getNextEdgeType(chn, 5), -1);
            QCOMPARE(s.getTwoPointEdgeNum(chn, 0, 5), -1LL);
            QCOMPARE(s.getRelatedSmpPoint(chn, 5, &r), -1);
            QCOMPARE(s.getCurRecordPoint(chn, &c), -1LL);
            QCOMPARE(s.getWaveLineData(chn, 0, 1, 8, w), -1);
            QCOMPARE(s.appendEdge(chn, 3), 0);
        }
        QVERIFY(s.hasValidData(2));
        // A cursor that points outside the table is refused, not followed.
        c = {0, 5, 0};
        QCOMPARE(s.locateNextSmpPoint(2, 5, &c), -1);
        QCOMPARE(s.getCurRecordPoint(2, &c), -1LL);
        // Nonsense display arguments.
        QCOMPARE(s.getWaveLineData(2, 0, 0, 8, w), -1);
        QCOMPARE(s.getWaveLineData(2, 0, -1, 8, w), -1);
        QCOMPARE(s.getWaveLineData(2, 0, 1, 0, w), 0);
    }

    void completionClosesTables()
    {
        SmpData s(4);
        QVERIFY(s.dataConvertStart(3, 5000, {true, true, false, true}));
        QCOMPARE(s.zeroRunCnt, -1);
        QCOMPARE(s.trgRecordIndex, 3);
        QCOMPARE(s.smpFrequ, 5000LL);
        s.setInitLevel(1, 1);
        s.setInitLevel(3, 1);
        s.setInitLevel(3, 0);
        for (long long e : {2, 7, 30, 40, 41})
            s.appendEdge(0, e);
        s.smpDepth = 45;
        // The device delivered more than asked: everything from 30 on goes.
        QVERIFY(s.dataConvertComplete(30));
        QCOMPARE(s.smpDepth, 30LL);
        QCOMPARE(entriesOf(s.chnData[0]), Entries({2, 7, 30}));
        QCOMPARE(entriesOf(s.chnData[1]), Entries({30}));
        QVERIFY(!s.chnData[2]);
        QCOMPARE(s.chnData[0]->initLevel, 0);
        QCOMPARE(s.chnData[1]->initLevel, 1);
        QCOMPARE(s.chnData[3]->initLevel, 0);
        QCOMPARE(s.chnData[0]->groupLastPos[0], 30LL);
        QVERIFY(s.checkData());

        // Channel without edges: the initial level everywhere, one run.
        QCOMPARE(s.getPointLevel(1, 0), 1);
        QCOMPARE(s.getPointLevel(1, 30), 1);
        QCOMPARE(s.getPreEdgePoint(1, 12), -1LL);
        QCOMPARE(s.getNextEdgePoint(1, 12), 30LL);
        QCOMPARE(s.getNextEdgeType(1, 12), -1);
        WaveLine w[10];
        QCOMPARE(s.getWaveLineData(1, 0, 1, 10, w), 1);
        QCOMPARE(w[0].x, 0);
        QCOMPARE(w[0].width, 9);
        QCOMPARE(w[0].level, 1);

        // A new capture starts with clear start levels.
        QVERIFY(s.dataConvertStart(0, 5000, {true, true, false, false}));
        QCOMPARE(s.initLevelMask, 0ULL);
        s.smpDepth = 10;
        QVERIFY(s.dataConvertComplete(10));
        QCOMPARE(s.chnData[1]->initLevel, 0);

        // Trimming frees blocks emptied behind the end.
        QVERIFY(s.dataConvertStart(0, 5000, {true}));
        for (int i = 0; i < SMP_BLOCK_ENTRIES + 100; ++i)
            s.appendEdge(0, i);
        s.smpDepth = 1000000;
        QVERIFY(s.dataConvertComplete(50));
        QCOMPARE(s.chnData[0]->group[0]->blockNum, 1);
        QCOMPARE(SmpData::entryCount(s.chnData[0]), 51LL);
        QVERIFY(s.checkData());

        s.clearData();
        QVERIFY(!s.hasValidData(0));
        QCOMPARE(s.smpDepth, 0LL);
    }

    void groupTableLimit()
    {
        DigitalChnData* d = SmpData::newChnData();
        QVERIFY(d);
        d->groupNum = SMP_CHN_GROUPS;   // as if every group were in use
        QCOMPARE(SmpData::newDataGroup(d), 0);
        QCOMPARE(d->groupNum, SMP_CHN_GROUPS);
        d->groupNum = 0;
        SmpData::clearOneChn(d);
    }

    void checkDataRejectsBrokenTables_data()
    {
        QTest::addColumn<int>("breakage");
        QTest::newRow("descending") << 0;
        QTest::newRow("edge past the end") << 1;
        QTest::newRow("closing entry missing") << 2;
        QTest::newRow("stale block end") << 3;
        QTest::newRow("empty table") << 4;
        QTest::newRow("bad start level") << 5;
    }
    void checkDataRejectsBrokenTables()
    {
        QFETCH(int, breakage);
        SmpData s(2);
        fillChannel(s, 1, {3, 8, 12}, 20, 1);
        QVERIFY(s.checkData());
        DigitalDataBlock* b = s.chnData[1]->group[0]->block[0];
        switch (breakage) {
        case 0: b->posLow[1] = 2; break;
        case 1: b->posLow[2] = 25; break;
        case 2: b->posLow[3] = 19; s.chnData[1]->group[0]->blockLastPos[0] = 19;
                s.chnData[1]->groupLastPos[0] = 19; break;
        case 3: s.chnData[1]->group[0]->blockLastPos[0] = 17; break;
        case 4: b->posNum = 0; break;
        case 5: s.chnData[1]->initLevel = 2; break;
        }
        QVERIFY(!s.checkData());
        // Whatever the tables hold, a row never exceeds its width.
        WaveLine w[16];
        for (double scale : {0.3, 1.0, 7.0})
            QVERIFY(s.getWaveLineData(1, -2, scale, 16, w) <= 16);
        b->posNum = 4;   // let the destructor free what was allocated
    }

    void waveLineMatchesRasteriser_data()
    {
        QTest::addColumn<double>("scale");
        for (double sc : {0.01, 0.37, 1.0, 2.5, 13.0, 400.0, 9999.0, 250000.0, 1e6})
            QTest::newRow(qPrintable(QString::number(sc))) << sc;
    }
    void waveLineMatchesRasteriser()
    {
        QFETCH(double, scale);
        // Dense bursts (many blocks per pixel at coarse zoom) between sparse stretches.
        std::mt19937_64 rng(42);
        Entries edges;
        long long pos = 0;
        for (int seg = 0; seg < 6; ++seg) {
            const bool dense = seg % 2 == 0;
            for (int i = 0; i < (dense ? 25000 : 300); ++i) {
                edges.append(pos);
                pos += 1 + (long long)(rng() % (dense ? 4 : 20000));
            }
        }
        const long long depth = pos + 5;
        SmpData s(1);
        fillChannel(s, 0, edges, depth, 1);
        Oracle o{edges + Entries{depth}, 1};
        const int width = 1920;
        QVector<WaveLine> out(width + 4);
        const double span = width * scale;
        const QVector<double> starts = {-3.5 * span, -span / 3, -0.5, 0, 0.75, 12345.6, depth / 2.0, depth - span / 2,
                                        double(depth - 1), double(depth), double(depth + 1)};
        for (double start : starts) {
            for (int w : {width, 1, 7}) {
                bool fail;
                const QVector<WaveLine> expect = rasterise(o, start, scale, w, &fail);
                out.fill({-9, -9, -9});
                const int n = s.getWaveLineData(0, start, scale, w, out.data());
                if (fail) {
                    QCOMPARE(n, -1);
                    continue;
                }
                QVERIFY2(n <= w, qPrintable(QString("start %1 width %2").arg(start).arg(w)));
                QCOMPARE(n, expect.size());
                for (int i = 0; i < n; ++i) {
                    const WaveLine& a = out[i];
                    const WaveLine& e = expect[i];
                    if (a.x != e.x || a.width != e.width || a.level != e.level)
                        QFAIL(qPrintable(QString("start %1 run %2: got %3/%4/%5, expected %6/%7/%8")
                                         .arg(start).arg(i).arg(a.x).arg(a.width).arg(a.level)
                                         .arg(e.x).arg(e.width).arg(e.level)));
                    if (i > 0)
                        QVERIFY(a.x >= out[i - 1].x + out[i - 1].width);
                }
                QCOMPARE(out[n].x, -9);   // nothing written past the count
            }
        }
    }

    void waveLineSmallCases()
    {
        SmpData s(1);
        // All edges inside one pixel, capture going on past the row.
        fillChannel(s, 0, {10100, 10101, 10102}, 100000, 0);
        WaveLine w[50];
        QCOMPARE(s.getWaveLineData(0, 0, 1000, 50, w), 3);
        QCOMPARE(w[0].x, 0);  QCOMPARE(w[0].width, 10); QCOMPARE(w[0].level, 0);
        QCOMPARE(w[1].x, 10); QCOMPARE(w[1].width, 1);  QCOMPARE(w[1].level, 2);
        QCOMPARE(w[2].x, 11); QCOMPARE(w[2].width, 38); QCOMPARE(w[2].level, 1);
        // Negative start leaves the first pixels empty.
        QCOMPARE(s.getWaveLineData(0, -20000, 1000, 50, w), 3);
        QCOMPARE(w[0].x, 20);
        QCOMPARE(w[0].width, 10);
        // A far zoom-out start far before the capture: nothing in the row.
        QCOMPARE(s.getWaveLineData(0, -1e300, 0.01, 50, w), 0);
        QCOMPARE(s.getWaveLineData(0, 1e300, 1e6, 50, w), -1);
    }

    // The search index is a copy of the table's positions: it must follow
    // every way a table is completed, filtered, restored or replaced.
    void indexFollowsTableChanges()
    {
        std::mt19937_64 rng(77);
        // Bursts and long gaps, crossing the 2^32 high-byte border, over several blocks.
        Entries edges;
        long long pos = 5;
        for (int i = 0; i < 4 * SMP_BLOCK_ENTRIES + 123; ++i) {
            edges.append(pos);
            const int kind = int(rng() % 100);
            pos += kind < 90 ? 1 + (long long)(rng() % 6) : kind < 99 ? 1 + (long long)(rng() % 5000)
                                                                   : (1LL << 29) + (long long)(rng() % 1000);
        }
        const long long depth = pos + 3;
        QVERIFY(depth > (1LL << 32));
        SmpData s(2);
        fillChannel(s, 1, edges, depth, 1);
        QVERIFY(s.indexBytes(1) > 0);
        QVERIFY(s.indexBytes(1) < size_t(SmpData::entryCount(s.chnData[1])));   // well under 5 bytes per entry
        auto compareAll = [&](const char* what) {
            const Oracle o{entriesOf(s.chnData[1]), s.chnData[1]->initLevel};
            Entries points = {0, o.depth() - 1, o.depth()};
            for (int i = 0; i < 400; ++i)
                points.append((long long)(rng() % (o.depth() + 1)));
            for (int i = 0; i < o.entries.size(); i += 997)
                points << o.entries[i] - 1 << o.entries[i] << o.entries[i] + 1;
            for (long long p : points) {
                QVERIFY2(s.getPointLevel(1, p) == o.level(p), what);
                QVERIFY2(s.getPreEdgePoint(1, p) == o.preEdge(p), what);
                QVERIFY2(s.getNextEdgePoint(1, p) == o.nextEdge(p), what);
                QVERIFY2(s.isPointAtEdge(1, p) == o.atEdge(p), what);
            }
            for (int i = 0; i + 1 < points.size(); i += 2)
                QVERIFY2(s.getTwoPointEdgeNum(1, points[i], points[i + 1])
                             == std::abs(o.located(points[i]) - o.located(points[i + 1])), what);
            QVector<WaveLine> out(1920);
            for (double scale : {0.7, 40.0, 3000.0, 250000.0, double(o.depth()) / 1920}) {
                for (double start : {0.0, double(o.entries[o.entries.size() / 3]) - 100.5, double(o.depth()) / 2}) {
                    bool fail;
                    const QVector<WaveLine> expect = rasterise(o, start, scale, 1920, &fail);
                    const int n = s.getWaveLineData(1, start, scale, 1920, out.data());
                    QVERIFY2(n == (fail ? -1 : expect.size()), what);
                    for (int i = 0; i < n; ++i)
                        QVERIFY2(out[i].x == expect[i].x && out[i].width == expect[i].width
                                     && out[i].level == expect[i].level, what);
                }
            }
        };
        compareAll("completed");
        const unsigned on[2] = {0, 4}, off[2] = {0, 0};
        QVERIFY(s.modifyFilter(on));
        QVERIFY(entriesOf(s.chnData[1]) != entriesOf(s.chnDataRaw[1]));
        compareAll("filtered");
        QVERIFY(s.modifyFilter(off));
        compareAll("unfiltered again");

        // A table put in place by other code: correct before and after checkData.
        SmpData t(2);
        fillChannel(t, 1, edges.mid(0, 3 * SMP_BLOCK_ENTRIES), depth, 0);
        std::swap(s.chnData[1], t.chnData[1]);
        compareAll("replaced");
        QVERIFY(s.checkData());
        compareAll("replaced and checked");
    }

    // The fine samples behind the dense-zoom rows are copies of table
    // positions: they must be rebuilt by completion, the filter and checkData.
    void fineIndexFollowsTableChanges()
    {
        std::mt19937_64 rng(91);
        long long depth;
        const Entries edges = randomEdges(rng, 3 * SMP_BLOCK_ENTRIES + 777, 9, &depth);
        SmpData s(2);
        fillChannel(s, 0, edges, depth, 0);
        QVERIFY(s.indexMatchesTable(0));
        QVERIFY(!s.indexMatchesTable(1));   // no table
        // Below 1 % of the table's 5 bytes per entry.
        const long long entries = SmpData::entryCount(s.chnData[0]);
        QVERIFY(s.indexBytes(0) * 100 < size_t(entries) * 5);
        const unsigned on[2] = {3, 0}, off[2] = {0, 0};
        QVERIFY(s.modifyFilter(on));
        QVERIFY(entriesOf(s.chnData[0]) != entriesOf(s.chnDataRaw[0]));
        QVERIFY(s.indexMatchesTable(0));
        QVERIFY(s.modifyFilter(off));
        QVERIFY(s.indexMatchesTable(0));
        // A table put in place by other code: stale until checkData.
        SmpData t(2);
        fillChannel(t, 0, edges.mid(0, 2 * SMP_BLOCK_ENTRIES + 5), depth, 1);
        std::swap(s.chnData[0], t.chnData[0]);
        QVERIFY(!s.indexMatchesTable(0));
        QVERIFY(s.checkData());
        QVERIFY(s.indexMatchesTable(0));
        // A one-entry channel (no edge) still gets a summary.
        SmpData u(1);
        fillChannel(u, 0, {}, 1000, 1);
        QVERIFY(u.indexMatchesTable(0));
    }

    // Rows at zooms of some hundred to some ten thousand entries per pixel,
    // where stretches of edge columns come from the fine samples and only
    // the borders of constant runs read the blocks; long gaps inside the
    // dense data start such runs.
    void waveLineDenseZoomMatchesRasteriser()
    {
        std::mt19937_64 rng(2024);
        Entries edges;
        long long pos = 3;
        for (int i = 0; i < 160000; ++i) {
            edges.append(pos);
            const int kind = int(rng() % 1000);
            pos += kind < 990 ? 1 + (long long)(rng() % 19) : kind < 998 ? 2000 + (long long)(rng() % 60000)
                                                                          : 1 + (long long)(rng() % 900);
        }
        const long long depth = pos + 7;
        SmpData s(1);
        fillChannel(s, 0, edges, depth, 1);
        const Oracle o{edges + Entries{depth}, 1};
        const int width = 1920;
        QVector<WaveLine> out(width + 4);
        int rows = 0;
        for (double scale : {170.0, 333.3, 1000.0, 2560.0, 4999.5, 10000.0, 37000.0, 120000.0}) {
            const double span = width * scale;
            QVector<double> starts = {-span / 7, 0, 0.5, double(depth) - span / 3};
            for (int i = 0; i < 6; ++i)
                starts.append(double(rng() % (unsigned long long)depth) + double(rng() % 1000) / 1000.0);
            for (double start : starts) {
                bool fail;
                const QVector<WaveLine> expect = rasterise(o, start, scale, width, &fail);
                out.fill({-9, -9, -9});
                const int n = s.getWaveLineData(0, start, scale, width, out.data());
                const QString where = QString("scale %1 start %2").arg(scale).arg(start, 0, 'f', 3);
                QVERIFY2(n == (fail ? -1 : expect.size()), qPrintable(where));
                for (int i = 0; i < n; ++i)
                    QVERIFY2(out[i].x == expect[i].x && out[i].width == expect[i].width
                                 && out[i].level == expect[i].level,
                             qPrintable(where + QString(" run %1").arg(i)));
                if (n > 0)
                    QCOMPARE(out[n].x, -9);
                ++rows;
            }
        }
        QVERIFY(rows > 0);
    }

};


QTEST_MAIN(TestSmpData)
#include "test_smpdata.moc"
